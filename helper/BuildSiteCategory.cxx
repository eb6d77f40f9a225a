// Building the site: the whole site is written anew from the library index on every build, staged
// beside the old one and swapped in by the SitePublisher.
#include "FileIO.hxx"
#include "FileManagerExtention.hxx"
#include "Format.hxx"
#include "Log.hxx"
#include "LumibayControler.hxx"
#include "PageLanguage.hxx"
#include "SiteFiles.hxx"
#include "SitePageBuilder.hxx"
#include "Templates.hxx"

#include <sys/stat.h>

namespace tessaly {

namespace {
// While an unreadable index stays unchanged it is read again only this often (in retries of
// 0.1 s), so a damaged index of a large library does not keep the helper parsing it.
constexpr int kRereadUnchangedIndexEvery = 50;
using sitefiles::kContents;
using sitefiles::kStagingPrefix;
} // namespace

std::string LumibayControler::getContentsFolderPath() {
    return format("%@/Contents", {def_->getStdExportPath()});
}

std::string LumibayControler::getTopPagePath() {
    return format("%@/%@", {def_->getStdExportPath(), def_->getTopPageName()});
}

std::string LumibayControler::templatePath(const char* name) const {
    return format("%@/%@/%@", {bundle_.resourcePath(), templates::kFolder, name});
}

std::string LumibayControler::readTemplate(const char* name) const {
    // A missing template leaves its part of the page empty; the rest of the site still works.
    const std::string path = templatePath(name);
    // Templates are a few kilobytes; a larger file is not one of ours.
    constexpr std::uintmax_t kLargestTemplate = 16 * 1024 * 1024;
    if (auto text = readWholeFile(path, kLargestTemplate)) {
        return pagelanguage::withPersonsLanguage(std::move(*text));
    }
    logLine(format("Template missing or unreadable: %@", {path}));
    return {};
}

bool LumibayControler::passesTemplateGate(const char* name, std::uint32_t expected, int step) {
    const std::string path = templatePath(name);
    if (!sitefiles::exists(path)) {
        return true;
    }
    const std::uint32_t sum = NSFileManagerExtention::getChecksum(path, 0);
    if (sum == expected) {
        return true;
    }
    logLine(format("Tessaly refrence file Error on step %d ==> Tessaly terminated %d",
                   {step, static_cast<std::int32_t>(sum)}));
    terminateApplication();
    return false;
}

std::optional<LibraryIndex> LumibayControler::readIndexForBuild() {
    const std::string path = def_->getiPhotoLibPath();
    struct stat info {};
    const bool present = ::stat(path.c_str(), &info) == 0;
    if (present && unreadableIndex_ && unreadableIndex_->size == info.st_size &&
        !sitefiles::isEarlier(unreadableIndex_->modified, info.st_mtim) &&
        !sitefiles::isEarlier(info.st_mtim, unreadableIndex_->modified) &&
        ++unchangedRetries_ < kRereadUnchangedIndexEvery) {
        return std::nullopt;
    }
    std::optional<LibraryIndex> index = present ? readLibraryIndex(path) : std::nullopt;
    unchangedRetries_ = 0;
    if (index || !present) {
        unreadableIndex_.reset();
    } else {
        unreadableIndex_ = FileSignature{info.st_mtim, info.st_size};
    }
    return index;
}

void LumibayControler::buildSite() {
    // A build already waiting for the index builds everything once it can; nothing runs after
    // the quit path has begun.
    if (quitting_ || indexRetry_.isActive()) {
        return;
    }
    std::string failure;
    BuildInputs inputs;
    bool wroteMenu = false;
    try {
        // What the build reads, taken before it reads it: a change while it is read, or any time
        // after, makes the index differ from this, and the next check builds again.
        inputs = BuildInputs{indexIdentity(def_->getiPhotoLibPath()), policy_.settingsGeneration()};
        std::optional<LibraryIndex> index = readIndexForBuild();
        if (!index) {
            traceLine("build: the index cannot be read yet; waiting for it");
            indexRetry_.start();
            return;
        }
        // The menu comes first: its template check may close the site before anything is
        // published.
        std::optional<std::string> menu = makeMenuPageByDic(*index);
        if (quitting_) {
            return;
        }
        wroteMenu = menu.has_value();
        failure = publishSite(*index, menu);
        releaseInBackground(std::move(index));
    } catch (const std::exception& error) {
        failure = format("the build failed: %@", {error.what()});
    } catch (...) {
        failure = "the build failed";
    }
    if (quitting_) {
        return;
    }
    lastBuildEnded_ = RebuildPolicy::Clock::now();
    if (failure.empty()) {
        policy_.succeeded(inputs, wroteMenu);
        traceLine("build: published");
    } else {
        policy_.failed(inputs, RebuildPolicy::Clock::now());
        logLine(format("Site not published, the previous one stays: %@", {failure}));
    }
}

void LumibayControler::releaseInBackground(std::optional<LibraryIndex> index) {
    // Freeing a large library's index (hundreds of thousands of small strings) is a noticeable
    // part of a build; a thread of its own does it while the main thread goes back to its events.
    // One at a time, so memory never holds more than the index being freed and the next one.
    joinReleaser();
    releaser_ = std::thread([doomed = std::move(index)]() mutable { doomed.reset(); });
}

void LumibayControler::joinReleaser() {
    if (releaser_.joinable()) {
        releaser_.join();
    }
}

std::string LumibayControler::publishSite(const LibraryIndex& index,
                                          const std::optional<std::string>& menu) {
    const std::optional<std::string> topName = safeTopPageName();
    if (!topName) {
        return format("the top page name \"%@\" names no file of the site folder",
                      {def_->getTopPageName()});
    }
    if (!index.albums) {
        systemBeep();
    } else if (!passesTemplateGate(templates::kAlbumHead, templates::kAlbumHeadChecksum, 2)) {
        return {};
    }
    // Until publish() nothing a visitor can see has changed, and a failure leaves the publisher
    // only its staging folder to remove.
    SitePublisher publisher(def_->getStdExportPath(), *topName);
    std::string failure = publisher.stage();
    if (failure.empty() && menu) {
        failure = publisher.writeMenu(*menu);
    }
    if (failure.empty() && index.albums) {
        const AlbumPages pages = albumPages(index);
        failure = publisher.writeAlbumPages(pages.numbers, pages.write);
    }
    if (failure.empty()) {
        failure = publisher.writeTopPage(topPageText());
    }
    return failure.empty() ? publisher.publish() : failure;
}

LumibayControler::AlbumPages LumibayControler::albumPages(const LibraryIndex& index) {
    struct Shared {
        SitePageBuilder builder;
        std::string head;
        std::string tail;
        AlbumPageProducer produce;
    };
    auto shared = std::make_shared<const Shared>(Shared{
        SitePageBuilder(PageStyle::fromSettings(*def_)),
        readTemplate(templates::kAlbumHead),
        readTemplate(templates::kAlbumTail),
        albumPageProducer_,
    });
    AlbumPages pages;
    const auto& albums = *index.albums;
    for (std::size_t n = 0; n < albums.size(); ++n) {
        if (SitePageBuilder::isPublished(albums[n], n)) {
            pages.numbers.push_back(n);
        }
    }
    pages.write = [shared, &index](std::size_t n, const sitefiles::PageSink& out) {
        const AlbumRecord& album = (*index.albums)[n];
        if (shared->produce) {
            return shared->produce(shared->builder, album, index, shared->head, shared->tail, out);
        }
        // Streamed in bounded pieces: a page's size is up to the library, memory is not.
        return shared->builder.writeAlbumPage(album, index, shared->head, shared->tail, out);
    };
    return pages;
}

std::optional<std::string> LumibayControler::safeTopPageName() {
    std::string name = def_->getTopPageName();
    // Whatever the settings store answers, the top page must stay a plain entry of the site folder
    // and must not take the place of the helper's own entries.
    if (!sitefiles::isPlainName(name) || name == kContents || name.starts_with(kStagingPrefix)) {
        return std::nullopt;
    }
    return name;
}

std::string LumibayControler::topPageText() {
    const PageStyle style = PageStyle::fromSettings(*def_);
    return format(readTemplate(templates::kTopPage), {style.menuWidth, style.pictureBkgndColor});
}

std::optional<std::string> LumibayControler::makeMenuPageByDic(const LibraryIndex& index) {
    if (!index.albums) {
        systemBeep();
        return std::nullopt;
    }
    if (!passesTemplateGate(templates::kMenuHead, templates::kMenuHeadChecksum, 1)) {
        return std::nullopt;
    }
    const SitePageBuilder builder(PageStyle::fromSettings(*def_));
    return builder.makeMenuPage(*index.albums, readTemplate(templates::kMenuHead),
                                readTemplate(templates::kMenuTail));
}

void LumibayControler::setAlbumPageProducer(AlbumPageProducer producer) {
    albumPageProducer_ = std::move(producer);
}

// --- single steps on the live site -------------------------------------------------------------

void LumibayControler::makeFolders(const std::string& path) {
    SitePublisher::makeSiteFolder(path);
    sitefiles::makeFolder(format("%@/Contents", {path}));
}

void LumibayControler::copyTopPage(const std::string& sitePath) {
    const std::optional<std::string> name = safeTopPageName();
    const sitefiles::Folder site = sitefiles::Folder::open(sitePath);
    if (!name || !site.isOpen()) {
        return;
    }
    const std::string text = topPageText();
    sitefiles::replaceFile(site, *name, [&](const sitefiles::PageSink& out) { return out(text); });
}

void LumibayControler::writePage(const std::optional<std::string>& page, const std::string& title) {
    if (!page || !sitefiles::isPlainName(title)) {
        return;
    }
    const sitefiles::Folder contents =
        sitefiles::Folder::open(def_->getStdExportPath()).child(kContents);
    if (contents.isOpen()) {
        sitefiles::replaceFile(contents, title,
                               [&](const sitefiles::PageSink& out) { return out(*page); });
    }
}

void LumibayControler::makeAlbumByDic(const LibraryIndex& index) {
    if (!index.albums) {
        systemBeep();
        return;
    }
    if (!passesTemplateGate(templates::kAlbumHead, templates::kAlbumHeadChecksum, 2)) {
        return;
    }
    const AlbumPages pages = albumPages(index);
    for (const std::size_t n : pages.numbers) {
        std::string page;
        if (pages.write(n, [&](std::string_view piece) {
                page += piece;
                return true;
            })) {
            writePage(page, albumPageName(n));
        }
    }
}

} // namespace tessaly
