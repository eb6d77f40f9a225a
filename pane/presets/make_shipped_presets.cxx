// Writes the shipped presets into a folder: make_shipped_presets pane/presets/ViewSettings
#include "PresetFile.hxx"
#include "ShippedPresets.hxx"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_shipped_presets FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    int failures = 0;
    for (const tessaly::ShippedPreset& shipped : tessaly::shippedPresets()) {
        tessaly::PlistPtr dictionary = tessaly::presetDictionary(shipped.preset);
        if (!tessaly::writePlistDictionary(folder / shipped.fileName, dictionary.get())) {
            std::cerr << "cannot write " << (folder / shipped.fileName) << '\n';
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
