#include "Format.hxx"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(Format, FillsTextsIntegersAndPercentSigns) {
    EXPECT_EQ(format("<a href=%@%d.html%@>%@</a>", {"\"", 7, "\"", "Summer"}),
              "<a href=\"7.html\">Summer</a>");
    EXPECT_EQ(format("%d%% of %d", {-3, 2147483647}), "-3% of 2147483647");
    EXPECT_EQ(format("%@/Contents/%@", {"/home/a/Sites/site", "menu.html"}),
              "/home/a/Sites/site/Contents/menu.html");
}

// Templates are data a user can edit; a mismatch between conversions and values must never crash
// or read past the values.
TEST(Format, MismatchedTemplatesStayWithinTheirValues) {
    struct Case {
        const char* name;
        const char* format;
        const char* expected;
    };
    static constexpr Case cases[] = {
        {"too few values", "%@-%d-%@-%d", "a-1--"},
        {"too many values", "%@", "a"},
        {"number for a text", "%d:%@", "a:1"},
        {"unknown conversion is copied", "100%s %@", "100%s a"},
        {"percent at the end", "50%", "50%"},
        {"no conversions", "plain", "plain"},
        {"empty format", "", ""},
        {"width flags are not conversions", "%5d|%@", "%5d|a"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(format(row.format, {"a", 1}), row.expected);
    }
}

TEST(Format, AppendKeepsWhatIsThere) {
    std::string page = "<p>";
    appendFormat(page, "%@%d", {"x", 42});
    EXPECT_EQ(page, "<p>x42");
}

} // namespace
} // namespace tessaly
