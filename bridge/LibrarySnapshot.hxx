// What the bridge reads from a person's photo library, whatever program keeps it: albums, each
// an ordered list of items. A source answers one snapshot at a time and never changes anything
// it reads; the bridged library is then brought in line with the snapshot.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::bridge {

enum class ItemKind { Picture, Movie };

struct SnapshotItem {
    std::string file; // absolute path of the original
    ItemKind kind = ItemKind::Picture;
    std::string title;     // never empty: sources fall back to the file's name
    std::string comment;   // may be empty
    std::int64_t time = 0; // when it was taken (or the file's time), seconds since 1970
    std::optional<int> rating;
};

struct SnapshotAlbum {
    std::string name;
    std::string comment;
    std::vector<SnapshotItem> items;
};

struct LibrarySnapshot {
    std::vector<SnapshotAlbum> albums;
};

// A snapshot, or why there is none. The message names the file or folder looked at, in words
// a person can act on.
struct SnapshotResult {
    std::optional<LibrarySnapshot> snapshot;
    std::string error;
};

class LibrarySource {
public:
    virtual ~LibrarySource() = default;

    // Reads the whole library. Nothing is written, not even a lock.
    virtual SnapshotResult read() = 0;

    // Cheap to compute; a different answer than last time means the library may have changed
    // and is worth reading again.
    virtual std::string stamp() const = 0;

    // The file or folder the source reads, for messages.
    virtual std::string location() const = 0;

    // While set, a read in progress ends early, with no snapshot, once the flag is raised: a
    // program that is told to stop must not first walk a whole tree of pictures.
    void setCancel(const std::atomic<bool>* cancel) { cancel_ = cancel; }

protected:
    bool cancelled() const { return cancel_ != nullptr && cancel_->load(); }
    const std::atomic<bool>* cancelFlag() const { return cancel_; }

private:
    const std::atomic<bool>* cancel_ = nullptr;
};

} // namespace tessaly::bridge
