#include "SitePageBuilder.hxx"

#include "Format.hxx"
#include "HtmlText.hxx"
#include "LumibayPref.hxx"
#include "PageFragments.hxx"
#include "StringExtention.hxx"
#include "ThumbnailSizes.hxx"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

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
// What every relative path starts with: from the site's Contents folder up to the web folder.
constexpr std::string_view kClimbToWebFolder = "../..";

// The "GUID"s of the application's own albums, which are never published whatever their type.
constexpr std::string_view kBuiltInAlbums[] = {
    "allPhotosAlbum", "lastImportAlbum", "flaggedAlbum", "lastNMonthsAlbum", "emptyEventAlbum",
};

bool isBuiltIn(const AlbumRecord& album) {
    return album.guid && std::find(std::begin(kBuiltInAlbums), std::end(kBuiltInAlbums),
                                   std::string_view(*album.guid)) != std::end(kBuiltInAlbums);
}

// The archive path as a prefix: without trailing slashes, and nothing when only the root or
// nothing is left, as every path would then be under it.
std::string_view usableArchivePath(const std::optional<std::string>& archivePath) {
    if (!archivePath) {
        return {};
    }
    std::string_view archive = *archivePath;
    while (!archive.empty() && archive.back() == '/') {
        archive.remove_suffix(1);
    }
    return archive;
}

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
    style.publishEvents = settings.getPublishEvents();
    return style;
}

std::pair<std::int32_t, std::int32_t> thumbnailSize(std::int32_t imageSize, float aspectRatio) {
    const float side = static_cast<float>(imageSize);
    if (aspectRatio > 1.0f) {
        return {imageSize, truncateToInt(side / aspectRatio)};
    }
    return {truncateToInt(side * aspectRatio), imageSize};
}

std::string SitePage::fileName() const {
    return format(kind == Kind::Album ? f::kAlbumPageName : f::kEventPageName,
                  {static_cast<long long>(position)});
}

SitePageBuilder::SitePageBuilder(PageStyle style, PictureFiles files)
    : style_(std::move(style)), files_(std::move(files)),
      q_(NSStringExtention::getDoubleQautatioString()), lf_(NSStringExtention::getLFString()) {}

std::vector<std::size_t> SitePageBuilder::publishedAlbums(const std::vector<AlbumRecord>& albums) {
    const bool typed = std::any_of(albums.begin(), albums.end(),
                                   [](const AlbumRecord& album) { return album.type.has_value(); });
    std::vector<std::size_t> published;
    for (std::size_t n = typed ? 3 : 2; n < albums.size(); ++n) {
        if ((!typed || albums[n].type == "Regular") && !isBuiltIn(albums[n])) {
            published.push_back(n);
        }
    }
    return published;
}

std::vector<std::size_t> SitePageBuilder::publishedEvents(const LibraryIndex& index) {
    std::vector<std::size_t> published;
    if (!index.rolls) {
        return published;
    }
    const auto& rolls = *index.rolls;
    for (std::size_t n = 0; n < rolls.size(); ++n) {
        if (rolls[n].name && rolls[n].keyList && !rolls[n].keyList->empty()) {
            published.push_back(n);
        }
    }
    return published;
}

std::vector<SitePage> SitePageBuilder::publishedPages(const LibraryIndex& index) const {
    std::vector<SitePage> pages;
    if (index.albums) {
        for (const std::size_t n : publishedAlbums(*index.albums)) {
            pages.push_back({SitePage::Kind::Album, n});
        }
    }
    if (style_.publishEvents) {
        for (const std::size_t n : publishedEvents(index)) {
            pages.push_back({SitePage::Kind::Event, n});
        }
    }
    return pages;
}

// --- menu page --------------------------------------------------------------------------------

void SitePageBuilder::addFontColor(std::string& page, std::string_view color) const {
    appendFormat(page, f::kMenuFont, {q_, color, q_, lf_});
}

void SitePageBuilder::appendMenuLink(std::string& page, const SitePage& target,
                                     std::string_view name, std::string& scratch) const {
    appendFormat(page, f::kMenuLink,
                 {q_, target.fileName(), q_, q_, q_, escaped(name, scratch), lf_});
}

