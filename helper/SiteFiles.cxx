#include "SiteFiles.hxx"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaly::sitefiles {

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void removeItem(const std::string& path) {
    std::error_code error;
    fs::remove_all(path, error);
}

bool isDeletable(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return ::access(parent.empty() ? "." : parent.c_str(), W_OK | X_OK) == 0;
}

void makeFolder(const std::string& path) {
    if (!exists(path)) {
        ::mkdir(path.c_str(), 0755);
    }
}

bool writeTextFile(const std::string& path, std::string_view text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return ::close(fd) == 0 && ok;
}

bool replaceWithPage(const std::string& path, std::string_view text) {
    if (exists(path)) {
        removeItem(path);
    }
    const bool written = writeTextFile(path, text);
    setDatesToNow(path);
    return written;
}

std::optional<std::string> readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

void setDatesToNow(const std::string& path) {
    // A null time list means "now" for both times.
    ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

std::optional<timespec> modificationDate(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_mtim;
}

bool isEarlier(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace tessaly::sitefiles
