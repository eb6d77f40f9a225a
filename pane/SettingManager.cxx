// The pane's saved looks: the list of presets, its three buttons and what they do. The operations
// themselves are PresetActions'; here the window reads the list and shows the outcome.
#include "PresetDialogs.hxx"
#include "Tessaly.hxx"

namespace tessaly {

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
        lines.append(QString::fromStdString(name));
    }
    // Replacing the lines clears the selection, which sets the buttons through lineUnSelected.
    viewSetingListView->setTextArray(std::move(lines));
}

std::optional<std::string> Tessaly::selectedPreset() const {
    if (!viewSetingListView) {
        return std::nullopt;
    }
    std::optional<QString> line =
        viewSetingListView->getTextFromArray(viewSetingListView->getSelectLine());
    if (!line) {
        return std::nullopt;
    }
    return line->toStdString();
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
