// Builds the text of the menu page and of the album pages from the library index, the look from
// the settings, and the template texts. It touches no file, so the pages can be checked line for
// line and fed arbitrary indexes.
#pragma once

#include "LibraryIndex.hxx"

#include <cstdint>
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

private:
    void appendCell(std::string& page, const PictureRecord* picture) const;

    PageStyle style_;
    std::string q_;
    std::string lf_;
};

} // namespace tessaly
