#include "AboutLumibay.hxx"

#include "FinderScripts.hxx"

namespace tessaly {

void AboutLumibay::doMailToButton(QObject*) { NSAppleScriptExtention::sendMail(kSupportAddress); }

int AboutLumibay::runAboutSheet(const QString& name, const Bundle& bundle, QWidget* targetWin) {
    AboutLumibay sheet(targetWin);
    sheet.loadNibByName(name, bundle);
    return sheet.runSheet();
}

} // namespace tessaly
