// The low-level helpers every part of the programs shares: number conversions that must not
// depend on the locale, and whole-file reads and writes that must not lose or overrun data.

#include "DecimalComma.hxx"
#include "FileIO.hxx"
#include "Numbers.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

using testing::DecimalCommaLocale;
using testing::readFile;
using testing::TempHome;
using testing::writeFile;

TEST(Numbers, ParseDoubleReadsTheWholeTextInEveryLocale) {
    struct Case {
        const char* name;
        const char* text;
        std::optional<double> value;
    };
    static constexpr Case kCases[] = {
        {"decimal point", "0.25", 0.25},
        {"plus sign", "+2.5", 2.5},
        {"negative exponent", "-1.5e-3", -1.5e-3},
        {"integer", "42", 42.0},
        {"decimal comma is no number", "0,25", std::nullopt},
        {"trailing text", "2.5x", std::nullopt},
        {"leading space", " 2.5", std::nullopt},
        {"empty", "", std::nullopt},
        {"sign alone", "+", std::nullopt},
        {"two signs", "+-1", std::nullopt},
        {"out of range", "1e999", std::nullopt},
    };
    DecimalCommaLocale german; // where available; the answers must not change with it
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parseDouble(row.text), row.value);
    }
    EXPECT_TRUE(std::isinf(*parseDouble("-inf")));
    EXPECT_TRUE(std::isnan(*parseDouble("nan")));
}

TEST(Numbers, ClampToInt32TruncatesTowardZeroAndClamps) {
    struct Case {
        const char* name;
        double value;
        std::int32_t expected;
    };
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    static constexpr Case kCases[] = {
        {"positive fraction", 200.9, 200},
        {"negative fraction", -2.9, -2},
        {"just below the top", 2147483646.9, 2147483646},
        {"above the top", 1e12, kMax},
        {"below the bottom", -1e12, kMin},
        {"exactly the bottom", -2147483648.0, kMin},
        {"infinity", std::numeric_limits<double>::infinity(), kMax},
        {"minus infinity", -std::numeric_limits<double>::infinity(), kMin},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(clampToInt32(row.value), row.expected);
    }
}

TEST(FileIO, ReadWholeFileHonoursItsLimit) {
    TempHome home;
    const auto file = home.path() / "file";
    writeFile(file, "0123456789");
    std::filesystem::create_symlink(file, home.path() / "link");
    std::filesystem::create_directory(home.path() / "folder");
    ASSERT_EQ(::mkfifo((home.path() / "fifo").c_str(), 0600), 0);

    struct Case {
        const char* name;
        const char* entry;
        std::uintmax_t limit;
        std::optional<std::string> expected;
    };
    static constexpr Case kCases[] = {
        {"exactly at the limit", "file", 10, "0123456789"},
        {"one byte over", "file", 9, std::nullopt},
        {"through a link", "link", 100, "0123456789"},
        {"missing", "missing", 100, std::nullopt},
        {"a folder", "folder", 100, std::nullopt},
        {"a fifo does not block", "fifo", 100, std::nullopt},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(readWholeFile((home.path() / row.entry).string(), row.limit), row.expected);
    }
    writeFile(file, "");
    EXPECT_EQ(readWholeFile(file.string(), 0), std::string());
}

TEST(FileIO, WriteAllWritesEverythingOrSaysItFailed) {
    TempHome home;
    const auto path = home.path() / "out";
    // More than a pipe or a single write call is guaranteed to take at once.
    std::string bytes(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 131 % 251);
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(writeAll(fd, bytes));
    ::close(fd);
    EXPECT_EQ(readFile(path), bytes);

    fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(writeAll(fd, "x"));
    ::close(fd);
}

} // namespace
} // namespace tessaly
