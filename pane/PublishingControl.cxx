// Publishing on and off: the start and stop sequences behind the start/stop button, the helper's
// launch, the login item, and the about sheet.
#include "AboutLumibay.hxx"
#include "BridgedStart.hxx"
#include "Constants.hxx"
#include "Home.hxx"
#include "LibraryRelocation.hxx"
#include "LoginItems.hxx"
#include "PublishingSheets.hxx"
#include "Tessaly.hxx"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QProcess>
#include <QScopedValueRollback>
#include <QTimer>

namespace tessaly {

QWidget* Tessaly::targetWindow() const { return mainView_ ? mainView_->window() : nullptr; }

std::string Tessaly::helperProgramPath() const {
    return LoginItems::helperProgramPath(bundle_.resourcePath());
}

void Tessaly::doUseButton(QObject* sender) {
    // Sheets and waits run nested event loops; a press that reaches the button meanwhile must not
    // start a second sequence inside the first.
    if (!pref_ || switching_) {
        return;
    }
    takeDoubleClickAsOneClick(qobject_cast<QAbstractButton*>(sender));
    {
        QScopedValueRollback<bool> busy(switching_, true);
        // Clicks made while the sequence waits are dropped, not acted on once it has ended.
        const DroppedInput dropped(targetWindow());
        const bool active = pref_->getActiveFlag();
        showPublishingState(active ? PublishingState::Stopping : PublishingState::Starting);
        if (active) {
            stopLumibay();
        } else {
            startLumibay();
        }
        // A start that ended early leaves the state as it was.
        showPublishingState(pref_->getActiveFlag() ? PublishingState::Publishing
                                                   : PublishingState::NotPublishing);
    }
    emit switchingEnded();
}

void Tessaly::doAboutButton(QObject*) {
    AboutLumibay::runAboutSheet(QLatin1String(kAboutSheet), bundle_, targetWindow());
}

void Tessaly::startLumibay() {
    PublishingSheets sheets(bundle_, targetWindow());
    sheets.setStopRequested([this] { return stopRequested_; });
    LibraryRelocation relocation(sheets);
    const LibraryRelocation::Outcome outcome =
        bridgedSourceOf(*pref_) ? prepareBridgedLibrary(*pref_, bundle_, targetWindow(),
                                                        [this] { return stopRequested_; })
                                : relocation.prepareLibrary();
    if (!outcome.goOn) {
        return;
    }
    auto reopen = [&] {
        if (outcome.quitPhotoApplication) {
            relocation.reopenPhotoApplication();
        }
    };
    const bool wasActive = pref_->getActiveFlag();
    pref_->setActiveFlag(!wasActive);
    // The helper reads the flag from the file and quits at once when it finds it off: without
    // the file saved, a launch would publish nothing while the window showed it publishing.
    if (!pref_->savePref()) {
        // The store keeps what the file holds, so the window goes on showing the truth.
        pref_->setActiveFlag(wasActive);
        reopen();
        showNoticeSheet(bundle_, targetWindow(),
                        pref_->hasDictionary() ? "SettingsNotWrittenNotice"
                                               : "SettingsNotSavedNotice",
                        {pref_->getPrefPath()});
        return;
    }
    setActionButton(pref_->getActiveFlag());
    if (pref_->getActiveFlag() && !launchHelper()) {
        undoStart();
        reopen();
        return;
    }
    reopen();
    registerStartUpItem();
}

void Tessaly::undoStart() {
    pref_->setActiveFlag(false);
    pref_->savePref();
    setActionButton(false);
}

bool Tessaly::waitForHelperHandOver() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Without a session bus no helper can hold the name, and none would wait for it.
    if (!bus.isConnected() || !bus.interface()) {
        return true;
    }
    const QString name = QLatin1String(kHelperServiceName);
    // Watched before the question, so a name let go in between is not missed.
    QDBusServiceWatcher watcher(name, bus, QDBusServiceWatcher::WatchForUnregistration);
    if (!bus.interface()->isServiceRegistered(name).value()) {
        return true;
    }
    QEventLoop wait;
    bool gone = false;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &wait, [&] {
        gone = true;
        wait.quit();
    });
    QTimer::singleShot(helperHandOverWait_, &wait, &QEventLoop::quit);
    wait.exec();
    return gone;
}

bool Tessaly::launchHelper() {
    // A helper told to stop a moment ago may still be closing the site.
    if (!waitForHelperHandOver()) {
        showNoticeSheet(bundle_, targetWindow(), "HelperStillRunsNotice");
        return false;
    }
    const QString program = QString::fromStdString(helperProgramPath());
    // Started with its arguments as a list, never through a shell; it inherits the environment,
    // and with it the user's session bus.
    if (!QProcess::startDetached(program, {}, QString::fromStdString(homeDirectory()))) {
        showNoticeSheet(bundle_, targetWindow(), "HelperNotLaunchedNotice", {helperProgramPath()});
        return false;
    }
    return true;
}

void Tessaly::stopLumibay() {
    pref_->setActiveFlag(false);
    // The helper still stops; an unsaved flag would only start it again at the next login.
    reportSave(pref_->savePref());
    setActionButton(false);
    notifier_->post(Stop_Lumibay_Helper_Notification);
    removeStartUpItem();
}

void Tessaly::registerStartUpItem() {
    if (!LoginItems(helperProgramPath()).registerStartUpItem()) {
        showNoticeSheet(bundle_, targetWindow(), "LoginItemNotAddedNotice",
                        {LoginItems::autostartFolder()});
    }
}

void Tessaly::removeStartUpItem() {
    if (!LoginItems(helperProgramPath()).removeStartUpItem()) {
        showNoticeSheet(bundle_, targetWindow(), "LoginItemNotRemovedNotice",
                        {LoginItems::autostartFolder()});
    }
}

} // namespace tessaly
