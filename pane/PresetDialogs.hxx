// The two ways the settings window answers PresetQuestions.
#pragma once

#include "Bundle.hxx"
#include "PresetActions.hxx"

#include <QPointer>
#include <QWidget>

namespace tessaly {

// Window-modal standard dialogs on the settings window, with the sheets' texts and the button
// names "OK" and "Cancel": what the window asks with until its own sheets answer instead.
class DialogPresetQuestions : public PresetQuestions {
public:
    DialogPresetQuestions(QWidget* window, const Bundle& bundle)
        : window_(window), bundle_(bundle) {}

    std::optional<QString> askPresetName() override;
    bool confirmOverwrite(const QString& question) override;
    bool confirmDelete(const QString& question) override;
    void tellProblem(const QString& notice) override;

private:
    bool confirm(const QString& question);
    QString text(const char* key) const;

    QPointer<QWidget> window_;
    const Bundle& bundle_;
};

// The sheet-backed answers: the name from the "GetPath" sheet, both questions from the
// "MessageSheet2" sheet (a code of 0 is no), notices from a message sheet, each run on the pane's
// window. Its definitions live with the sheet controllers, which implement it; the window switches
// to it from DialogPresetQuestions once those are part of the build.
class SheetPresetQuestions : public PresetQuestions {
public:
    SheetPresetQuestions(QWidget* window, const Bundle& bundle);

    std::optional<QString> askPresetName() override;
    bool confirmOverwrite(const QString& question) override;
    bool confirmDelete(const QString& question) override;
    void tellProblem(const QString& notice) override;

private:
    QPointer<QWidget> window_;
    const Bundle& bundle_;
};

} // namespace tessaly
