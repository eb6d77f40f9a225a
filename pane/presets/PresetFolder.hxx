// The presets folder, ViewSettings/ in the settings window's resources: one property-list file per
// preset, the file name (suffix included) being the name the list shows.
//
// Every name is checked before it is joined to the folder: a name must be a plain file name, so
// nothing outside the folder is ever read, written or removed through it.
#pragma once

#include "LumibayPref.hxx"
#include "PresetFile.hxx"
#include "PresetProblem.hxx"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class PresetFolder {
public:
    explicit PresetFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}
    // The folder inside a bundle's resource folder.
    static PresetFolder inResources(const std::filesystem::path& resourceFolder) {
        return PresetFolder(resourceFolder / "ViewSettings");
    }

    const std::filesystem::path& path() const { return folder_; }

    // Every entry of the folder, whatever its suffix, sorted by name ignoring ASCII case (the
    // order a person expects; a folder's own order is arbitrary).
    PresetResult<std::vector<std::string>> list() const;

    // The file name a typed name is saved under: the name itself when it ends with ".plist" or
    // ".PLIST", otherwise the name followed by ".plist" (so "" saves as ".plist"). Refused when
    // the typed name holds a "/" or a NUL, is "." or "..", or makes a file name too long.
    static PresetResult<std::string> saveFileName(std::string_view typed);

    // Whether something already has this name, so the window can ask before overwriting it.
    bool exists(const std::string& fileName) const;

    // Writes the store's current look under the file name, replacing an older preset in one step
    // (a crash never leaves half a preset). An existing entry that is not a preset file (another
    // kind of file, a folder, a symbolic link) is never replaced: the user has to remove it.
    std::optional<PresetProblem> save(const std::string& fileName, LumibayPref& pref) const;

    PresetResult<Preset> load(const std::string& fileName) const;

    // Loads the preset and puts it into the store, when it holds a whole look of values the
    // window offers; otherwise the store is not touched. The caller saves the settings and tells
    // the helper.
    std::optional<PresetProblem> apply(const std::string& fileName, const OfferedValues& offered,
                                       LumibayPref& pref) const;

    // Removes the entry itself (a symbolic link, not what it points at); folders are refused.
    std::optional<PresetProblem> remove(const std::string& fileName) const;

private:
    std::optional<PresetProblem> checkFolder() const;

    std::filesystem::path folder_;
};

} // namespace tessaly
