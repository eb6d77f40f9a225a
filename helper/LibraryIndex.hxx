// The photo library's index (AlbumData.xml), reduced to the keys the pages are built from.
//
// The index of a large library is tens of megabytes, so it is streamed through expat and only the
// keys below are kept; everything else is skipped as it goes by. A value of the wrong type counts
// as missing. Numbers are read with a decimal point whatever locale the program runs in. A file
// that is missing, truncated or not a property list with a dictionary at its root cannot be read:
// the reader then answers nothing rather than a half-filled index, and says why.
//
// One fault is forgiven: a bare "&" that starts no entity or character reference is read as the
// character itself, as the photo application meant it (it writes the paths of a library whose
// folder names hold "&" unescaped). Such an index is read a second time with those ampersands
// repaired (ExpatFeed.hxx), so a well-formed index costs nothing more.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessaly {

struct PictureRecord {
    std::optional<std::string> thumbPath; // "ThumbPath"
    std::optional<std::string> imagePath; // "ImagePath"
    std::optional<float> aspectRatio;     // "Aspect Ratio", width divided by height
    // "ModDateAsTimerInterval": when the application last changed the picture (and so its
    // thumbnail), in seconds; read only for a picture without "Aspect Ratio" before it
    std::optional<double> modified;
    std::optional<std::string> caption; // "Caption"
    std::optional<std::string> comment; // "Comment"
};

struct AlbumRecord {
    std::optional<std::string> type;     // "Album Type"
    std::optional<std::string> name;     // "AlbumName"; an event's "RollName"
    std::optional<std::string> comments; // "Comments"
    std::optional<std::string> guid;     // "GUID", which names the application's own albums
    // "KeyList": keys into the master image list; an entry that is not a text is kept as none so
    // that the album's pictures keep their places.
    std::optional<std::vector<std::optional<std::string>>> keyList;
};

struct LibraryIndex {
    // "List of Albums": an album's position is its page number, so entries that are not albums are
    // kept as empty records rather than dropped.
    std::optional<std::vector<AlbumRecord>> albums;
    // "List of Rolls": the events of later versions of the application (entries with a
    // "RollName", kept in `name`), or the film rolls of earlier ones (entries with an
    // "AlbumName", which are not published and kept without name or pictures). Entries keep
    // their places, as an event's position names its page.
    std::optional<std::vector<AlbumRecord>> rolls;
    // "Master Image List"
    std::optional<std::unordered_map<std::string, PictureRecord>> masterImages;
    // "Archive Path": where the library folder lay when the index was written; every picture path
    // starts with it.
    std::optional<std::string> archivePath;

    const PictureRecord* findPicture(const std::string& key) const;
};

// Why an index could not be read.
struct IndexProblem {
    std::string reason;
    // Where in the file, counted from 1 (columns in characters); 0 when the reason is about the
    // file as a whole (it cannot be opened, or holds no dictionary at all).
    std::uint64_t line = 0;
    std::uint64_t column = 0;
};

std::optional<LibraryIndex> readLibraryIndex(const std::string& path,
                                             IndexProblem* problem = nullptr);
std::optional<LibraryIndex> parseLibraryIndex(std::string_view xml,
                                              IndexProblem* problem = nullptr);

} // namespace tessaly
