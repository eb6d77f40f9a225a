// The iPhoto-style library the bridge keeps in ~/Sites for a library of another program: the
// index AlbumData.xml, a thumbnail per picture, and links to the originals (hard links where the
// file system allows it, else symbolic links, which the web server must then be let follow).
//
// A marker file says the bridge made the folder; a folder without it is never written into, as
// it may be a real library. Updates are incremental: what the folder holds is remembered in a
// state file, so that only new or changed pictures get thumbnails, and what left the library is
// removed after the new index is in place. The index is replaced in one rename, so the site's
// builder reads either the old library or the new one, never half of one.
#pragma once

#include "LibrarySnapshot.hxx"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

namespace tessaly::bridge {

struct UpdateOptions {
    // Checked before each picture; when set, the update stops and keeps the old index.
    const std::atomic<bool>* cancel = nullptr;
    // Called after each picture with how many are done of how many.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

enum class UpdateStatus { Updated, Cancelled, Failed };

struct UpdateResult {
    UpdateStatus status = UpdateStatus::Failed;
    std::string message;            // why it failed, for a person
    std::size_t items = 0;          // pictures and movies in the new index
    std::size_t thumbnailsMade = 0; // of them, thumbnails made by this update
    std::size_t skipped = 0;        // items left out (unreadable, corrupt, too large)
    std::size_t removed = 0;        // items of the last update no longer in the library
};

class BridgedLibrary {
public:
    static constexpr char kMarkerName[] = ".tessaly-bridge";
    static constexpr char kStateName[] = ".tessaly-bridge-state";
    // The thumbnails' longer side: sharp at the site's largest picture size.
    static constexpr int kThumbnailSide = 360;

    explicit BridgedLibrary(std::string folder);

    // ~/Sites/iPhoto Library.
    static std::string folderIn(const std::string& home);

    enum class FolderState { Missing, Bridged, Foreign };
    FolderState state() const;

    const std::string& folder() const { return folder_; }

    UpdateResult update(const LibrarySnapshot& snapshot, const UpdateOptions& options = {});

private:
    std::string folder_;
};

// Reads the source and brings the library up to date with it. A source that cannot be read
// leaves the library as it was.
UpdateResult bridgeLibrary(LibrarySource& source, BridgedLibrary& library,
                           const UpdateOptions& options = {});

} // namespace tessaly::bridge
