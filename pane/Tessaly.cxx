// The pane's life: loading its view, filling the controls from the settings, titling its window.
#include "Tessaly.hxx"

#include "Accessibility.hxx"
#include "Format.hxx"
#include "TabKeys.hxx"

#include <QEvent>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <filesystem>

namespace tessaly {

Tessaly::Tessaly(Bundle bundle, Notifier* notifier)
    : bundle_(std::move(bundle)), loader_(QString::fromStdString(bundle_.resourcePath())),
      notifier_(notifier) {
    if (!notifier_) {
        ownNotifier_ = std::make_unique<DBusNotifier>();
        notifier_ = ownNotifier_.get();
    }
}

Tessaly::~Tessaly() {
    if (delegatingList_) {
        delegatingList_->setDelegate(nullptr);
    }
}

QWidget* Tessaly::loadMainView(QString* error) {
    // Before any control exists: Qt makes a control's interface when it first hears of it, and
    // keeps that one.
    installWindowAccessibility();
    mainView_ = loader_.load(QStringLiteral("Tessaly"), this, nullptr, error);
    if (mainView_ && tabView) {
        connect(tabView, &QTabWidget::currentChanged, this, &Tessaly::tabViewDidSelectTabViewItem);
    }
    if (mainView_ && viewSetingListView) {
        viewSetingListView->setDelegate(this);
        delegatingList_ = viewSetingListView;
        // The list lies on its scroll area's viewport: give that a list's background, not the
        // window's, so the lines read as items of a list.
        if (QWidget* viewport = viewSetingListView->parentWidget()) {
            viewport->setBackgroundRole(QPalette::Base);
        }
    }
    if (mainView_) {
        prepareViewForEveryone();
    }
    return mainView_;
}

void Tessaly::prepareViewForEveryone() {
    adoptWindowInterfaces(mainView_);
    for (const PopupSetting& row : kPopupSettings) {
        if (QComboBox* menu = popup(row.setting)) {
            keepPopupListInStep(menu);
        }
    }
    if (tabView) {
        new TabKeys(mainView_, tabView);
    }
    mainView_->installEventFilter(this);
    applyPaletteColours();

    connect(&siteProbe_, &SiteAddress::checked, this, &Tessaly::siteAddressChecked);
    // A stat every few seconds: cheap, and the only way to hear of a site the helper has just
    // built or closed.
    siteWatch_.setInterval(std::chrono::seconds(2));
    connect(&siteWatch_, &QTimer::timeout, this, [this] {
        std::error_code error;
        if (pref_ &&
            std::filesystem::exists(pref_->getStdExportPath() + "/" + pref_->getTopPageName(),
                                    error) != siteExisted_) {
            showSiteAddress();
        }
    });
}

QString Tessaly::text(const char* key) const {
    return QString::fromStdString(bundle_.localizedString(key, "InfoPlist"));
}

bool Tessaly::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mainView_ &&
        (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)) {
        applyPaletteColours();
    }
    return QObject::eventFilter(watched, event);
}

void Tessaly::applyPaletteColours() {
    if (!mainView_ || adjustingPalette_) {
        return;
    }
    const QScopedValueRollback<bool> busy(adjustingPalette_, true);
    const QPalette window = mainView_->palette();
    const QColor problem = problemTextColor(window);
    for (QLabel* label : {saveProblemLabel, presetProblemLabel}) {
        if (label) {
            // Only this role is the label's own; the others follow the window's palette.
            QPalette palette;
            palette.setColor(QPalette::WindowText, problem);
            label->setPalette(palette);
        }
    }
    // A read-only field shows a value to read, not one to type: it takes the window's colours
    // instead of an editable field's, and so does not invite typing.
    for (QLineEdit* field : mainView_->findChildren<QLineEdit*>()) {
        if (!field->isReadOnly()) {
            continue;
        }
        QPalette palette;
        for (QPalette::ColorGroup group :
             {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::Base, window.color(group, QPalette::Window));
            palette.setColor(group, QPalette::Text, window.color(group, QPalette::WindowText));
        }
        field->setPalette(palette);
    }
}

void Tessaly::mainViewDidLoad() {
    pref_ = std::make_unique<LumibayPref>();
    edits_ = std::make_unique<SettingEdits>(*pref_, *notifier_);
    presets_ = std::make_unique<PresetActions>(PresetFolder::inResources(bundle_.resourcePath()),
                                               bundle_, *pref_, *notifier_);
    libraryChoice_ = std::make_unique<LibraryChoice>(mainView_, bundle_, *pref_);
    if (saveProblemLabel) {
        saveProblemLabel->hide();
    }
    // Said at once rather than at the first change, which would not be saved.
    openingProblem_ = !pref_->hasDictionary();
    if (openingProblem_) {
        announceProblem(saveProblemLabel, QString::fromStdString(format(
                                              text("SettingsUnreadableAtOpening").toStdString(),
                                              {pref_->getPrefPath()})));
    }
    setActionButton(pref_->getActiveFlag());
    siteWatch_.start();
    binder_ = std::make_unique<SettingBinder>(mainView_, *pref_, *edits_);
    binder_->forwardUserChanges(this, [this](QObject* control) { doChangeSetting(control); });
    viewSetUp();
}

