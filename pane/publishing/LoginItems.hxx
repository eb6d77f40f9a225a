// The login item: the helper started at every login through an XDG autostart entry, one desktop
// entry per item in $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
//
// Ours names the helper's program in its Exec line and is kept out of menus (NoDisplay). It never
// carries Hidden=true: in an autostart folder that marks the entry as deleted.
//
// Only entries whose Exec names our program are ever touched: every other file in the folder,
// also one that cannot be read as a desktop entry, stays byte for byte as it was.
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

    // Adds our entry unless an entry names the program already. False when the folder cannot be
    // created or the entry cannot be written.
    bool registerStartUpItem() const;
    // Removes the first entry (in file-name order) that names the program. False only when such
    // an entry exists and cannot be removed.
    bool removeStartUpItem() const;
    // The entries that name the program, in file-name order.
    std::vector<std::string> entriesOfProgram() const;

    // The Exec value that runs `program` with no arguments, quoted as desktop entries require.
    static std::string execLine(std::string_view program);
    // The program an Exec value runs, unquoted; none when the value is malformed.
    static std::optional<std::string> programOfExec(std::string_view exec);

private:
    std::string programPath_;
};

} // namespace tessaly
