// Building the site: the whole site is written anew from the library index on every build.
#include "LumibayControler.hxx"

#include "FileManagerExtention.hxx"
#include "Format.hxx"
#include "Log.hxx"
#include "SiteFiles.hxx"
#include "SitePageBuilder.hxx"
#include "Templates.hxx"

#include <algorithm>
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
    if (auto text = sitefiles::readTextFile(path)) {
        return *text;
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
    const std::string sitePath = def_->getStdExportPath();
    std::optional<LibraryIndex> index = readIndexForBuild();
    if (!index) {
        indexRetry_.start();
        return;
    }
    // The menu comes first: its template check may close the site before anything is removed.
    std::optional<std::string> menu = makeMenuPageByDic(*index);
    if (quitting_) {
        return;
    }
    deleteSite();
    makeFolders(sitePath);
    copyTopPage(sitePath);
    writePage(menu, "menu.html");
    makeAlbumByDic(*index);
}

void LumibayControler::makeFolders(const std::string& path) {
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
    sitefiles::makeFolder(format("%@/Contents", {path}));
}

void LumibayControler::copyTopPage(const std::string& sitePath) {
    const std::string destination = format("%@/%@", {sitePath, def_->getTopPageName()});
    const PageStyle style = PageStyle::fromSettings(*def_);
    sitefiles::replaceWithPage(destination, format(readTemplate(templates::kTopPage),
                                                   {style.menuWidth, style.pictureBkgndColor}));
}

void LumibayControler::writePage(const std::optional<std::string>& page, const std::string& title) {
    if (!page) {
        return;
    }
    sitefiles::replaceWithPage(format("%@/Contents/%@", {def_->getStdExportPath(), title}),
                               *page);
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
    const SitePageBuilder builder(PageStyle::fromSettings(*def_));
    if (!index.albums) {
        systemBeep();
        return;
    }
    if (!passesTemplateGate(templates::kAlbumHead, templates::kAlbumHeadChecksum, 2)) {
        return;
    }
    const std::string head = readTemplate(templates::kAlbumHead);
    const std::string tail = readTemplate(templates::kAlbumTail);
    const auto& albums = *index.albums;
    std::vector<std::size_t> published;
    for (std::size_t n = 0; n < albums.size(); ++n) {
        if (SitePageBuilder::isPublished(albums[n], n)) {
            published.push_back(n);
        }
    }
    // The pages are independent of each other and the index is only read from here on, so a
    // large library's pages are shared out over the cores. The main thread waits for all of
    // them: the build still ends only when every page is written.
    const std::string contents = getContentsFolderPath();
    auto writeShare = [&](std::size_t first, std::size_t stride) {
        for (std::size_t i = first; i < published.size(); i += stride) {
            const std::size_t n = published[i];
            sitefiles::replaceWithPage(
                format("%@/%@", {contents, format("%d.html", {static_cast<long long>(n)})}),
                builder.makeAlbumPage(albums[n], index, head, tail));
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(
        std::min<std::size_t>(std::thread::hardware_concurrency(), kMaxPageThreads), 1,
        std::max<std::size_t>(published.size(), 1));
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t) {
        workers.emplace_back(writeShare, t, threads);
    }
    writeShare(0, threads);
    for (std::thread& worker : workers) {
        worker.join();
    }
}

} // namespace tessaly
