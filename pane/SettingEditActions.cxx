// The pane's control actions: the binder reads the control and hands its value to SettingEdits,
// which stores it, saves the settings file and tells the helper; the window says when the file
// could not be written.
#include "Accessibility.hxx"
#include "Format.hxx"
#include "Tessaly.hxx"

#include <QDesktopServices>
#include <QUrl>

namespace tessaly {

void Tessaly::reportSave(bool saved) {
    if (!saveProblemLabel) {
        return;
    }
    if (saved) {
        saveProblemLabel->hide();
        return;
    }
    // A file unreadable from the start keeps the store empty; one that became unreadable since is
    // not overwritten either.
    const char* key = pref_->hasDictionary() ? "SettingsNotWritten" : "SettingsUnreadable";
    announceProblem(saveProblemLabel, QString::fromStdString(
                                          format(text(key).toStdString(), {pref_->getPrefPath()})));
}

void Tessaly::doChangeSetting(QObject* sender) {
    if (!binder_) {
        return;
    }
    if (const std::optional<bool> saved = binder_->updateSetting(sender)) {
        reportSave(*saved);
    }
}

// The actions the interface file names for the controls of the look and the interval. The binder
// knows each control's setting, so they differ only in name.
void Tessaly::doChangeImageSize(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeNumImageColums(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeMenuWidth(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeMenuFontSize(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeAlbumTitleFontSize(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeAlbumCommentFontSize(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangePictureTitleFontSize(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangePictureCommentFontSize(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangePictureSpaceing(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeColor(QObject* sender) { doChangeSetting(sender); }
void Tessaly::doChangeInterval(QObject* sender) { doChangeSetting(sender); }

void Tessaly::doOpenSite(QObject*) {
    if (!siteAddress().isEmpty()) {
        QDesktopServices::openUrl(siteAddress());
    }
}

} // namespace tessaly
