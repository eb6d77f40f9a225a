// The about sheet: what Tessaly is, a button that starts a mail to the makers and one that
// closes the sheet.
#pragma once

#include "ModalSheetController.hxx"

namespace tessaly {

// Where the about sheet's mail button writes to.
inline constexpr char kSupportAddress[] = "support@tessaly.org";

class AboutLumibay : public ModalSheetController {
    Q_OBJECT

public:
    using ModalSheetController::ModalSheetController;

    static int runAboutSheet(const QString& name, const Bundle& bundle, QWidget* targetWin);

public slots:
    // Opens a new message to the support address in the user's mail program; the sheet stays
    // open, so several mails can be started before it is closed.
    void doMailToButton(QObject* sender);
};

} // namespace tessaly
