#include "PresetFile.hxx"

#include "Format.hxx"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace tessaly {

namespace {

constexpr std::size_t index(Setting setting) { return static_cast<std::size_t>(setting); }

// The same truncation the settings file applies to a component, so that a colour reaches the
// file as the same six digits whether or not it went through a preset.
unsigned char componentByte(float component) {
    if (std::isnan(component)) {
        return 0;
    }
    return static_cast<unsigned char>(
        std::clamp(static_cast<std::int32_t>(std::clamp(component, -1.0f, 2.0f) * 255.0f), 0, 255));
}

PresetProblem wrongEntry(const std::string& fileName, const char* key, const char* expected) {
    return {PresetProblem::Kind::WrongEntry,
            format("The preset \"%@\" cannot be used: its entry %@ is not %@.",
                   {fileName, key, expected})};
}

} // namespace

Preset makeCurrentSetting(LumibayPref& pref) {
    Preset preset;
    for (const SettingInfo& info : kSettings) {
        if (info.type == SettingType::Integer) {
            preset.integers[index(info.id)] = pref.integerSetting(info.id);
        } else if (info.type == SettingType::Color) {
            preset.colors[index(info.id)] = pref.colorSetting(info.id);
        }
    }
    return preset;
}

std::optional<PresetProblem> checkPreset(const Preset& preset, const OfferedValues& offered,
                                         const std::string& fileName) {
    bool holdsAny = false;
    for (const SettingInfo& info : kSettings) {
        holdsAny = holdsAny || preset.integer(info.id) || preset.color(info.id);
    }
    if (!holdsAny) {
        return PresetProblem{
            PresetProblem::Kind::Incomplete,
            format("The look \"%@\" was not applied: it holds none of the settings "
                   "of a look. Nothing was changed.",
                   {fileName})};
    }
    for (const SettingInfo& info : kSettings) {
        if (!isPresetSetting(info)) {
            continue;
        }
        const std::string control = offered.controlName(info.id);
        if (info.type == SettingType::Color) {
            if (!preset.color(info.id)) {
                return PresetProblem{PresetProblem::Kind::Incomplete,
                                     format("The look \"%@\" was not applied: it has no usable "
                                            "colour for \"%@\" (%@). Nothing was changed.",
                                            {fileName, control, info.key})};
            }
            continue;
        }
        const std::optional<std::int32_t> value = preset.integer(info.id);
        if (!value) {
            return PresetProblem{PresetProblem::Kind::Incomplete,
                                 format("The look \"%@\" was not applied: it has no value for "
                                        "\"%@\" (%@). Nothing was changed.",
                                        {fileName, control, info.key})};
        }
        if (!offered.offers(info.id, *value)) {
            return PresetProblem{
                PresetProblem::Kind::ValueNotOffered,
                format("The look \"%@\" was not applied: its value for \"%@\" is %d, and the "
                       "window offers %@. Nothing was changed.",
                       {fileName, control, *value, offered.describe(info.id)})};
        }
    }
    return std::nullopt;
}

void applyPreset(const Preset& preset, LumibayPref& pref) {
    for (const SettingInfo& info : kSettings) {
        if (auto value = preset.integer(info.id); value && info.type == SettingType::Integer) {
            pref.setIntegerSetting(info.id, *value);
        } else if (auto color = preset.color(info.id); color && info.type == SettingType::Color) {
            pref.setColorSetting(info.id, *color);
        }
    }
}

std::string encodePresetColor(const RgbColor& color) {
    return {static_cast<char>(componentByte(color.red)),
            static_cast<char>(componentByte(color.green)),
            static_cast<char>(componentByte(color.blue))};
}

std::optional<RgbColor> decodePresetColor(std::string_view bytes) {
    if (bytes.size() != 3) {
        return std::nullopt;
    }
    // Divided exactly as the settings file's six digits are read, so both give the same floats.
    auto component = [&](std::size_t i) {
        return static_cast<float>(static_cast<unsigned char>(bytes[i])) / 255.0f;
    };
    return RgbColor{component(0), component(1), component(2), 1.0f};
}

PlistPtr presetDictionary(const Preset& preset) {
    PlistPtr dictionary(plist_new_dict());
    for (const SettingInfo& info : kSettings) {
        if (info.type == SettingType::Integer) {
            if (auto value = preset.integer(info.id)) {
                plist_dict_set_item(
                    dictionary.get(), info.key,
                    plist_new_uint(static_cast<std::uint64_t>(static_cast<std::int64_t>(*value))));
            }
        } else if (info.type == SettingType::Color) {
            if (auto color = preset.color(info.id)) {
                std::string bytes = encodePresetColor(*color);
                plist_dict_set_item(dictionary.get(), info.key,
                                    plist_new_data(bytes.data(), bytes.size()));
            }
        }
    }
    return dictionary;
}

PresetResult<Preset> presetFromDictionary(plist_t dictionary, const std::string& fileName) {
    if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT) {
        return PresetProblem{PresetProblem::Kind::NotAPreset,
                             format("\"%@\" is not a preset file.", {fileName})};
    }
    Preset preset;
    for (const SettingInfo& info : kSettings) {
        if (!isPresetSetting(info)) {
            continue;
        }
        plist_t node = plist_dict_get_item(dictionary, info.key);
        if (!node) {
            continue;
        }
        if (info.type == SettingType::Integer) {
            if (plist_get_node_type(node) != PLIST_UINT) {
                return wrongEntry(fileName, info.key, "an integer");
            }
            std::uint64_t raw = 0;
            plist_get_uint_val(node, &raw);
            // Negative integers are kept in two's complement.
            const auto value = static_cast<std::int64_t>(raw);
            if (value < std::numeric_limits<std::int32_t>::min() ||
                value > std::numeric_limits<std::int32_t>::max()) {
                return wrongEntry(fileName, info.key, "an integer of 32 bits");
            }
            preset.integers[index(info.id)] = static_cast<std::int32_t>(value);
        } else {
            if (plist_get_node_type(node) != PLIST_DATA) {
                return wrongEntry(fileName, info.key, "a colour");
            }
            char* bytes = nullptr;
            std::uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            preset.colors[index(info.id)] =
                decodePresetColor(std::string_view(bytes ? bytes : "", bytes ? length : 0));
            std::free(bytes);
        }
    }
    return preset;
}

} // namespace tessaly
