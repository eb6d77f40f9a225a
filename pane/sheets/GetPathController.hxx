// The sheet "GetPath": one text field in which the user types a name (OK, Cancel). The caller
// makes the controller, loads "GetPath", runs it and, when the answer is not 0, reads the name:
//
//     GetPathController sheet(window);
//     sheet.loadNibByName("GetPath", bundle);
//     if (sheet.runSheet() != 0) { use(sheet.getMessageString()); }
//
// The field is the outlet `messageView` (objectName "messageView"); its accessible name is
// "Preset name", the one use the window has for it, and setFieldAccessibleName changes it.
#pragma once

#include "ModalSheetController.hxx"

#include <QLineEdit>

namespace tessaly {

class GetPathController : public ModalSheetController {
    Q_OBJECT
    Q_PROPERTY(QLineEdit* messageView MEMBER messageView)

public:
    using ModalSheetController::ModalSheetController;

    // The text in the field exactly as typed, also when empty.
    QString getMessageString() const;
    void setFieldAccessibleName(const QString& name);

    QLineEdit* messageView = nullptr;
};

} // namespace tessaly
