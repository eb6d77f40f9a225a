// Carries out script texts. Linux has no script interpreter for other applications, so the runner
// recognises exactly the texts of the commands the system relies on (FinderScripts.hxx) and does
// what they ask itself:
//   - quit an application: the user's own processes of that name are asked to end (SIGTERM);
//   - open an application: a desktop entry "<name>.desktop" in the XDG application folders, else
//     an executable "<name>" on PATH, started detached;
//   - make an alias: a symbolic link in the folder, named after the item, pointing to the item;
//     an existing name is never replaced;
//   - open a "mailto:" location with the desktop's opener (xdg-open).
// Any other text does not compile. Nothing is ever handed to a shell: every program is started
// with its arguments as a vector.
#pragma once

#include "FinderScripts.hxx"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly {

struct ScriptCommand {
    enum class Kind { quitApplication, openApplication, makeAlias, openLocation };
    Kind kind;
    // The application's name, or the location to open.
    std::string name;
    // For an alias: every reading of the text as (folder, item). A name may itself hold the
    // words that separate the two paths, so the file system decides which reading is meant.
    std::vector<std::pair<std::string, std::string>> aliasReadings;
};

class ScriptRunner {
public:
    // The runner every command uses.
    static ScriptRunner& shared();

    // The command a text asks for, or none when the runner does not know the text.
    std::optional<ScriptCommand> compile(std::string_view script) const;
    // Carries out a command; none when it could not be done.
    ScriptResult execute(const ScriptCommand& command) const;
    // Both, without a log: none for a text that does not compile.
    ScriptResult run(std::string_view script) const;

    // The program that opens a location, given the location as its one argument.
    void setLocationOpener(std::string program) { locationOpener_ = std::move(program); }

private:
    ScriptResult quitApplication(const std::string& name) const;
    ScriptResult openApplication(const std::string& name) const;
    ScriptResult makeAlias(const ScriptCommand& command) const;
    ScriptResult openLocation(const std::string& location) const;

    std::string locationOpener_ = "xdg-open";
};

} // namespace tessaly
