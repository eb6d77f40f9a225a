#include "SitePageBuilder.hxx"

#include "Format.hxx"
#include "LumibayPref.hxx"
#include "PageFragments.hxx"
#include "StringExtention.hxx"

#include <cmath>
#include <limits>

namespace tessaly {

using NSColorExtention::HTMLColor;
namespace f = fragments;

namespace {

// A colour the settings cannot give (a stored text of the wrong length) is written in its
// default, not as an empty attribute.
std::string colorText(const std::optional<RgbColor>& color, Setting setting) {
    return color ? HTMLColor(*color) : std::string(settingInfo(setting).text);
}

// Truncation toward zero that stays defined for infinities, NaN and values out of range.
std::int32_t truncateToInt(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr float high = 2147483520.0f; // the largest float below 2^31
    if (value >= high) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= -high) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

constexpr std::string_view kLibraryFolderName = "iPhoto Library";

} // namespace

PageStyle PageStyle::fromSettings(LumibayPref& settings) {
    PageStyle style;
    style.imageSize = settings.getImageSize();
    style.imageSpace = settings.getImageSpace();
    style.numOfCol = settings.getNumOfCol();
    style.menuWidth = settings.getMenuWidth();
    style.menuFontSize = settings.getMenuFontSize();
    style.albumTitleFontSize = settings.getAlbumTitleFontSize();
    style.albumCommentFontSize = settings.getAlbumCommentFontSize();
    style.pictureTitleFontSize = settings.getPictureTitleFontSize();
    style.pictureCommentFontSize = settings.getPictureCommentFontSize();
    style.menuTextColor = colorText(settings.getMenuTextColor(), Setting::MenuTextColor);
    style.menuBkgndColor = colorText(settings.getMenuBkgndColor(), Setting::MenuBkgndColor);
    style.albumTitleColor = colorText(settings.getAlbumTitleColor(), Setting::AlbumTitleColor);
    style.albumCommentColor =
        colorText(settings.getAlbumCommentColor(), Setting::AlbumCommentColor);
    style.pictureBkgndColor =
        colorText(settings.getPictureBkgndColor(), Setting::PictureBkgndColor);
    style.pictureTitleColor =
        colorText(settings.getPictureTitleColor(), Setting::PictureTitleColor);
    style.pictureCommentColor =
        colorText(settings.getPictureCommentColor(), Setting::PictureCommentColor);
    return style;
}

std::pair<std::int32_t, std::int32_t> thumbnailSize(std::int32_t imageSize, float aspectRatio) {
    const float side = static_cast<float>(imageSize);
    if (aspectRatio > 1.0f) {
        return {imageSize, truncateToInt(side / aspectRatio)};
    }
    return {truncateToInt(side * aspectRatio), imageSize};
}

SitePageBuilder::SitePageBuilder(PageStyle style)
    : style_(std::move(style)), q_(NSStringExtention::getDoubleQautatioString()),
      lf_(NSStringExtention::getLFString()) {}

bool SitePageBuilder::isPublished(const AlbumRecord& album, std::size_t position) {
    return position >= 3 && album.type == "Regular";
}

// --- menu page --------------------------------------------------------------------------------

void SitePageBuilder::addFontColor(std::string& page, std::string_view color) const {
    appendFormat(page, f::kMenuFont, {q_, color, q_, lf_});
}

std::string SitePageBuilder::makeMenuPage(const std::vector<AlbumRecord>& albums,
                                          std::string_view menu1, std::string_view menu2) const {
    std::string page = format(menu1, {style_.menuBkgndColor, style_.menuTextColor,
                                      style_.menuTextColor, style_.menuFontSize});
    addFontColor(page, style_.menuTextColor);
    for (std::size_t n = 0; n < albums.size(); ++n) {
        if (isPublished(albums[n], n)) {
            appendFormat(page, f::kMenuLink,
                         {q_, static_cast<long long>(n), q_, q_, q_,
                          albums[n].name.value_or(std::string()), lf_});
        }
    }
    page.append(menu2);
    return page;
}

// --- album pages ------------------------------------------------------------------------------

void SitePageBuilder::addAlbumTitle(std::string& page, const std::optional<std::string>& title,
                                    std::int32_t titleSize,
                                    const std::optional<std::string>& comment,
                                    std::int32_t commentSize) const {
    if (!title) {
        return;
    }
    std::string heading = format(f::kAlbumTitle, {q_, style_.albumTitleColor, q_, titleSize,
                                                  *title, titleSize, lf_});
    if (comment) {
        heading = format(f::kAlbumComment, {heading, q_, style_.albumCommentColor, q_,
                                            commentSize, *comment, commentSize, lf_});
    }
    page += heading;
}

void SitePageBuilder::starTable(std::string& page) const {
    appendFormat(page, f::kTableStart,
                 {q_, q_, q_, q_, q_, q_, q_, style_.imageSpace / 2, q_, lf_});
}

void SitePageBuilder::addDownloadLink(std::string& cell, std::string_view message,
                                      const std::optional<std::string>& linkPath) const {
    if (linkPath) {
        appendFormat(cell, f::kDownloadLink, {q_, *linkPath, q_, q_, q_, message, lf_});
    }
}

void SitePageBuilder::addCommentString(std::string& cell, const PictureRecord* picture) const {
    const std::optional<std::string>* comment = picture ? &picture->comment : nullptr;
    if (!comment || !*comment || (*comment)->empty()) {
        appendFormat(cell, f::kNoComment, {lf_});
        return;
    }
    const std::int32_t size = style_.pictureCommentFontSize;
    appendFormat(cell, size >= 0 ? f::kCommentPositive : f::kCommentNegative,
                 {q_, size, q_, q_, style_.pictureCommentColor, q_, **comment, lf_});
}

std::string SitePageBuilder::getOffsetPath(const std::optional<std::string>& path) {
    std::string result = "../..";
    if (!path) {
        return result;
    }
    // Components after the root; the library folder is searched from the first of them on, as
    // home folders lie at any depth here (/root, /home/<name>, ...).
    std::string_view rest = *path;
    bool found = false;
    bool first = true;
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (component.empty()) {
            first = false;
            continue;
        }
        // A relative path's first component stands where an absolute path has its root.
        if (first) {
            first = false;
            continue;
        }
        found = found || component == kLibraryFolderName;
        if (found) {
            result += '/';
            result += component;
        }
    }
    return result;
}

