#include "AboutLumibay.hxx"

#include "FinderScripts.hxx"

namespace tessaly {

void AboutLumibay::doMailToButton(QObject*) { NSAppleScriptExtention::sendMail(kSupportAddress); }

int AboutLumibay::runAboutSheet(const QString& name, const Bundle& bundle, QWidget* targetWin) {
    AboutLumibay sheet(targetWin);
    if (sheet.loadNibByName(name, bundle) && sheet.sheetWindow) {
        // The sheet opens on the button that closes it: the keyboard's first press neither
        // starts a mail nor lands on the text.
        if (auto* close = sheet.sheetWindow->findChild<QWidget*>(QStringLiteral("okButton"))) {
            close->setFocus(Qt::OtherFocusReason);
        }
    }
    return sheet.runSheet();
}

} // namespace tessaly
