// The pane's control actions: each reads its control and hands the value to SettingEdits, which
// stores it, saves the settings file and tells the helper.
#include "Accessibility.hxx"
#include "ColorWell.hxx"
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

void Tessaly::doChangeImageSize(QObject* sender) {
    if (auto* control = qobject_cast<QSpinBox*>(sender); control && edits_) {
        reportSave(edits_->changeImageSize(static_cast<float>(control->value())));
    }
}

void Tessaly::popupAction(Setting setting, QObject* sender) {
    if (auto* menu = qobject_cast<QComboBox*>(sender); menu && edits_) {
        reportSave(edits_->changePopupSetting(setting, menu->currentText().toStdString()));
    }
}

void Tessaly::doChangeNumImageColums(QObject* sender) { popupAction(Setting::NumOfCol, sender); }
void Tessaly::doChangeMenuWidth(QObject* sender) { popupAction(Setting::MenuWidth, sender); }
void Tessaly::doChangeMenuFontSize(QObject* sender) { popupAction(Setting::MenuFontSize, sender); }
void Tessaly::doChangeAlbumTitleFontSize(QObject* sender) {
    popupAction(Setting::AlbumTitleFontSize, sender);
}
void Tessaly::doChangeAlbumCommentFontSize(QObject* sender) {
    popupAction(Setting::AlbumCommentFontSize, sender);
}
void Tessaly::doChangePictureTitleFontSize(QObject* sender) {
    popupAction(Setting::PictureTitleFontSize, sender);
}
void Tessaly::doChangePictureCommentFontSize(QObject* sender) {
    popupAction(Setting::PictureCommentFontSize, sender);
}
void Tessaly::doChangePictureSpaceing(QObject* sender) { popupAction(Setting::ImageSpace, sender); }

void Tessaly::doChangeColor(QObject* sender) {
    if (!sender || !edits_) {
        return;
    }
    std::optional<RgbColor> color;
    if (auto* well = qobject_cast<ColorWell*>(sender); well && well->color().isValid()) {
        color = rgbColor(well->color());
    }
    reportSave(edits_->changeColor(tagOf(sender), color));
}

void Tessaly::doChangeInterval(QObject* sender) {
    auto* slider = qobject_cast<QSlider*>(sender);
    if (!slider || !edits_) {
        return;
    }
    const float position = static_cast<float>(slider->value());
    if (intervalLabel) {
        intervalLabel->setText(intervalText(intervalMinutes(position)));
    }
    reportSave(edits_->changeInterval(position));
}

void Tessaly::doOpenSite(QObject*) {
    if (!siteAddress().isEmpty()) {
        QDesktopServices::openUrl(siteAddress());
    }
}

} // namespace tessaly
