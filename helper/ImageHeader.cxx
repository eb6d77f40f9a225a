#include "ImageHeader.hxx"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaly {

namespace {

// A window on the file's first kLongestImageHeader bytes, moved by a read where the next header
// lies; at most kMostHeaderReads reads in all.
class HeaderBytes {
public:
    virtual ~HeaderBytes() = default;

    // The `length` bytes at `offset` (length at most kWindow), or nullptr when they lie beyond
    // the file, beyond the limit, or the reads are used up.
    const unsigned char* at(std::uint64_t offset, std::size_t length) {
        if (offset >= start_ && offset + length <= start_ + filled_) {
            return window_.data() + (offset - start_);
        }
        if (length > window_.size() || offset + length > kLongestImageHeader ||
            reads_ >= kMostHeaderReads) {
            return nullptr;
        }
        ++reads_;
        start_ = offset;
        filled_ = fill(offset, window_.data(), window_.size());
        return length <= filled_ ? window_.data() : nullptr;
    }

    static constexpr std::size_t kWindow = 4096;

protected:
    // Reads up to `size` bytes at `offset` into `out`; answers how many.
    virtual std::size_t fill(std::uint64_t offset, unsigned char* out, std::size_t size) = 0;

private:
    std::array<unsigned char, kWindow> window_{};
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    int reads_ = 0;
};

class MemoryBytes final : public HeaderBytes {
public:
    explicit MemoryBytes(std::string_view bytes) : bytes_(bytes) {}

private:
    std::size_t fill(std::uint64_t offset, unsigned char* out, std::size_t size) override {
        if (offset >= bytes_.size()) {
            return 0;
        }
        const std::size_t length = std::min<std::size_t>(size, bytes_.size() - offset);
        std::memcpy(out, bytes_.data() + offset, length);
        return length;
    }
    std::string_view bytes_;
};

class FileBytes final : public HeaderBytes {
public:
    explicit FileBytes(int fd) : fd_(fd) {}

private:
    std::size_t fill(std::uint64_t offset, unsigned char* out, std::size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }
    int fd_;
};

std::uint32_t bigEndian16(const unsigned char* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}
std::uint32_t littleEndian16(const unsigned char* p) { return (std::uint32_t{p[1]} << 8) | p[0]; }

std::optional<PixelSize> sizeIfShown(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) {
        return std::nullopt;
    }
    return PixelSize{width, height};
}

// --- PNG and GIF ---------------------------------------------------------------------------------

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::optional<PixelSize> pngSize(const unsigned char* head) {
    // The first chunk is IHDR: its length (13), its type, then width and height.
    if (std::memcmp(head + 12, "IHDR", 4) != 0) {
        return std::nullopt;
    }
    const std::uint32_t width = bigEndian32(head + 16);
    const std::uint32_t height = bigEndian32(head + 20);
    // The format allows at most 2^31 - 1 either way.
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) {
        return std::nullopt;
    }
    return sizeIfShown(width, height);
}

std::optional<PixelSize> gifSize(const unsigned char* head) {
    return sizeIfShown(littleEndian16(head + 6), littleEndian16(head + 8));
}

// --- JPEG ----------------------------------------------------------------------------------------

// The Exif orientation in an APP1 segment's data (after its length), 1 when none is found. Only
// the first IFD is looked at, and only what lies in the bytes given.
int exifOrientation(const unsigned char* data, std::size_t size) {
    constexpr unsigned char kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof kExif + 8 || std::memcmp(data, kExif, sizeof kExif) != 0) {
        return 1;
    }
    const unsigned char* tiff = data + sizeof kExif;
    const std::size_t tiffSize = size - sizeof kExif;
    bool little = false;
    if (std::memcmp(tiff, "II*\0", 4) == 0) {
        little = true;
    } else if (std::memcmp(tiff, "MM\0*", 4) != 0) {
        return 1;
    }
    auto read16 = [&](std::size_t at) {
        return little ? littleEndian16(tiff + at) : bigEndian16(tiff + at);
    };
    auto read32 = [&](std::size_t at) {
        return little ? (read16(at + 2) << 16) | read16(at) : (read16(at) << 16) | read16(at + 2);
    };
    const std::uint32_t ifd = read32(4);
    if (ifd > tiffSize || tiffSize - ifd < 2) {
        return 1;
    }
    const std::uint32_t entries = read16(ifd);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + std::size_t{i} * 12;
        if (entry + 12 > tiffSize) {
            break;
        }
        constexpr std::uint32_t kOrientationTag = 0x0112;
        constexpr std::uint32_t kShort = 3;
        if (read16(entry) == kOrientationTag && read16(entry + 2) == kShort) {
            const std::uint32_t value = read16(entry + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

bool isFrameHeader(unsigned char marker) {
    // SOF0 to SOF15, but DHT (C4), JPG (C8) and DAC (CC) share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<PixelSize> jpegSize(HeaderBytes& bytes) {
    std::uint64_t at = 2; // after SOI
    int orientation = 1;
    for (;;) {
        // A marker: one or more 0xFF, then its code.
        const unsigned char* p = bytes.at(at, 2);
        if (!p || p[0] != 0xFF) {
            return std::nullopt;
        }
        if (p[1] == 0xFF) {
            ++at; // fill byte
            continue;
        }
        const unsigned char marker = p[1];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at += 2; // stands alone, no length
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) {
            return std::nullopt; // the image data or its end, and no frame header before them
        }
        const unsigned char* lengthBytes = bytes.at(at + 2, 2);
        if (!lengthBytes) {
            return std::nullopt;
        }
        const std::uint32_t length = bigEndian16(lengthBytes);
        if (length < 2) {
            return std::nullopt;
        }
        if (isFrameHeader(marker)) {
            // Precision, then height and width.
            const unsigned char* frame = bytes.at(at + 4, 5);
            if (!frame || length < 7) {
                return std::nullopt;
            }
            const std::uint32_t height = bigEndian16(frame + 1);
            const std::uint32_t width = bigEndian16(frame + 3);
            // Orientations 5 to 8 turn the picture by a quarter: it is shown the other way up.
            return orientation >= 5 ? sizeIfShown(height, width) : sizeIfShown(width, height);
        }
        if (marker == 0xE1 && orientation == 1) {
            const std::size_t size = std::min<std::size_t>(length - 2, HeaderBytes::kWindow);
            if (const unsigned char* data = bytes.at(at + 4, size)) {
                orientation = exifOrientation(data, size);
            }
        }
        at += 2 + std::uint64_t{length};
    }
}

std::optional<PixelSize> sizeFrom(HeaderBytes& bytes) {
    if (const unsigned char* head = bytes.at(0, 24)) {
        if (std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0) {
            return pngSize(head);
        }
    }
    if (const unsigned char* head = bytes.at(0, 10)) {
        if (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0) {
            return gifSize(head);
        }
    }
    if (const unsigned char* head = bytes.at(0, 3)) {
        if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
            return jpegSize(bytes);
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<PixelSize> imageSizeOfBytes(std::string_view bytes) {
    MemoryBytes source(bytes);
    return sizeFrom(source);
}

std::optional<PixelSize> readImageSize(const std::string& path, struct stat* info) {
    // Non-blocking, so that a pipe or a device at the path cannot hold the build; it is closed
    // again unread once fstat says it is no regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat opened {};
    std::optional<PixelSize> size;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        if (info) {
            *info = opened;
        }
        FileBytes source(fd);
        size = sizeFrom(source);
    }
    ::close(fd);
    return size;
}

} // namespace tessaly
