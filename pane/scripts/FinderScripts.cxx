#include "FinderScripts.hxx"

#include "Format.hxx"
#include "Log.hxx"
#include "ScriptRunner.hxx"
#include "StringExtention.hxx"

#include <filesystem>

namespace tessaly {

using NSStringExtention::getDoubleQautatioString;
using NSStringExtention::getLFString;

namespace NSAppleScriptString {

void tellApplication(std::string& script, std::string_view name) {
    const std::string q = getDoubleQautatioString();
    appendFormat(script, "tell application %@%@%@%@", {q, name, q, getLFString()});
}

void tellTarget(std::string& script, std::string_view target, int targetNum) {
    appendFormat(script, "tell %@ %d%@", {target, targetNum, getLFString()});
}

void set(std::string& script, std::string_view text) {
    appendFormat(script, "set %@%@", {text, getLFString()});
}

void activate(std::string& script) { appendFormat(script, "activate%@", {getLFString()}); }

void endTell(std::string& script) { appendFormat(script, "end tell%@", {getLFString()}); }

} // namespace NSAppleScriptString

namespace FinderScriptsSting {

namespace {

// The components of a path: "/" first for an absolute path, then every non-empty name.
std::vector<std::string> pathComponents(std::string_view path) {
    std::vector<std::string> components;
    if (path.starts_with('/')) {
        components.emplace_back("/");
    }
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        if (slash > pos) {
            components.emplace_back(path.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }
    return components;
}

} // namespace

std::string displayName(std::string_view fileName) {
    if (fileName == "/") {
        return kStartupDiskName;
    }
    std::string name(fileName);
    for (char& c : name) {
        if (c == ':') {
            c = '/';
        }
    }
    return name;
}

std::string convertScriptPathIsVolume(std::string_view path, bool& isVolume) {
    const std::vector<std::string> components = pathComponents(path);
    std::string result;
    std::string partial;
    std::size_t walkFrom;
    // The volumes folder is recognised by its whole name, so that a folder such as "/VolumesOld"
    // is not taken for a volume.
    if (components.size() >= 3 && components[0] == "/" && components[1] == "Volumes") {
        partial = format("%@%@/%@", {components[0], components[1], components[2]});
        result = displayName(components[2]);
        if (components.size() == 3) {
            isVolume = true;
            return result;
        }
        walkFrom = 3;
    } else {
        result = kStartupDiskName;
        partial = "/";
        walkFrom = 1;
    }
    for (std::size_t i = walkFrom; i < components.size(); ++i) {
        partial = format("%@/%@", {partial, components[i]});
        result = format("%@:%@", {result, displayName(components[i])});
    }
    isVolume = false;
    return result;
}

std::optional<std::string> posixPathOfScriptPath(std::string_view scriptPath) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (true) {
        std::size_t colon = scriptPath.find(':', pos);
        std::string part(scriptPath.substr(
            pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos));
        // Display names are never empty and never a path step: refuse rather than guess.
        if (part.empty() || part == "." || part == "..") {
            return std::nullopt;
        }
        for (char& c : part) {
            if (c == '/') {
                c = ':';
            }
        }
        parts.push_back(std::move(part));
        if (colon == std::string_view::npos) {
            break;
        }
        pos = colon + 1;
    }
    std::string path;
    std::size_t from = 1;
    if (parts[0] == kStartupDiskName) {
        if (parts.size() == 1) {
            return "/";
        }
    } else {
        path = "/Volumes/" + parts[0];
    }
    for (std::size_t i = from; i < parts.size(); ++i) {
        path += "/" + parts[i];
    }
    return path;
}

} // namespace FinderScriptsSting

namespace {

std::string finderPath(std::string_view path) {
    bool isVolume = false;
    return FinderScriptsSting::convertScriptPathIsVolume(path, isVolume);
}

// Runs a text without the compile log, for the commands that create their script themselves.
ScriptResult executeQuietly(std::string_view script) { return ScriptRunner::shared().run(script); }

} // namespace

namespace FinderScriptsMSting {

void makeAliasAt(std::string& script, std::string_view item, std::string_view folder) {
    const std::string q = getDoubleQautatioString();
    appendFormat(script, "make alias at %@%@%@ ", {q, finderPath(folder), q});
    appendFormat(script, "to %@%@%@%@", {q, finderPath(item), q, getLFString()});
}

} // namespace FinderScriptsMSting

namespace NSAppleScriptExtention {

ScriptResult runScript(std::string_view script) {
    std::optional<ScriptCommand> command = ScriptRunner::shared().compile(script);
    if (!command) {
        logLine("Script compile Error");
        return std::nullopt;
    }
    return ScriptRunner::shared().execute(*command);
}

std::string sendMailText(std::string_view address) {
    const std::string q = getDoubleQautatioString();
    return format("open location %@mailto:%@%@", {q, address, q});
}

ScriptResult sendMail(std::string_view address) { return executeQuietly(sendMailText(address)); }

std::string appActivateText(std::string_view name) {
    using namespace NSAppleScriptString;
    std::string script;
    tellApplication(script, name);
    activate(script);
    tellTarget(script, "window", 1);
    activate(script);
    endTell(script);
    tellTarget(script, "document window ", 1);
    set(script, "key window");
    endTell(script);
    endTell(script);
    return script;
}

ScriptResult appActivate(std::string_view name) { return runScript(appActivateText(name)); }

} // namespace NSAppleScriptExtention

namespace FinderScripts {

using NSAppleScriptExtention::runScript;

std::string makeAliasText(std::string_view folder, std::string_view item) {
    std::string script;
    NSAppleScriptString::tellApplication(script, "Finder");
    FinderScriptsMSting::makeAliasAt(script, item, folder);
    NSAppleScriptString::endTell(script);
    return script;
}

void makeAlias(std::string_view folder, std::string_view item) {
    runScript(makeAliasText(folder, item));
}

std::string OpenApplicationText(std::string_view name) {
    std::string application(name);
    if (!application.ends_with(".app")) {
        application = format("%@.app", {name});
    }
    const std::string q = getDoubleQautatioString();
    std::string script;
    NSAppleScriptString::tellApplication(script, "Finder");
    appendFormat(script,
                 "Open application file %@%@%@ of folder %@Applications%@ of startup Disk%@",
                 {q, application, q, q, q, getLFString()});
    NSAppleScriptString::endTell(script);
    return script;
}

ScriptResult OpenApplication(std::string_view name) { return runScript(OpenApplicationText(name)); }

std::string closeApplicationText(std::string_view name) {
    const std::string q = getDoubleQautatioString();
    std::string script = format("tell application %@%@%@%@", {q, name, q, getLFString()});
    script = format("%@quit%@", {script, getLFString()});
    return format("%@end tell", {script});
}

ScriptResult closeApplication(std::string_view name) {
    return executeQuietly(closeApplicationText(name));
}

std::string openTrashText() {
    const std::string q = getDoubleQautatioString();
    const std::string lf = getLFString();
    std::string script = format("tell application %@Finder%@%@", {q, q, lf});
    script = format("%@activate%@", {script, lf});
    script = format("%@open trash%@", {script, lf});
    return format("%@end tell", {script});
}

ScriptResult openTrash() { return executeQuietly(openTrashText()); }

std::string emptyTrashText() {
    std::string script;
    NSAppleScriptString::tellApplication(script, "Finder");
    NSAppleScriptString::activate(script);
    appendFormat(script, "empty trash%@", {getLFString()});
    NSAppleScriptString::endTell(script);
    return script;
}

ScriptResult emptyTrash() { return runScript(emptyTrashText()); }

std::string burnDiscText(std::string_view folder) {
    const std::string q = getDoubleQautatioString();
    const std::string lf = getLFString();
    std::string script;
    NSAppleScriptString::tellApplication(script, "Finder");
    NSAppleScriptString::activate(script);
    appendFormat(script, "select folder %@%@%@%@", {q, folder, q, lf});
    NSAppleScriptString::tellApplication(script, "System Events");
    appendFormat(script, "tell process %@Finder%@%@", {q, q, lf});
    script =
        format("%@click menu item 26 of menu 1 of menu bar item 3 of menu bar 1%@", {script, lf});
    NSAppleScriptString::endTell(script);
    NSAppleScriptString::endTell(script);
    NSAppleScriptString::endTell(script);
    return script;
}

ScriptResult burnDisc(std::string_view folder) { return runScript(burnDiscText(folder)); }

namespace {

enum class ItemKind { missing, file, folder };

ItemKind itemKind(std::string_view path) {
    std::error_code error;
    auto status = std::filesystem::status(std::filesystem::path(path), error);
    if (error || !std::filesystem::exists(status)) {
        return ItemKind::missing;
    }
    return std::filesystem::is_directory(status) ? ItemKind::folder : ItemKind::file;
}

} // namespace

std::optional<std::string> deleteFilesText(const std::vector<std::string>& paths,
                                           const std::function<void(std::string)>& burnFolder) {
    if (paths.empty()) {
        return std::nullopt;
    }
    const std::string q = getDoubleQautatioString();
    const std::string lf = getLFString();
    std::string script;
    NSAppleScriptString::tellApplication(script, "Finder");
    bool anyLine = false;
    for (const std::string& path : paths) {
        ItemKind kind = itemKind(path);
        if (kind == ItemKind::missing) {
            continue;
        }
        bool isVolume = false;
        std::string scriptPath = FinderScriptsSting::convertScriptPathIsVolume(path, isVolume);
        if (kind == ItemKind::folder && isVolume) {
            script = format("%@eject disk %@%@%@%@", {script, q, scriptPath, q, lf});
        } else if (kind == ItemKind::folder && std::filesystem::path(path).extension() == ".fpbf") {
            if (burnFolder) {
                burnFolder(scriptPath);
            }
            continue;
        } else if (kind == ItemKind::folder) {
            script = format("%@move %@%@%@ to trash%@", {script, q, scriptPath, q, lf});
        } else {
            script = format("%@move file %@%@%@ to trash%@", {script, q, scriptPath, q, lf});
        }
        anyLine = true;
    }
    if (!anyLine) {
        return std::nullopt;
    }
    return format("%@end tell", {script});
}

ScriptResult deleteFiles(const std::vector<std::string>& paths) {
    std::optional<std::string> script =
        deleteFilesText(paths, [](const std::string& folder) { burnDisc(folder); });
    if (!script) {
        return std::nullopt;
    }
    return runScript(*script);
}

std::optional<std::string> deleteFileText(std::string_view path) {
    if (path.empty()) {
        logLine("empty path nil");
        return std::nullopt;
    }
    ItemKind kind = itemKind(path);
    if (kind == ItemKind::missing) {
        logLine("file not found");
        return std::nullopt;
    }
    const std::string q = getDoubleQautatioString();
    const std::string lf = getLFString();
    bool isVolume = false;
    std::string scriptPath = FinderScriptsSting::convertScriptPathIsVolume(path, isVolume);
    std::string script;
    NSAppleScriptString::tellApplication(script, "Finder");
    appendFormat(script, "ignoring application responses%@", {lf});
    if (kind == ItemKind::folder && isVolume) {
        script = format("%@eject disk %@%@%@%@", {script, q, scriptPath, q, lf});
    } else if (kind == ItemKind::folder) {
        script = format("%@move folder %@%@%@ to trash%@", {script, q, scriptPath, q, lf});
    } else {
        script = format("%@move file %@%@%@ to trash%@", {script, q, scriptPath, q, lf});
    }
    appendFormat(script, "end ignoring%@", {lf});
    return format("%@end tell", {script});
}

ScriptResult deleteFile(std::string_view path) {
    std::optional<std::string> script = deleteFileText(path);
    if (!script) {
        return std::nullopt;
    }
    return runScript(*script);
}

} // namespace FinderScripts

} // namespace tessaly
