// The pixel size of thumbnails, read from their headers: hand-made headers for the cases the
// photo application's files and damaged files give, the fixture's real files, and files that are
// no images at all, which must neither hang nor be read past their first bytes.
#include "ImageHeader.hxx"

#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#ifndef FIXTURE_DIR
#error FIXTURE_DIR names the folder of the test data
#endif

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::string bigEndian16(unsigned value) {
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

// A JPEG segment: its marker, its length (which counts itself), its data.
std::string segment(unsigned char marker, const std::string& data) {
    return std::string("\xFF") + static_cast<char>(marker) + bigEndian16(data.size() + 2) + data;
}

std::string frame(unsigned char marker, unsigned width, unsigned height) {
    // Precision, height, width, one component.
    return segment(marker, std::string("\x08", 1) + bigEndian16(height) + bigEndian16(width) +
                               std::string("\x01\x01\x11\x00", 4));
}

const std::string kSoi = "\xFF\xD8";
const std::string kJfif = segment(0xE0, std::string("JFIF\0\x01\x02\0\0\x01\0\x01\0\0", 14));
const std::string kScan = segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) + "\x12\x34";

// An Exif segment whose first IFD holds the orientation, in either byte order.
std::string exif(int orientation, bool little) {
    auto u16 = [little](unsigned v) {
        return little ? std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}
                      : bigEndian16(v);
    };
    auto u32 = [&](unsigned v) {
        return little ? u16(v & 0xFFFF) + u16(v >> 16) : u16(v >> 16) + u16(v & 0xFFFF);
    };
    std::string tiff = little ? std::string("II*\0", 4) : std::string("MM\0*", 4);
    tiff += u32(8) + u16(2);
    tiff += u16(0x010F) + u16(2) + u32(4) + u32(0);                    // Make, not looked at
    tiff += u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0); // Orientation
    tiff += u32(0);
    return segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

std::string png(unsigned width, unsigned height, const char* chunk = "IHDR") {
    auto u32 = [](unsigned v) { return bigEndian16(v >> 16) + bigEndian16(v & 0xFFFF); };
    return std::string("\x89PNG\r\n\x1A\n", 8) + u32(13) + chunk + u32(width) + u32(height) +
           std::string("\x08\x02\x00\x00\x00", 5) + u32(0);
}

std::string gif(const char* version, unsigned width, unsigned height) {
    return std::string(version) + static_cast<char>(width & 0xFF) + static_cast<char>(width >> 8) +
           static_cast<char>(height & 0xFF) + static_cast<char>(height >> 8) +
           std::string("\xF7\x00\x00", 3);
}

