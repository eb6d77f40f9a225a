#include "LibraryRelocation.hxx"

#include "FinderScripts.hxx"
#include "Format.hxx"
#include "Home.hxx"
#include "WorkspaceExtention.hxx"

#include <filesystem>
#include <thread>

namespace tessaly {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> fileTypeAt(const std::string& path) {
    std::error_code error;
    // A link whose target is missing counts as nothing.
    if (!fs::exists(fs::status(path, error))) {
        return std::nullopt;
    }
    switch (fs::symlink_status(path, error).type()) {
    case fs::file_type::directory:
        return "NSFileTypeDirectory";
    case fs::file_type::regular:
        return "NSFileTypeRegular";
    case fs::file_type::symlink:
        return "NSFileTypeSymbolicLink";
    case fs::file_type::character:
        return "NSFileTypeCharacterSpecial";
    case fs::file_type::block:
        return "NSFileTypeBlockSpecial";
    case fs::file_type::socket:
        return "NSFileTypeSocket";
    case fs::file_type::none:
    case fs::file_type::not_found:
        return std::nullopt;
    default:
        return "NSFileTypeUnknown";
    }
}

} // namespace

std::string LibraryRelocation::getiPhotoInPictureFolderPath() {
    return format("%@/Pictures/iPhoto Library", {homeDirectory()});
}

std::string LibraryRelocation::getiPhotoInSiteFolderPath() {
    return format("%@/Sites/iPhoto Library", {homeDirectory()});
}

std::optional<std::string> LibraryRelocation::checkOriginalFolderConfiguration() {
    return fileTypeAt(getiPhotoInPictureFolderPath());
}

std::optional<std::string> LibraryRelocation::checkMovedFolderConfiguration() {
    return fileTypeAt(getiPhotoInSiteFolderPath());
}

LibraryItem LibraryRelocation::itemKind(const std::optional<std::string>& fileType) {
    if (!fileType) {
        return LibraryItem::none;
    }
    return *fileType == "NSFileTypeDirectory" ? LibraryItem::directory : LibraryItem::other;
}

bool LibraryRelocation::startLumibayCheck() {
    LibraryItem pictures = itemKind(checkOriginalFolderConfiguration());
    LibraryItem sites = itemKind(checkMovedFolderConfiguration());
    if (sites == LibraryItem::directory ||
        (pictures != LibraryItem::none && sites == LibraryItem::none)) {
        return true;
    }
    asker_.showNotice(Asker::Notice::iPhotoNotFound);
    return false;
}

bool LibraryRelocation::waitForPhotoApplicationToQuit() {
    const auto deadline = std::chrono::steady_clock::now() + quitWait_;
    while (NSWorkspaceExtention::checkApplicationIsRunning(photoApplication_)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        asker_.whileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

LibraryRelocation::Outcome LibraryRelocation::prepareLibrary() {
    LibraryItem pictures = itemKind(checkOriginalFolderConfiguration());
    LibraryItem sites = itemKind(checkMovedFolderConfiguration());
    if (!startLumibayCheck()) {
        return {false, false};
    }
    bool wasRunning = false;
    if (pictures == LibraryItem::directory) {
        if (sites == LibraryItem::directory) {
            return {false, false};
        }
        wasRunning = NSWorkspaceExtention::checkApplicationIsRunning(photoApplication_);
        if (wasRunning) {
            FinderScripts::closeApplication(photoApplication_);
        }
        // An application that refuses to quit (it may be showing a dialog) must not hold the
        // window forever, and its library must not move under it.
        if (!waitForPhotoApplicationToQuit()) {
            asker_.showNotice(Asker::Notice::photoApplicationStillRuns);
            return {false, false};
        }
        if (!asker_.askBeforeStart()) {
            if (wasRunning) {
                reopenPhotoApplication();
            }
            return {false, false};
        }
        bool moved = LibraryMover::movePath(
            getiPhotoInPictureFolderPath(), getiPhotoInSiteFolderPath(),
            [this](std::uintmax_t done, std::uintmax_t total) { asker_.moveProgress(done, total); },
            moveWay_);
        // Going on would publish with no library in ~/Sites: end the start instead.
        if (!moved) {
            asker_.showNotice(Asker::Notice::libraryNotMoved);
            if (wasRunning) {
                reopenPhotoApplication();
            }
            return {false, false};
        }
    }
    if (itemKind(checkOriginalFolderConfiguration()) == LibraryItem::none) {
        FinderScripts::makeAlias(format("%@/Pictures", {homeDirectory()}),
                                 getiPhotoInSiteFolderPath());
    }
    return {true, wasRunning};
}

void LibraryRelocation::reopenPhotoApplication() {
    FinderScripts::OpenApplication(format("%@.app", {photoApplication_}));
}

} // namespace tessaly
