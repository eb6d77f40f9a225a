// The sample photo library: what it holds, and its index written the way the photo application
// writes AlbumData.xml.
//
// The library is made to exercise a publisher the way real libraries do: picture keys are not
// contiguous (rolls, pictures and albums share one id sequence), the index lists pictures in the
// application's string order of keys, regular albums do not sit at contiguous positions, albums
// are empty when there are more albums than pictures, captions and comments need escaping or are
// not ASCII, one picture has no comment at all and one entry is a movie.
#pragma once

#include "PlistWriter.hxx"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::sample {

// Which picture files are written beside the index.
enum class ImageFiles {
    Drawn,           // an image and a thumbnail per picture, drawn to tell them apart
    PlainThumbnails, // thumbnails alone, plain, of each picture's proportions: for benchmarks
    None,            // the index alone
};

struct Options {
    std::string home; // absolute, without a trailing slash
    int albums = 6;   // regular albums
    int pictures = 24;
    ImageFiles images = ImageFiles::Drawn;
    // Later versions of the application write no "Aspect Ratio": a page then takes the
    // proportions from the thumbnail file.
    bool aspectRatios = true;
    std::uint64_t seed = 2006;
};

// Limits that keep every generated id below 999000, where the application's own albums start.
inline constexpr int kMaxAlbums = 100'000;
inline constexpr int kMaxPictures = 500'000;

struct Picture {
    std::int64_t key = 0;
    std::int64_t roll = 0; // AlbumId of the roll it was imported with
    std::string caption;
    std::optional<std::string> comment; // no value: the entry has no Comment key
    float aspectRatio = 1.0f;           // width / height
    std::int64_t date = 0;              // seconds since 2001-01-01 00:00 UTC
    std::int64_t modDate = 0;
    double metaModDate = 0;
    int rating = 0;
    bool movie = false;
    int hue = 0;        // colour of the drawn picture, 0..359
    std::string folder; // "YYYY/MM/DD" of the date, relative to the library folder
};

struct Roll {
    std::int64_t id = 0;
    std::string name;
    std::size_t first = 0; // index of its first picture; a roll's pictures are contiguous
    std::size_t count = 0;
};

enum class AlbumKind { Library, SpecialRoll, SpecialMonth, Regular, Smart, Book, Slideshow };

struct Album {
    AlbumKind kind = AlbumKind::Regular;
    std::int64_t id = 0;
    std::string name;
    std::optional<std::string> comments;
    std::vector<std::uint32_t> pictures; // indices into SampleLibrary::pictures
};

struct SampleLibrary {
    std::string libraryPath; // <home>/Sites/iPhoto Library
    std::vector<Picture> pictures;
    std::vector<Roll> rolls;
    std::vector<Album> albums; // in index order: library, two special albums, then the rest
    bool aspectRatios = true;  // whether the index gives each picture's "Aspect Ratio"

    std::string indexPath() const { return libraryPath + "/AlbumData.xml"; }
    std::string imagePath(const Picture& picture) const;
    std::string thumbPath(const Picture& picture) const;
    int regularAlbumCount() const;
};

// The same options (seed included) always give the same library. The options must be within the
// limits above, with at least one picture.
SampleLibrary planLibrary(const Options& options);

// Writes the whole index document.
void writeIndex(const SampleLibrary& library, PlistWriter& writer);

} // namespace tessaly::sample
