// The window's "Library" choice: which library is published, the photo application's own or one
// that the bridge keeps in ~/Sites for Shotwell, digiKam or a folder of pictures, and that
// folder. The settings binder shows and stores both settings (rows "libraryMenu" and
// "libraryFolderView"); what is added here is the choice's items, the question for the folder, and
// the folder's row, shown only for a folder.
//
// It can be changed only while nothing is published: another library means another library in
// ~/Sites, which the start prepares (a move, or a first build with its progress), and a library
// swapped under a running helper would be either written over or rebuilt without a word.
#pragma once

#include "Bundle.hxx"
#include "LibrarySources.hxx"
#include "LumibayPref.hxx"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace tessaly {

// The choice's items, in order: the setting's text (the item's data) and the item's title.
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

class LibraryChoice {
public:
    // Asks for a folder, starting at `start`; none when the person cancels.
    using FolderChooser =
        std::function<std::optional<std::string>(QWidget* window, const std::string& start)>;

    // Finds its controls in `view` by name and gives the choice its items, before the binder
    // shows the setting in it.
    LibraryChoice(QWidget* view, const Bundle& bundle, LumibayPref& pref);

    // Shows the folder's row for a folder library, and where an empty folder setting reads from.
    void showSetting();
    void setChangeable(bool changeable);

    // Whether the choice now shows "A folder…".
    bool folderChosen() const;
    // Asks which folder, starting at the current one (window-modal by default).
    std::optional<std::string> askForFolder() const;
    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }

    QComboBox* menu() const { return menu_; }
    QPushButton* chooseButton() const { return chooseButton_; }
    QLineEdit* folderView() const { return folderView_; }

private:
    LumibayPref& pref_;
    FolderChooser chooser_;
    QComboBox* menu_ = nullptr;
    QLabel* folderLabel_ = nullptr;
    QLineEdit* folderView_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
};

} // namespace tessaly
