#include "PublishingSheets.hxx"

#include "MessageSheetController.hxx"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWindow>

namespace tessaly {

void showNoticeSheet(const Bundle& bundle, QWidget* window, const char* key,
                     std::initializer_list<FormatArg> args) {
    const std::string text = format(bundle.localizedString(key, "InfoPlist"), args);
    MessageSheetController::runMessageSheet(QLatin1String(kNoticeSheet), bundle, window,
                                            QString::fromStdString(text));
}

namespace {

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// Eats the double-click of a button, which Qt sends in place of the second press; the release
// that follows then finds the button up and clicks nothing.
class DoubleClickAsOne : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::MouseButtonDblClick;
    }
};

} // namespace

DroppedInput::DroppedInput(QWidget* window) : window_(window) {
    if (window_) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

DroppedInput::~DroppedInput() {
    if (!window_) {
        return;
    }
    // Input that came in during the last moments of the start may still wait in the queue: it is
    // handed out now, while it is still dropped.
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(this);
}

bool DroppedInput::eventFilter(QObject* watched, QEvent* event) {
    if (!window_ || !isUserInput(event->type())) {
        return false;
    }
    if (watched->isWidgetType()) {
        return static_cast<QWidget*>(watched)->window() == window_;
    }
    if (auto* handle = qobject_cast<QWindow*>(watched)) {
        return handle == window_->windowHandle();
    }
    return false;
}

void takeDoubleClickAsOneClick(QAbstractButton* button) {
    if (button && !button->findChild<DoubleClickAsOne*>(QString(), Qt::FindDirectChildrenOnly)) {
        button->installEventFilter(new DoubleClickAsOne(button));
    }
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

// The relocation looks again every tenth of a second; in between the window paints, and what the
// user does to it is taken in and dropped (see DroppedInput).
void PublishingSheets::whileWaiting() { QCoreApplication::processEvents(); }

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
    QCoreApplication::processEvents();
    if (progress_) {
        const int perMille = total ? static_cast<int>(done * 1000 / total) : 1000;
        progress_->setValue(perMille);
        if (done >= total) {
            progress_.reset();
        }
    }
}

} // namespace tessaly
