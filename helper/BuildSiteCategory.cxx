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

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace tessaly {

namespace {
// While an unreadable index stays unchanged it is read again only this often (in retries of
// 0.1 s), so a damaged index of a large library does not keep the helper parsing it.
constexpr int kRereadUnchangedIndexEvery = 50;
// An index that fails again after staying unchanged this long (in retries) is not one the photo
// application is still writing: only then is it logged, once.
constexpr int kConfirmUnreadableAfter = 10;

bool sameSignature(const timespec& aModified, off_t aSize, const timespec& bModified, off_t bSize) {
    return aSize == bSize && !sitefiles::isEarlier(aModified, bModified) &&
           !sitefiles::isEarlier(bModified, aModified);
}
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
    const int missing = present ? 0 : errno;
    // A missing index has a signature of its own, so that it too is logged once.
    const FileSignature seen =
        present ? FileSignature{info.st_mtim, info.st_size} : FileSignature{};
    const bool unchanged =
        unreadableIndex_ &&
        sameSignature(unreadableIndex_->modified, unreadableIndex_->size, seen.modified, seen.size);
    if (unchanged) {
        ++unchangedRetries_;
        const bool confirm = !unreadableLogged_ && unchangedRetries_ == kConfirmUnreadableAfter;
        if (!confirm && unchangedRetries_ % kRereadUnchangedIndexEvery != 0) {
            return std::nullopt;
        }
    } else {
        unchangedRetries_ = 0;
        unreadableLogged_ = false;
    }
    IndexProblem problem;
    std::optional<LibraryIndex> index = present ? readLibraryIndex(path, &problem) : std::nullopt;
    if (index) {
        unreadableIndex_.reset();
        unchangedRetries_ = 0;
        unreadableLogged_ = false;
        return index;
    }
    unreadableIndex_ = seen;
    if (unchanged && !unreadableLogged_) {
        unreadableLogged_ = true;
        if (!present) {
            problem.reason = sitefiles::errorText(missing);
        }
        const std::string where =
            problem.line > 0
                ? format(", line %d, column %d", {static_cast<long long>(problem.line),
                                                  static_cast<long long>(problem.column)})
                : std::string();
        logLine(format("The library index cannot be read, so the site stays as it is: %@%@: %@",
                       {path, where, problem.reason}));
    }
    return std::nullopt;
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
        thumbnails_.startBuild();
        failure = publishSite(*index, menu);
        if (failure.empty()) {
            // Only a build that looked at every picture knows which thumbnails are gone.
            thumbnails_.forgetUnused();
        }
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
        failure = publisher.writePages(pages.names, pages.write);
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
    // The links climb from Contents to the web folder the site folder lies in; the thumbnails'
    // headers are read there, where a visitor's browser finds them.
    const std::string webFolder =
        std::filesystem::path(def_->getStdExportPath()).parent_path().string();
    auto shared = std::make_shared<const Shared>(Shared{
        SitePageBuilder(PageStyle::fromSettings(*def_), PictureFiles{webFolder, &thumbnails_}),
        readTemplate(templates::kAlbumHead),
        readTemplate(templates::kAlbumTail),
        albumPageProducer_,
    });
    auto targets =
        std::make_shared<const std::vector<SitePage>>(shared->builder.publishedPages(index));
    AlbumPages pages;
    for (const SitePage& target : *targets) {
        pages.names.push_back(target.fileName());
    }
    pages.write = [shared, targets, &index](std::size_t i, const sitefiles::PageSink& out) {
        const SitePage& target = (*targets)[i];
        if (shared->produce && target.kind == SitePage::Kind::Album) {
            return shared->produce(shared->builder, (*index.albums)[target.position], index,
                                   shared->head, shared->tail, out);
        }
        // Streamed in bounded pieces: a page's size is up to the library, memory is not.
        return shared->builder.writePage(target, index, shared->head, shared->tail, out);
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
    return builder.makeMenuPage(index, readTemplate(templates::kMenuHead),
                                readTemplate(templates::kMenuTail));
}

void LumibayControler::setAlbumPageProducer(AlbumPageProducer producer) {
    albumPageProducer_ = std::move(producer);
}

} // namespace tessaly
