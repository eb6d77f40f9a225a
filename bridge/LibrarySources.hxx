// Which library a person publishes, as the settings name it, and the source that reads it. The
// helper, the window's start and the command-line tool all choose their source here, so the three
// always read the same files for the same setting.
#pragma once

#include "LibrarySnapshot.hxx"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::bridge {

enum class SourceKind { iPhoto, Shotwell, Digikam, Folder };

// The settings' texts for each kind ("Library_Source_Key").
struct SourceName {
    SourceKind kind;
    std::string_view text;
};
inline constexpr std::array<SourceName, 4> kSourceNames = {{
    {SourceKind::iPhoto, "iPhoto"},
    {SourceKind::Shotwell, "Shotwell"},
    {SourceKind::Digikam, "digiKam"},
    {SourceKind::Folder, "Folder"},
}};

// The kind a text names, case aside ("shotwell" on a command line is "Shotwell"); none for any
// other text.
std::optional<SourceKind> sourceKindNamed(std::string_view text);
std::string_view sourceKindText(SourceKind kind);

// The folder a "Folder" library is read from: the setting's folder, ~/Pictures when it is empty,
// and a relative one taken from the home folder.
std::string pictureFolder(const std::string& setting, const std::string& home);

// The source for a kind other than iPhoto, whose library is read where it lies; null for iPhoto.
std::unique_ptr<LibrarySource> makeSource(SourceKind kind, const std::string& folderSetting,
                                          const std::string& home);

// What a bridged library was made from: the source's kind and location, and its stamp at the time
// it was read. Equal texts mean the library holds what the source holds.
std::string sourceStamp(SourceKind kind, const LibrarySource& source);

} // namespace tessaly::bridge
