#include "PresetDialogs.hxx"

#include "GetPathController.hxx"
#include "MessageSheetController.hxx"
#include "PublishingSheets.hxx"

namespace tessaly {

std::optional<QString> SheetPresetQuestions::askPresetName() {
    GetPathController sheet(window_);
    sheet.loadNibByName(QLatin1String(kPresetNameSheet), bundle_);
    if (sheet.runSheet() == 0) {
        return std::nullopt;
    }
    // Read before the controller goes: the field lives as long as it does.
    return sheet.getMessageString();
}

bool SheetPresetQuestions::confirm(const QString& question) {
    return MessageSheetController::runMessageSheet(QLatin1String(kPresetQuestionSheet), bundle_,
                                                   window_, question) != 0;
}

bool SheetPresetQuestions::confirmOverwrite(const QString& question) { return confirm(question); }

bool SheetPresetQuestions::confirmDelete(const QString& question) { return confirm(question); }

void SheetPresetQuestions::tellProblem(const QString& notice) {
    MessageSheetController::runMessageSheet(QLatin1String(kNoticeSheet), bundle_, window_, notice);
}

} // namespace tessaly
