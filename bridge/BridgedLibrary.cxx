#include "BridgedLibrary.hxx"

#include "FileIO.hxx"
#include "Log.hxx"
#include "MediaFiles.hxx"
#include "PlistWriter.hxx"
#include "Thumbnailer.hxx"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaly::bridge {

namespace {

// The index counts time from the start of 2001, not 1970.
constexpr double kIndexEpoch = 978307200.0;

constexpr char kMarkerText[] =
    "This folder was made by Tessaly's library bridge from a photo library kept by another\n"
    "program. The bridge rebuilds it as that library changes; anything written here is lost.\n";

// What the state file remembers of one item: the original's size and time when its thumbnail
// was made (or failed to be), the thumbnail's shape, and the extension of its link.
struct Remembered {
    std::int64_t size = 0;
    std::int64_t modified = 0; // nanoseconds
    float aspectRatio = 0;     // 0 when no thumbnail could be made
    std::string extension;
};
using State = std::unordered_map<std::string, Remembered>;
// The size remembered for an original that could not be found.
constexpr std::int64_t kMissing = -1;

// A stable name for an original, from its path: FNV-1a, 64 bits, as 16 hex digits.
std::string keyFor(std::string_view path) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : path) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The link keeps the original's extension, which tells the web server the file's type; an odd
// one is left out so the name stays plain.
std::string extensionOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) {
        return {};
    }
    std::string extension(path.substr(dot + 1));
    if (extension.empty() || extension.size() > 8) {
        return {};
    }
    for (char& c : extension) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return {};
        }
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

std::int64_t nanoseconds(const struct timespec& time) {
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

State readState(const std::string& path) {
    State state;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        Remembered item;
        if (fields >> key >> item.size >> item.modified >> item.aspectRatio) {
            fields >> item.extension;
            state.emplace(std::move(key), std::move(item));
        }
    }
    return state;
}

bool writeState(const std::string& path, const State& state) {
    std::string text;
    for (const auto& [key, item] : state) {
        char aspect[32];
        const auto end = std::to_chars(aspect, aspect + sizeof aspect, item.aspectRatio).ptr;
        text += key + ' ' + std::to_string(item.size) + ' ' + std::to_string(item.modified) + ' ' +
                std::string(aspect, end) + ' ' + item.extension + '\n';
    }
    return replaceFile(path, text, 0644);
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && isDirectory(path));
}

