// Builds the text of the menu page and of the album and event pages from the library index, the
// look from the settings, and the template texts. It writes no file, so the pages can be checked
// line for line and fed arbitrary indexes; the one file it may read is a thumbnail's header, when
// the index does not give a picture's proportions (through ThumbnailSizes, if it is given one).
// Every text taken from the library is escaped on its way into a page (HtmlText.hxx).
#pragma once

#include "LibraryIndex.hxx"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tessaly {

class LumibayPref;
class ThumbnailSizes;

// The settings a build reads, taken once per build. Colours are six hex digits.
// The defaults live in the settings table; fromSettings is the one place a style is filled.
struct PageStyle {
    std::int32_t imageSize = 0;
    std::int32_t imageSpace = 0;
    std::int32_t numOfCol = 0;
    std::int32_t menuWidth = 0;
    std::int32_t menuFontSize = 0;
    std::int32_t albumTitleFontSize = 0;
    std::int32_t albumCommentFontSize = 0;
    std::int32_t pictureTitleFontSize = 0;
    std::int32_t pictureCommentFontSize = 0;
    std::string menuTextColor;
    std::string menuBkgndColor;
    std::string albumTitleColor;
    std::string albumCommentColor;
    std::string pictureBkgndColor;
    std::string pictureTitleColor;
    std::string pictureCommentColor;
    // Whether the library's events get pages and menu links of their own.
    bool publishEvents = false;

    static PageStyle fromSettings(LumibayPref& settings);
};

// Displayed width and height of a thumbnail whose longer side is `imageSize`, from the picture's
// width-to-height ratio (0 when unknown), in single precision and truncated.
std::pair<std::int32_t, std::int32_t> thumbnailSize(std::int32_t imageSize, float aspectRatio);

// A page of the site beside the menu: an album's, named by the album's position in "List of
// Albums", or an event's, named by its position in "List of Rolls".
struct SitePage {
    enum class Kind { Album, Event };
    Kind kind = Kind::Album;
    std::size_t position = 0;

    std::string fileName() const;
    bool operator==(const SitePage&) const = default;
};

// Where the pages' links lead on this machine: the web folder that "../.." climbs to from the
// site's Contents folder, and what is known of the thumbnail files there.
struct PictureFiles {
    std::string webFolder;
    ThumbnailSizes* thumbnails = nullptr; // none: no thumbnail is read
};

class SitePageBuilder {
public:
    explicit SitePageBuilder(PageStyle style, PictureFiles files = {});

    // The albums the person made, by position. In an index whose albums carry a type, these are
    // the "Regular" ones after the first three places (the library's own collections); in one
    // where no album has a type (the earliest versions), every album after the first two (the
    // whole library and the last import). Never an album whose "GUID" names one of the
    // application's own.
    static std::vector<std::size_t> publishedAlbums(const std::vector<AlbumRecord>& albums);
    // The events that hold pictures, by position in "List of Rolls". Events listed again among the
    // albums (with the type "Event") are not albums the person made, so each appears once.
    static std::vector<std::size_t> publishedEvents(const LibraryIndex& index);
    // Every page a build publishes beside the menu: the albums, then the events when the style
    // says so.
    std::vector<SitePage> publishedPages(const LibraryIndex& index) const;

    // The menu of the albums alone.
    std::string makeMenuPage(const std::vector<AlbumRecord>& albums, std::string_view menu1,
                             std::string_view menu2) const;
    // The menu of the index's albums and, when the style says so, its events under their heading.
    std::string makeMenuPage(const LibraryIndex& index, std::string_view menu1,
                             std::string_view menu2) const;
    void addFontColor(std::string& page, std::string_view color) const;

    // Writes an album's or an event's page, as writeAlbumPage does.
    bool writePage(const SitePage& page, const LibraryIndex& index, std::string_view picture1,
                   std::string_view picture2,
                   const std::function<bool(std::string_view)>& out) const;

