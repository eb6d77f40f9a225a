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
    // Checked before each picture and while one is shrunk; when set, the update stops and keeps
    // the old index.
    const std::atomic<bool>* cancel = nullptr;
    // Called after each picture with how many are done of how many.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // What the snapshot was read from (see sourceStamp()), kept with the index it gave. When the
    // library was last made from the same, bridgeLibrary() does not read the source again.
    std::string sourceStamp;
    // An empty library is refused rather than published: a person starting to publish has
    // chosen the wrong library or folder.
    bool refuseEmpty = false;
};

enum class UpdateStatus { Updated, Unchanged, Cancelled, Failed };

// Why an update failed.
enum class UpdateProblem {
    None,
    FolderTaken, // ~/Sites/iPhoto Library is a library the bridge did not make
    Unreadable,  // the source cannot be read (no database, a locked or unknown one, ...)
    Empty,       // the source holds nothing to publish, and options.refuseEmpty was set
    Unwritable,  // the library folder cannot be written
};

struct UpdateResult {
    UpdateStatus status = UpdateStatus::Failed;
    UpdateProblem problem = UpdateProblem::None;
    std::string message;            // why it failed, for a person, naming the file or folder
    std::size_t items = 0;          // pictures and movies in the new index
    std::size_t thumbnailsMade = 0; // of them, thumbnails made by this update
    std::size_t skipped = 0;        // items left out (unreadable, corrupt, too large)
    std::size_t removed = 0;        // items of the last update no longer in the library
};

class BridgedLibrary {
public:
    static constexpr char kMarkerName[] = ".tessaly-bridge";
    static constexpr char kStateName[] = ".tessaly-bridge-state";
    static constexpr char kSourceStampName[] = ".tessaly-bridge-source";
    // The thumbnails' longer side: sharp at the site's largest picture size.
    static constexpr int kThumbnailSide = 360;

    explicit BridgedLibrary(std::string folder);

    // How many thumbnails an update makes at once: one per core, at most four.
    static unsigned thumbnailThreads();

    // ~/Sites/iPhoto Library.
    static std::string folderIn(const std::string& home);

    enum class FolderState { Missing, Bridged, Foreign };
    FolderState state() const;

    const std::string& folder() const { return folder_; }

    // One update at a time: a second one, in this process or another, waits for the first (or
    // for its own cancel flag).
    UpdateResult update(const LibrarySnapshot& snapshot, const UpdateOptions& options = {});

    // The source stamp the current index was made from; empty when none was given or there is
    // no index yet.
    std::string madeFrom() const;

    // Removes the whole folder, if the bridge made it: a first update that was stopped leaves
    // no half library behind. The originals, which the folder only links to, stay untouched.
    bool discard();

private:
    std::string folder_;
};

// Reads the source and brings the library up to date with it, unless the library was made from
// the source as it is now (options.sourceStamp). A source that cannot be read leaves the library
// as it was, and a folder the bridge did not make is not even read. The cancel flag of the
// options also stops the reading.
UpdateResult bridgeLibrary(LibrarySource& source, BridgedLibrary& library,
                           const UpdateOptions& options = {});

} // namespace tessaly::bridge
