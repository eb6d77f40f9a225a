#include "LibraryMover.hxx"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaly::LibraryMover {

namespace {

namespace fs = std::filesystem;

struct Entry {
    fs::file_type type;
    std::uintmax_t size;
    fs::path target;
    bool operator==(const Entry&) const = default;
};

// Every item below `root` by its relative path; none when the tree cannot be read whole or
// holds something other than folders, files and links.
std::optional<std::map<fs::path, Entry>> listTree(const fs::path& root) {
    std::map<fs::path, Entry> tree;
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error), end;
    for (; !error && it != end; it.increment(error)) {
        fs::file_status status = it->symlink_status(error);
        if (error) {
            return std::nullopt;
        }
        Entry entry{status.type(), 0, {}};
        if (entry.type == fs::file_type::regular) {
            entry.size = it->file_size(error);
        } else if (entry.type == fs::file_type::symlink) {
            entry.target = fs::read_symlink(it->path(), error);
        } else if (entry.type != fs::file_type::directory) {
            return std::nullopt;
        }
        if (error) {
            return std::nullopt;
        }
        // Lexically: resolving would follow the links the library holds.
        tree.emplace(it->path().lexically_relative(root), entry);
    }
    if (error) {
        return std::nullopt;
    }
    return tree;
}

bool copyFile(const fs::path& from, const fs::path& to, std::uintmax_t& done, std::uintmax_t total,
              const Progress& progress) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    struct stat info {};
    int out = -1;
    if (::fstat(in, &info) == 0) {
        out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    }
    bool ok = out >= 0;
    static constexpr std::size_t kChunk = 1 << 20;
    std::vector<char> buffer(kChunk);
    while (ok) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t written = 0; ok && written < n;) {
            ssize_t w =
                ::write(out, buffer.data() + written, static_cast<std::size_t>(n - written));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            ok = w > 0;
            written += ok ? w : 0;
        }
        done += static_cast<std::uintmax_t>(n);
        if (progress) {
            progress(done, total);
        }
    }
    if (ok) {
        // The copy must be on the disk before the original goes.
        const timespec times[2] = {info.st_atim, info.st_mtim};
        ok = ::fdatasync(out) == 0 && ::futimens(out, times) == 0;
    }
    if (out >= 0) {
        ok = ::close(out) == 0 && ok;
    }
    ::close(in);
    return ok;
}

bool copyTree(const fs::path& from, const fs::path& to, const std::map<fs::path, Entry>& tree,
              const Progress& progress) {
    std::uintmax_t total = 0;
    for (const auto& [relative, entry] : tree) {
        total += entry.size;
    }
    std::uintmax_t done = 0;
    if (progress) {
        progress(done, total);
    }
    // The map's order puts every folder before what it holds.
    for (const auto& [relative, entry] : tree) {
        std::error_code error;
        const fs::path source = from / relative;
        const fs::path target = to / relative;
        switch (entry.type) {
        case fs::file_type::directory:
            fs::create_directory(target, error);
            if (!error) {
                fs::permissions(target, fs::status(source, error).permissions(), error);
            }
            break;
        case fs::file_type::symlink:
            fs::create_symlink(entry.target, target, error);
            break;
        default:
            if (!copyFile(source, target, done, total, progress)) {
                return false;
            }
            break;
        }
        if (error) {
            return false;
        }
    }
    return true;
}

bool renameNoReplace(const fs::path& from, const fs::path& to, int& error) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without the flag: check, then rename (an empty folder made in between
        // would be replaced, never a filled one).
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(to, ignored))) {
            error = EEXIST;
            return false;
        }
        if (::rename(from.c_str(), to.c_str()) == 0) {
            return true;
        }
        error = errno;
    }
    return false;
}

} // namespace

bool movePath(const fs::path& from, const fs::path& to, const Progress& progress, Way way) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(from, error)) ||
        fs::exists(fs::symlink_status(to, error))) {
        return false;
    }
    fs::create_directories(to.parent_path(), error);
    if (error) {
        return false;
    }
    int renameError = EXDEV;
    if (way == Way::renameWherePossible && renameNoReplace(from, to, renameError)) {
        return true;
    }
    if (renameError != EXDEV) {
        return false;
    }

    std::optional<std::map<fs::path, Entry>> tree = listTree(from);
    if (!tree) {
        return false;
    }
    // The copy is built under a hidden name beside the target, so that the target's name only
    // ever shows a complete library.
    std::string pattern = (to.parent_path() / ("." + to.filename().string() + ".moving-XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
        return false;
    }
    const fs::path staging = pattern;
    bool ok = copyTree(from, staging, *tree, progress) && listTree(staging) == tree;
    if (ok) {
        fs::permissions(staging, fs::status(from, error).permissions(), error);
        int ignored = 0;
        ok = !error && renameNoReplace(staging, to, ignored);
    }
    if (!ok) {
        fs::remove_all(staging, error);
        return false;
    }
    // The library is whole at its new place; what cannot be removed here stays a duplicate.
    fs::remove_all(from, error);
    return true;
}

} // namespace tessaly::LibraryMover
