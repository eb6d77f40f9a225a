// The settings window's controls bound to the settings, once. One table names the control of each
// setting the window shows; one binder finds those controls in the window's view, shows the
// stored values in them (updateWidgets) and hands the value of a control the user changed to its
// setting's edit (updateSetting). It reads and writes a control through its USER property (a spin
// box's value, a check box's state, a colour well's colour), as KDE's KConfigDialogManager does.
//
// To show a new setting in the window, give its control an objectName in the interface file and
// add one row to kSettingControls: the binder forwards the control's changes itself.
#pragma once

#include "LumibayPref.hxx"
#include "SettingEdits.hxx"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace tessaly {

struct SettingControl {
    Setting setting;
    const char* objectName;
};

// In the order the window fills them. The interval comes first: its getter records its default
// in the store when the file has none, to be written with the next save. The spacing popup comes
// after the colour wells, as it always has. The interval is shown twice: the slider stops at its
// nearest position, the label says the minutes.
inline constexpr auto kSettingControls = std::to_array<SettingControl>({
    {Setting::CheckInterval, "intervalSlider"},
    {Setting::CheckInterval, "intervalLabel"},
    {Setting::SiteName, "siteFolderNameView"},
    {Setting::TopPageName, "siteTopPageNameView"},
    {Setting::LibrarySource, "libraryMenu"},
    {Setting::LibraryFolder, "libraryFolderView"},
    {Setting::ImageSize, "imageSizeControlView"},
    {Setting::NumOfCol, "numColomsMenu"},
    {Setting::MenuWidth, "menwWidthMenu"},
    {Setting::MenuFontSize, "menuFontSizeMenu"},
    {Setting::AlbumTitleFontSize, "albumTitleFontSizeMenu"},
    {Setting::AlbumCommentFontSize, "albumCommentFontSizeMenu"},
    {Setting::PictureTitleFontSize, "pictureTitleFontSizeMenu"},
    {Setting::PictureCommentFontSize, "pictureCommentFontSizeMenu"},
    {Setting::MenuTextColor, "menuTextColorWell"},
    {Setting::MenuBkgndColor, "menuBkgndColorWell"},
    {Setting::AlbumTitleColor, "albumTitleColorWell"},
    {Setting::AlbumCommentColor, "albumCommentColorWell"},
    {Setting::PictureBkgndColor, "pictureBkgndColorWell"},
    {Setting::PictureTitleColor, "pictureTitleColorWell"},
    {Setting::PictureCommentColor, "pictureCommentColorWell"},
    {Setting::ImageSpace, "imageSpaceingMenu"},
    {Setting::PublishEvents, "publishEventsCheckBox"},
});

// The name of the (first) control that shows a setting; null when none does.
constexpr const char* settingControlName(Setting setting) {
    for (const SettingControl& row : kSettingControls) {
        if (row.setting == setting) {
            return row.objectName;
        }
    }
    return nullptr;
}

// The eight popups, each with its control's name from the table above.
struct PopupSetting {
    const char* outlet;
    Setting setting;
};
namespace detail {
template <std::size_t N>
constexpr std::array<PopupSetting, N> popupsOf(const std::array<Setting, N>& settings) {
    std::array<PopupSetting, N> popups{};
    for (std::size_t i = 0; i < N; ++i) {
        popups[i] = {settingControlName(settings[i]), settings[i]};
    }
    return popups;
}
} // namespace detail
inline constexpr std::array<PopupSetting, 8> kPopupSettings = detail::popupsOf(std::to_array({
    Setting::NumOfCol,
    Setting::MenuWidth,
    Setting::MenuFontSize,
    Setting::AlbumTitleFontSize,
    Setting::AlbumCommentFontSize,
    Setting::PictureTitleFontSize,
    Setting::PictureCommentFontSize,
    Setting::ImageSpace,
}));
constexpr bool everyPopupHasAControl() {
    for (const PopupSetting& row : kPopupSettings) {
        if (!row.outlet) {
            return false;
        }
    }
    return true;
}
static_assert(everyPopupHasAControl(), "a popup's setting has no row in kSettingControls");

class SettingBinder {
public:
    // Finds the control of every row among `view` and its descendants. A row whose control is
    // missing, or cannot show its setting, is logged and left unbound; it never stops the window.
    SettingBinder(QWidget* view, LumibayPref& pref, SettingEdits& edits,
                  std::span<const SettingControl> table = kSettingControls);

    // Shows each setting's stored value in its controls, in the table's order. A settings file
    // that cannot be read leaves the store answering 0 or none for some settings: every control
    // then shows its setting's default, as for a missing file.
    void updateWidgets();
    // The same for the controls of one setting.
    void updateWidget(Setting setting);
    // Reads the control the user changed, shows its value in the setting's other controls, and
    // hands it to the setting's edit (stored, saved, announced). Whether the edit reached the
    // settings file; none, and nothing done, for a control that shows no setting.
    std::optional<bool> updateSetting(QObject* control);
    // Sends the user's changes of every bound control that names no action of its own (the
    // interface file's `action` property) to `changed`, so that such a control needs nothing but
    // its row. The controls that name an action reach updateSetting through it.
    void forwardUserChanges(QObject* context, const std::function<void(QObject* control)>& changed);

    // The control that shows a setting (the first, when several do); null when none is bound.
    QWidget* widget(Setting setting) const;
    // What the binding could not resolve, one line each, as logged.
    const QStringList& problems() const { return problems_; }

private:
    struct Bound {
        Setting setting;
        QPointer<QWidget> control;
    };
    SettingValue shownValue(Setting setting) const;

    LumibayPref& pref_;
    SettingEdits& edits_;
    std::vector<Bound> bound_;
    QStringList problems_;
};

// How the interval label reads for a number of minutes.
QString intervalText(float minutes);

} // namespace tessaly
