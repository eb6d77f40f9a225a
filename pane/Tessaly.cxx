// The pane's life: loading its view, filling the controls from the settings, titling its window.
#include "Tessaly.hxx"

#include "Accessibility.hxx"
#include "ColorWell.hxx"
#include "Format.hxx"
#include "TabKeys.hxx"

#include <QEvent>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QSignalBlocker>

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
    libraryChoice_ = std::make_unique<LibraryChoice>(mainView_, bundle_, *pref_, *notifier_,
                                                     [this](bool saved) { reportSave(saved); });
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
    // Besides placing the interval control, this call records the default interval in the store
    // when the file has none, so that the next save writes it.
    float interval = pref_->getCheckInterval();
    if (!pref_->hasDictionary()) {
        interval = static_cast<float>(settingInfo(Setting::CheckInterval).number);
    }
    showInterval(interval, intervalStopNearest(interval));
    viewSetUp();
}

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

// A settings file that cannot be read leaves the store answering 0 or none for some settings; the
// window shows the defaults instead, as it would for a missing file.
std::int32_t Tessaly::shownInteger(Setting setting) {
    if (!pref_->hasDictionary()) {
        return static_cast<std::int32_t>(settingInfo(setting).number);
    }
    return pref_->integerSetting(setting);
}

QComboBox* Tessaly::popup(Setting setting) const {
    for (const PopupSetting& row : kPopupSettings) {
        if (row.setting == setting) {
            return property(row.outlet).value<QComboBox*>();
        }
    }
    return nullptr;
}

// Selects the item titled exactly as "%d" writes the value; a value no item has leaves the popup
// without a selection rather than showing a different value.
void Tessaly::showPopupValue(Setting setting) {
    const std::int32_t value = shownInteger(setting);
    if (QComboBox* menu = popup(setting)) {
        menu->setCurrentIndex(menu->findText(QString::number(value), Qt::MatchExactly));
    }
}

void Tessaly::viewSetUp() {
    if (!pref_) {
        return;
    }
    std::optional<std::string> siteName = pref_->getSiteName();
    if (siteFolderNameView) {
        siteFolderNameView->setText(
            QString::fromStdString(siteName.value_or(settingInfo(Setting::SiteName).text)));
    }
    if (siteTopPageNameView) {
        siteTopPageNameView->setText(QString::fromStdString(pref_->getTopPageName()));
    }
    showSiteAddress();
    if (libraryChoice_) {
        libraryChoice_->showSetting();
    }
    const std::int32_t imageSize = shownInteger(Setting::ImageSize);
    if (imageSizeControlView) {
        const QSignalBlocker quiet(imageSizeControlView);
        imageSizeControlView->setValue(imageSize);
    }
    // The spacing popup comes after the colours, as it always has.
    for (const PopupSetting& row : kPopupSettings) {
        if (row.setting != Setting::ImageSpace) {
            showPopupValue(row.setting);
        }
    }
    colorPalettSetUp();
    showPopupValue(Setting::ImageSpace);
    setupSettingListView();
}

void Tessaly::colorPalettSetUp() {
    if (!pref_) {
        return;
    }
    for (const ColorWellSetting& row : kColorWells) {
        const std::optional<RgbColor> color = pref_->colorSetting(row.setting);
        if (auto* well = qobject_cast<ColorWell*>(viewWithTag(tabView, row.tag))) {
            well->setColor(qColor(color));
        }
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

QString intervalText(float minutes) {
    if (minutes == 1.0f) {
        return QStringLiteral("1 minute");
    }
    return QStringLiteral("%1 minutes").arg(QString::number(minutes, 'g', 6));
}

void Tessaly::showInterval(float minutes, int stop) {
    if (intervalSlider) {
        const QSignalBlocker quiet(intervalSlider);
        intervalSlider->setValue(stop);
    }
    if (intervalLabel) {
        intervalLabel->setText(intervalText(minutes));
    }
}

} // namespace tessaly