TEST(ImageHeader, ReadsTheShownSizeFromTheHeader) {
    struct Case {
        const char* name;
        std::string bytes;
        unsigned width; // 0: no size
        unsigned height;
    };
    const std::string app2(60000, 'p'); // an ICC profile, larger than the first read
    const Case cases[] = {
        {"baseline JPEG", kSoi + kJfif + frame(0xC0, 240, 160) + kScan, 240, 160},
        {"progressive JPEG", kSoi + kJfif + frame(0xC2, 160, 240) + kScan, 160, 240},
        {"fill bytes before a marker", kSoi + "\xFF\xFF" + frame(0xC0, 30, 20), 30, 20},
        {"frame header after a large profile",
         kSoi + kJfif + segment(0xE2, app2) + frame(0xC0, 240, 180) + kScan, 240, 180},
        {"turned a quarter by its Exif orientation (big-endian)",
         kSoi + exif(6, false) + frame(0xC0, 240, 160) + kScan, 160, 240},
        {"turned the other quarter (little-endian)",
         kSoi + exif(8, true) + frame(0xC0, 240, 160) + kScan, 160, 240},
        {"upside down keeps its shape", kSoi + exif(3, true) + frame(0xC0, 240, 160), 240, 160},
        {"an orientation out of range counts as none",
         kSoi + exif(9, false) + frame(0xC0, 240, 160), 240, 160},
        {"the tables are no frame header",
         kSoi + segment(0xC4, "huffman") + segment(0xCC, "arith") + frame(0xC1, 64, 48), 64, 48},
        {"image data before any frame header", kSoi + kJfif + kScan + frame(0xC0, 240, 160), 0, 0},
        {"cut before the frame header", kSoi + kJfif + frame(0xC0, 240, 160).substr(0, 6), 0, 0},
        {"a frame of height 0 (given later)", kSoi + frame(0xC0, 240, 0), 0, 0},
        {"a segment length below 2", kSoi + "\xFF\xE0\x00\x01" + frame(0xC0, 2, 2), 0, 0},
        {"no marker where one belongs", kSoi + "junk" + frame(0xC0, 2, 2), 0, 0},
        {"PNG", png(120, 160), 120, 160},
        {"PNG of width 0", png(0, 160), 0, 0},
        {"PNG wider than the format allows", png(0x80000000u, 1), 0, 0},
        {"PNG whose first chunk is not IHDR", png(120, 160, "IDAT"), 0, 0},
        {"GIF89a", gif("GIF89a", 100, 100), 100, 100},
        {"GIF87a", gif("GIF87a", 640, 480), 640, 480},
        {"cut GIF", gif("GIF89a", 100, 100).substr(0, 8), 0, 0},
        {"text", "hello, this is no picture", 0, 0},
        {"empty", "", 0, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::optional<PixelSize> size = imageSizeOfBytes(row.bytes);
        if (row.width == 0) {
            EXPECT_FALSE(size) << size->width << "x" << size->height;
        } else {
            ASSERT_TRUE(size);
            EXPECT_EQ(*size, (PixelSize{row.width, row.height}));
        }
    }
}

// A JPEG whose frame header lies further in than any thumbnail's: given up after a bounded
// number of small reads, not followed to the end of the file.
TEST(ImageHeader, AFrameHeaderBeyondTheLimitIsNotLookedFor) {
    std::string bytes = kSoi;
    while (bytes.size() < kLongestImageHeader + 70000) {
        bytes += segment(0xE3, std::string(65000, 'x'));
    }
    bytes += frame(0xC0, 10, 10);
    EXPECT_FALSE(imageSizeOfBytes(bytes));
    // Many small segments use up the reads before the limit.
    std::string many = kSoi;
    for (int i = 0; i < kMostHeaderReads + 2; ++i) {
        many += segment(0xE4, std::string(5000, 'y'));
    }
    EXPECT_FALSE(imageSizeOfBytes(many + frame(0xC0, 10, 10)));
}

TEST(ImageHeader, ReadsTheFixturesRealFiles) {
    struct Case {
        const char* file;
        unsigned width;
        unsigned height;
    };
    static constexpr Case cases[] = {
        {"landscape.jpg", 240, 160},
        {"portrait.png", 120, 160},
        {"square.gif", 100, 100},
    };
    const fs::path folder =
        fs::path(FIXTURE_DIR) / "libraries/v9-thumbnails/library/Thumbnails/2014/04/20";
    for (const Case& row : cases) {
        SCOPED_TRACE(row.file);
        struct stat info {};
        const std::optional<PixelSize> size = readImageSize(folder / row.file, &info);
        ASSERT_TRUE(size);
        EXPECT_EQ(*size, (PixelSize{row.width, row.height}));
        EXPECT_TRUE(S_ISREG(info.st_mode));
    }
}

// Whatever stands at a thumbnail's path, the build goes on at once.
TEST(ImageHeader, FilesThatAreNoImagesNeverHoldTheBuild) {
    TempHome home;
    const fs::path folder = home.path();
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "zero");
    fs::create_symlink("/dev/tty", folder / "terminal");
    fs::create_directory(folder / "folder");
    writeFile(folder / "image.jpg", kSoi + frame(0xC0, 240, 160));
    fs::create_symlink(folder / "image.jpg", folder / "link.jpg");
    {
        // A file of 4 GB that starts as a JPEG: only its first bytes are read.
        const int fd = ::open((folder / "huge.jpg").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string start = kSoi + kJfif;
        ASSERT_EQ(::write(fd, start.data(), start.size()), static_cast<ssize_t>(start.size()));
        ASSERT_EQ(::ftruncate(fd, off_t{4} << 30), 0);
        ::close(fd);
    }
    struct Case {
        const char* name;
        const char* file;
        bool read;
    };
    static constexpr Case cases[] = {
        {"a pipe without a writer", "pipe", false},
        {"a link to a device of endless zeros", "zero", false},
        {"a link to a terminal", "terminal", false},
        {"a folder", "folder", false},
        {"nothing", "missing", false},
        {"a huge file", "huge.jpg", false},
        {"a link to an image", "link.jpg", true},
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::optional<PixelSize> size = readImageSize(folder / row.file);
        EXPECT_EQ(size.has_value(), row.read);
    }
    // Generous for a loaded machine; reading the huge file or waiting on the pipe would not end.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

} // namespace
} // namespace tessaly
