// Building the site: the whole site is written anew from the library index on every build.
#include "FileIO.hxx"
#include "FileManagerExtention.hxx"
#include "Format.hxx"
#include "Log.hxx"
#include "LumibayControler.hxx"
#include "PageLanguage.hxx"
#include "SiteFiles.hxx"
#include "SitePageBuilder.hxx"
#include "Templates.hxx"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace tessaly {

namespace {
// While an unreadable index stays unchanged it is read again only this often (in retries of
// 0.1 s), so a damaged index of a large library does not keep the helper parsing it.
constexpr int kRereadUnchangedIndexEvery = 50;
// Album pages are written by at most this many threads at once.
constexpr std::size_t kMaxPageThreads = 4;
using sitefiles::kContents;
using sitefiles::kMenuPage;
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
        // Taken before the index is read: a change while it is read brings another build.
        inputs = BuildInputs{indexIdentity(def_->getiPhotoLibPath()), settingsGeneration()};
        std::optional<LibraryIndex> index = readIndexForBuild();
        if (!index) {
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
    {
        std::lock_guard lock(viewMutex_);
        if (failure.empty()) {
            policy_.succeeded(inputs, wroteMenu);
        } else {
            policy_.failed(inputs, RebuildPolicy::Clock::now());
        }
    }
    if (!failure.empty()) {
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
    const std::string sitePath = def_->getStdExportPath();
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
    makeSiteFolder(sitePath);
    int error = 0;
    const sitefiles::Folder site = sitefiles::Folder::open(sitePath, &error);
    if (!site.isOpen()) {
        return format("cannot open the site folder %@: %@",
                      {sitePath, sitefiles::errorText(error)});
    }
    // Left behind by a build that was cut short.
    sitefiles::removeTreesStartingWith(site, {kStagingPrefix, "." + *topName + ".new-"});

    // The new Contents is made complete beside the old one; until it is put in place nothing a
    // visitor can see has changed, and a failure only has to remove it again.
    std::string staging;
    std::string topPageTemporary;
    struct Cleanup {
        const sitefiles::Folder& site;
        const std::string& staging;
        const std::string& topPageTemporary;
        ~Cleanup() {
            for (const std::string* name : {&staging, &topPageTemporary}) {
                if (!name->empty()) {
                    sitefiles::removeTree(site, *name);
                }
            }
        }
    } cleanup{site, staging, topPageTemporary};
    const auto failed = [](const std::string& what, int error) {
        return format("cannot %@: %@", {what, sitefiles::errorText(error)});
    };
    if ((error = sitefiles::makeUniqueFolder(site, kStagingPrefix, staging)) != 0) {
        staging.clear();
        return failed("make a new Contents folder", error);
    }
    const sitefiles::Folder contents = site.child(staging, &error);
    if (!contents.isOpen()) {
        return failed("open the new Contents folder", error);
    }
    if (menu) {
        error = sitefiles::writeNewFile(contents, kMenuPage,
                                        [&](const sitefiles::PageSink& out) { return out(*menu); });
        if (error != 0) {
            return failed(format("write Contents/%@", {kMenuPage}), error);
        }
    }
    if (index.albums) {
        if (std::string failure = writeAlbumPages(index, contents, true); !failure.empty()) {
            return failure;
        }
    }
    // Written last, so that its date is the build's end.
    topPageTemporary = "." + *topName + ".new-" + sitefiles::uniqueSuffix();
    const std::string topPage = topPageText();
    error = sitefiles::writeNewFile(site, topPageTemporary,
                                    [&](const sitefiles::PageSink& out) { return out(topPage); });
    if (error != 0) {
        topPageTemporary.clear();
        return failed("write the top page", error);
    }

    // Published: the new Contents takes the old one's place in one step, and the old one, now
    // under the staging name, goes with the cleanup. A link that stood at Contents is removed
    // there, never followed.
    bool swapped = false;
    if ((error = sitefiles::exchange(site, staging, kContents, &swapped)) != 0) {
        return failed("put the new Contents in place", error);
    }
    if (!swapped) {
        staging.clear();
    }
    if ((error = sitefiles::moveOver(site, topPageTemporary, *topName)) != 0) {
        return failed("put the new top page in place", error);
    }
    topPageTemporary.clear();
    return {};
}

void LumibayControler::makeSiteFolder(const std::string& path) {
    std::string current;
    std::size_t pos = 0;
    if (!path.empty() && path.front() == '/') {
        current = "/";
        pos = 1;
    }
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        std::string component =
            path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!component.empty()) {
            current = current.empty() || current == "/" ? current + component
                                                        : format("%@/%@", {current, component});
            sitefiles::makeFolder(current);
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
}

void LumibayControler::makeFolders(const std::string& path) {
    makeSiteFolder(path);
    sitefiles::makeFolder(format("%@/Contents", {path}));
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

void LumibayControler::makeAlbumByDic(const LibraryIndex& index) {
    if (!index.albums) {
        systemBeep();
        return;
    }
    if (!passesTemplateGate(templates::kAlbumHead, templates::kAlbumHeadChecksum, 2)) {
        return;
    }
    const sitefiles::Folder contents =
        sitefiles::Folder::open(def_->getStdExportPath()).child(kContents);
    if (contents.isOpen()) {
        writeAlbumPages(index, contents, false);
    }
}

std::string LumibayControler::writeAlbumPages(const LibraryIndex& index,
                                              const sitefiles::Folder& contents, bool fresh) {
    const SitePageBuilder builder(PageStyle::fromSettings(*def_));
    const std::string head = readTemplate(templates::kAlbumHead);
    const std::string tail = readTemplate(templates::kAlbumTail);
    const auto& albums = *index.albums;
    std::vector<std::size_t> published;
    for (std::size_t n = 0; n < albums.size(); ++n) {
        if (SitePageBuilder::isPublished(albums[n], n)) {
            published.push_back(n);
        }
    }
    const AlbumPageProducer& produce =
        albumPageProducer_ ? albumPageProducer_ : defaultAlbumPageProducer();

    // The first failure of any thread stops them all; a failure must never escape a thread, so
    // even recording it is guarded (it needs memory that may be what ran out).
    std::atomic<bool> stop{false};
    std::mutex failureMutex;
    std::string failure;
    const auto fail = [&](const auto& describe) noexcept {
        stop = true;
        std::lock_guard lock(failureMutex);
        try {
            if (failure.empty()) {
                failure = describe();
            }
        } catch (...) {
        }
    };
    // The pages are independent of each other and the index is only read from here on, so a
    // large library's pages are shared out over the cores. The main thread waits for all of
    // them: the build still ends only when every page is written.
    auto writeShare = [&](std::size_t first, std::size_t stride) noexcept {
        try {
            for (std::size_t i = first; i < published.size() && !stop; i += stride) {
                const std::size_t n = published[i];
                const std::string name = format("%d.html", {static_cast<long long>(n)});
                const sitefiles::PageWriter write = [&](const sitefiles::PageSink& out) {
                    return produce(builder, albums[n], index, head, tail, out);
                };
                const int error = fresh ? sitefiles::writeNewFile(contents, name, write)
                                        : sitefiles::replaceFile(contents, name, write);
                if (error != 0) {
                    fail([&] {
                        return format("cannot write Contents/%@: %@",
                                      {name, sitefiles::errorText(error)});
                    });
                }
            }
        } catch (const std::exception& error) {
            fail([&] { return format("an album page could not be built: %@", {error.what()}); });
        } catch (...) {
            fail([] { return std::string("an album page could not be built"); });
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency(), kMaxPageThreads), 1,
        std::max<std::size_t>(published.size(), 1));
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (std::size_t t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(writeShare, t, threads);
        } catch (...) {
            // This share is written on the main thread below instead.
            writeShare(t, threads);
        }
    }
    writeShare(0, threads);
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (stop && failure.empty()) {
        return "an album page could not be built (out of memory)";
    }
    return failure;
}

const LumibayControler::AlbumPageProducer& LumibayControler::defaultAlbumPageProducer() {
    static const AlbumPageProducer produce =
        [](const SitePageBuilder& builder, const AlbumRecord& album, const LibraryIndex& index,
           std::string_view head, std::string_view tail, const sitefiles::PageSink& out) {
            // Streamed in bounded pieces: a page's size is up to the library, memory is not.
            return builder.writeAlbumPage(album, index, head, tail, out);
        };
    return produce;
}

void LumibayControler::setAlbumPageProducer(AlbumPageProducer producer) {
    albumPageProducer_ = std::move(producer);
}

void LumibayControler::settingsChanged() {
    std::lock_guard lock(viewMutex_);
    policy_.settingsChanged();
}

std::uint64_t LumibayControler::settingsGeneration() const {
    std::lock_guard lock(viewMutex_);
    return policy_.settingsGeneration();
}

RebuildPolicy LumibayControler::publishedPolicy() const {
    std::lock_guard lock(viewMutex_);
    return policy_;
}

} // namespace tessaly
