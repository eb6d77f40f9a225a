#include "BridgedStart.hxx"

#include "BridgedLibrary.hxx"
#include "Home.hxx"
#include "PublishingSheets.hxx"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace tessaly {

using bridge::BridgedLibrary;
using bridge::UpdateProblem;
using bridge::UpdateResult;
using bridge::UpdateStatus;

std::optional<bridge::SourceKind> bridgedSourceOf(LumibayPref& pref) {
    const std::optional<bridge::SourceKind> kind = bridge::sourceKindNamed(pref.getLibrarySource());
    if (!kind || *kind == bridge::SourceKind::iPhoto) {
        return std::nullopt;
    }
    return kind;
}

namespace {

// Everything the build and the window share while the build runs on its own thread.
struct Build {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    UpdateResult result;
};

void makeLibrary(Build& build, bridge::SourceKind kind, const std::string& folderSetting) {
    const std::string home = homeDirectory();
    std::unique_ptr<bridge::LibrarySource> source = bridge::makeSource(kind, folderSetting, home);
    BridgedLibrary library(BridgedLibrary::folderIn(home));
    const bool first = library.state() == BridgedLibrary::FolderState::Missing;
    bridge::UpdateOptions options;
    options.cancel = &build.cancel;
    options.sourceStamp = bridge::sourceStamp(kind, *source);
    options.refuseEmpty = true;
    options.progress = [&build](std::size_t done, std::size_t total) {
        build.total = total;
        build.done = done;
    };
    try {
        build.result = bridge::bridgeLibrary(*source, library, options);
    } catch (const std::exception& error) {
        build.result = UpdateResult{};
        build.result.problem = UpdateProblem::Unwritable;
        build.result.message = error.what();
    }
    // A first library given up half way would stand in the place of a photo application's own
    // library later; a start that ends changes nothing.
    if (first && build.result.status != UpdateStatus::Updated) {
        library.discard();
    }
}

const char* noticeKey(UpdateProblem problem) {
    switch (problem) {
    case UpdateProblem::FolderTaken:
        return "BridgedFolderTakenNotice";
    case UpdateProblem::Empty:
        return "BridgedLibraryEmptyNotice";
    case UpdateProblem::Unwritable:
        return "BridgedLibraryNotMadeNotice";
    case UpdateProblem::Unreadable:
    case UpdateProblem::None:
        break;
    }
    return "BridgedLibraryUnreadableNotice";
}

} // namespace

bool BridgedStart::prepareLibrary(bridge::SourceKind kind, const std::string& folderSetting) {
    Build build;
    std::thread worker([&build, kind, folderSetting] {
        makeLibrary(build, kind, folderSetting);
        build.finished = true;
    });

    // The window keeps painting while the library is made. Clicks and keys meant for the window
    // are dropped by the start that runs this (DroppedInput); the progress dialog is a window of
    // its own, so its Cancel button still works.
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> progress;
    QTimer tick;
    tick.setInterval(50);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (build.finished) {
            loop.quit();
            return;
        }
        if (stopRequested_ && stopRequested_()) {
            build.cancel = true;
        }
        if (!progress && clock.elapsed() >= kProgressAfter.count()) {
            progress = std::make_unique<QProgressDialog>(
                QString::fromStdString(
                    bundle_.localizedString("BridgingLibraryProgress", "InfoPlist")),
                QString::fromStdString(bundle_.localizedString("CancelButtonTitle", "InfoPlist")),
                0, 1000, window_);
            progress->setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
            progress->setAutoClose(false);
            progress->setAutoReset(false);
            progress->setMinimumDuration(0);
            QObject::connect(progress.get(), &QProgressDialog::canceled, &loop,
                             [&build] { build.cancel = true; });
            progress->show();
        }
        if (progress) {
            const std::size_t total = build.total;
            progress->setValue(total ? static_cast<int>(build.done * 1000 / total) : 0);
        }
    });
    tick.start();
    loop.exec();
    tick.stop();
    worker.join();
    progress.reset();

    const UpdateResult& result = build.result;
    if (result.status == UpdateStatus::Updated || result.status == UpdateStatus::Unchanged) {
        return true;
    }
    if (result.status == UpdateStatus::Failed && !(stopRequested_ && stopRequested_())) {
        showNoticeSheet(bundle_, window_, noticeKey(result.problem), {result.message});
    }
    return false;
}

LibraryRelocation::Outcome prepareBridgedLibrary(LumibayPref& pref, const Bundle& bundle,
                                                 QWidget* window,
                                                 std::function<bool()> stopRequested) {
    BridgedStart start(bundle, window);
    start.setStopRequested(std::move(stopRequested));
    const std::optional<bridge::SourceKind> kind = bridgedSourceOf(pref);
    return {kind && start.prepareLibrary(*kind, pref.getLibraryFolder()), false};
}

} // namespace tessaly
