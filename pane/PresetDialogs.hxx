// How the settings window answers PresetQuestions: with its own sheets.
#pragma once

#include "Bundle.hxx"
#include "PresetActions.hxx"

#include <QPointer>
#include <QWidget>

namespace tessaly {

// The sheets the preset operations run.
inline constexpr char kPresetNameSheet[] = "GetPath";
inline constexpr char kPresetQuestionSheet[] = "MessageSheet2";

// The name from the "GetPath" sheet, both questions from the "MessageSheet2" sheet (a code of 0 is
// no), problems from the "Notice" sheet, as publishing shows its notices. Each is window-modal on
// the pane's window and returns only once closed, so there is never more than one at a time. A
// sheet that cannot be loaded answers as Cancel would: nothing is written or removed unasked.
class SheetPresetQuestions : public PresetQuestions {
public:
    SheetPresetQuestions(QWidget* window, const Bundle& bundle)
        : window_(window), bundle_(bundle) {}

    std::optional<QString> askPresetName() override;
    bool confirmOverwrite(const QString& question) override;
    bool confirmDelete(const QString& question) override;
    void tellProblem(const QString& notice) override;

private:
    bool confirm(const QString& question);

    QPointer<QWidget> window_;
    const Bundle& bundle_;
};

} // namespace tessaly
