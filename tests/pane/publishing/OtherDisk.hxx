// Real file systems for the library's move: a small tmpfs mounted for one test (as CI's root can),
// a check of everything a copy must keep, and a child process run as another user or killed at a
// chosen point.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <map>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tessaly::testing {

// A tmpfs of `size` (mount's notation, "4m") mounted on a fresh folder; unmounted and removed
// however the test ends. Without root, `mounted()` is false and the test skips.
class OtherDisk {
public:
    explicit OtherDisk(const std::string& size, uid_t owner = ::geteuid()) {
        std::string pattern = "/tmp/tessaly-disk-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            return;
        }
        path_ = pattern;
        const std::string options = "size=" + size + ",mode=0755,uid=" + std::to_string(owner);
        mounted_ =
            ::geteuid() == 0 && ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~OtherDisk() {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
        if (!path_.empty()) {
            std::error_code error;
            std::filesystem::remove_all(path_, error);
        }
    }
    OtherDisk(const OtherDisk&) = delete;
    OtherDisk& operator=(const OtherDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
};

// Everything of one item that a faithful copy keeps. Access times and the inode numbers
// themselves are left out; which names share a file is kept.
struct ItemRecord {
    mode_t mode;
    uid_t owner;
    off_t size;
    std::int64_t modified;
    std::string content;
    std::string linkTarget;
    std::string sameFileAs;
    std::string comment; // the extended attribute user.comment, where there is one
    bool operator==(const ItemRecord&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ItemRecord& item) {
    return out << "mode " << std::oct << item.mode << std::dec << " size " << item.size << " time "
               << item.modified << " link '" << item.linkTarget << "' same as '" << item.sameFileAs
               << "' comment '" << item.comment << "'";
}

using TreeRecord = std::map<std::string, ItemRecord>;

// Every item below `root`, the root itself as ".", following `root` itself if it is a link.
inline TreeRecord recordTree(const std::filesystem::path& root, bool withComments = true) {
    namespace fs = std::filesystem;
    TreeRecord tree;
    std::map<std::pair<dev_t, ino_t>, std::string> firstName;
    std::vector<std::pair<std::string, std::pair<dev_t, ino_t>>> sharing;
    auto add = [&](const fs::path& path, const std::string& name, bool follow) {
        struct stat info {};
        if ((follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) {
            return;
        }
        ItemRecord item{
            info.st_mode,
            info.st_uid,
            S_ISREG(info.st_mode) ? info.st_size : 0,
            S_ISLNK(info.st_mode) ? 0 : info.st_mtim.tv_sec * 1000000000 + info.st_mtim.tv_nsec,
            {},
            {},
            {},
            {}};
        if (S_ISREG(info.st_mode)) {
            std::ifstream in(path, std::ios::binary);
            item.content.assign(std::istreambuf_iterator<char>(in), {});
            if (info.st_nlink > 1) {
                // The least of its names, whatever order the folders list them in.
                auto [it, first] = firstName.emplace(std::pair(info.st_dev, info.st_ino), name);
                if (!first && name < it->second) {
                    it->second = name;
                }
                sharing.emplace_back(name, it->first);
            }
        } else if (S_ISLNK(info.st_mode)) {
            item.linkTarget = fs::read_symlink(path).string();
        }
        if (withComments && !S_ISLNK(info.st_mode)) {
            char value[256];
            ssize_t n = ::getxattr(path.c_str(), "user.comment", value, sizeof value);
            if (n > 0) {
                item.comment.assign(value, static_cast<std::size_t>(n));
            }
        }
        tree.emplace(name, item);
    };
    add(root, ".", true);
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        add(it->path(), it->path().lexically_relative(root).string(), false);
    }
    for (const auto& [name, id] : sharing) {
        tree[name].sameFileAs = firstName[id];
    }
    return tree;
}

// Runs `work` in a child process, as `uid` when given, and answers its exit code, or 128 plus
// the signal that ended it. Nothing the child does reaches this process's test results.
inline int inChild(const std::function<int()>& work, std::optional<uid_t> uid = std::nullopt) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(*uid) != 0 || ::setuid(*uid) != 0)) {
            ::_exit(125);
        }
        ::_exit(work());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Hands a folder and all it holds to `uid`, for a test run as that user.
inline void giveTo(const std::filesystem::path& root, uid_t uid) {
    ::lchown(root.c_str(), uid, uid);
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        ::lchown(it->path().c_str(), uid, uid);
    }
}

} // namespace tessaly::testing
