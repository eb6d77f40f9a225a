// The photo application's own script commands. No part of the system calls them and no program
// links them. The runner (ScriptRunner.hxx) does not carry them out: run, they log "Script compile
// Error" and answer none.
#pragma once

#include "FinderScripts.hxx"

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

namespace iPhotoScriptsString {
// Appends `new album name "<name>"`.
void newAlbum(std::string& script, std::string_view name);
// Appends `import from "<file-manager path of path>" to album "<album>" with force copy`.
void importFrom(std::string& script, std::string_view path, std::string_view album);
} // namespace iPhotoScriptsString

namespace iPhotoScripts {
// Makes the album and, when a path is given, imports it into the new album.
std::string createAlbunText(std::string_view album, const std::optional<std::string>& path);
ScriptResult createAlbun(std::string_view album, const std::optional<std::string>& path);

std::string importFileText(std::string_view path, std::string_view album);
ScriptResult importFile(std::string_view path, std::string_view album);
} // namespace iPhotoScripts

} // namespace tessaly
