#include "WorkspaceExtention.hxx"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::NSWorkspaceExtention {

namespace {

// The kernel keeps at most this many characters of a process name.
constexpr std::size_t kCommLength = 15;

// A process may end while it is being looked at, and reading its files then fails (ESRCH). The
// stream library throws on such a read error, so the files are read with plain calls; whatever
// could be read is the answer.
std::string readSmallFile(const std::string& path) {
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string lastComponent(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string executablePath(const std::string& procDir) {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink((procDir + "/exe").c_str(), buffer, sizeof buffer);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    // An executable replaced while it runs is still the same application.
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted)) {
        path.resize(path.size() - deleted.size());
    }
    return path;
}

// The state letter of /proc/<pid>/stat: after the last ')' that closes the process name, which
// may itself hold parentheses and spaces.
char processState(const std::string& procDir) {
    std::string stat = readSmallFile(procDir + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return '?';
    }
    return stat[close + 2];
}

bool matches(const std::string& procDir, std::string_view name, std::string_view bundleName) {
    std::string comm = readSmallFile(procDir + "/comm");
    if (!comm.empty() && comm.back() == '\n') {
        comm.pop_back();
    }
    std::string exe = executablePath(procDir);
    if (!exe.empty()) {
        if (lastComponent(exe) == name) {
            return true;
        }
        std::size_t slash = exe.rfind('/');
        if (slash != std::string::npos && slash > 0 &&
            lastComponent(std::string_view(exe).substr(0, slash)) == bundleName) {
            return true;
        }
    }
    if (comm == name) {
        return true;
    }
    // A long name is cut short in comm; a script's executable is its interpreter, so the first
    // argument's last component decides.
    if (name.size() > kCommLength && comm == name.substr(0, kCommLength)) {
        std::string cmdline = readSmallFile(procDir + "/cmdline");
        std::string first = cmdline.substr(0, cmdline.find('\0'));
        return lastComponent(first) == name;
    }
    return false;
}

} // namespace

std::vector<pid_t> processesOfApplication(std::string_view name) {
    std::vector<pid_t> found;
    if (name.empty()) {
        return found;
    }
    std::string bundleName(name);
    if (!bundleName.ends_with(".app")) {
        bundleName += ".app";
    }
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return found;
    }
    const uid_t me = ::getuid();
    const pid_t self = ::getpid();
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) {
            continue;
        }
        std::string procDir = std::string("/proc/") + entry->d_name;
        struct stat info {};
        if (::stat(procDir.c_str(), &info) != 0 || info.st_uid != me) {
            continue;
        }
        char state = processState(procDir);
        if (state == 'Z' || state == 'X' || state == '?') {
            continue;
        }
        if (matches(procDir, name, bundleName)) {
            found.push_back(static_cast<pid_t>(pid));
        }
    }
    ::closedir(proc);
    return found;
}

bool checkApplicationIsRunning(std::string_view name) {
    return !processesOfApplication(name).empty();
}

} // namespace tessaly::NSWorkspaceExtention
