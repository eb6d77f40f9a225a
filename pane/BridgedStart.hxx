// The first phase of a start when the person publishes a library of another program (Shotwell,
// digiKam) or a folder of pictures: nothing is moved and no photo application is asked to quit.
// The bridge makes ~/Sites/iPhoto Library from the chosen library first, with a progress dialog
// when that takes a while, and only then does the start go on and launch the helper, which keeps
// the library current from there on.
#pragma once

#include "Bundle.hxx"
#include "LibraryRelocation.hxx"
#include "LibrarySources.hxx"
#include "LumibayPref.hxx"

#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

namespace tessaly {

// The library the settings choose when it is another program's; none for the photo
// application's own library (also for a source text the window does not know).
std::optional<bridge::SourceKind> bridgedSourceOf(LumibayPref& pref);

class BridgedStart {
public:
    // A build that ends sooner than this shows no progress dialog.
    static constexpr std::chrono::milliseconds kProgressAfter{800};

    BridgedStart(const Bundle& bundle, QWidget* window) : bundle_(bundle), window_(window) {}

    // Makes or updates the bridged library for `kind`. False when the start must end: the library
    // cannot be found or read, holds nothing, ~/Sites/iPhoto Library is not the bridge's, or the
    // person cancelled; every case but the last says so in a sheet, and none leaves a change.
    bool prepareLibrary(bridge::SourceKind kind, const std::string& folderSetting);

    // Asked while the library is made whether the window is closing; the build then stops.
    void setStopRequested(std::function<bool()> asked) { stopRequested_ = std::move(asked); }

private:
    const Bundle& bundle_;
    QWidget* window_;
    std::function<bool()> stopRequested_;
};

// The start's first phase for a bridged library, in the relocation's terms: it goes on or not, and
// never has a photo application quit.
LibraryRelocation::Outcome prepareBridgedLibrary(LumibayPref& pref, const Bundle& bundle,
                                                 QWidget* window,
                                                 std::function<bool()> stopRequested);

} // namespace tessaly
