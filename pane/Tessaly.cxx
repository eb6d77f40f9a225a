// The pane's life: loading its view, filling the controls from the settings, titling its window.
#include "Tessaly.hxx"

#include "ColorWell.hxx"

#include <QSignalBlocker>

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
    return mainView_;
}

void Tessaly::mainViewDidLoad() {
    pref_ = std::make_unique<LumibayPref>();
    edits_ = std::make_unique<SettingEdits>(*pref_, *notifier_);
    presets_ = std::make_unique<PresetActions>(PresetFolder::inResources(bundle_.resourcePath()),
                                               bundle_, *pref_, *notifier_);
    if (saveProblemLabel) {
        saveProblemLabel->hide();
    }
    setActionButton(pref_->getActiveFlag());
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
        mainView_->window()->setWindowTitle(
            QString::fromStdString(bundle_.localizedString("CFBundleDisplayName", "InfoPlist")));
    }
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
    if (sitePathView) {
        sitePathView->setText(
            QString::fromStdString(pref_->getStdExportPath() + "/" + pref_->getTopPageName()));
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
    const QString title = QString::fromStdString(
        bundle_.localizedString(active ? "EndButtonTitle" : "StartButtonTitle", "InfoPlist"));
    button->setText(title);
    button->setAccessibleName(title);
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
