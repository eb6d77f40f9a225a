#include "SiteFiles.hxx"

#include "FileIO.hxx"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessaly::sitefiles {

namespace {

int removeTreeAt(int parent, const std::string& name) {
    // unlinkat removes a file or a link itself (never its target) and refuses a folder.
    if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) {
        return 0;
    }
    if (errno != EISDIR) {
        return errno;
    }
    // A folder: O_NOFOLLOW keeps a link that was put here meanwhile from leading us elsewhere.
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? 0 : errno;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    std::vector<std::string> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            entries.emplace_back(entryName);
        }
    }
    int result = 0;
    for (const std::string& entryName : entries) {
        const int error = removeTreeAt(::dirfd(dir), entryName);
        if (error != 0 && result == 0) {
            result = error;
        }
    }
    ::closedir(dir);
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT && result == 0) {
        result = errno;
    }
    return result;
}

} // namespace

Folder::~Folder() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Folder Folder::open(const std::string& path, int* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && error) {
        *error = errno;
    }
    return Folder(fd);
}

Folder Folder::child(const std::string& name, int* error) const {
    const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && error) {
        *error = errno;
    }
    return Folder(fd);
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool existsIn(const Folder& folder, const std::string& name) {
    struct stat info {};
    return ::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void makeFolder(const std::string& path) {
    if (!exists(path)) {
        ::mkdir(path.c_str(), 0755);
    }
}

int writeNewFile(const Folder& folder, const std::string& name, const PageWriter& write) {
    // O_EXCL with O_NOFOLLOW: whatever stands at the name, a link above all, makes this fail
    // instead of being written through.
    const int fd = ::openat(folder.fd(), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    const PageSink sink = [&](std::string_view piece) {
        error = writeAll(fd, piece) ? 0 : errno;
        return error == 0;
    };
    bool written = false;
    try {
        written = write(sink);
    } catch (...) {
        ::close(fd);
        ::unlinkat(folder.fd(), name.c_str(), 0);
        throw;
    }
    if (!written && error == 0) {
        error = EIO;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlinkat(folder.fd(), name.c_str(), 0);
    }
    return error;
}

int replaceFile(const Folder& folder, const std::string& name, const PageWriter& write) {
    const std::string temporary = "." + name + ".new-" + uniqueSuffix();
    if (const int error = writeNewFile(folder, temporary, write); error != 0) {
        return error;
    }
    const int error = moveOver(folder, temporary, name);
    if (error != 0) {
        ::unlinkat(folder.fd(), temporary.c_str(), 0);
    }
    return error;
}

int moveOver(const Folder& folder, const std::string& from, const std::string& to) {
    if (::renameat(folder.fd(), from.c_str(), folder.fd(), to.c_str()) == 0) {
        return 0;
    }
    int error = errno;
    if (error == EISDIR || error == ENOTEMPTY || error == EEXIST) {
        // A folder stands at the name: swap it out in one step, then remove it.
        bool swapped = false;
        error = exchange(folder, from, to, &swapped);
        if (error == 0 && swapped) {
            removeTree(folder, from);
        }
    }
    return error;
}

int makeUniqueFolder(const Folder& folder, const std::string& prefix, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = prefix + uniqueSuffix();
        if (::mkdirat(folder.fd(), name.c_str(), 0755) == 0) {
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

int exchange(const Folder& folder, const std::string& from, const std::string& to, bool* swapped) {
    *swapped = false;
    const int fd = folder.fd();
    if (::renameat2(fd, from.c_str(), fd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    const bool noFlags = errno == EINVAL || errno == ENOSYS;
    if (!noFlags && errno != EEXIST) {
        return errno;
    }
    if (!noFlags) {
        if (::renameat2(fd, from.c_str(), fd, to.c_str(), RENAME_EXCHANGE) == 0) {
            *swapped = true;
            return 0;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return errno;
        }
    }
    // A file system that cannot exchange: move the old entry aside first, which leaves the name
    // empty for a moment but never holding anything half made.
    const std::string aside = from + ".old";
    const bool hadOld = ::renameat(fd, to.c_str(), fd, aside.c_str()) == 0;
    if (!hadOld && errno != ENOENT) {
        return errno;
    }
    if (::renameat(fd, from.c_str(), fd, to.c_str()) != 0) {
        const int error = errno;
        if (hadOld) {
            ::renameat(fd, aside.c_str(), fd, to.c_str());
        }
        return error;
    }
    if (hadOld && ::renameat(fd, aside.c_str(), fd, from.c_str()) != 0) {
        return errno;
    }
    *swapped = hadOld;
    return 0;
}

int removeTree(const Folder& folder, const std::string& name) {
    return removeTreeAt(folder.fd(), name);
}

void removeTreesStartingWith(const Folder& folder,
                             std::initializer_list<std::string_view> prefixes) {
    const int fd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        for (std::string_view prefix : prefixes) {
            if (name.starts_with(prefix)) {
                found.emplace_back(name);
                break;
            }
        }
    }
    ::closedir(dir);
    for (const std::string& name : found) {
        removeTree(folder, name);
    }
}

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::string errorText(int error) {
    char buffer[256];
    // The GNU strerror_r answers a pointer, to the buffer or to a static text.
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::string uniqueSuffix() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(8, ' ');
    for (char& letter : suffix) {
        letter = kLetters[pick(random)];
    }
    return suffix;
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
