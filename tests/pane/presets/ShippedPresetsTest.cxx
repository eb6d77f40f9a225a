// The committed files in ViewSettings/ must be what make_shipped_presets writes from the table:
// complete, readable by the window, and the same looks.
#include "ShippedPresets.hxx"

#include "PresetFolder.hxx"

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaly {
namespace {

using NSColorExtention::HTMLColor;

TEST(ShippedPresets, FilesMatchTheirTableAndAreComplete) {
    PresetFolder folder{SHIPPED_PRESETS};
    PresetResult<std::vector<std::string>> listed = folder.list();
    ASSERT_TRUE(listed.ok()) << listed.problem().message;
    std::vector<std::string> expected;
    for (const ShippedPreset& shipped : shippedPresets()) {
        expected.push_back(shipped.fileName);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed.value(), expected);
    EXPECT_GE(expected.size(), 3u);

    for (const ShippedPreset& shipped : shippedPresets()) {
        SCOPED_TRACE(shipped.fileName);
        PresetResult<Preset> loaded = folder.load(shipped.fileName);
        ASSERT_TRUE(loaded.ok()) << loaded.problem().message;
        for (const SettingInfo& info : kSettings) {
            SCOPED_TRACE(info.key);
            if (info.type == SettingType::Integer) {
                ASSERT_TRUE(loaded.value().integer(info.id));
                EXPECT_EQ(loaded.value().integer(info.id), shipped.preset.integer(info.id));
            } else if (info.type == SettingType::Color) {
                ASSERT_TRUE(loaded.value().color(info.id));
                EXPECT_EQ(HTMLColor(*loaded.value().color(info.id)),
                          HTMLColor(*shipped.preset.color(info.id)));
            }
        }
    }
}

} // namespace
} // namespace tessaly
