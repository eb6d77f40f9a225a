// What the thumbnails' headers said, kept for the life of the helper so that a rebuild reads only
// the thumbnails that are new or changed since the last one: a library of the later versions
// names every picture's proportions through its thumbnail file alone, and a hundred thousand
// headers would otherwise be read again at every build.
//
// A file is known by its path, and what was read of it holds while its modification time, size
// and inode stay the same. Looked up from the page pool's threads at once: the entries are
// spread over shards, each under a short lock, and a header is read outside any lock.
#pragma once

#include "ImageHeader.hxx"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace tessaly {

class ThumbnailSizes {
public:
    // The size of the image at the path; nothing when no regular file is there (a link to one
    // counts) or its header cannot be read. What could not be read is remembered too, until the
    // file changes.
    std::optional<PixelSize> sizeOf(const std::string& path);

    // Marks the start of a build; forgetUnused() after it drops what that build did not look up,
    // so that pictures gone from the library do not stay in memory.
    void startBuild();
    void forgetUnused();

    // How many headers were read in all, and how many files are known.
    std::uint64_t headersRead() const { return headersRead_; }
    std::size_t size() const;

private:
    struct Entry {
        timespec modified{};
        off_t bytes = 0;
        ino_t inode = 0;
        dev_t device = 0;
        std::optional<PixelSize> size;
        std::uint32_t build = 0;
    };
    struct Shard {
        mutable std::mutex mutex;
        std::unordered_map<std::string, Entry> entries;
    };
    static constexpr std::size_t kShards = 16;

    std::array<Shard, kShards> shards_;
    std::atomic<std::uint32_t> build_{0};
    std::atomic<std::uint64_t> headersRead_{0};
};

} // namespace tessaly
