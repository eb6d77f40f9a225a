#include "Color.hxx"
#include "StringExtention.hxx"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace NSStringExtention;
using namespace NSColorExtention;

TEST(StringExtention, ControlStringsAreSingleBytes) {
    EXPECT_EQ(getLFString(), "\n");
    EXPECT_EQ(getCRString(), "\r");
    EXPECT_EQ(getTabString(), "\t");
    EXPECT_EQ(getDoubleQautatioString(), "\"");
    EXPECT_EQ(getDeleteString(), "\x7f");
    EXPECT_EQ(getBackSpaceString(), "\b");
    EXPECT_EQ(BOOLString(true), "TRUE");
    EXPECT_EQ(BOOLString(false), "FALSE");
}

TEST(StringExtention, HexStringOfBytes) {
    struct Case {
        int value;
        const char* text;
    };
    static constexpr Case cases[] = {{0, "00"},  {9, "09"},   {10, "0A"},  {15, "0F"},
                                     {16, "10"}, {163, "A3"}, {171, "AB"}, {255, "FF"}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(hexString(row.value), row.text);
    }
}

TEST(StringExtention, HexValueOfTexts) {
    struct Case {
        const char* name;
        const char* text;
        int value;
    };
    static constexpr Case cases[] = {
        {"one digit", "7", 7},
        {"two digits", "A3", 163},
        {"leading zero", "0A", 10},
        {"largest", "FF", 255},
        {"three characters count only the first", "ABC", 10},
        {"four characters", "ABCD", 0},
        {"lower case is not hexadecimal", "ff", 16 * 47 + 47},
        {"below the digits is negative", "/", -1},
        {"not ASCII", "\xC3\xA9", 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(hexValue(row.text), row.value);
    }
}

TEST(Color, EveryByteValueSurvivesTheRoundTrip) {
    for (int v = 0; v < 256; ++v) {
        // Each component position gets every value, with different neighbours.
        const std::string text = hexString(v) + hexString(255 - v) + hexString((v * 7) % 256);
        SCOPED_TRACE(text);
        const auto color = colorWithHTMLString(text);
        ASSERT_TRUE(color);
        EXPECT_EQ(color->alpha, 1.0f);
        EXPECT_EQ(HTMLColor(*color), text);
    }
}

TEST(Color, ComponentsFromText) {
    const auto color = colorWithHTMLString("A3392C");
    ASSERT_TRUE(color);
    EXPECT_FLOAT_EQ(color->red, 163.0f / 255.0f);
    EXPECT_FLOAT_EQ(color->green, 57.0f / 255.0f);
    EXPECT_FLOAT_EQ(color->blue, 44.0f / 255.0f);
}

TEST(Color, OnlySixCharacterTextsAreColours) {
    for (const char* text : {"#A3392C", "A33", "", "A3392C0", "\xC3\xA9\xC3\xA9\xC3\xA9"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(colorWithHTMLString(text));
    }
    // Six characters, three of them two bytes long: a colour, with out-of-range components.
    EXPECT_TRUE(colorWithHTMLString("\xC3\xA9\xC3\xA9"
                                    "AB\xC3\xA9"
                                    "C"));
}

TEST(Color, ComponentsAreTruncatedNotRounded) {
    EXPECT_EQ(HTMLColor({0.5f, 0.999f, 1.0f, 1.0f}), "7FFEFF");
    EXPECT_EQ(HTMLColor({0.0039f, 0.0f, 0.0f, 0.25f}), "000000");
}

} // namespace
} // namespace tessaly
