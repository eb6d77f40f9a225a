// The texts of the script commands that drive other applications (the file manager, the photo
// application, the mail program), and the commands that build and run them.
//
// Every text is built exactly as the commands have always spelled it, so that a script runner can
// recognise it. Each command has a "...Text" builder beside it; the command itself hands that text
// to the script runner (ScriptRunner.hxx), which carries out the few commands the system relies on
// and refuses every other text.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// What a script answers: a value when it ran, none when it could not be compiled or failed.
using ScriptResult = std::optional<std::string>;

// The line builders; each appends one line, ending in a line feed, to `script`.
namespace NSAppleScriptString {
void tellApplication(std::string& script, std::string_view name);
void tellTarget(std::string& script, std::string_view target, int targetNum);
void set(std::string& script, std::string_view text);
void activate(std::string& script);
void endTell(std::string& script);
} // namespace NSAppleScriptString

namespace FinderScriptsSting {

// The name the file manager shows for the startup disk, the root of every path outside /Volumes.
// Linux has no such name, so we choose one that reads well in a script; a volume mounted at
// "/Volumes/Startup Disk" could not be told apart from it, and the system never names one.
inline constexpr char kStartupDiskName[] = "Startup Disk";

// The name the file manager shows for one path component. Linux keeps no separate display name,
// so the file name serves, with ":" shown as "/" the way the file manager has always shown it:
// ":" separates the parts of a file-manager path, and a name holding one would be misread.
std::string displayName(std::string_view fileName);

// The file-manager form of `path`: the volume's name, then each folder and file name, joined by
// ":". `isVolume` tells whether the path names a volume itself ("/Volumes/<name>").
std::string convertScriptPathIsVolume(std::string_view path, bool& isVolume);

// The way back, for the script runner: a file-manager path to the file-system path it names, or
// none when the text is not such a path.
std::optional<std::string> posixPathOfScriptPath(std::string_view scriptPath);

} // namespace FinderScriptsSting

namespace FinderScriptsMSting {
// Appends `make alias at "<folder>" to "<item>"`: `item` is what the alias points to, `folder`
// the folder that receives it.
void makeAliasAt(std::string& script, std::string_view item, std::string_view folder);
} // namespace FinderScriptsMSting

namespace NSAppleScriptExtention {
// Runs a script text; a text that cannot be compiled logs "Script compile Error" and answers none.
ScriptResult runScript(std::string_view script);

std::string sendMailText(std::string_view address);
// Opens a new message to `address` in the user's mail program.
ScriptResult sendMail(std::string_view address);

std::string appActivateText(std::string_view name);
ScriptResult appActivate(std::string_view name);
} // namespace NSAppleScriptExtention

namespace FinderScripts {

std::string makeAliasText(std::string_view folder, std::string_view item);
// Makes, inside `folder`, an alias that leads to `item`.
void makeAlias(std::string_view folder, std::string_view item);

std::string OpenApplicationText(std::string_view name);
// Opens the application `name` (".app" is added when missing).
ScriptResult OpenApplication(std::string_view name);

std::string closeApplicationText(std::string_view name);
// Asks the application `name` to quit.
ScriptResult closeApplication(std::string_view name);

std::string openTrashText();
ScriptResult openTrash();
std::string emptyTrashText();
ScriptResult emptyTrash();
std::string burnDiscText(std::string_view folder);
ScriptResult burnDisc(std::string_view folder);

// The script that moves the existing ones of `paths` to the trash (volumes are ejected); none when
// no path gave a line. A burn folder gives no line: `burnFolder` receives its file-manager path.
std::optional<std::string> deleteFilesText(const std::vector<std::string>& paths,
                                           const std::function<void(std::string)>& burnFolder);
// Burn folders are burnt at once, each by its own script, as the text is built.
ScriptResult deleteFiles(const std::vector<std::string>& paths);

// The script for one path, or none (with the log line "empty path nil" for an empty path and
// "file not found" for a path where nothing exists).
std::optional<std::string> deleteFileText(std::string_view path);
ScriptResult deleteFile(std::string_view path);

} // namespace FinderScripts

} // namespace tessaly
