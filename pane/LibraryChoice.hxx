// The window's "Library" choice: which library is published, the photo application's own or one
// that the bridge keeps in ~/Sites for Shotwell, digiKam or a folder of pictures, and that
// folder. Saved and announced as every other setting is.
//
// It can be changed only while nothing is published: another library means another library in
// ~/Sites, which the start prepares (a move, or a first build with its progress), and a library
// swapped under a running helper would be either written over or rebuilt without a word.
#pragma once

#include "Bundle.hxx"
#include "LibrarySources.hxx"
#include "LumibayPref.hxx"
#include "Notifier.hxx"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The choice's items, in order: the setting's text and what the window shows for it.
struct LibraryChoiceItem {
    bridge::SourceKind kind;
    const char* title;
};
inline constexpr std::array<LibraryChoiceItem, 4> kLibraryChoiceItems = {{
    {bridge::SourceKind::iPhoto, "iPhoto library"},
    {bridge::SourceKind::Shotwell, "Shotwell"},
    {bridge::SourceKind::Digikam, "digiKam"},
    {bridge::SourceKind::Folder, "A folder…"},
}};
static_assert(kLibraryChoiceItems.size() == bridge::kSourceNames.size());

class LibraryChoice : public QObject {
    Q_OBJECT

public:
    // Asks for a folder, starting at `start`; none when the person cancels.
    using FolderChooser =
        std::function<std::optional<std::string>(QWidget* window, const std::string& start)>;

    // The controls are found in `view` by name; without them there is nothing to show.
    LibraryChoice(QWidget* view, const Bundle& bundle, LumibayPref& pref, Notifier& notifier,
                  std::function<void(bool saved)> reportSave);

    // Shows the settings' library and folder.
    void showSetting();
    void setChangeable(bool changeable);
    // By default a window-modal folder dialog.
    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }

    QComboBox* menu() const { return menu_; }
    QPushButton* chooseButton() const { return chooseButton_; }
    QLineEdit* folderView() const { return folderView_; }

private:
    void itemChosen(int index);
    void chooseFolder();
    // Asks for the folder; true when one was chosen and stored.
    bool askForFolder();
    void save();

    LumibayPref& pref_;
    Notifier& notifier_;
    std::function<void(bool)> reportSave_;
    FolderChooser chooser_;
    QComboBox* menu_ = nullptr;
    QLabel* folderLabel_ = nullptr;
    QLineEdit* folderView_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
};

} // namespace tessaly
