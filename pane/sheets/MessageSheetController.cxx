#include "MessageSheetController.hxx"

namespace tessaly {

void MessageSheetController::awakeFromNib() {
    // The caller's text is shown as it stands, never read as markup.
    if (messageView) {
        messageView->setTextFormat(Qt::PlainText);
    }
}

void MessageSheetController::setMessage(const QString& text) {
    if (messageView) {
        messageView->setText(text);
    }
}

QString MessageSheetController::message() const {
    return messageView ? messageView->text() : QString();
}

int MessageSheetController::runMessageSheet(const QString& name, const Bundle& bundle,
                                            QWidget* targetWin, const QString& message) {
    MessageSheetController sheet(targetWin);
    sheet.loadNibByName(name, bundle);
    sheet.setMessage(message);
    return sheet.runSheet();
}

} // namespace tessaly
