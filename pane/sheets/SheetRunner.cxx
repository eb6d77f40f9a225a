#include "SheetRunner.hxx"

#include "ModalSheetController.hxx"

#include <QDialog>

namespace tessaly {

namespace {
SheetRunner* installed = nullptr;
} // namespace

SheetRunner& SheetRunner::current() {
    static DialogSheetRunner real;
    return installed ? *installed : real;
}

void SheetRunner::setCurrent(SheetRunner* runner) { installed = runner; }

int DialogSheetRunner::run(ModalSheetController& sheet) {
    QDialog* dialog = sheet.sheetWindow;
    dialog->setWindowModality(sheet.targetWin() ? Qt::WindowModal : Qt::ApplicationModal);
    return dialog->exec();
}

} // namespace tessaly
