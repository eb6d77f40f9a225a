// A plain folder tree of pictures: each folder holding pictures or movies is an album, named by
// its path below the chosen folder. Hidden files and folders are left out; a folder reached
// twice through links (a link loop) is read once.
#pragma once

#include "LibrarySnapshot.hxx"

#include <map>
#include <mutex>
#include <set>

namespace tessaly::bridge {

class FolderSource : public LibrarySource {
public:
    explicit FolderSource(std::string folder);

    // ~/Pictures.
    static std::string defaultFolder(const std::string& home);

    SnapshotResult read() override;
    // The folders' times: adding, removing or renaming a file changes its folder's time.
    std::string stamp() const override;
    std::string location() const override { return folder_; }

private:
    struct Described {
        std::int64_t size = 0;
        std::int64_t modified = 0;
        std::string description;
    };

    // Reading a file's metadata is the slow part of a read: what was read stays known while the
    // file keeps its size and time.
    std::string descriptionOf(const std::string& path, std::int64_t size, std::int64_t modified);

    std::string folder_;
    // What the last read logged about files and folders it could not use.
    std::set<std::string> reported_;
    std::mutex mutex_;
    std::map<std::string, Described> described_;
};

} // namespace tessaly::bridge
