#include "PublishingSheets.hxx"

#include "MessageSheetController.hxx"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tessaly {

void showNoticeSheet(const Bundle& bundle, QWidget* window, const char* key,
                     std::initializer_list<FormatArg> args) {
    const std::string text = format(bundle.localizedString(key, "InfoPlist"), args);
    MessageSheetController::runMessageSheet(QLatin1String(kNoticeSheet), bundle, window,
                                            QString::fromStdString(text));
}

void keepWindowPainted(int milliseconds) {
    QEventLoop pause;
    QTimer::singleShot(milliseconds, &pause, &QEventLoop::quit);
    pause.exec(QEventLoop::ExcludeUserInputEvents);
}

PublishingSheets::~PublishingSheets() = default;

namespace {

// The string table's key of each notice, in the order of `Notice`.
constexpr const char* kNoticeKeys[] = {
    nullptr, // iPhotoNotFound has a sheet of its own
    "PhotoApplicationStillRunsNotice",
    "LibraryNotMovedNotice",
    "LibraryInBothPlacesNotice",
    "TwoLibrariesNotice",
    "LibraryIsLinkNotice",
    "SitesNameTakenNotice",
    "SitesInsideLibraryNotice",
    "SpecialFileNotice",
    "TooLittleSpaceNotice",
    "LeftoverNotRemovedNotice",
};
static_assert(std::size(kNoticeKeys) ==
              static_cast<std::size_t>(LibraryRelocation::Asker::Notice::leftoverNotRemoved) + 1);

} // namespace

void PublishingSheets::showNotice(Notice notice, const std::vector<std::string>& details) {
    progress_.reset();
    if (notice == Notice::iPhotoNotFound) {
        ModalSheetController::runModalSheet(QLatin1String(kNotFoundSheet), bundle_, window_);
        return;
    }
    auto detail = [&](std::size_t i) { return i < details.size() ? details[i] : std::string(); };
    showNoticeSheet(bundle_, window_, kNoticeKeys[static_cast<std::size_t>(notice)],
                    {detail(0), detail(1), detail(2)});
}

bool PublishingSheets::askBeforeStart() {
    return ModalSheetController::runModalSheet(QLatin1String(kBeforeStartSheet), bundle_,
                                               window_) != 0;
}

// The relocation looks again every tenth of a second; in between the window paints.
void PublishingSheets::whileWaiting() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void PublishingSheets::moveProgress(std::uintmax_t done, std::uintmax_t total) {
    if (!progress_ && total >= kProgressFromBytes) {
        progress_ = std::make_unique<QProgressDialog>(
            QString::fromStdString(bundle_.localizedString("MovingLibraryProgress", "InfoPlist")),
            QString(), 0, 1000, window_);
        // A half-done copy is thrown away, never left behind, but stopping it midway would still
        // leave the user without a start: the copy runs to its end, unless the window closes.
        progress_->setCancelButton(nullptr);
        progress_->setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
    }
    // Also below the dialog's threshold: a request to close the window must get through.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (progress_) {
        const int perMille = total ? static_cast<int>(done * 1000 / total) : 1000;
        progress_->setValue(perMille);
        if (done >= total) {
            progress_.reset();
        }
    }
}

} // namespace tessaly
