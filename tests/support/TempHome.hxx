// A fresh home folder for one test: HOME points at it while the test runs, so nothing the test
// does can touch the real user's settings or site.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace tessaly::testing {

class TempHome {
public:
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-home-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
        const char* old = std::getenv("HOME");
        if (old) {
            oldHome_ = old;
        }
        ::setenv("HOME", path_.c_str(), 1);
    }
    ~TempHome() {
        if (oldHome_) {
            ::setenv("HOME", oldHome_->c_str(), 1);
        } else {
            ::unsetenv("HOME");
        }
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path settingsFile() const {
        return path_ / "Library/Preferences/Tessaly.plist";
    }
    std::filesystem::path siteFolder() const { return path_ / "Sites/iPhotoPictureSite"; }
    std::filesystem::path libraryFolder() const { return path_ / "Sites/iPhoto Library"; }
    std::filesystem::path indexFile() const { return libraryFolder() / "AlbumData.xml"; }

private:
    std::filesystem::path path_;
    std::optional<std::string> oldHome_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A property-list document whose root dictionary holds the given <key>/value pairs: a settings
// file as the settings window writes it, or a library index.
inline std::string plistDocument(const std::string& rootBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           rootBody + "</dict>\n</plist>\n";
}

} // namespace tessaly::testing
