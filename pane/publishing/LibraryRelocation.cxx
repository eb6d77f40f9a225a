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

std::string megabytes(std::uintmax_t bytes) {
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

} // namespace

std::string LibraryRelocation::getiPhotoInPictureFolderPath() {
    return format("%@/Pictures/iPhoto Library", {homeDirectory()});
}

std::string LibraryRelocation::getiPhotoInSiteFolderPath() {
    return format("%@/Sites/iPhoto Library", {homeDirectory()});
}

std::optional<std::string> LibraryRelocation::libraryInPictures() {
    std::optional<std::string> folder, first;
    for (const char* name : kLibraryNames) {
        const std::string path = format("%@/Pictures/%@", {homeDirectory(), name});
        const std::optional<std::string> type = fileTypeAt(path);
        if (itemKind(type) == LibraryItem::directory) {
            if (folder) {
                return std::nullopt;
            }
            folder = path;
        } else if (type && !first) {
            first = path;
        }
    }
    return folder ? folder : first ? first : getiPhotoInPictureFolderPath();
}

std::optional<std::string> LibraryRelocation::checkOriginalFolderConfiguration() {
    return fileTypeAt(libraryInPictures().value_or(getiPhotoInPictureFolderPath()));
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

void LibraryRelocation::notice(Asker::Notice notice, const std::vector<std::string>& details) {
    // A window that is closing shows nothing more.
    if (!asker_.stopRequested()) {
        asker_.showNotice(notice, details);
    }
}

bool LibraryRelocation::startLumibayCheck() {
    const std::optional<std::string> library = libraryInPictures();
    if (!library) {
        notice(Asker::Notice::twoLibraries, {format("%@/Pictures", {homeDirectory()})});
        return false;
    }
    const std::optional<std::string> type = fileTypeAt(*library);
    const LibraryItem pictures = itemKind(type);
    const LibraryItem sites = itemKind(checkMovedFolderConfiguration());
    if (sites == LibraryItem::directory ||
        (pictures == LibraryItem::directory && sites == LibraryItem::none)) {
        return true;
    }
    if (pictures == LibraryItem::directory) {
        notice(Asker::Notice::sitesNameTaken, {getiPhotoInSiteFolderPath()});
    } else if (type == "NSFileTypeSymbolicLink" && sites == LibraryItem::none) {
        // Going on would publish with no library in ~/Sites; the folder the link names may lie
        // on another disk, or be shared with other programs, so it is left where it is.
        std::error_code error;
        notice(Asker::Notice::libraryIsLink,
               {*library, fs::read_symlink(*library, error).string()});
    } else {
        notice(Asker::Notice::iPhotoNotFound);
    }
    return false;
}

bool LibraryRelocation::waitForPhotoApplicationToQuit() {
    const auto deadline = std::chrono::steady_clock::now() + quitWait_;
    while (NSWorkspaceExtention::checkApplicationIsRunning(photoApplication_)) {
        if (std::chrono::steady_clock::now() >= deadline || asker_.stopRequested()) {
            return false;
        }
        asker_.whileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

bool LibraryRelocation::moveLibrary(const std::string& from) {
    using LibraryMover::Result;
    LibraryMover::Options options;
    options.way = moveWay_;
    options.progress = [this](std::uintmax_t done, std::uintmax_t total) {
        asker_.moveProgress(done, total);
    };
    options.stopRequested = [this] { return asker_.stopRequested(); };
    const std::string to = getiPhotoInSiteFolderPath();
    const LibraryMover::Outcome moved = LibraryMover::movePath(from, to, options);
    const std::string sitesFolder = fs::path(to).parent_path().string();
    switch (moved.result) {
    case Result::moved:
        return true;
    case Result::movedWithLeftover:
        notice(Asker::Notice::leftoverNotRemoved, {moved.where.string()});
        return true;
    case Result::stopped:
        return false;
    case Result::insideItself:
        notice(Asker::Notice::sitesInsideLibrary, {sitesFolder, from});
        return false;
    case Result::specialFile:
        notice(Asker::Notice::specialFile, {moved.where.string(), from});
        return false;
    case Result::noSpace:
        notice(Asker::Notice::tooLittleSpace,
               {sitesFolder, megabytes(moved.needed), megabytes(moved.available)});
        return false;
    case Result::targetTaken:
    case Result::notAFolder:
    case Result::failed:
        break;
    }
    std::string why = moved.why;
    if (moved.result == Result::targetTaken) {
        why = format("%@ appeared while the library was being moved", {to});
    } else if (!moved.where.empty()) {
        why = moved.where.string() + (why.empty() ? "" : ": " + why);
    }
    notice(Asker::Notice::libraryNotMoved, {why, from});
    return false;
}

LibraryRelocation::Outcome LibraryRelocation::prepareLibrary() {
    // A start cut short (the window killed during a move) left a copy, or an old library beside
    // its link: finish or undo that first, so the library's state below is what it seems.
    for (const fs::path& leftover :
         LibraryMover::recoverInterruptedMoves(getiPhotoInSiteFolderPath())) {
        notice(Asker::Notice::leftoverNotRemoved, {leftover.string()});
    }
    if (!startLumibayCheck()) {
        return {false, false};
    }
    const std::string library = *libraryInPictures();
    const LibraryItem pictures = itemKind(fileTypeAt(library));
    const LibraryItem sites = itemKind(checkMovedFolderConfiguration());
    bool wasRunning = false;
    if (pictures == LibraryItem::directory) {
        if (sites == LibraryItem::directory) {
            notice(Asker::Notice::libraryInBothPlaces, {library, getiPhotoInSiteFolderPath()});
            return {false, false};
        }
        wasRunning = NSWorkspaceExtention::checkApplicationIsRunning(photoApplication_);
        if (wasRunning) {
            FinderScripts::closeApplication(photoApplication_);
        }
        // An application that refuses to quit (it may be showing a dialog) must not hold the
        // window forever, and its library must not move under it.
        if (!waitForPhotoApplicationToQuit()) {
            notice(Asker::Notice::photoApplicationStillRuns);
            return {false, false};
        }
        if (asker_.stopRequested() || !asker_.askBeforeStart() || asker_.stopRequested() ||
            !moveLibrary(library)) {
            if (wasRunning) {
                reopenPhotoApplication();
            }
            return {false, false};
        }
    }
    if (itemKind(fileTypeAt(*libraryInPictures())) == LibraryItem::none) {
        FinderScripts::makeAlias(format("%@/Pictures", {homeDirectory()}),
                                 getiPhotoInSiteFolderPath());
    }
    return {true, wasRunning};
}

void LibraryRelocation::reopenPhotoApplication() {
    FinderScripts::OpenApplication(format("%@.app", {photoApplication_}));
}

} // namespace tessaly
