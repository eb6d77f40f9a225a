// The first phase of every start: make sure the photo library lies in ~/Sites, where the helper
// reads it and the pages link to its files. A library still in ~/Pictures is moved after the
// photo application has quit and the user has agreed, and a link is left behind in ~/Pictures.
//
// The questions and notices go through `Asker`, which the settings window answers with sheets.
#pragma once

#include "LibraryMover.hxx"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaly {

enum class LibraryItem { none, directory, other };

class LibraryRelocation {
public:
    class Asker {
    public:
        enum class Notice {
            iPhotoNotFound,            // no usable library
            photoApplicationStillRuns, // asked to quit, it did not within the wait
            libraryNotMoved,           // the move failed; the library is where it was
            libraryInBothPlaces,       // a library folder in ~/Pictures and one in ~/Sites
            twoLibraries,              // more than one library folder in ~/Pictures
            libraryIsLink,             // ~/Pictures holds only a link, ~/Sites no library
            sitesNameTaken,            // something that is no library folder holds the name
            sitesInsideLibrary,        // ~/Sites lies inside the library
            specialFile,               // the library holds a pipe, socket or device
            tooLittleSpace,            // ~/Sites' disk cannot hold the library
            leftoverNotRemoved,        // part of an old library, or a copy, could not go
        };
        virtual ~Asker() = default;
        // `details` fill the notice's text, in the order the comment of each notice names them.
        virtual void showNotice(Notice notice, const std::vector<std::string>& details) = 0;
        // The "BeforeStart" question: true for OK, false for Cancel.
        virtual bool askBeforeStart() = 0;
        // Called between the looks at whether the photo application has quit, so the window
        // can keep painting.
        virtual void whileWaiting() {}
        virtual void moveProgress(std::uintmax_t /*done*/, std::uintmax_t /*total*/) {}
        // True once the window is closing: the start ends at the next point where the library
        // is whole in one place, and shows nothing more.
        virtual bool stopRequested() { return false; }
    };

    struct Outcome {
        bool goOn;
        // Whether this phase made the photo application quit: the start reopens it at its end.
        bool quitPhotoApplication;
    };

    // The names the photo application's versions gave the library folder in ~/Pictures; the
    // helper reads it in ~/Sites under the first.
    static constexpr const char* kLibraryNames[] = {"iPhoto Library", "iPhoto Library.photolibrary",
                                                    "iPhotoLibrary"};

    static constexpr char kPhotoApplication[] = "iPhoto";
    static constexpr std::chrono::milliseconds kQuitWait{30000};

    explicit LibraryRelocation(Asker& asker, std::string photoApplication = kPhotoApplication,
                               std::chrono::milliseconds quitWait = kQuitWait)
        : asker_(asker), photoApplication_(std::move(photoApplication)), quitWait_(quitWait) {}

    static std::string getiPhotoInPictureFolderPath();
    // The library in ~/Pictures under any of its names: the one real folder, else the first name
    // that holds anything, else the usual name. None when two names hold a real folder.
    static std::optional<std::string> libraryInPictures();
    static std::string getiPhotoInSiteFolderPath();
    // The file type of what lies at each location without following a link ("NSFileTypeDirectory",
    // "NSFileTypeSymbolicLink", ...), none when nothing is there or a link leads nowhere.
    static std::optional<std::string> checkOriginalFolderConfiguration();
    static std::optional<std::string> checkMovedFolderConfiguration();
    static LibraryItem itemKind(const std::optional<std::string>& fileType);

    // Whether the library's state allows a start; shows the notice "iPhotoNotFound" when not.
    bool startLumibayCheck();
    // Phase one of the start.
    Outcome prepareLibrary();
    // Opens the photo application again, after a start that made it quit.
    void reopenPhotoApplication();

    void setMoveWay(LibraryMover::Way way) { moveWay_ = way; }

private:
    bool waitForPhotoApplicationToQuit();
    // Moves the library; false, after saying why, when the start cannot go on.
    bool moveLibrary(const std::string& from);
    void notice(Asker::Notice notice, const std::vector<std::string>& details = {});

    Asker& asker_;
    std::string photoApplication_;
    std::chrono::milliseconds quitWait_;
    LibraryMover::Way moveWay_ = LibraryMover::Way::renameWherePossible;
};

} // namespace tessaly
