// The pane's saved looks: the list of presets, its three buttons and what they do. The operations
// themselves are PresetActions'; here the window reads the list and shows the outcome.
#include "PresetDialogs.hxx"
#include "SettingBinder.hxx"
#include "Tessaly.hxx"

#include <QLabel>

namespace tessaly {

namespace {

// A control's name as the window shows it: the text of its label, without the mnemonic's mark.
std::string labelOf(const QWidget* control) {
    for (const QLabel* label : control->window()->findChildren<QLabel*>()) {
        if (label->buddy() == control) {
            QString text = label->text();
            text.remove(QLatin1Char('&'));
            return text.trimmed().toStdString();
        }
    }
    return {};
}

// What the window's controls offer, read from the controls themselves: a popup its titles, a
// number field its range; every control gives its label for notices.
OfferedValues offeredBy(const Tessaly& pane) {
    OfferedValues offered;
    if (!pane.mainView()) {
        return offered;
    }
    for (const SettingControl& row : kSettingControls) {
        if (!isPresetSetting(settingInfo(row.setting))) {
            continue;
        }
        auto* control = pane.mainView()->findChild<QWidget*>(QLatin1String(row.objectName));
        if (!control) {
            continue;
        }
        if (auto* menu = qobject_cast<QComboBox*>(control)) {
            std::vector<std::int32_t> values;
            for (int i = 0; i < menu->count(); ++i) {
                values.push_back(popupTitleValue(menu->itemText(i).toStdString()));
            }
            offered.offerChoices(row.setting, std::move(values));
        } else if (auto* field = qobject_cast<QSpinBox*>(control)) {
            offered.offerRange(row.setting, field->minimum(), field->maximum());
        }
        offered.nameControl(row.setting, labelOf(control));
    }
    return offered;
}

} // namespace

void Tessaly::setPresetQuestions(PresetQuestions* questions) { questions_ = questions; }

PresetQuestions& Tessaly::presetQuestions() {
    if (questions_) {
        return *questions_;
    }
    if (!ownQuestions_) {
        ownQuestions_ = std::make_unique<SheetPresetQuestions>(targetWindow(), bundle_);
    }
    return *ownQuestions_;
}

void Tessaly::setupSettingListView() {
    if (!presets_ || !viewSetingListView) {
        return;
    }
    // The looks of the list are applied only with what the controls offer, and the controls are
    // all there by the time the list is filled.
    presets_->offerValues(offeredBy(*this));
    PresetResult<std::vector<std::string>> names = presets_->list();
    if (!names.ok()) {
        // Said beside the list rather than in a dialog: this runs whenever the window fills its
        // controls, and the user can still do everything else.
        if (presetProblemLabel) {
            presetProblemLabel->setText(QString::fromStdString(names.problem().message));
            presetProblemLabel->show();
        }
        return;
    }
    if (presetProblemLabel) {
        presetProblemLabel->hide();
    }
    QStringList lines;
    for (const std::string& name : names.value()) {
        lines.append(PresetActions::lineText(name));
    }
    // Replacing the lines clears the selection, which sets the buttons through lineUnSelected.
    viewSetingListView->setTextArray(std::move(lines));
}

// The file of the selected line, byte for byte as the folder listed it: a line's text cannot
// always be turned back into its file's name.
std::optional<std::string> Tessaly::selectedPreset() const {
    if (!viewSetingListView || !presets_) {
        return std::nullopt;
    }
    const int selected = viewSetingListView->getSelectLine();
    std::optional<QString> line = viewSetingListView->getTextFromArray(selected);
    std::optional<std::string> fileName = presets_->listedFileName(selected);
    if (!line || !fileName || *line != PresetActions::lineText(*fileName)) {
        return std::nullopt;
    }
    return fileName;
}

void Tessaly::doSaveCurrenntSetting(QObject*) {
    if (presets_ && presets_->saveCurrentSetting(presetQuestions())) {
        setupSettingListView();
    }
}

void Tessaly::doUseSelectedSetting(QObject*) {
    const std::optional<std::string> name = selectedPreset();
    if (!presets_ || !name) {
        return;
    }
    presets_->useSetting(*name, presetQuestions(), [this](bool saved) {
        reportSave(saved);
        viewSetUp();
    });
}

void Tessaly::doDeleteeSelectedSetting(QObject*) {
    const std::optional<std::string> name = selectedPreset();
    if (presets_ && name && presets_->deleteSetting(*name, presetQuestions())) {
        viewSetUp();
    }
}

void Tessaly::lineSelected(std::int32_t) { setPresetButtons(true); }

void Tessaly::lineUnSelected(std::int32_t) { setPresetButtons(false); }

void Tessaly::setPresetButtons(bool lineIsSelected) {
    for (QPushButton* button : {useSelectedSettingButton, deleteSelectedSettingButton}) {
        if (button) {
            button->setEnabled(lineIsSelected);
        }
    }
    if (saveSettingButton) {
        saveSettingButton->setEnabled(!lineIsSelected);
    }
}

} // namespace tessaly
