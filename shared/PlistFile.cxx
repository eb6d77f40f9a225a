#include "PlistFile.hxx"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {
// Settings files and string tables are small; anything this large is not one of ours.
constexpr std::uintmax_t kMaxPlistBytes = 16 * 1024 * 1024;

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}
} // namespace

PlistPtr readPlistDictionary(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > kMaxPlistBytes) {
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return nullptr;
    }
    plist_t root = nullptr;
    if (!bytes.empty()) {
        plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    }
    PlistPtr result(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        return nullptr;
    }
    return result;
}

bool writePlistDictionary(const std::string& path, plist_t dictionary) {
    if (!dictionary) {
        return false;
    }
    std::error_code error;
    fs::path target = path;
    if (fs::is_symlink(target, error)) {
        target = fs::weakly_canonical(target, error);
        if (error) {
            return false;
        }
    }
    mode_t mode = 0644;
    if (fs::exists(fs::symlink_status(target, error))) {
        if (!readPlistDictionary(target)) {
            return false;
        }
        struct stat info {};
        if (::stat(target.c_str(), &info) == 0) {
            mode = info.st_mode & 07777;
        }
    }
    fs::create_directories(target.parent_path(), error);

    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dictionary, &xml, &length);
    if (!xml) {
        return false;
    }
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
    int fd = ::mkstemp(temporary.data());
    bool ok = fd >= 0;
    if (ok) {
        ok = writeAll(fd, xml, length) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
        if (!ok) {
            ::unlink(temporary.c_str());
        }
    }
    plist_to_xml_free(xml);
    return ok;
}

} // namespace tessaly
