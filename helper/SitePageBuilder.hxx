// Builds the text of the menu page and of the album pages from the library index, the look from
// the settings, and the template texts. It touches no file, so the pages can be checked line for
// line and fed arbitrary indexes. Every text taken from the library is escaped on its way into a
// page (HtmlText.hxx).
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

    static PageStyle fromSettings(LumibayPref& settings);
};

// Displayed width and height of a thumbnail whose longer side is `imageSize`, from the picture's
// width-to-height ratio (0 when unknown), in single precision and truncated.
std::pair<std::int32_t, std::int32_t> thumbnailSize(std::int32_t imageSize, float aspectRatio);

class SitePageBuilder {
public:
    explicit SitePageBuilder(PageStyle style);

    // The first three places of the album list are the library's own collections; after them
    // every "Regular" album is published, under its position.
    static bool isPublished(const AlbumRecord& album, std::size_t position);

    std::string makeMenuPage(const std::vector<AlbumRecord>& albums, std::string_view menu1,
                             std::string_view menu2) const;
    void addFontColor(std::string& page, std::string_view color) const;

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
    };

    void appendCell(std::string& page, const PictureRecord* picture, CellScratch& scratch) const;
    void appendDownloadLink(std::string& cell, std::string_view message,
                            const std::optional<std::string>& linkPath, std::string& scratch) const;
    void appendComment(std::string& cell, const PictureRecord* picture, std::string& scratch) const;
    static void appendOffsetPath(std::string& out, const std::optional<std::string>& path);

    PageStyle style_;
    std::size_t chunkSize_ = kDefaultPageChunkSize;
    std::string q_;
    std::string lf_;
};

} // namespace tessaly
