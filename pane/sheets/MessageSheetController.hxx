// A sheet that shows one message, given by the caller exactly as it is to be read: "MessageSheet2"
// asks a question (OK, Cancel), "Notice" tells something (OK).
#pragma once

#include "ModalSheetController.hxx"

#include <QLabel>

namespace tessaly {

class MessageSheetController : public ModalSheetController {
    Q_OBJECT
    Q_PROPERTY(QLabel* messageView MEMBER messageView)

public:
    using ModalSheetController::ModalSheetController;

    void setMessage(const QString& text);
    QString message() const;

    static int runMessageSheet(const QString& name, const Bundle& bundle, QWidget* targetWin,
                               const QString& message);

    QLabel* messageView = nullptr;

protected:
    void awakeFromNib() override;
};

} // namespace tessaly
