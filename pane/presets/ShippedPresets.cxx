#include "ShippedPresets.hxx"

#include <vector>

namespace tessaly {

namespace {

// One look: the nine integers in the settings table's order (columns, spacing, image size, menu
// width, then the five font sizes) and the seven colours (menu text, menu background, album title,
// album comment, picture background, picture title, picture comment). Every integer but the image
// size is one of the window's popup titles, so an applied look shows in every popup.
struct Look {
    const char* fileName;
    std::int32_t integers[9];
    const char* colors[7];
};

constexpr Look kLooks[] = {
    {"Dark Gallery.plist",
     {4, 12, 160, 140, -1, 2, 4, -1, -2},
     {"D8D8D8", "1E1E1E", "F0F0F0", "A8A8A8", "121212", "E0C080", "9AA5B1"}},
    {"Light Paper.plist",
     {4, 15, 150, 160, -1, 2, 3, -1, -2},
     {"333333", "F2F0EB", "222222", "555555", "FFFFFF", "1F4E79", "6B6B6B"}},
    {"Print.plist",
     {3, 25, 200, 140, -1, 1, 4, 0, -1},
     {"000000", "FFFFFF", "000000", "333333", "FFFFFF", "000000", "444444"}},
    {"Ocean.plist",
     {5, 8, 120, 160, -1, 2, 3, -1, -2},
     {"CFE8F3", "0B3C5D", "0B3C5D", "29739F", "EAF4F8", "1D2731", "4A6572"}},
};

std::vector<ShippedPreset> build() {
    std::vector<ShippedPreset> presets;
    for (const Look& look : kLooks) {
        ShippedPreset shipped{look.fileName, {}};
        std::size_t integer = 0;
        std::size_t color = 0;
        for (const SettingInfo& info : kSettings) {
            const auto at = static_cast<std::size_t>(info.id);
            if (info.type == SettingType::Integer) {
                shipped.preset.integers[at] = look.integers[integer++];
            } else if (info.type == SettingType::Color) {
                shipped.preset.colors[at] =
                    NSColorExtention::colorWithHTMLString(look.colors[color++]);
            }
        }
        presets.push_back(shipped);
    }
    return presets;
}

} // namespace

std::span<const ShippedPreset> shippedPresets() {
    static const std::vector<ShippedPreset> presets = build();
    return presets;
}

} // namespace tessaly
