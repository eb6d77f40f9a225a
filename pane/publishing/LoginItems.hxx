// The login item: the helper started at every login through an XDG autostart entry, one desktop
// entry per item in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
//
// An entry is ours when its Exec runs exactly the helper's program, with no arguments. An entry
// that gives the program arguments is the user's own: it is never removed, nor counted as ours.
// Ours is kept out of menus (NoDisplay) and never carries Hidden=true, which in an autostart
// folder marks the entry as deleted.
//
// Only entries of ours are ever changed or removed: every other file in the folder, also one that
// cannot be read as a desktop entry, stays byte for byte as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class LoginItems {
public:
    explicit LoginItems(std::string programPath) : programPath_(std::move(programPath)) {}

    // The helper's program inside the settings window's resource folder.
    static std::string helperProgramPath(std::string_view resourcePath);
    static std::string autostartFolder();

    // Makes the helper start at the next login. Nothing changes when an entry of ours starts it
    // already. An entry of ours that is switched off (Hidden=true, or GNOME's
    // X-GNOME-Autostart-enabled=false) is switched on again in place, keeping everything else it
    // holds. Otherwise a new entry is added, under a file name no other file has. False when the
    // folder cannot be made or the entry cannot be written, and for a program path holding a
    // control character (a tab, a line feed), which no desktop entry can name.
    bool registerStartUpItem() const;
    // Removes the first entry of ours (in file-name order) that starts the helper. False only
    // when such an entry exists and cannot be removed.
    bool removeStartUpItem() const;
    // The entries of ours, switched on or off, in file-name order.
    std::vector<std::string> entriesOfProgram() const;

    // The Exec value that runs `program` with no arguments, quoted and escaped as desktop entries
    // require, and readable by GIO (see the definition).
    static std::string execLine(std::string_view program);
    // The command an Exec value runs, read as a launcher reads it: "%%" is a percent sign, then
    // the words are split and unquoted as a shell does. None when the value is empty or its
    // quoting is malformed. A field code such as %U stays in its word as it is.
    static std::optional<std::vector<std::string>> commandOfExec(std::string_view exec);
    // Whether a command runs exactly the program, with no arguments.
    bool runsProgram(const std::vector<std::string>& command) const;

private:
    std::string programPath_;
};

} // namespace tessaly
