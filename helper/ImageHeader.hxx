// The pixel size of an image file, read from its header alone: the thumbnails of later versions
// of the photo application come without an "Aspect Ratio" in the index, and their pages show
// each at its file's own proportions.
//
// Only the first bytes are read, never the image data: a JPEG's segment headers up to its frame
// header (with the Exif orientation, which browsers apply when they show it), a PNG's IHDR chunk,
// a GIF's screen descriptor. The file is opened without blocking and without becoming a
// controlling terminal, and read only when it is a regular file, so a link to a device or a pipe
// in the library can neither hang nor stop a build; a huge, truncated or foreign file gives
// nothing after at most a few small reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace tessaly {

struct PixelSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    bool operator==(const PixelSize&) const = default;
};

// How far into a file a header is looked for, and how many reads it may take.
inline constexpr std::uint64_t kLongestImageHeader = 1 << 20;
inline constexpr int kMostHeaderReads = 16;

// The size the image is shown at, from a file's bytes held in memory (its first bytes are
// enough); read as from a file, with the same limits.
std::optional<PixelSize> imageSizeOfBytes(std::string_view bytes);

// Opens the file at the path (see above) and reads its size. `info`, when given, receives what
// fstat said of the file opened, so that a cache can tell a later change.
std::optional<PixelSize> readImageSize(const std::string& path, struct stat* info = nullptr);

} // namespace tessaly
