#include "LibraryChoice.hxx"

#include "Accessibility.hxx"
#include "Constants.hxx"
#include "Home.hxx"

#include <QFileDialog>
#include <QSignalBlocker>

namespace tessaly {

namespace {

std::optional<std::string> folderDialog(QWidget* window, const QString& title,
                                        const std::string& start) {
    QFileDialog dialog(window, title, QString::fromStdString(start));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

} // namespace

LibraryChoice::LibraryChoice(QWidget* view, const Bundle& bundle, LumibayPref& pref,
                             Notifier& notifier, std::function<void(bool saved)> reportSave)
    : pref_(pref), notifier_(notifier), reportSave_(std::move(reportSave)),
      chooser_([title = QString::fromStdString(
                    bundle.localizedString("ChooseLibraryFolderTitle", "InfoPlist"))](
                   QWidget* window, const std::string& start) {
          return folderDialog(window, title, start);
      }) {
    if (!view) {
        return;
    }
    menu_ = view->findChild<QComboBox*>(QStringLiteral("libraryMenu"));
    folderLabel_ = view->findChild<QLabel*>(QStringLiteral("libraryFolderLabel"));
    folderView_ = view->findChild<QLineEdit*>(QStringLiteral("libraryFolderView"));
    chooseButton_ = view->findChild<QPushButton*>(QStringLiteral("chooseLibraryFolderButton"));
    if (menu_) {
        const QSignalBlocker quiet(menu_);
        menu_->clear();
        for (const LibraryChoiceItem& item : kLibraryChoiceItems) {
            menu_->addItem(QString::fromUtf8(item.title));
        }
        keepPopupListInStep(menu_);
        connect(menu_, &QComboBox::activated, this, &LibraryChoice::itemChosen);
    }
    if (chooseButton_) {
        connect(chooseButton_, &QPushButton::clicked, this, &LibraryChoice::chooseFolder);
    }
}

void LibraryChoice::showSetting() {
    const std::optional<bridge::SourceKind> kind =
        bridge::sourceKindNamed(pref_.getLibrarySource());
    if (menu_) {
        // A text the window does not know selects nothing rather than a different library.
        int index = -1;
        for (std::size_t i = 0; i < kLibraryChoiceItems.size(); ++i) {
            if (kind == kLibraryChoiceItems[i].kind) {
                index = static_cast<int>(i);
            }
        }
        const QSignalBlocker quiet(menu_);
        menu_->setCurrentIndex(index);
    }
    const bool folder = kind == bridge::SourceKind::Folder;
    for (QWidget* control :
         {static_cast<QWidget*>(folderLabel_), static_cast<QWidget*>(folderView_),
          static_cast<QWidget*>(chooseButton_)}) {
        if (control) {
            control->setVisible(folder);
        }
    }
    if (folderView_) {
        folderView_->setText(QString::fromStdString(
            bridge::pictureFolder(pref_.getLibraryFolder(), homeDirectory())));
    }
}

void LibraryChoice::setChangeable(bool changeable) {
    for (QWidget* control : {static_cast<QWidget*>(menu_), static_cast<QWidget*>(chooseButton_)}) {
        if (control) {
            control->setEnabled(changeable);
        }
    }
}

void LibraryChoice::itemChosen(int index) {
    if (index < 0 || index >= static_cast<int>(kLibraryChoiceItems.size())) {
        return;
    }
    const bridge::SourceKind kind = kLibraryChoiceItems[static_cast<std::size_t>(index)].kind;
    // "A folder…" asks which folder before anything is stored; a cancelled question leaves the
    // choice as it was.
    if (kind == bridge::SourceKind::Folder && !askForFolder()) {
        showSetting();
        return;
    }
    pref_.setLibrarySource(std::string(bridge::sourceKindText(kind)));
    save();
}

void LibraryChoice::chooseFolder() {
    if (askForFolder()) {
        save();
    }
}

bool LibraryChoice::askForFolder() {
    const std::string start = bridge::pictureFolder(pref_.getLibraryFolder(), homeDirectory());
    const std::optional<std::string> folder = chooser_(menu_ ? menu_->window() : nullptr, start);
    if (!folder || folder->empty()) {
        return false;
    }
    pref_.setLibraryFolder(*folder);
    return true;
}

// As every other edit: stored, saved, then announced.
void LibraryChoice::save() {
    const bool saved = pref_.savePref();
    notifier_.post(TSY_SiteParamChange_Notification);
    showSetting();
    if (reportSave_) {
        reportSave_(saved);
    }
}

} // namespace tessaly
