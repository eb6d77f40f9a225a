#include "ThumbnailSizes.hxx"

#include <functional>
#include <sys/stat.h>

namespace tessaly {

bool ThumbnailSizes::cached(Shard& shard, std::uint64_t key,
                            const std::optional<double>& pictureChanged, const struct stat* info,
                            std::optional<PixelSize>& size) {
    std::lock_guard lock(shard.mutex);
    const auto found = shard.entries.find(key);
    if (found == shard.entries.end()) {
        return false;
    }
    Entry& entry = found->second;
    const bool holds =
        pictureChanged
            ? entry.pictureChanged == pictureChanged
            : !entry.pictureChanged && info->st_mtim.tv_sec == entry.modified.tv_sec &&
                  info->st_mtim.tv_nsec == entry.modified.tv_nsec && info->st_size == entry.bytes &&
                  info->st_ino == entry.inode && info->st_dev == entry.device;
    if (!holds) {
        return false;
    }
    if (const std::uint32_t build = build_; entry.build != build) {
        entry.build = build;
        ++used_;
    }
    size = entry.size;
    return true;
}

std::optional<PixelSize> ThumbnailSizes::sizeOf(const std::string& path,
                                                std::optional<double> pictureChanged) {
    const std::uint64_t key = std::hash<std::string>{}(path);
    Shard& shard = shards_[key % kShards];
    std::optional<PixelSize> size;
    if (pictureChanged) {
        if (cached(shard, key, pictureChanged, nullptr, size)) {
            return size;
        }
    } else {
        struct stat info {};
        // Followed through links, and only a regular file is ever opened: a device is never
        // touched.
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return std::nullopt;
        }
        if (cached(shard, key, std::nullopt, &info, size)) {
            return size;
        }
    }
    // What was read is kept under what fstat said of the file opened, so a file replaced between
    // a stat and the opening is read again next time rather than mistaken.
    struct stat opened {};
    size = readImageSize(path, &opened);
    ++headersRead_;
    if (opened.st_ino == 0 && opened.st_dev == 0) {
        return size; // not opened, or no regular file: nothing to remember
    }
    std::lock_guard lock(shard.mutex);
    const std::uint32_t build = build_;
    const auto [entry, added] = shard.entries.try_emplace(key);
    if (added || entry->second.build != build) {
        ++used_;
    }
    entry->second = Entry{pictureChanged, opened.st_mtim, opened.st_size, opened.st_ino,
                          opened.st_dev,  size,           build};
    return size;
}

void ThumbnailSizes::startBuild() {
    ++build_;
    used_ = 0;
}

void ThumbnailSizes::forgetUnused() {
    if (used_ == size()) {
        return;
    }
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