// The read-only fields above it are still reached with Tab.
QWidget* Tessaly::initialKeyView() const { return intervalSlider; }

void Tessaly::didSelect() {
    if (mainView_) {
        mainView_->window()->setWindowTitle(text("CFBundleDisplayName"));
    }
    // A problem found while the view was loaded is announced again once its window is on screen,
    // where a screen reader can hear it.
    if (openingProblem_ && saveProblemLabel && saveProblemLabel->isVisible()) {
        openingProblem_ = false;
        announceProblem(saveProblemLabel, saveProblemLabel->text());
    }
    // Web sharing may have been set up while the window was in the background.
    showSiteAddress();
}

QComboBox* Tessaly::popup(Setting setting) const {
    for (const PopupSetting& row : kPopupSettings) {
        if (row.setting == setting) {
            return property(row.outlet).value<QComboBox*>();
        }
    }
    return nullptr;
}

void Tessaly::viewSetUp() {
    if (!pref_ || !binder_) {
        return;
    }
    binder_->updateWidgets();
    showSiteAddress();
    if (libraryChoice_) {
        libraryChoice_->showSetting();
    }
    setupSettingListView();
}

void Tessaly::colorPalettSetUp() {
    if (!binder_) {
        return;
    }
    for (const ColorWellSetting& row : kColorWells) {
        binder_->updateWidget(row.setting);
    }
}

void Tessaly::tabViewDidSelectTabViewItem(int) { colorPalettSetUp(); }

void Tessaly::setActionButton(bool active) {
    auto* button = qobject_cast<QPushButton*>(viewWithTag(mainView_, kActionButtonTag));
    if (!button) {
        return;
    }
    button->setText(text(active ? "EndButtonTitle" : "StartButtonTitle"));
    showPublishingState(active ? PublishingState::Publishing : PublishingState::NotPublishing);
    showSiteAddress();
}

void Tessaly::showPublishingState(PublishingState state) {
    publishingState_ = state;
    if (libraryChoice_) {
        libraryChoice_->setChangeable(state == PublishingState::NotPublishing);
    }
    if (!publishingStateLabel) {
        return;
    }
    const char* key = "PublishingStateOff";
    switch (state) {
    case PublishingState::NotPublishing:
        key = "PublishingStateOff";
        break;
    case PublishingState::Starting:
        key = "PublishingStateStarting";
        break;
    case PublishingState::Publishing:
        key = "PublishingStateOn";
        break;
    case PublishingState::Stopping:
        key = "PublishingStateStopping";
        break;
    }
    publishingStateLabel->setText(text(key));
}

void Tessaly::showSiteAddress() {
    if (!pref_ || !sitePathView) {
        return;
    }
    const std::string topPage = pref_->getStdExportPath() + "/" + pref_->getTopPageName();
    std::error_code error;
    siteExisted_ = std::filesystem::exists(topPage, error);
    if (!siteExisted_) {
        siteAddress_.clear();
        siteShared_ = false;
        sitePathView->clear();
        sitePathView->setPlaceholderText(text("SiteNotPublishedYet"));
        if (siteAddressHint) {
            siteAddressHint->hide();
        }
        if (openSiteButton) {
            openSiteButton->setEnabled(false);
        }
        return;
    }
    const QUrl shared =
        !sharedAddress_.isEmpty()
            ? sharedAddress_
            : SiteAddress::sharedAddress(
                  QFileInfo(QString::fromStdString(pref_->getStdExportPath())).fileName(),
                  QString::fromStdString(pref_->getTopPageName()));
    // Until the web server answers, the window shows what it knew: the file, or the address it
    // answered at before.
    if (!siteShared_) {
        siteAddressChecked(shared, false);
    }
    siteProbe_.check(shared);
}

void Tessaly::siteAddressChecked(const QUrl& address, bool answers) {
    if (!pref_ || !sitePathView || !siteExisted_) {
        return;
    }
    siteShared_ = answers;
    if (answers) {
        siteAddress_ = address;
        sitePathView->setText(address.toString());
    } else {
        const QString file =
            QString::fromStdString(pref_->getStdExportPath() + "/" + pref_->getTopPageName());
        siteAddress_ = QUrl::fromLocalFile(file);
        sitePathView->setText(file);
    }
    if (siteAddressHint) {
        siteAddressHint->setText(QString::fromStdString(
            format(text("WebSharingHint").toStdString(), {address.toString().toStdString()})));
        siteAddressHint->setVisible(!answers);
    }
    if (openSiteButton) {
        openSiteButton->setEnabled(true);
    }
}

} // namespace tessaly
