#include "LibraryChoice.hxx"

#include "Home.hxx"
#include "Tessaly.hxx"

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

LibraryChoice::LibraryChoice(QWidget* view, const Bundle& bundle, LumibayPref& pref)
    : pref_(pref), chooser_([title = QString::fromStdString(
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
            menu_->addItem(QString::fromUtf8(item.title),
                           QString::fromUtf8(bridge::sourceKindText(item.kind).data(),
                                             bridge::sourceKindText(item.kind).size()));
        }
    }
}

void LibraryChoice::showSetting() {
    const bool folder =
        bridge::sourceKindNamed(pref_.getLibrarySource()) == bridge::SourceKind::Folder;
    for (QWidget* control :
         {static_cast<QWidget*>(folderLabel_), static_cast<QWidget*>(folderView_),
          static_cast<QWidget*>(chooseButton_)}) {
        if (control) {
            control->setVisible(folder);
        }
    }
    if (folderView_) {
        folderView_->setPlaceholderText(
            QString::fromStdString(bridge::pictureFolder({}, homeDirectory())));
    }
}

void LibraryChoice::setChangeable(bool changeable) {
    for (QWidget* control : {static_cast<QWidget*>(menu_), static_cast<QWidget*>(chooseButton_)}) {
        if (control) {
            control->setEnabled(changeable);
        }
    }
}

bool LibraryChoice::folderChosen() const {
    return menu_ && bridge::sourceKindNamed(menu_->currentData().toString().toStdString()) ==
                        bridge::SourceKind::Folder;
}

std::optional<std::string> LibraryChoice::askForFolder() const {
    const std::optional<std::string> folder =
        chooser_(menu_ ? menu_->window() : nullptr,
                 bridge::pictureFolder(pref_.getLibraryFolder(), homeDirectory()));
    if (!folder || folder->empty()) {
        return std::nullopt;
    }
    return folder;
}

// --- the pane's actions for the choice
// ------------------------------------------------------------

// "A folder…" asks which folder before anything is stored, and a cancelled question leaves the
// choice as it was; the folder and the choice are then saved and announced as one change.
void Tessaly::doChangeLibrary(QObject* sender) {
    if (!binder_ || !libraryChoice_) {
        return;
    }
    if (libraryChoice_->folderChosen()) {
        const std::optional<std::string> folder = libraryChoice_->askForFolder();
        if (!folder) {
            binder_->updateWidget(Setting::LibrarySource);
            return;
        }
        pref_->setLibraryFolder(*folder);
        binder_->updateWidget(Setting::LibraryFolder);
    }
    doChangeSetting(sender);
    libraryChoice_->showSetting();
}

void Tessaly::doChooseLibraryFolder(QObject*) {
    if (!binder_ || !libraryChoice_ || !edits_) {
        return;
    }
    if (const std::optional<std::string> folder = libraryChoice_->askForFolder()) {
        reportSave(edits_->change(Setting::LibraryFolder, *folder));
        binder_->updateWidget(Setting::LibraryFolder);
    }
}

} // namespace tessaly
