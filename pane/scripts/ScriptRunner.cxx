#include "ScriptRunner.hxx"

#include "Home.hxx"
#include "WorkspaceExtention.hxx"

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <gio/gdesktopappinfo.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace tessaly {

namespace {

namespace fs = std::filesystem;

// The middle of `text` between a fixed beginning and end, or none.
std::optional<std::string_view> between(std::string_view text, std::string_view head,
                                        std::string_view tail) {
    if (text.size() < head.size() + tail.size() || !text.starts_with(head) ||
        !text.ends_with(tail)) {
        return std::nullopt;
    }
    return text.substr(head.size(), text.size() - head.size() - tail.size());
}

// The texts the runner knows, as FinderScripts builds them.
constexpr std::string_view kQuitHead = "tell application \"";
constexpr std::string_view kQuitTail = "\"\nquit\nend tell";
constexpr std::string_view kOpenHead = "tell application \"Finder\"\nOpen application file \"";
constexpr std::string_view kOpenTail =
    ".app\" of folder \"Applications\" of startup Disk\nend tell\n";
constexpr std::string_view kAliasHead = "tell application \"Finder\"\nmake alias at \"";
constexpr std::string_view kAliasSeparator = "\" to \"";
constexpr std::string_view kAliasTail = "\"\nend tell\n";
constexpr std::string_view kMailHead = "open location \"mailto:";
constexpr std::string_view kMailTail = "\"";

// An application name names a file in a folder: it must not lead out of that folder.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::string dataHome() {
    const char* env = std::getenv("XDG_DATA_HOME");
    if (env && env[0] == '/') {
        return env;
    }
    return homeDirectory() + "/.local/share";
}

std::vector<std::string> dataDirs() {
    std::vector<std::string> dirs{dataHome()};
    const char* env = std::getenv("XDG_DATA_DIRS");
    std::string_view list = env && *env ? env : "/usr/local/share/:/usr/share/";
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t colon = list.find(':', pos);
        if (colon == std::string_view::npos) {
            colon = list.size();
        }
        std::string_view dir = list.substr(pos, colon - pos);
        // Relative entries are invalid and ignored.
        if (dir.starts_with('/')) {
            dirs.emplace_back(dir);
        }
        pos = colon + 1;
    }
    return dirs;
}

} // namespace

ScriptRunner& ScriptRunner::shared() {
    static ScriptRunner runner;
    return runner;
}

std::optional<ScriptCommand> ScriptRunner::compile(std::string_view script) const {
    if (auto name = between(script, kOpenHead, kOpenTail)) {
        return ScriptCommand{ScriptCommand::Kind::openApplication, std::string(*name), {}};
    }
    if (auto middle = between(script, kAliasHead, kAliasTail)) {
        ScriptCommand command{ScriptCommand::Kind::makeAlias, {}, {}};
        for (std::size_t at = middle->find(kAliasSeparator); at != std::string_view::npos;
             at = middle->find(kAliasSeparator, at + 1)) {
            auto folder = FinderScriptsSting::posixPathOfScriptPath(middle->substr(0, at));
            auto item = FinderScriptsSting::posixPathOfScriptPath(
                middle->substr(at + kAliasSeparator.size()));
            if (folder && item) {
                command.aliasReadings.emplace_back(*folder, *item);
            }
        }
        if (command.aliasReadings.empty()) {
            return std::nullopt;
        }
        return command;
    }
    if (auto address = between(script, kMailHead, kMailTail)) {
        return ScriptCommand{
            ScriptCommand::Kind::openLocation, "mailto:" + std::string(*address), {}};
    }
    // Checked last: its beginning is also the beginning of every other command's text.
    if (auto name = between(script, kQuitHead, kQuitTail)) {
        return ScriptCommand{ScriptCommand::Kind::quitApplication, std::string(*name), {}};
    }
    return std::nullopt;
}

ScriptResult ScriptRunner::execute(const ScriptCommand& command) const {
    switch (command.kind) {
    case ScriptCommand::Kind::quitApplication:
        return quitApplication(command.name);
    case ScriptCommand::Kind::openApplication:
        return openApplication(command.name);
    case ScriptCommand::Kind::makeAlias:
        return makeAlias(command);
    case ScriptCommand::Kind::openLocation:
        return openLocation(command.name);
    }
    return std::nullopt;
}

ScriptResult ScriptRunner::run(std::string_view script) const {
    std::optional<ScriptCommand> command = compile(script);
    if (!command) {
        return std::nullopt;
    }
    return execute(*command);
}

ScriptResult ScriptRunner::quitApplication(const std::string& name) const {
    if (name.empty()) {
        return std::nullopt;
    }
    int asked = 0;
    for (pid_t pid : NSWorkspaceExtention::processesOfApplication(name)) {
        if (::kill(pid, SIGTERM) == 0) {
            ++asked;
        } else if (errno != ESRCH) {
            return std::nullopt;
        }
    }
    return "asked " + std::to_string(asked) + " to quit";
}

ScriptResult ScriptRunner::openApplication(const std::string& name) const {
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    // The first entry of that name found in the folders shadows the later ones.
    for (const std::string& dir : dataDirs()) {
        std::string entry = dir + "/applications/" + name + ".desktop";
        std::error_code error;
        if (!fs::is_regular_file(entry, error)) {
            continue;
        }
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.c_str());
        if (!info) {
            break;
        }
        GError* launchError = nullptr;
        gboolean launched = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &launchError);
        g_clear_error(&launchError);
        g_object_unref(info);
        if (launched) {
            return "launched " + entry;
        }
        break;
    }
    QString program = QStandardPaths::findExecutable(QString::fromStdString(name));
    if (program.isEmpty()) {
        return std::nullopt;
    }
    if (!QProcess::startDetached(program, {}, QString::fromStdString(homeDirectory()))) {
        return std::nullopt;
    }
    return "started " + program.toStdString();
}

ScriptResult ScriptRunner::makeAlias(const ScriptCommand& command) const {
    const std::pair<std::string, std::string>* chosen = nullptr;
    for (const auto& reading : command.aliasReadings) {
        std::error_code error;
        if (fs::is_directory(reading.first, error) &&
            fs::exists(fs::symlink_status(reading.second, error))) {
            if (chosen) {
                return std::nullopt; // two readings fit: refuse rather than guess
            }
            chosen = &reading;
        }
    }
    if (!chosen) {
        return std::nullopt;
    }
    fs::path item(chosen->second);
    if (!item.has_filename()) {
        return std::nullopt;
    }
    fs::path alias = fs::path(chosen->first) / item.filename();
    std::error_code error;
    // create_symlink never replaces: a name taken since this check still makes it fail.
    if (fs::exists(fs::symlink_status(alias, error))) {
        return std::nullopt;
    }
    fs::create_symlink(item, alias, error);
    if (error) {
        return std::nullopt;
    }
    return alias.string();
}

ScriptResult ScriptRunner::openLocation(const std::string& location) const {
    if (!QProcess::startDetached(QString::fromStdString(locationOpener_),
                                 {QString::fromStdString(location)})) {
        return std::nullopt;
    }
    return "opened " + location;
}

} // namespace tessaly