    // Writes an album page through `out` a chunk at a time, so that the memory a page takes does
    // not grow with its number of pictures: one index can list a huge caption thousands of times.
    // A chunk is about pageChunkSize() bytes; it is larger only by the cell that filled it. Stops
    // at once and answers false when `out` answers false; answers true when the whole page went.
    bool writeAlbumPage(const AlbumRecord& album, const LibraryIndex& index,
                        std::string_view picture1, std::string_view picture2,
                        const std::function<bool(std::string_view)>& out) const;
    // The same page whole, for callers that want its text.
    std::string makeAlbumPage(const AlbumRecord& album, const LibraryIndex& index,
                              std::string_view picture1, std::string_view picture2) const;
    void addAlbumTitle(std::string& page, const std::optional<std::string>& title,
                       std::int32_t titleSize, const std::optional<std::string>& comment,
                       std::int32_t commentSize) const;
    void starTable(std::string& page) const;
    void addDownloadLink(std::string& cell, std::string_view message,
                         const std::optional<std::string>& linkPath) const;
    void addCommentString(std::string& cell, const PictureRecord* picture) const;

    // The path of a library file as seen from the site's Contents folder: "../.." and then the
    // path from its "iPhoto Library" component on. The library lies beside the site folder in the
    // web folder, which is what makes these links work without copying a picture.
    static std::string getOffsetPath(const std::optional<std::string>& path);
    // The same through the index's "Archive Path", which every picture path starts with: what
    // follows it is the path inside the library folder, whatever that folder was called and
    // wherever it lay. A path that does not start with it (at a component's end) falls back to
    // getOffsetPath.
    static std::string getLibraryPath(const std::optional<std::string>& path,
                                      const std::optional<std::string>& archivePath);

    const PageStyle& style() const { return style_; }

    static constexpr std::size_t kDefaultPageChunkSize = 64 * 1024;
    std::size_t pageChunkSize() const { return chunkSize_; }
    void setPageChunkSize(std::size_t bytes) { chunkSize_ = bytes; }

private:
    // Buffers for the texts of one cell, kept across the cells of a page so that escaping and
    // relative paths reuse their memory.
    struct CellScratch {
        std::string thumbPath;
        std::string imagePath;
        std::string link;
        std::string text;
        std::string file;
    };

    bool writePicturePage(const AlbumRecord& album, const LibraryIndex& index,
                          std::string_view picture1, std::string_view picture2,
                          const std::function<bool(std::string_view)>& out,
                          SitePage::Kind kind) const;
    void appendMenuLink(std::string& page, const SitePage& target, std::string_view name,
                        std::string& scratch) const;
    void appendCell(std::string& page, const PictureRecord* picture, std::string_view archive,
                    CellScratch& scratch) const;
    // The size a thumbnail is shown at: from the picture's aspect ratio, else from its thumbnail
    // file's header (`link` is the thumbnail's relative path); nothing when neither tells.
    std::optional<std::pair<std::int32_t, std::int32_t>>
    shownSize(const PictureRecord* picture, std::string_view link, std::string& scratch) const;
    // The side of the square a thumbnail of unknown proportions is shown in: the picture size,
    // or its default when the settings could not be read.
    std::int32_t squareSide() const;
    void appendDownloadLink(std::string& cell, std::string_view message,
                            const std::optional<std::string>& linkPath, std::string& scratch) const;
    void appendComment(std::string& cell, const PictureRecord* picture, std::string& scratch) const;
    static void appendOffsetPath(std::string& out, const std::optional<std::string>& path);
    static void appendLibraryPath(std::string& out, const std::optional<std::string>& path,
                                  std::string_view archive);

    PageStyle style_;
    PictureFiles files_;
    std::size_t chunkSize_ = kDefaultPageChunkSize;
    std::string q_;
    std::string lf_;
};

} // namespace tessaly
