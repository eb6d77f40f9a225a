#include "ThumbnailSizes.hxx"

#include <functional>
#include <sys/stat.h>

namespace tessaly {

namespace {

bool sameFile(const struct stat& info, const timespec& modified, off_t bytes, ino_t inode,
              dev_t device) {
    return info.st_mtim.tv_sec == modified.tv_sec && info.st_mtim.tv_nsec == modified.tv_nsec &&
           info.st_size == bytes && info.st_ino == inode && info.st_dev == device;
}

} // namespace

std::optional<PixelSize> ThumbnailSizes::sizeOf(const std::string& path) {
    struct stat info {};
    // Followed through links, and only a regular file is ever opened: a device is never touched.
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    Shard& shard = shards_[std::hash<std::string>{}(path) % kShards];
    const std::uint32_t build = build_;
    {
        std::lock_guard lock(shard.mutex);
        const auto found = shard.entries.find(path);
        if (found != shard.entries.end() &&
            sameFile(info, found->second.modified, found->second.bytes, found->second.inode,
                     found->second.device)) {
            found->second.build = build;
            return found->second.size;
        }
    }
    // What was read is kept under what fstat said of the file opened, so a file replaced between
    // the stat above and the opening is read again next time rather than mistaken.
    struct stat opened {};
    const std::optional<PixelSize> size = readImageSize(path, &opened);
    ++headersRead_;
    if (opened.st_ino == 0 && opened.st_dev == 0) {
        return size; // not opened, or no longer a regular file: nothing to remember it by
    }
    std::lock_guard lock(shard.mutex);
    shard.entries.insert_or_assign(
        path, Entry{opened.st_mtim, opened.st_size, opened.st_ino, opened.st_dev, size, build});
    return size;
}

void ThumbnailSizes::startBuild() { ++build_; }

void ThumbnailSizes::forgetUnused() {
    const std::uint32_t build = build_;
    for (Shard& shard : shards_) {
        std::lock_guard lock(shard.mutex);
        std::erase_if(shard.entries,
                      [build](const auto& entry) { return entry.second.build != build; });
    }
}

std::size_t ThumbnailSizes::size() const {
    std::size_t count = 0;
    for (const Shard& shard : shards_) {
        std::lock_guard lock(shard.mutex);
        count += shard.entries.size();
    }
    return count;
}

} // namespace tessaly
