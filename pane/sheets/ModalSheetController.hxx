// A sheet: a small modal window on the settings window that asks a short question or shows a
// notice, and answers 1 for OK and 0 for Cancel. The controller loads the sheet's interface file
// by name from the pane's bundle with itself as the file's owner (outlet `sheetWindow`, the
// file's QDialog; buttons on `doOkButton` and `doCancelButton`), runs it once and keeps the sheet
// window until it is destroyed itself, so that results stay readable after the run.
//
// A sheet that cannot be loaded logs one line and answers 0: callers read 0 as "not confirmed",
// so nothing goes ahead that the user did not agree to.
#pragma once

#include "Bundle.hxx"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace tessaly {

class ModalSheetController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QDialog* sheetWindow MEMBER sheetWindow)

public:
    // initWithTargetWindow: the window the sheet attaches to, not owned; null makes the sheet
    // application-modal.
    explicit ModalSheetController(QWidget* targetWin);
    ~ModalSheetController() override;

    // Loads Resources/<name>.ui of the bundle with this controller as its owner.
    bool loadNibByName(const QString& name, const Bundle& bundle);
    // Shows the sheet through the current SheetRunner; the sheet is closed when this answers.
    int runSheet();

    // A plain sheet: load, run, answer. The notices and the question before the library moves.
    static int runModalSheet(const QString& name, const Bundle& bundle, QWidget* targetWin);

    QWidget* targetWin() const { return targetWin_; }
    // The interface file's name, from the load on.
    const QString& nibName() const { return nibName_; }

    // Outlet; owned by the controller once loaded.
    QDialog* sheetWindow = nullptr;

public slots:
    void doOkButton(QObject* sender);
    void doCancelButton(QObject* sender);

protected:
    // Called after a successful load, for the subclasses to prepare their outlets.
    virtual void awakeFromNib() {}

private:
    QPointer<QWidget> targetWin_;
    // The window outlives nothing it does not own: a target window closed first takes its child
    // sheet with it, and the guard notices.
    QPointer<QDialog> ownedSheet_;
    QString nibName_;
};

} // namespace tessaly