// The original's link in the library: a hard link where the file system allows one (the web
// server then needs no permission to follow links), else a symbolic link. An existing link is
// kept while it still leads to the original.
bool linkOriginal(const std::string& original, const struct stat& info, const std::string& link) {
    struct stat existing {};
    if (::lstat(link.c_str(), &existing) == 0) {
        if (S_ISREG(existing.st_mode) && existing.st_dev == info.st_dev &&
            existing.st_ino == info.st_ino) {
            return true;
        }
        if (S_ISLNK(existing.st_mode)) {
            std::string target(std::size_t(existing.st_size) + 1, '\0');
            const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
            if (length >= 0 && std::string_view(target.data(), std::size_t(length)) == original) {
                return true;
            }
        }
    }
    // Made beside the link and renamed over it, so the site never meets a missing file.
    const std::string fresh = link + ".new";
    ::unlink(fresh.c_str());
    const bool made =
        ::linkat(AT_FDCWD, original.c_str(), AT_FDCWD, fresh.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
        ::symlink(original.c_str(), fresh.c_str()) == 0;
    if (made && ::rename(fresh.c_str(), link.c_str()) == 0) {
        return true;
    }
    ::unlink(fresh.c_str());
    return false;
}

struct Paths {
    std::string thumbs;
    std::string originals;

    std::string thumb(const std::string& key) const { return thumbs + "/" + key + ".jpg"; }
    std::string original(const std::string& key, const std::string& extension) const {
        return originals + "/" + key + (extension.empty() ? "" : "." + extension);
    }
};

// The index as the site's builder reads it. The first three albums are never published, as in
// the photo application's own libraries: the whole library, then the last import and the last
// months, here left empty. Each album of the snapshot follows as a published ("Regular") album.
//
// An index that would come out as it is stays untouched: the source's program writes its database
// for much that the site does not show, and a new index would have the whole site built again.
bool writeIndex(const std::string& folder, const Paths& paths, const LibrarySnapshot& snapshot,
                const State& state, const std::vector<std::vector<const std::string*>>& keys,
                const std::unordered_map<std::string, const SnapshotItem*>& firstOf) {
    std::string text;
    const bool made = [&] {
        PlistWriter writer([&text](std::string_view bytes) {
            text.append(bytes);
            return true;
        });
        writer.beginDict();
        writer.key("Application Version");
        writer.string("Tessaly library bridge");
        writer.key("Archive Path");
        writer.string(folder);

        std::vector<std::string> all;
        all.reserve(firstOf.size());
        for (const auto& [key, item] : firstOf) {
            all.push_back(key);
        }
        std::sort(all.begin(), all.end());

        std::vector<const std::string*> library;
        library.reserve(all.size());
        for (const std::string& key : all) {
            library.push_back(&key);
        }
        const auto album = [&writer](std::int64_t id, const char* type, std::string_view name,
                                     std::string_view comment,
                                     const std::vector<const std::string*>& list) {
            writer.beginDict();
            if (type) {
                writer.key("Album Type");
                writer.string(type);
            }
            writer.key("AlbumId");
            writer.integer(id);
            writer.key("AlbumName");
            writer.string(name);
            if (!comment.empty()) {
                writer.key("Comments");
                writer.string(comment);
            }
            writer.key("KeyList");
            writer.beginArray();
            for (const std::string* key : list) {
                writer.string(*key);
            }
            writer.endArray();
            writer.key("PhotoCount");
            writer.integer(static_cast<std::int64_t>(list.size()));
            writer.endDict();
        };
        const std::vector<const std::string*> none;
        writer.key("List of Albums");
        writer.beginArray();
        album(1, nullptr, "Library", {}, library);
        album(2, "Special Roll", "Last Roll", {}, none);
        album(3, "Special Month", "Last 12 Months", {}, none);
        std::int64_t id = 4;
        for (std::size_t a = 0; a < snapshot.albums.size(); ++a) {
            if (!keys[a].empty()) {
                album(id++, "Regular", snapshot.albums[a].name, snapshot.albums[a].comment,
                      keys[a]);
            }
        }
        writer.endArray();

        writer.key("Major Version");
        writer.integer(2);
        writer.key("Master Image List");
        writer.beginDict();
        for (const std::string& key : all) {
            const SnapshotItem& item = *firstOf.at(key);
            const Remembered& remembered = state.at(key);
            writer.key(key);
            writer.beginDict();
            writer.key("Aspect Ratio");
            writer.real(remembered.aspectRatio);
            writer.key("Caption");
            writer.string(item.title);
            if (!item.comment.empty()) {
                writer.key("Comment");
                writer.string(item.comment);
            }
            writer.key("DateAsTimerInterval");
            writer.real(static_cast<double>(item.time) - kIndexEpoch);
            writer.key("ImagePath");
            writer.string(paths.original(key, remembered.extension));
            writer.key("MediaType");
            writer.string(item.kind == ItemKind::Movie ? "Movie" : "Image");
            writer.key("ModDateAsTimerInterval");
            writer.real(static_cast<double>(remembered.modified / 1'000'000'000) - kIndexEpoch);
            if (item.rating) {
                writer.key("Rating");
                writer.integer(*item.rating);
            }
            writer.key("ThumbPath");
            writer.string(paths.thumb(key));
            writer.endDict();
        }
        writer.endDict();
        writer.key("Minor Version");
        writer.integer(0);
        writer.endDict();
        return writer.finish();
    }();
    if (!made) {
        return false;
    }
    const std::string path = folder + "/AlbumData.xml";
    if (readWholeFile(path, text.size() + 1) == text) {
        return true;
    }
    return replaceFile(path, text, 0644);
}

void skip(const std::string& path, std::string_view why) {
    logLine("Library bridge: skipped " + cleanText(path) + ": " + std::string(why));
}

bool isCancelled(const UpdateOptions& options) { return options.cancel && options.cancel->load(); }

// Holds the folder's lock, taken on its marker, for one update. Waits while another update holds
// it, looking every few milliseconds whether the caller still wants to wait.
class FolderLock {
public:
    FolderLock(const std::string& marker, const UpdateOptions& options)
        : fd_(::open(marker.c_str(), O_RDONLY | O_CLOEXEC)) {
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || isCancelled(options)) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

// One original of an update, from the look at its file to its place in the index.
struct Work {
    const std::string* key = nullptr;
    const SnapshotItem* item = nullptr;
    struct stat info {};
    bool present = false;
    Remembered remembered;
    bool make = false;             // its thumbnail is to be made
    std::optional<Thumbnail> made; // once tried; none when the update stopped first
};

// Tells the caller how far the update is, one original at a time, from whichever thread finished
// it.
class Progress {
public:
    Progress(const UpdateOptions& options, std::size_t total)
        : report_(options.progress), total_(total) {}
    void oneDone() {
        std::lock_guard lock(mutex_);
        ++done_;
        if (report_) {
            report_(done_, total_);
        }
    }

private:
    const std::function<void(std::size_t, std::size_t)>& report_;
    std::size_t total_;
    std::mutex mutex_;
    std::size_t done_ = 0;
};

// Makes the thumbnails the works need, several at once: one libvips pipeline keeps about one core
// busy, and the pictures are independent of each other. No new one is begun once the update is
// cancelled, and one given up half way is left without a result.
void makeThumbnails(const std::vector<Work*>& todo, const Paths& paths,
                    const UpdateOptions& options, Progress& progress) {
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        Thumbnailer thumbnailer(BridgedLibrary::kThumbnailSide);
        thumbnailer.setCancel(options.cancel);
        for (std::size_t i = next++; i < todo.size() && !isCancelled(options); i = next++) {
            Work& work = *todo[i];
            const std::string fresh = paths.thumbs + "/." + *work.key + ".new.jpg";
            // An empty file is most often one still being copied; it is looked at again once it
            // has changed.
            Thumbnail made{false, 0, "an empty file"};
            if (work.info.st_size != 0) {
                try {
                    made = thumbnailer.make(work.item->file, work.item->kind, fresh);
                } catch (const std::exception& error) {
                    made = Thumbnail{false, 0, error.what()};
                }
            }
            if (!made.made && isCancelled(options)) {
                // Given up half way: not a fault of the picture, which is tried again.
                ::unlink(fresh.c_str());
                return;
            }
            if (made.made && ::rename(fresh.c_str(), paths.thumb(*work.key).c_str()) != 0) {
                made = Thumbnail{false, 0, "the thumbnail cannot be written"};
            }
            if (!made.made) {
                ::unlink(fresh.c_str());
            }
            work.made = std::move(made);
            progress.oneDone();
        }
    };
    const std::size_t threads =
        std::min<std::size_t>(todo.size(), BridgedLibrary::thumbnailThreads());
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) {
        helpers.emplace_back(worker);
    }
    if (threads > 0) {
        worker();
    }
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

} // namespace

BridgedLibrary::BridgedLibrary(std::string folder) : folder_(std::move(folder)) {}

unsigned BridgedLibrary::thumbnailThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

std::string BridgedLibrary::folderIn(const std::string& home) {
    return home + "/Sites/iPhoto Library";
}

BridgedLibrary::FolderState BridgedLibrary::state() const {
    struct stat info {};
    if (::lstat(folder_.c_str(), &info) != 0) {
        return errno == ENOENT ? FolderState::Missing : FolderState::Foreign;
    }
    // A link is never ours: the bridge makes a real folder.
    if (!S_ISDIR(info.st_mode)) {
        return FolderState::Foreign;
    }
    struct stat marker {};
    const std::string markerPath = folder_ + "/" + kMarkerName;
    return ::lstat(markerPath.c_str(), &marker) == 0 && S_ISREG(marker.st_mode)
               ? FolderState::Bridged
               : FolderState::Foreign;
}

UpdateResult BridgedLibrary::update(const LibrarySnapshot& snapshot, const UpdateOptions& options) {
    UpdateResult result;
    switch (state()) {
    case FolderState::Foreign:
        result.problem = UpdateProblem::FolderTaken;
        result.message = "The folder " + folder_ +
                         " holds a photo library that Tessaly did not make; it is left alone.";
        return result;
    case FolderState::Missing: {
        const std::string parent = folder_.substr(0, folder_.rfind('/'));
        const std::string markerPath = folder_ + "/" + kMarkerName;
        const int fd = makeFolder(parent) && makeFolder(folder_)
                           ? ::open(markerPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644)
                           : -1;
        if (fd < 0 || !writeAll(fd, kMarkerText) || ::close(fd) != 0) {
            result.problem = UpdateProblem::Unwritable;
            result.message = "The folder " + folder_ + " cannot be made: " + std::strerror(errno);
            return result;
        }
        break;
    }
    case FolderState::Bridged:
        break;
    }
    const FolderLock lock(folder_ + "/" + kMarkerName, options);
    if (!lock.held()) {
        if (isCancelled(options)) {
            result.status = UpdateStatus::Cancelled;
        } else {
            result.problem = UpdateProblem::Unwritable;
            result.message = "The folder " + folder_ + " cannot be locked: " + std::strerror(errno);
        }
        return result;
    }
    const Paths paths{folder_ + "/Thumbs", folder_ + "/Originals"};
    if (!makeFolder(paths.thumbs) || !makeFolder(paths.originals)) {
        result.problem = UpdateProblem::Unwritable;
        result.message = "The folder " + folder_ + " cannot be written: " + std::strerror(errno);
        return result;
    }

    const std::string statePath = folder_ + "/" + kStateName;
    State old = readState(statePath);
    State now;

    // Each original once, under its key, whichever albums show it.
    std::unordered_map<std::string, const SnapshotItem*> firstOf;
    std::vector<std::string> order;
    std::vector<std::vector<const std::string*>> keys(snapshot.albums.size());
    std::vector<std::vector<std::string>> albumKeys(snapshot.albums.size());
    for (std::size_t a = 0; a < snapshot.albums.size(); ++a) {
        for (const SnapshotItem& item : snapshot.albums[a].items) {
            if (item.file.empty() || item.file.front() != '/' || !isIndexablePath(item.file)) {
                skip(item.file, "the name is not valid UTF-8 text or not a full path");
                continue;
            }
            std::string key = keyFor(item.file);
            if (firstOf.emplace(key, &item).second) {
                order.push_back(key);
            }
            albumKeys[a].push_back(std::move(key));
        }
    }

    const auto stop = [&] {
        // What was made so far is kept for the next update; the old index stays.
        for (auto& [oldKey, item] : old) {
            now.try_emplace(oldKey, item);
        }
        writeState(statePath, now);
        result.status = UpdateStatus::Cancelled;
        return result;
    };
    Progress progress(options, order.size());

    // First a look at every original, which says whose thumbnail is to be made.
    std::vector<Work> works;
    works.reserve(order.size());
    std::vector<Work*> todo;
    for (const std::string& key : order) {
        if (isCancelled(options)) {
            return stop();
        }
        Work& work = works.emplace_back();
        work.key = &key;
        work.item = firstOf.at(key);
        const SnapshotItem& item = *work.item;
        if (::stat(item.file.c_str(), &work.info) != 0 || !S_ISREG(work.info.st_mode)) {
            const int why = errno;
            // Remembered as missing, so that it is logged when it goes, not at every update.
            const auto known = old.find(key);
            if (known == old.end() || known->second.size != kMissing) {
                skip(item.file, why == ELOOP ? "a link loop" : "cannot be found or is no file");
            }
            now.emplace(key, Remembered{kMissing, 0, 0, {}});
            progress.oneDone();
            continue;
        }
        work.present = true;
        work.remembered = Remembered{work.info.st_size, nanoseconds(work.info.st_mtim), 0,
                                     extensionOf(item.file)};
        const auto known = old.find(key);
        struct stat thumbInfo {};
        const bool unchanged = known != old.end() && known->second.size == work.remembered.size &&
                               known->second.modified == work.remembered.modified;
        if (unchanged &&
            (known->second.aspectRatio == 0 || ::stat(paths.thumb(key).c_str(), &thumbInfo) == 0)) {
            // A file that failed before is not tried again, nor logged, until it changes.
            work.remembered.aspectRatio = known->second.aspectRatio;
            progress.oneDone();
        } else {
            work.make = true;
            todo.push_back(&work);
        }
    }

    makeThumbnails(todo, paths, options, progress);

    // Then each in the library's order: its result logged, its original linked, all remembered.
    std::unordered_set<std::string> good;
    for (Work& work : works) {
        if (!work.present || (work.make && !work.made)) {
            // Missing (said above), or not made because the update was stopped.
            continue;
        }
        const SnapshotItem& item = *work.item;
        if (work.made) {
            if (work.made->made) {
                work.remembered.aspectRatio = work.made->aspectRatio;
                ++result.thumbnailsMade;
            } else {
                skip(item.file, work.made->error);
            }
        }
        if (work.remembered.aspectRatio > 0) {
            if (linkOriginal(item.file, work.info,
                             paths.original(*work.key, work.remembered.extension))) {
                good.insert(*work.key);
            } else {
                skip(item.file, "cannot be linked into the library");
            }
        }
        now.emplace(*work.key, std::move(work.remembered));
    }
    if (isCancelled(options)) {
        return stop();
    }
    result.skipped = order.size() - good.size();

    for (std::size_t a = 0; a < snapshot.albums.size(); ++a) {
        for (const std::string& key : albumKeys[a]) {
            if (good.contains(key)) {
                keys[a].push_back(&key);
            }
        }
    }
    std::erase_if(firstOf, [&](const auto& entry) { return !good.contains(entry.first); });
    if (!writeIndex(folder_, paths, snapshot, now, keys, firstOf)) {
        result.problem = UpdateProblem::Unwritable;
        result.message = "The index in " + folder_ + " cannot be written: " + std::strerror(errno);
        return result;
    }

    // Only now that the new index is in place do the files it no longer names go.
    for (const auto& [key, item] : old) {
        const auto kept = now.find(key);
        if (kept == now.end() || !good.contains(key)) {
            ::unlink(paths.original(key, item.extension).c_str());
            if (kept == now.end() || kept->second.aspectRatio == 0) {
                ::unlink(paths.thumb(key).c_str());
            }
            result.removed += kept == now.end() ? 1 : 0;
        } else if (kept->second.extension != item.extension) {
            ::unlink(paths.original(key, item.extension).c_str());
        }
    }
    writeState(statePath, now);
    const std::string stampPath = folder_ + "/" + kSourceStampName;
    if (options.sourceStamp.empty()) {
        ::unlink(stampPath.c_str());
    } else {
        replaceFile(stampPath, options.sourceStamp, 0644);
    }
    result.items = good.size();
    result.status = UpdateStatus::Updated;
    return result;
}

std::string BridgedLibrary::madeFrom() const {
    if (state() != FolderState::Bridged) {
        return {};
    }
    constexpr std::uintmax_t kLargestStamp = 1 << 20;
    return readWholeFile(folder_ + "/" + kSourceStampName, kLargestStamp).value_or("");
}

bool BridgedLibrary::discard() {
    if (state() != FolderState::Bridged) {
        return false;
    }
    // Links are removed, never followed.
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
    return !error;
}

UpdateResult bridgeLibrary(LibrarySource& source, BridgedLibrary& library,
                           const UpdateOptions& options) {
    UpdateResult result;
    if (library.state() == BridgedLibrary::FolderState::Foreign) {
        return library.update({}, options);
    }
    if (!options.sourceStamp.empty() && library.madeFrom() == options.sourceStamp) {
        result.status = UpdateStatus::Unchanged;
        return result;
    }
    source.setCancel(options.cancel);
    SnapshotResult read = source.read();
    source.setCancel(nullptr);
    if (!read.snapshot) {
        if (isCancelled(options)) {
            result.status = UpdateStatus::Cancelled;
        } else {
            result.problem = UpdateProblem::Unreadable;
            result.message = read.error;
        }
        return result;
    }
    const auto& albums = read.snapshot->albums;
    if (options.refuseEmpty && std::all_of(albums.begin(), albums.end(),
                                           [](const auto& album) { return album.items.empty(); })) {
        result.problem = UpdateProblem::Empty;
        result.message = "The library " + source.location() + " holds no pictures or movies.";
        return result;
    }
    return library.update(*read.snapshot, options);
}

} // namespace tessaly::bridge
