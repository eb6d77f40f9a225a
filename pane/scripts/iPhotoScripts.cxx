#include "iPhotoScripts.hxx"

#include "Format.hxx"
#include "StringExtention.hxx"

namespace tessaly {

using NSStringExtention::getDoubleQautatioString;
using NSStringExtention::getLFString;

namespace iPhotoScriptsString {

void newAlbum(std::string& script, std::string_view name) {
    const std::string q = getDoubleQautatioString();
    appendFormat(script, "new album name %@%@%@%@", {q, name, q, getLFString()});
}

void importFrom(std::string& script, std::string_view path, std::string_view album) {
    const std::string q = getDoubleQautatioString();
    bool isVolume = false;
    const std::string scriptPath = FinderScriptsSting::convertScriptPathIsVolume(path, isVolume);
    appendFormat(script, "import from %@%@%@ to album %@%@%@ with force copy%@",
                 {q, scriptPath, q, q, album, q, getLFString()});
}

} // namespace iPhotoScriptsString

namespace iPhotoScripts {

std::string createAlbunText(std::string_view album, const std::optional<std::string>& path) {
    std::string script;
    NSAppleScriptString::tellApplication(script, "iPhoto");
    NSAppleScriptString::activate(script);
    iPhotoScriptsString::newAlbum(script, album);
    if (path) {
        iPhotoScriptsString::importFrom(script, *path, album);
    }
    NSAppleScriptString::endTell(script);
    return script;
}

ScriptResult createAlbun(std::string_view album, const std::optional<std::string>& path) {
    return NSAppleScriptExtention::runScript(createAlbunText(album, path));
}

std::string importFileText(std::string_view path, std::string_view album) {
    std::string script;
    NSAppleScriptString::tellApplication(script, "iPhoto");
    iPhotoScriptsString::importFrom(script, path, album);
    NSAppleScriptString::endTell(script);
    return script;
}

ScriptResult importFile(std::string_view path, std::string_view album) {
    return NSAppleScriptExtention::runScript(importFileText(path, album));
}

} // namespace iPhotoScripts

} // namespace tessaly
