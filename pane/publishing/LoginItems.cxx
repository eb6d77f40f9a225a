#include "LoginItems.hxx"

#include "FileIO.hxx"
#include "Home.hxx"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

namespace fs = std::filesystem;

constexpr char kEntryBaseName[] = "LumibayHelper";
// GNOME's own switch for an autostart entry, beside the standard Hidden.
constexpr char kGnomeAutostartEnabled[] = "X-GNOME-Autostart-enabled";
// GIO looks the first word of Exec up before it reads "%%" as "%", so it refuses an entry whose
// program path holds a percent sign. Such a program is started through env, whose path holds
// none; every launcher then runs the same command.
constexpr char kEnv[] = "/usr/bin/env";

std::vector<fs::path> desktopEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".desktop" && it->is_regular_file(error)) {
            entries.push_back(it->path());
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

GKeyFile* loadEntry(const fs::path& entry, GKeyFileFlags flags) {
    GKeyFile* keys = g_key_file_new();
    if (!g_key_file_load_from_file(keys, entry.c_str(), flags, nullptr)) {
        g_key_file_free(keys);
        return nullptr;
    }
    return keys;
}

bool flag(GKeyFile* keys, const char* key, bool missing) {
    g_autoptr(GError) error = nullptr;
    const gboolean value = g_key_file_get_boolean(keys, G_KEY_FILE_DESKTOP_GROUP, key, &error);
    return error ? missing : value != FALSE;
}

struct EntryState {
    std::vector<std::string> command;
    bool switchedOn;
};

// What an entry runs and whether it is switched on; none when the file is no readable desktop
// entry with a command.
std::optional<EntryState> readEntry(const fs::path& entry) {
    g_autoptr(GKeyFile) keys = loadEntry(entry, G_KEY_FILE_NONE);
    if (!keys) {
        return std::nullopt;
    }
    g_autofree gchar* exec =
        g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr);
    std::optional<std::vector<std::string>> command =
        exec ? LoginItems::commandOfExec(exec) : std::nullopt;
    if (!command) {
        return std::nullopt;
    }
    const bool switchedOn = !flag(keys, G_KEY_FILE_DESKTOP_KEY_HIDDEN, false) &&
                            flag(keys, kGnomeAutostartEnabled, true);
    return EntryState{std::move(*command), switchedOn};
}

// Our switched-off entry, rewritten without what switches it off; its comments, translations and
// other keys stay. It keeps its permissions.
bool switchOn(const fs::path& entry) {
    g_autoptr(GKeyFile) keys =
        loadEntry(entry, GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS));
    struct stat info {};
    if (!keys || ::lstat(entry.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    g_key_file_remove_key(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_HIDDEN, nullptr);
    g_key_file_remove_key(keys, G_KEY_FILE_DESKTOP_GROUP, kGnomeAutostartEnabled, nullptr);
    gsize length = 0;
    g_autofree gchar* data = g_key_file_to_data(keys, &length, nullptr);
    return data && replaceFile(entry, std::string_view(data, length), info.st_mode & 07777);
}

std::string newEntryText(const std::string& program) {
    g_autoptr(GKeyFile) keys = g_key_file_new();
    g_key_file_set_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TYPE,
                          G_KEY_FILE_DESKTOP_TYPE_APPLICATION);
    g_key_file_set_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_NAME,
                          kEntryBaseName);
    // Set as a string, so the key file's own escapes (a backslash doubled) come on top of the
    // quoting of the command, as desktop entries want.
    g_key_file_set_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC,
                          LoginItems::execLine(program).c_str());
    g_key_file_set_boolean(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_NO_DISPLAY, TRUE);
    gsize length = 0;
    g_autofree gchar* data = g_key_file_to_data(keys, &length, nullptr);
    return std::string(data, length);
}

// Writes a new file, never over an existing one.
bool writeNewFile(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(path.c_str());
    }
    return ok;
}

// A desktop entry's values hold no control characters, and no escape gives one to a command:
// a program whose path holds one cannot have an entry.
bool fitsAnEntry(std::string_view program) {
    return std::none_of(program.begin(), program.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// Another program's entry may already carry our file name: the next free one is taken.
bool addEntry(const fs::path& folder, const std::string& program) {
    if (!fitsAnEntry(program)) {
        errno = EINVAL;
        return false;
    }
    const std::string bytes = newEntryText(program);
    for (int n = 1; n < 100; ++n) {
        const std::string name = n == 1 ? std::string(kEntryBaseName)
                                        : std::string(kEntryBaseName) + "-" + std::to_string(n);
        if (writeNewFile(folder / (name + ".desktop"), bytes)) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

} // namespace

std::string LoginItems::helperProgramPath(std::string_view resourcePath) {
    return std::string(resourcePath) + "/LumibayHelper.app/LumibayHelper";
}

std::string LoginItems::autostartFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        return std::string(config) + "/autostart";
    }
    return homeDirectory() + "/.config/autostart";
}

// Quoted whole; inside the quotes a backslash escapes '"', '`', '$' and '\', and a percent sign
// is doubled so that it starts no field code. A program whose path holds one is run through env.
std::string LoginItems::execLine(std::string_view program) {
    std::string line =
        program.find('%') == std::string_view::npos ? "\"" : kEnv + std::string(" \"");
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            line += '\\';
        }
        line += c;
        if (c == '%') {
            line += '%';
        }
    }
    return line + "\"";
}

std::optional<std::vector<std::string>> LoginItems::commandOfExec(std::string_view exec) {
    std::string unescaped;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        unescaped += exec[i];
        if (exec[i] == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
            ++i;
        }
    }
    gint count = 0;
    g_auto(GStrv) words = nullptr;
    if (!g_shell_parse_argv(unescaped.c_str(), &count, &words, nullptr)) {
        return std::nullopt;
    }
    return std::vector<std::string>(words, words + count);
}

bool LoginItems::runsProgram(const std::vector<std::string>& command) const {
    return (command.size() == 1 && command[0] == programPath_) ||
           (command.size() == 2 && command[0] == kEnv && command[1] == programPath_);
}

std::vector<std::string> LoginItems::entriesOfProgram() const {
    std::vector<std::string> found;
    for (const fs::path& entry : desktopEntries(autostartFolder())) {
        if (const std::optional<EntryState> state = readEntry(entry);
            state && runsProgram(state->command)) {
            found.push_back(entry.string());
        }
    }
    return found;
}

bool LoginItems::registerStartUpItem() const {
    const fs::path folder = autostartFolder();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        return false;
    }
    std::optional<fs::path> switchedOff;
    for (const fs::path& entry : desktopEntries(folder)) {
        const std::optional<EntryState> state = readEntry(entry);
        if (!state || !runsProgram(state->command)) {
            continue;
        }
        if (state->switchedOn) {
            return true;
        }
        if (!switchedOff && !fs::is_symlink(entry, error)) {
            switchedOff = entry;
        }
    }
    if (switchedOff) {
        return switchOn(*switchedOff);
    }
    return addEntry(folder, programPath_);
}

bool LoginItems::removeStartUpItem() const {
    for (const fs::path& entry : desktopEntries(autostartFolder())) {
        const std::optional<EntryState> state = readEntry(entry);
        if (state && state->switchedOn && runsProgram(state->command)) {
            return ::unlink(entry.c_str()) == 0;
        }
    }
    return true;
}

} // namespace tessaly
