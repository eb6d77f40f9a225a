// The presets that come with the settings window. Their files in ViewSettings/ are written from
// this table by make_shipped_presets, so the table and the files never disagree.
#pragma once

#include "PresetFile.hxx"

#include <span>

namespace tessaly {

struct ShippedPreset {
    const char* fileName;
    Preset preset;
};

std::span<const ShippedPreset> shippedPresets();

} // namespace tessaly
