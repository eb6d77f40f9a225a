#include "FolderSource.hxx"

#include "Log.hxx"
#include "MediaFiles.hxx"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/stat.h>

namespace tessaly::bridge {

namespace {

// Deep enough for any real tree; a deeper one is a loop the inode check did not catch (on a file
// system without stable inode numbers).
constexpr int kMaxDepth = 64;

struct Entry {
    std::string name;
    struct stat info;
};

// The folder's visible entries in name order, links followed; each entry that cannot be used is
// reported and left out.
std::vector<Entry> listFolder(const std::string& path,
                              const std::function<void(const std::string&)>& report) {
    std::vector<Entry> entries;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        report("skipped folder " + cleanText(path) + ": cannot be read");
        return entries;
    }
    while (const dirent* found = ::readdir(dir)) {
        const std::string name = found->d_name;
        if (name.empty() || name.front() == '.') {
            continue;
        }
        const std::string full = path + "/" + name;
        if (!isIndexablePath(name)) {
            report("skipped " + cleanText(full) + ": the name is not valid UTF-8 text");
            continue;
        }
        Entry entry{name, {}};
        if (::fstatat(::dirfd(dir), found->d_name, &entry.info, 0) != 0) {
            report("skipped " + cleanText(full) + ": " +
                   (errno == ELOOP ? "a link loop" : "a link to nothing or unreadable"));
            continue;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

} // namespace

FolderSource::FolderSource(std::string folder) : folder_(std::move(folder)) {
    while (folder_.size() > 1 && folder_.back() == '/') {
        folder_.pop_back();
    }
}

std::string FolderSource::defaultFolder(const std::string& home) { return home + "/Pictures"; }

std::string FolderSource::descriptionOf(const std::string& path, std::int64_t size,
                                        std::int64_t modified) {
    {
        std::lock_guard lock(mutex_);
        const auto known = described_.find(path);
        if (known != described_.end() && known->second.size == size &&
            known->second.modified == modified) {
            return known->second.description;
        }
    }
    std::string description = embeddedDescription(path);
    std::lock_guard lock(mutex_);
    described_[path] = Described{size, modified, description};
    return description;
}

SnapshotResult FolderSource::read() {
    struct stat top {};
    if (::stat(folder_.c_str(), &top) != 0 || !S_ISDIR(top.st_mode)) {
        return {std::nullopt, "The folder " + folder_ + " cannot be found."};
    }
    if (!isIndexablePath(folder_)) {
        return {std::nullopt,
                "The folder " + cleanText(folder_) + " has a name that is not valid UTF-8 text."};
    }
    LibrarySnapshot snapshot;
    // Each problem is logged when it is first met, not again at every read while it lasts.
    std::set<std::string> reportedNow;
    const auto report = [&](const std::string& line) {
        if (reportedNow.insert(line).second && !reported_.contains(line)) {
            logLine("Library bridge: " + line);
        }
    };
    std::set<std::pair<dev_t, ino_t>> visited{{top.st_dev, top.st_ino}};
    std::set<std::string> seen; // paths of the pictures read, to forget the rest
    const std::string rootName = folder_.substr(folder_.rfind('/') + 1);

    std::function<void(const std::string&, const std::string&, int)> walk =
        [&](const std::string& path, const std::string& relative, int depth) {
            SnapshotAlbum album{relative.empty() ? rootName : relative, {}, {}};
            std::vector<std::pair<std::string, std::string>> folders;
            for (const Entry& entry : listFolder(path, report)) {
                // Reading each picture's description is what makes a large tree slow.
                if (cancelled()) {
                    return;
                }
                const std::string full = path + "/" + entry.name;
                if (S_ISDIR(entry.info.st_mode)) {
                    if (depth >= kMaxDepth ||
                        !visited.insert({entry.info.st_dev, entry.info.st_ino}).second) {
                        report("skipped folder " + cleanText(full) +
                               ": reached again through a link");
                        continue;
                    }
                    folders.emplace_back(full, relative.empty() ? entry.name
                                                                : relative + "/" + entry.name);
                    continue;
                }
                const std::optional<ItemKind> kind = kindOfFile(entry.name);
                if (!kind || !S_ISREG(entry.info.st_mode)) {
                    continue;
                }
                SnapshotItem item;
                item.file = full;
                item.kind = *kind;
                item.title = titleFromPath(entry.name);
                item.time = entry.info.st_mtim.tv_sec;
                if (*kind == ItemKind::Picture && entry.info.st_size > 0) {
                    item.comment = descriptionOf(full, entry.info.st_size, item.time);
                }
                seen.insert(full);
                album.items.push_back(std::move(item));
            }
            if (!album.items.empty()) {
                snapshot.albums.push_back(std::move(album));
            }
            for (const auto& [full, name] : folders) {
                walk(full, name, depth + 1);
            }
        };
    walk(folder_, {}, 0);
    if (cancelled()) {
        reported_.merge(reportedNow);
        return {std::nullopt, "The reading of the folder " + folder_ + " was stopped."};
    }
    reported_ = std::move(reportedNow);

    std::lock_guard lock(mutex_);
    std::erase_if(described_, [&](const auto& known) { return !seen.contains(known.first); });
    return {std::move(snapshot), {}};
}

std::string FolderSource::stamp() const {
    std::string stamp;
    std::set<std::pair<dev_t, ino_t>> visited;
    std::function<void(const std::string&, int)> walk = [&](const std::string& path, int depth) {
        struct stat info {};
        if (depth > kMaxDepth || ::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            !visited.insert({info.st_dev, info.st_ino}).second) {
            return;
        }
        stamp +=
            std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ";";
        DIR* dir = ::opendir(path.c_str());
        if (!dir) {
            return;
        }
        std::vector<std::string> names;
        while (const dirent* found = ::readdir(dir)) {
            if (found->d_name[0] != '.' && (found->d_type == DT_DIR || found->d_type == DT_LNK ||
                                            found->d_type == DT_UNKNOWN)) {
                names.emplace_back(found->d_name);
            }
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            walk(path + "/" + name, depth + 1);
        }
    };
    walk(folder_, 0);
    return stamp;
}

} // namespace tessaly::bridge
