#include "FileManagerExtention.hxx"
#include "TempHome.hxx"
#include "Templates.hxx"

#include <gtest/gtest.h>

#ifndef HELPER_RESOURCES
#error "HELPER_RESOURCES names the source folder of the helper's resources"
#endif

namespace tessaly {
namespace {

using NSFileManagerExtention::getChecksum;
using testing::TempHome;
using testing::writeFile;

std::uint32_t signedByteSum(const std::string& bytes) {
    std::int64_t sum = 0;
    for (unsigned char byte : bytes) {
        sum += static_cast<std::int8_t>(byte);
    }
    return static_cast<std::uint32_t>(sum);
}

TEST(Checksum, ModesSumAllOrHalfOfAFile) {
    struct Case {
        const char* name;
        std::string bytes;
        std::uint32_t whole;
        std::uint32_t secondHalf;
        std::uint32_t firstHalf;
    };
    const Case cases[] = {
        {"abc", "abc", 294, 197, 195},
        {"empty", "", 0, 0, 0},
        {"one byte", "z", 122, 122, 122},
        {"bytes above 127 count negative", "\x80\xFF", static_cast<std::uint32_t>(-129),
         static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-128)},
        {"300 bytes of 0xFF", std::string(300, '\xFF'), 4294966996u,
         static_cast<std::uint32_t>(-150), static_cast<std::uint32_t>(-150)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        const auto path = (home.path() / "file").string();
        writeFile(path, row.bytes);
        EXPECT_EQ(getChecksum(path, 0), row.whole);
        EXPECT_EQ(getChecksum(path, 1), row.secondHalf);
        EXPECT_EQ(getChecksum(path, 2), row.firstHalf);
        EXPECT_EQ(getChecksum(path, 7), row.whole); // any other mode sums the whole file
    }
}

TEST(Checksum, LargeFilesAreSummedAcrossBlocks) {
    TempHome home;
    std::string bytes;
    for (int i = 0; i < 2500; ++i) {
        bytes.push_back(static_cast<char>((i * 37 + 11) % 256));
    }
    const auto path = (home.path() / "big").string();
    writeFile(path, bytes);
    EXPECT_EQ(getChecksum(path, 0), signedByteSum(bytes));
    EXPECT_EQ(getChecksum(path, 1), signedByteSum(bytes.substr(1250)));
    EXPECT_EQ(getChecksum(path, 2), signedByteSum(bytes.substr(0, 1250)));
}

TEST(Checksum, FoldersSumEverythingInThem) {
    TempHome home;
    const auto folder = home.path() / "folder";
    writeFile(folder / "a", "abc");
    writeFile(folder / "b", std::string(300, '\xFF'));
    writeFile(folder / "sub/c", "z");
    EXPECT_EQ(getChecksum(folder.string(), 0), 294u + 4294966996u + 122u);
    std::filesystem::create_directories(home.path() / "empty");
    EXPECT_EQ(getChecksum((home.path() / "empty").string(), 0), 0u);
}

// Folders are walked through links, so a link back up the tree is followed until the depth
// limit of 32 folders stops it. "folder" is entered at depths 0, 2, ..., 30 (each time through
// sub/loop), and every visit sums a, b and sub/c; at depth 32 the walk stops.
TEST(Checksum, ALinkLoopIsWalkedToTheDepthLimit) {
    TempHome home;
    const auto folder = home.path() / "folder";
    writeFile(folder / "a", "abc");                    // 294
    writeFile(folder / "b", std::string(300, '\xFF')); // -300
    writeFile(folder / "sub/c", "z");                  // 122
    std::filesystem::create_directory_symlink(folder, folder / "sub/loop");
    constexpr std::uint32_t kOneVisit = 294u - 300u + 122u;
    EXPECT_EQ(getChecksum(folder.string(), 0), 16u * kOneVisit);
}

TEST(Checksum, NothingThereGivesZero) {
    TempHome home;
    EXPECT_EQ(getChecksum(std::nullopt, 0), 0u);
    EXPECT_EQ(getChecksum((home.path() / "missing").string(), 0), 0u);
}

// The expected sums in the code must belong to the templates we ship, or every build would
// close the site.
TEST(Checksum, ShippedTemplatesMatchTheirExpectedSums) {
    const std::string folder = std::string(HELPER_RESOURCES) + "/" + templates::kFolder + "/";
    EXPECT_EQ(getChecksum(folder + templates::kMenuHead, 0), templates::kMenuHeadChecksum)
        << "menu1.txt changed: update kMenuHeadChecksum";
    EXPECT_EQ(getChecksum(folder + templates::kAlbumHead, 0), templates::kAlbumHeadChecksum)
        << "picture1.txt changed: update kAlbumHeadChecksum";
}

} // namespace
} // namespace tessaly
