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
        };
        virtual ~Asker() = default;
        virtual void showNotice(Notice notice) = 0;
        // The "BeforeStart" question: true for OK, false for Cancel.
        virtual bool askBeforeStart() = 0;
        // Called between the looks at whether the photo application has quit, so the window
        // can keep painting.
        virtual void whileWaiting() {}
        virtual void moveProgress(std::uintmax_t /*done*/, std::uintmax_t /*total*/) {}
    };

    struct Outcome {
        bool goOn;
        // Whether this phase made the photo application quit: the start reopens it at its end.
        bool quitPhotoApplication;
    };

    static constexpr char kPhotoApplication[] = "iPhoto";
    static constexpr std::chrono::milliseconds kQuitWait{30000};

    explicit LibraryRelocation(Asker& asker, std::string photoApplication = kPhotoApplication,
                               std::chrono::milliseconds quitWait = kQuitWait)
        : asker_(asker), photoApplication_(std::move(photoApplication)), quitWait_(quitWait) {}

    static std::string getiPhotoInPictureFolderPath();
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

    Asker& asker_;
    std::string photoApplication_;
    std::chrono::milliseconds quitWait_;
    LibraryMover::Way moveWay_ = LibraryMover::Way::renameWherePossible;
};

} // namespace tessaly
