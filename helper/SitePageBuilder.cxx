#include "SitePageBuilder.hxx"

#include "Format.hxx"
#include "HtmlText.hxx"
#include "LumibayPref.hxx"
#include "PageFragments.hxx"
#include "StringExtention.hxx"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessaly {

using htmltext::escaped;
using htmltext::escapedLink;
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
    std::string scratch;
    for (std::size_t n = 0; n < albums.size(); ++n) {
        if (isPublished(albums[n], n)) {
            const std::string_view name = albums[n].name ? *albums[n].name : std::string_view();
            appendFormat(page, f::kMenuLink,
                         {q_, static_cast<long long>(n), q_, q_, q_, escaped(name, scratch), lf_});
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
    std::string scratch;
    appendFormat(
        page, f::kAlbumTitle,
        {q_, style_.albumTitleColor, q_, titleSize, escaped(*title, scratch), titleSize, lf_});
    if (comment) {
        // The comment fragment starts with the title text, which is already in the page.
        appendFormat(page, f::kAlbumComment,
                     {std::string_view(), q_, style_.albumCommentColor, q_, commentSize,
                      escaped(*comment, scratch), commentSize, lf_});
    }
}

void SitePageBuilder::starTable(std::string& page) const {
    appendFormat(page, f::kTableStart,
                 {q_, q_, q_, q_, q_, q_, q_, style_.imageSpace / 2, q_, lf_});
}

void SitePageBuilder::addDownloadLink(std::string& cell, std::string_view message,
                                      const std::optional<std::string>& linkPath) const {
    std::string scratch;
    appendDownloadLink(cell, message, linkPath, scratch);
}

void SitePageBuilder::appendDownloadLink(std::string& cell, std::string_view message,
                                         const std::optional<std::string>& linkPath,
                                         std::string& scratch) const {
    if (linkPath) {
        appendFormat(cell, f::kDownloadLink,
                     {q_, escapedLink(*linkPath, scratch), q_, q_, q_, message, lf_});
    }
}

void SitePageBuilder::addCommentString(std::string& cell, const PictureRecord* picture) const {
    std::string scratch;
    appendComment(cell, picture, scratch);
}

void SitePageBuilder::appendComment(std::string& cell, const PictureRecord* picture,
                                    std::string& scratch) const {
    const std::optional<std::string>* comment = picture ? &picture->comment : nullptr;
    if (!comment || !*comment || (*comment)->empty()) {
        appendFormat(cell, f::kNoComment, {lf_});
        return;
    }
    const std::int32_t size = style_.pictureCommentFontSize;
    appendFormat(
        cell, size >= 0 ? f::kCommentPositive : f::kCommentNegative,
        {q_, size, q_, q_, style_.pictureCommentColor, q_, escaped(**comment, scratch), lf_});
}

std::string SitePageBuilder::getOffsetPath(const std::optional<std::string>& path) {
    std::string result;
    appendOffsetPath(result, path);
    return result;
}

void SitePageBuilder::appendOffsetPath(std::string& result,
                                       const std::optional<std::string>& path) {
    result += "../..";
    if (!path) {
        return;
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
}

void SitePageBuilder::appendCell(std::string& page, const PictureRecord* picture,
                                 CellScratch& scratch) const {
    static const std::optional<std::string> none;
    const auto& thumbPath = picture ? picture->thumbPath : none;
    const auto& imagePath = picture ? picture->imagePath : none;
    const float aspectRatio = picture ? picture->aspectRatio.value_or(0.0f) : 0.0f;
    const auto [width, height] = thumbnailSize(style_.imageSize, aspectRatio);
    // A picture without a caption gets an empty one: its cell keeps the same shape.
    const std::string_view caption =
        picture && picture->caption ? escaped(*picture->caption, scratch.text) : "";

    // The cell is written straight into the page: the cell-end fragment puts the cell's text
    // first, so appending its remainder afterwards gives the same page without a copy per cell.
    appendFormat(page, f::kCellStart, {q_, q_, lf_});
    scratch.thumbPath.clear();
    appendOffsetPath(scratch.thumbPath, thumbPath);
    appendFormat(page, f::kThumbnail,
                 {q_, escapedLink(scratch.thumbPath, scratch.link), q_, q_, caption, q_, q_, q_, q_,
                  width, q_, q_, height, q_, lf_});
    const std::int32_t titleSize = style_.pictureTitleFontSize;
    if (titleSize >= 0) {
        appendFormat(page, f::kTitleFontPositive, {q_, titleSize, q_, lf_});
    } else {
        appendFormat(page, f::kTitleFontNegative,
                     {q_, titleSize, q_, q_, style_.pictureTitleColor, q_, lf_});
    }
    appendFormat(page, f::kCaption, {caption, lf_});
    scratch.imagePath.clear();
    appendOffsetPath(scratch.imagePath, imagePath);
    appendDownloadLink(page, f::kDownloadText, scratch.imagePath, scratch.link);
    appendComment(page, picture, scratch.text);
    appendFormat(page, f::kCellEnd, {std::string_view(), lf_});
}

bool SitePageBuilder::writeAlbumPage(const AlbumRecord& album, const LibraryIndex& index,
                                     std::string_view picture1, std::string_view picture2,
                                     const std::function<bool(std::string_view)>& out) const {
    // Only an unreadable settings file gives fewer than one column; lay such a page out with the
    // usual column count rather than dividing by zero.
    const std::size_t columns = static_cast<std::size_t>(
        style_.numOfCol >= 1 ? style_.numOfCol : settingInfo(Setting::NumOfCol).number);
    static const std::vector<std::optional<std::string>> noPictures;
    const auto& keys = album.keyList ? *album.keyList : noPictures;
    const std::size_t chunk = std::max<std::size_t>(chunkSize_, 1);

    std::string buffer;
    // Room for a chunk and the cell that fills it, so that a page grows its buffer at most once
    // or twice; a larger budget than the default is taken as it comes.
    buffer.reserve(std::min(chunk, kDefaultPageChunkSize) + 4096);
    auto flush = [&]() {
        if (buffer.empty()) {
            return true;
        }
        const bool ok = out(buffer);
        buffer.clear();
        return ok;
    };

    appendFormat(buffer, picture1, {style_.pictureBkgndColor});
    std::string titleScratch;
    appendFormat(buffer, f::kAlbumPageStart,
                 {album.name ? escaped(*album.name, titleScratch) : f::kUntitledAlbum, lf_, lf_});
    addAlbumTitle(buffer, album.name, style_.albumTitleFontSize, album.comments,
                  style_.albumCommentFontSize);
    starTable(buffer);

    CellScratch scratch;
    for (std::size_t j = 0; j < keys.size(); ++j) {
        const std::size_t column = j % columns;
        if (column == 0) {
            appendFormat(buffer, f::kRowStart, {lf_});
        }
        appendCell(buffer, keys[j] ? index.findPicture(*keys[j]) : nullptr, scratch);
        if (column == columns - 1) {
            appendFormat(buffer, f::kRowEnd, {lf_});
        }
        if (buffer.size() >= chunk && !flush()) {
            return false;
        }
    }
    if (keys.size() % columns != 0) {
        appendFormat(buffer, f::kRowEnd, {lf_});
    }
    // The closing template is the user's file and may be of any size: it is passed on as it is
    // rather than copied when it does not fit the chunk.
    if (buffer.size() + picture2.size() <= chunk) {
        buffer.append(picture2);
        return flush();
    }
    if (!flush()) {
        return false;
    }
    return picture2.empty() || out(picture2);
}

std::string SitePageBuilder::makeAlbumPage(const AlbumRecord& album, const LibraryIndex& index,
                                           std::string_view picture1,
                                           std::string_view picture2) const {
    std::string page;
    writeAlbumPage(album, index, picture1, picture2, [&page](std::string_view chunk) {
        page.append(chunk);
        return true;
    });
    return page;
}

} // namespace tessaly
