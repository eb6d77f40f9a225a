// What the thumbnails' headers said, kept for the life of the helper so that a rebuild reads only
// the thumbnails that are new or changed since the last one: a library of the later versions
// names every picture's proportions through its thumbnail file alone, and a hundred thousand
// headers would otherwise be read again at every build.
//
// A file is known by its path. What was read of it holds while the picture's own modification
// date in the index stays the same (the application changes it whenever it makes the picture's
// thumbnail anew, as when the picture is turned or cropped), so that a rebuild looks at no file
// at all; a picture without that date is looked at, and its header read again when the file's
// modification time, size or inode changed. A thumbnail that is not there is not remembered:
// the application may write it later. Looked up from the page pool's threads at once: the
// entries are spread over shards, each under a short lock, and a header is read outside any lock.
//
// Entries are kept under a 64-bit hash of the path rather than the path itself: a rebuild looks
// up every picture, and the path's own memory would cost each lookup another trip to main
// memory. Two paths of one library sharing a hash is as likely as a few in ten billion, and
// would show one thumbnail in the other's proportions.
#pragma once

#include "ImageHeader.hxx"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace tessaly {

class ThumbnailSizes {
public:
    // The size of the image at the path; nothing when no regular file is there (a link to one
    // counts) or its header cannot be read. `pictureChanged` is the picture's modification date
    // from the index, when it gives one.
    std::optional<PixelSize> sizeOf(const std::string& path,
                                    std::optional<double> pictureChanged = std::nullopt);

    // Marks the start of a build; forgetUnused() after it drops what that build did not look up,
    // so that pictures gone from the library do not stay in memory.
    void startBuild();
    void forgetUnused();

    // How many headers were read in all, and how many files are known.
    std::uint64_t headersRead() const { return headersRead_; }
    std::size_t size() const;

private:
    struct Entry {
        // What the size was read under: the picture's date, or else the file's identity.
        std::optional<double> pictureChanged;
        timespec modified{};
        off_t bytes = 0;
        ino_t inode = 0;
        dev_t device = 0;
        std::optional<PixelSize> size;
        std::uint32_t build = 0;
    };
    // A cache line each, so that the page threads' locks do not pass lines back and forth.
    struct alignas(64) Shard {
        mutable std::mutex mutex;
        std::unordered_map<std::uint64_t, Entry> entries;
    };
    static constexpr std::size_t kShards = 16;

    // A cached size when the entry still holds; marks it used by this build.
    bool cached(Shard& shard, std::uint64_t key, const std::optional<double>& pictureChanged,
                const struct stat* info, std::optional<PixelSize>& size);

    std::array<Shard, kShards> shards_;
    std::atomic<std::uint32_t> build_{0};
    // Entries looked up since startBuild(): when they are all there are, nothing is to be
    // forgotten and the entries need no walk.
    std::atomic<std::size_t> used_{0};
    std::atomic<std::uint64_t> headersRead_{0};
};

} // namespace tessaly
