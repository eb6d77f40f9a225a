// The photo library's index (AlbumData.xml), reduced to the keys the pages are built from.
//
// The index of a large library is tens of megabytes, so it is streamed through expat and only the
// keys below are kept; everything else is skipped as it goes by. A value of the wrong type counts
// as missing. Numbers are read with a decimal point whatever locale the program runs in. A file
// that is missing, truncated or not a property list with a dictionary at its root cannot be read:
// the reader then answers nothing rather than a half-filled index.
#pragma once

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
    std::optional<std::string> caption;   // "Caption"
    std::optional<std::string> comment;   // "Comment"
};

struct AlbumRecord {
    std::optional<std::string> type;     // "Album Type"
    std::optional<std::string> name;     // "AlbumName"
    std::optional<std::string> comments; // "Comments"
    // "KeyList": keys into the master image list; an entry that is not a text is kept as none so
    // that the album's pictures keep their places.
    std::optional<std::vector<std::optional<std::string>>> keyList;
};

struct LibraryIndex {
    // "List of Albums": an album's position is its page number, so entries that are not albums are
    // kept as empty records rather than dropped.
    std::optional<std::vector<AlbumRecord>> albums;
    // "Master Image List"
    std::optional<std::unordered_map<std::string, PictureRecord>> masterImages;

    const PictureRecord* findPicture(const std::string& key) const;
};

std::optional<LibraryIndex> readLibraryIndex(const std::string& path);
std::optional<LibraryIndex> parseLibraryIndex(std::string_view xml);

} // namespace tessaly
