#include "ModalSheetController.hxx"

#include "InterfaceLoader.hxx"
#include "Log.hxx"
#include "SheetRunner.hxx"

namespace tessaly {

ModalSheetController::ModalSheetController(QWidget* targetWin) : targetWin_(targetWin) {}

ModalSheetController::~ModalSheetController() { delete ownedSheet_.data(); }

bool ModalSheetController::loadNibByName(const QString& name, const Bundle& bundle) {
    nibName_ = name;
    InterfaceLoader loader(QString::fromStdString(bundle.resourcePath()));
    QString error;
    QWidget* view = loader.load(name, this, targetWin_, &error);
    if (!view) {
        logLine(QStringLiteral("the sheet %1 cannot be shown: %2").arg(name, error).toStdString());
        sheetWindow = nullptr;
        return false;
    }
    if (sheetWindow != view) {
        logLine(QStringLiteral("the sheet %1 cannot be shown: its top object is no dialog named "
                               "sheetWindow")
                    .arg(name)
                    .toStdString());
        delete view;
        sheetWindow = nullptr;
        return false;
    }
    ownedSheet_ = sheetWindow;
    // Closing hides the sheet; it is deleted with its controller.
    sheetWindow->setAttribute(Qt::WA_DeleteOnClose, false);
    awakeFromNib();
    return true;
}

int ModalSheetController::runSheet() {
    if (!ownedSheet_) {
        return 0;
    }
    const int code = SheetRunner::current().run(*this);
    if (ownedSheet_) {
        ownedSheet_->hide();
    }
    return code;
}

int ModalSheetController::runModalSheet(const QString& name, const Bundle& bundle,
                                        QWidget* targetWin) {
    ModalSheetController sheet(targetWin);
    sheet.loadNibByName(name, bundle);
    return sheet.runSheet();
}

void ModalSheetController::doOkButton(QObject*) {
    if (ownedSheet_) {
        ownedSheet_->done(1);
    }
}

void ModalSheetController::doCancelButton(QObject*) {
    if (ownedSheet_) {
        ownedSheet_->done(0);
    }
}

} // namespace tessaly
