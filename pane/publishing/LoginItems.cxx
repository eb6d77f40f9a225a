#include "LoginItems.hxx"

#include "Home.hxx"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace tessaly {

namespace {

namespace fs = std::filesystem;

constexpr char kGroup[] = "Desktop Entry";
constexpr char kEntryBaseName[] = "LumibayHelper";

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

// The program of one entry, or none when the file is no readable desktop entry.
std::optional<std::string> programOfEntry(const fs::path& entry) {
    GKeyFile* keys = g_key_file_new();
    std::optional<std::string> program;
    if (g_key_file_load_from_file(keys, entry.c_str(), G_KEY_FILE_NONE, nullptr)) {
        if (gchar* exec = g_key_file_get_string(keys, kGroup, "Exec", nullptr)) {
            program = LoginItems::programOfExec(exec);
            g_free(exec);
        }
    }
    g_key_file_free(keys);
    return program;
}

// Writes a new file, never over an existing one.
bool writeNewFile(const fs::path& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(path.c_str());
    }
    return ok;
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

std::string LoginItems::execLine(std::string_view program) {
    std::string line = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            line += '\\';
        }
        line += c;
        // A lone percent sign would start a field code.
        if (c == '%') {
            line += '%';
        }
    }
    return line + "\"";
}

std::optional<std::string> LoginItems::programOfExec(std::string_view exec) {
    std::string quoted;
    std::size_t pos = 0;
    if (exec.starts_with('"')) {
        bool closed = false;
        for (pos = 1; pos < exec.size(); ++pos) {
            char c = exec[pos];
            if (c == '\\' && pos + 1 < exec.size()) {
                quoted += exec[++pos];
            } else if (c == '"') {
                closed = true;
                break;
            } else {
                quoted += c;
            }
        }
        if (!closed) {
            return std::nullopt;
        }
    } else {
        quoted = std::string(exec.substr(0, exec.find(' ')));
    }
    std::string program;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        program += quoted[i];
        if (quoted[i] == '%' && i + 1 < quoted.size() && quoted[i + 1] == '%') {
            ++i;
        }
    }
    if (program.empty()) {
        return std::nullopt;
    }
    return program;
}

std::vector<std::string> LoginItems::entriesOfProgram() const {
    std::vector<std::string> found;
    for (const fs::path& entry : desktopEntries(autostartFolder())) {
        if (programOfEntry(entry) == programPath_) {
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
    if (!entriesOfProgram().empty()) {
        return true;
    }
    GKeyFile* keys = g_key_file_new();
    g_key_file_set_string(keys, kGroup, "Type", "Application");
    g_key_file_set_string(keys, kGroup, "Name", kEntryBaseName);
    g_key_file_set_string(keys, kGroup, "Exec", execLine(programPath_).c_str());
    g_key_file_set_boolean(keys, kGroup, "NoDisplay", TRUE);
    gsize length = 0;
    gchar* data = g_key_file_to_data(keys, &length, nullptr);
    std::string bytes(data, length);
    g_free(data);
    g_key_file_free(keys);

    // Another program's entry may already carry our file name: take the next free one.
    for (int n = 1; n < 100; ++n) {
        std::string name = n == 1 ? std::string(kEntryBaseName)
                                  : std::string(kEntryBaseName) + "-" + std::to_string(n);
        fs::path entry = folder / (name + ".desktop");
        if (writeNewFile(entry, bytes)) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool LoginItems::removeStartUpItem() const {
    std::vector<std::string> entries = entriesOfProgram();
    if (entries.empty()) {
        return true;
    }
    return ::unlink(entries.front().c_str()) == 0;
}

} // namespace tessaly