void SitePageBuilder::appendCell(std::string& page, const PictureRecord* picture) const {
    static const std::optional<std::string> none;
    const auto& thumbPath = picture ? picture->thumbPath : none;
    const auto& imagePath = picture ? picture->imagePath : none;
    const float aspectRatio = picture ? picture->aspectRatio.value_or(0.0f) : 0.0f;
    const auto [width, height] = thumbnailSize(style_.imageSize, aspectRatio);

    // The cell is written straight into the page: the cell-end fragment puts the cell's text
    // first, so appending its remainder afterwards gives the same page without a copy per cell.
    appendFormat(page, f::kCellStart, {q_, q_, lf_});
    appendFormat(page, f::kThumbnail,
                 {q_, getOffsetPath(thumbPath), q_, q_, q_, q_, q_, q_, width, q_, q_, height, q_,
                  lf_});
    const std::int32_t titleSize = style_.pictureTitleFontSize;
    if (titleSize >= 0) {
        appendFormat(page, f::kTitleFontPositive, {q_, titleSize, q_, lf_});
    } else {
        appendFormat(page, f::kTitleFontNegative,
                     {q_, titleSize, q_, q_, style_.pictureTitleColor, q_, lf_});
    }
    // A picture without a caption gets an empty one: its cell keeps the same shape.
    appendFormat(page, f::kCaption,
                 {picture && picture->caption ? std::string_view(*picture->caption) : "", lf_});
    addDownloadLink(page, f::kDownloadText, getOffsetPath(imagePath));
    addCommentString(page, picture);
    appendFormat(page, f::kCellEnd, {std::string_view(), lf_});
}

std::string SitePageBuilder::makeAlbumPage(const AlbumRecord& album, const LibraryIndex& index,
                                           std::string_view picture1,
                                           std::string_view picture2) const {
    // Only an unreadable settings file gives fewer than one column; lay such a page out with the
    // usual column count rather than dividing by zero.
    const std::int32_t columns = style_.numOfCol >= 1
                                     ? style_.numOfCol
                                     : static_cast<std::int32_t>(
                                           settingInfo(Setting::NumOfCol).number);
    static const std::vector<std::optional<std::string>> noPictures;
    const auto& keys = album.keyList ? *album.keyList : noPictures;
    // About what one cell takes, so that a large album's page grows in few steps.
    constexpr std::size_t kCellBytes = 400;

    std::string page = format(picture1, {style_.pictureBkgndColor});
    page.reserve(page.size() + picture2.size() + 1024 + keys.size() * kCellBytes);
    addAlbumTitle(page, album.name, style_.albumTitleFontSize, album.comments,
                  style_.albumCommentFontSize);
    starTable(page);

    for (std::size_t j = 0; j < keys.size(); ++j) {
        const std::size_t column = j % static_cast<std::size_t>(columns);
        if (column == 0) {
            appendFormat(page, f::kRowStart, {lf_});
        }
        appendCell(page, keys[j] ? index.findPicture(*keys[j]) : nullptr);
        if (column == static_cast<std::size_t>(columns) - 1) {
            appendFormat(page, f::kRowEnd, {lf_});
        }
    }
    if (keys.size() % static_cast<std::size_t>(columns) != 0) {
        appendFormat(page, f::kRowEnd, {lf_});
    }
    page.append(picture2);
    return page;
}

} // namespace tessaly
