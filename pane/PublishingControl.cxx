// Publishing on and off: the start and stop sequences behind the start/stop button, the helper's
// launch, the login item, and the about sheet.
#include "AboutLumibay.hxx"
#include "Constants.hxx"
#include "Home.hxx"
#include "LibraryRelocation.hxx"
#include "LoginItems.hxx"
#include "PublishingSheets.hxx"
#include "Tessaly.hxx"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QScopedValueRollback>

namespace tessaly {

QWidget* Tessaly::targetWindow() const { return mainView_ ? mainView_->window() : nullptr; }

std::string Tessaly::helperProgramPath() const {
    return LoginItems::helperProgramPath(bundle_.resourcePath());
}

void Tessaly::doUseButton(QObject*) {
    // Sheets and waits run nested event loops; a press that reaches the button meanwhile must not
    // start a second sequence inside the first.
    if (!pref_ || switching_) {
        return;
    }
    QScopedValueRollback<bool> busy(switching_, true);
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

void Tessaly::doAboutButton(QObject*) {
    AboutLumibay::runAboutSheet(QLatin1String(kAboutSheet), bundle_, targetWindow());
}

void Tessaly::startLumibay() {
    PublishingSheets sheets(bundle_, targetWindow());
    LibraryRelocation relocation(sheets);
    const LibraryRelocation::Outcome outcome = relocation.prepareLibrary();
    if (!outcome.goOn) {
        return;
    }
    auto reopen = [&] {
        if (outcome.quitPhotoApplication) {
            relocation.reopenPhotoApplication();
        }
    };
    pref_->setActiveFlag(!pref_->getActiveFlag());
    // The helper reads the flag from the file and quits at once when it finds it off: without
    // the file saved, a launch would publish nothing while the window showed it publishing.
    pref_->savePref();
    if (!pref_->hasDictionary()) {
        reopen();
        showNoticeSheet(bundle_, targetWindow(), "SettingsNotSavedNotice", {pref_->getPrefPath()});
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
    const auto deadline = std::chrono::steady_clock::now() + helperHandOverWait_;
    while (bus.interface()->isServiceRegistered(name).value()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        keepWindowPainted(50);
    }
    return true;
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
    pref_->savePref();
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
