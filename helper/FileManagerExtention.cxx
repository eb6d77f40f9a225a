#include "FileManagerExtention.hxx"

#include "Format.hxx"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace tessaly::NSFileManagerExtention {

namespace {

// Folders are walked through links, so a link cycle must not recurse forever.
constexpr int kMaxFolderDepth = 32;

std::uint32_t checksumAt(const std::string& path, int mode, int depth) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return 0;
    }
    if (fs::is_directory(status)) {
        if (depth >= kMaxFolderDepth) {
            return 0;
        }
        std::uint32_t sum = 0;
        for (const auto& entry : fs::directory_iterator(path, error)) {
            sum += checksumAt(format("%@/%@", {path, entry.path().filename().string()}), mode,
                              depth + 1);
        }
        return sum;
    }
    std::uintmax_t size = fs::file_size(path, error);
    return calcCheckSum(path, error ? 0 : size, mode);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::uint32_t getChecksum(const std::optional<std::string>& path, int mode) {
    return path ? checksumAt(*path, mode, 0) : 0;
}

std::uint32_t calcCheckSum(const std::string& path, std::uint64_t fileSize, int mode) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return 0;
    }
    const std::uint64_t half = fileSize / 2;
    std::uint64_t count = fileSize;
    if (mode == 1) {
        if (std::fseek(file.get(), static_cast<long>(half), SEEK_SET) != 0) {
            return 0;
        }
        count = fileSize - half;
    } else if (mode == 2) {
        count = fileSize - half;
    }
    std::uint32_t sum = 0;
    unsigned char block[1024];
    while (count != 0) {
        std::size_t wanted = count < sizeof block ? static_cast<std::size_t>(count) : sizeof block;
        std::size_t got = std::fread(block, 1, wanted, file.get());
        for (std::size_t i = 0; i < got; ++i) {
            sum += static_cast<std::uint32_t>(
                static_cast<std::int32_t>(static_cast<std::int8_t>(block[i])));
        }
        if (got < wanted) {
            break;
        }
        count -= got;
    }
    return sum;
}

} // namespace tessaly::NSFileManagerExtention
