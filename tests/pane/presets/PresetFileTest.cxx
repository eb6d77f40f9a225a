#include "PresetFile.hxx"

#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <cstdio>

namespace tessaly {
namespace {

using NSColorExtention::colorWithHTMLString;
using NSColorExtention::HTMLColor;

constexpr Setting kColors[] = {
    Setting::MenuTextColor,       Setting::MenuBkgndColor,    Setting::AlbumTitleColor,
    Setting::AlbumCommentColor,   Setting::PictureBkgndColor, Setting::PictureTitleColor,
    Setting::PictureCommentColor,
};

std::string hex(int red, int green, int blue) {
    char text[7];
    std::snprintf(text, sizeof text, "%02X%02X%02X", red, green, blue);
    return text;
}

// Through the preset's dictionary, its XML text and back, as a save and a later apply do.
Preset throughXml(const Preset& preset) {
    PlistPtr dictionary = presetDictionary(preset);
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dictionary.get(), &xml, &length);
    plist_t parsed = nullptr;
    plist_from_xml(xml, length, &parsed);
    plist_to_xml_free(xml);
    PlistPtr owner(parsed);
    PresetResult<Preset> result = presetFromDictionary(parsed, "test.plist");
    EXPECT_TRUE(result.ok());
    return result.ok() ? result.value() : Preset{};
}

// Each component takes every byte value once over the 256 rounds, in every one of the seven
// colours, and must reach the store as the very same colour, floats and six digits alike.
TEST(PresetFile, EveryColourByteSurvivesSaveAndApply) {
    testing::TempHome home;
    LumibayPref source;
    LumibayPref target;
    for (int value = 0; value < 256; ++value) {
        const std::string text = hex(value, (value + 85) % 256, (value + 170) % 256);
        SCOPED_TRACE(text);
        for (Setting color : kColors) {
            source.setColorSetting(color, *colorWithHTMLString(text));
            target.setColorSetting(color, *colorWithHTMLString("123456"));
        }
        applyPreset(throughXml(makeCurrentSetting(source)), target);
        for (Setting color : kColors) {
            const std::optional<RgbColor> before = source.colorSetting(color);
            const std::optional<RgbColor> after = target.colorSetting(color);
            ASSERT_TRUE(after);
            EXPECT_EQ(HTMLColor(*after), text);
            EXPECT_EQ(after->red, before->red);
            EXPECT_EQ(after->green, before->green);
            EXPECT_EQ(after->blue, before->blue);
        }
    }
}

TEST(PresetFile, IntegersKeepTheirSignAndFullRange) {
    testing::TempHome home;
    static constexpr std::int32_t kValues[] = {0, -2, 150, INT32_MIN, INT32_MAX};
    for (std::int32_t value : kValues) {
        SCOPED_TRACE(value);
        Preset preset;
        preset.integers[static_cast<std::size_t>(Setting::MenuFontSize)] = value;
        EXPECT_EQ(throughXml(preset).integer(Setting::MenuFontSize), value);
    }
}

TEST(PresetFile, ColourDataOfAnotherLengthDoesNotDecode) {
    EXPECT_FALSE(decodePresetColor(""));
    EXPECT_FALSE(decodePresetColor(std::string_view("\x01\x02", 2)));
    EXPECT_FALSE(decodePresetColor(std::string_view("\x01\x02\x03\x04", 4)));
    EXPECT_TRUE(decodePresetColor(std::string_view("\0\0\0", 3)));
}

} // namespace
} // namespace tessaly