std::string SitePageBuilder::makeMenuPage(const std::vector<AlbumRecord>& albums,
                                          std::string_view menu1, std::string_view menu2) const {
    LibraryIndex index;
    index.albums = albums;
    PageStyle albumsOnly = style_;
    albumsOnly.publishEvents = false;
    return SitePageBuilder(std::move(albumsOnly)).makeMenuPage(index, menu1, menu2);
}

std::string SitePageBuilder::makeMenuPage(const LibraryIndex& index, std::string_view menu1,
                                          std::string_view menu2) const {
    std::string page = format(menu1, {style_.menuBkgndColor, style_.menuTextColor,
                                      style_.menuTextColor, style_.menuFontSize});
    addFontColor(page, style_.menuTextColor);
    std::string scratch;
    bool headed = false;
    for (const SitePage& target : publishedPages(index)) {
        if (target.kind == SitePage::Kind::Album) {
            const AlbumRecord& album = (*index.albums)[target.position];
            appendMenuLink(page, target, album.name ? *album.name : std::string_view(), scratch);
            continue;
        }
        if (!std::exchange(headed, true)) {
            appendFormat(page, f::kMenuEventsHeading, {f::kEventsHeadingText, lf_});
        }
        const AlbumRecord& event = (*index.rolls)[target.position];
        appendMenuLink(page, target, event.name->empty() ? f::kUntitledEvent : *event.name,
                       scratch);
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

std::string SitePageBuilder::getLibraryPath(const std::optional<std::string>& path,
                                            const std::optional<std::string>& archivePath) {
    std::string result;
    appendLibraryPath(result, path, usableArchivePath(archivePath));
    return result;
}

void SitePageBuilder::appendLibraryPath(std::string& result, const std::optional<std::string>& path,
                                        std::string_view archive) {
    // Under the archive path only when it ends at a component's end: "/a/iPhoto Library2/x" is
    // not inside "/a/iPhoto Library".
    if (path && !archive.empty() && path->starts_with(archive) &&
        (path->size() == archive.size() || (*path)[archive.size()] == '/')) {
        result += kClimbToWebFolder;
        result += '/';
        result += kLibraryFolderName;
        result.append(*path, archive.size());
        return;
    }
    appendOffsetPath(result, path);
}

void SitePageBuilder::appendOffsetPath(std::string& result,
                                       const std::optional<std::string>& path) {
    result += kClimbToWebFolder;
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

std::int32_t SitePageBuilder::squareSide() const {
    return style_.imageSize >= 1
               ? style_.imageSize
               : static_cast<std::int32_t>(settingInfo(Setting::ImageSize).number);
}

std::optional<std::pair<std::int32_t, std::int32_t>>
SitePageBuilder::shownSize(const PictureRecord* picture, std::string_view link,
                           std::string& scratch) const {
    if (picture && picture->aspectRatio) {
        const auto size = thumbnailSize(style_.imageSize, *picture->aspectRatio);
        if (size.first >= 1 && size.second >= 1) {
            return size;
        }
    }
    // The file a visitor's browser loads: the link followed from the site's Contents folder.
    if (!files_.thumbnails || files_.webFolder.empty() || link.size() <= kClimbToWebFolder.size()) {
        return std::nullopt;
    }
    scratch.assign(files_.webFolder);
    scratch.append(link.substr(kClimbToWebFolder.size()));
    const std::optional<PixelSize> pixels =
        files_.thumbnails->sizeOf(scratch, picture ? picture->modified : std::nullopt);
    if (!pixels) {
        return std::nullopt;
    }
    auto [width, height] = thumbnailSize(squareSide(), static_cast<float>(pixels->width) /
                                                           static_cast<float>(pixels->height));
    // A sliver of a picture still shows as one pixel, never as nothing.
    return std::make_pair(std::max(width, 1), std::max(height, 1));
}

void SitePageBuilder::appendCell(std::string& page, const PictureRecord* picture,
                                 std::string_view archive, CellScratch& scratch) const {
    static const std::optional<std::string> none;
    const auto& thumbPath = picture ? picture->thumbPath : none;
    const auto& imagePath = picture ? picture->imagePath : none;
    // A picture without a caption gets an empty one: its cell keeps the same shape.
    const std::string_view caption =
        picture && picture->caption ? escaped(*picture->caption, scratch.text) : "";

    // The cell is written straight into the page: the cell-end fragment puts the cell's text
    // first, so appending its remainder afterwards gives the same page without a copy per cell.
    appendFormat(page, f::kCellStart, {q_, q_, lf_});
    scratch.thumbPath.clear();
    appendLibraryPath(scratch.thumbPath, thumbPath, archive);
    const std::string_view link = escapedLink(scratch.thumbPath, scratch.link);
    if (const auto size = shownSize(picture, scratch.thumbPath, scratch.file)) {
        appendFormat(page, f::kThumbnail,
                     {q_, link, q_, q_, caption, q_, q_, q_, q_, size->first, q_, q_, size->second,
                      q_, lf_});
    } else {
        const std::int32_t side = squareSide();
        appendFormat(
            page, f::kThumbnailInSquare,
            {q_, link, q_, q_, caption, q_, q_, q_, q_, side, q_, q_, side, q_, q_, q_, lf_});
    }
    const std::int32_t titleSize = style_.pictureTitleFontSize;
    if (titleSize >= 0) {
        appendFormat(page, f::kTitleFontPositive, {q_, titleSize, q_, lf_});
    } else {
        appendFormat(page, f::kTitleFontNegative,
                     {q_, titleSize, q_, q_, style_.pictureTitleColor, q_, lf_});
    }
    appendFormat(page, f::kCaption, {caption, lf_});
    scratch.imagePath.clear();
    appendLibraryPath(scratch.imagePath, imagePath, archive);
    appendDownloadLink(page, f::kDownloadText, scratch.imagePath, scratch.link);
    appendComment(page, picture, scratch.text);
    appendFormat(page, f::kCellEnd, {std::string_view(), lf_});
}

bool SitePageBuilder::writePage(const SitePage& page, const LibraryIndex& index,
                                std::string_view picture1, std::string_view picture2,
                                const std::function<bool(std::string_view)>& out) const {
    const auto& list = page.kind == SitePage::Kind::Album ? index.albums : index.rolls;
    static const AlbumRecord nothing;
    const AlbumRecord& record =
        list && page.position < list->size() ? (*list)[page.position] : nothing;
    return writePicturePage(record, index, picture1, picture2, out, page.kind);
}

bool SitePageBuilder::writeAlbumPage(const AlbumRecord& album, const LibraryIndex& index,
                                     std::string_view picture1, std::string_view picture2,
                                     const std::function<bool(std::string_view)>& out) const {
    return writePicturePage(album, index, picture1, picture2, out, SitePage::Kind::Album);
}

bool SitePageBuilder::writePicturePage(const AlbumRecord& album, const LibraryIndex& index,
                                       std::string_view picture1, std::string_view picture2,
                                       const std::function<bool(std::string_view)>& out,
                                       SitePage::Kind kind) const {
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
    if (kind == SitePage::Kind::Album) {
        appendFormat(
            buffer, f::kAlbumPageStart,
            {album.name ? escaped(*album.name, titleScratch) : f::kUntitledAlbum, lf_, lf_});
        addAlbumTitle(buffer, album.name, style_.albumTitleFontSize, album.comments,
                      style_.albumCommentFontSize);
    } else {
        const std::string_view name = album.name && !album.name->empty()
                                          ? escaped(*album.name, titleScratch)
                                          : f::kUntitledEvent;
        appendFormat(buffer, f::kAlbumPageStart, {name, lf_, lf_});
        const std::int32_t level = style_.albumTitleFontSize;
        appendFormat(buffer, f::kEventTitle,
                     {q_, style_.albumTitleColor, q_, level, name, level, lf_});
    }
    starTable(buffer);

    const std::string_view archive = usableArchivePath(index.archivePath);
    CellScratch scratch;
    for (std::size_t j = 0; j < keys.size(); ++j) {
        const std::size_t column = j % columns;
        if (column == 0) {
            appendFormat(buffer, f::kRowStart, {lf_});
        }
        appendCell(buffer, keys[j] ? index.findPicture(*keys[j]) : nullptr, archive, scratch);
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
