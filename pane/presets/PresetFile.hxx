// A preset of the site's look: the nine integer and the seven colour settings, kept as one
// property-list file whose root dictionary uses the settings keys. Integers are integer values;
// a colour is a data value of exactly three bytes, red, green and blue, each the 0-255 value the
// settings file would write for it, so a colour goes through a preset unchanged.
//
// Which settings belong to a preset is read from the settings table (its integer and colour rows),
// so saving and applying are one walk over that table.
#pragma once

#include "LumibayPref.hxx"
#include "OfferedValues.hxx"
#include "PlistFile.hxx"
#include "PresetProblem.hxx"
#include "SettingsTable.hxx"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// True for the rows a preset keeps: every integer and every colour setting.
constexpr bool isPresetSetting(const SettingInfo& info) {
    return info.type == SettingType::Integer || info.type == SettingType::Color;
}

struct Preset {
    // Indexed by Setting; only the preset's rows are used. None means the entry was not in the
    // file, or (for a colour) could not be decoded.
    std::array<std::optional<std::int32_t>, kSettingCount> integers{};
    std::array<std::optional<RgbColor>, kSettingCount> colors{};

    std::optional<std::int32_t> integer(Setting setting) const {
        return integers[static_cast<std::size_t>(setting)];
    }
    std::optional<RgbColor> color(Setting setting) const {
        return colors[static_cast<std::size_t>(setting)];
    }
};

// The current look, read through the store's getters (each supplies its default when the
// settings lack it). A colour the store cannot answer is left out.
Preset makeCurrentSetting(LumibayPref& pref);

// Whether the preset can be applied as it stands: it holds every setting of a look, each colour
// readable and each integer one the window offers. A preset is applied whole or not at all, so
// that the window always shows what the pages use. `fileName` only names the file in the message.
std::optional<PresetProblem> checkPreset(const Preset& preset, const OfferedValues& offered,
                                         const std::string& fileName);

// Puts the preset into the store (in memory; the caller saves), after checkPreset found it whole.
void applyPreset(const Preset& preset, LumibayPref& pref);

std::string encodePresetColor(const RgbColor& color);
// None unless the bytes are exactly three.
std::optional<RgbColor> decodePresetColor(std::string_view bytes);

PlistPtr presetDictionary(const Preset& preset);
// Reads a preset's dictionary. An entry of the wrong type, or an integer outside 32 bits, makes
// the whole preset unusable: applying half of a damaged file would leave a look nobody chose.
// `fileName` only names the file in the problem's message.
PresetResult<Preset> presetFromDictionary(plist_t dictionary, const std::string& fileName);

} // namespace tessaly
