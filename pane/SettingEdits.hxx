// What each control of the settings window changes, without any widget: which setting, how the
// control's value is converted, and the order store, save, post. The window reads a value from a
// control and hands it here.
#pragma once

#include "Color.hxx"
#include "LumibayPref.hxx"
#include "Notifier.hxx"
#include "SettingsTable.hxx"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaly {

// The eight popups: outlet, the action it sends and the setting it shows, in the order the pane
// fills them (the spacing popup is filled last, after the colour wells).
struct PopupSetting {
    const char* outlet;
    const char* action;
    Setting setting;
};
inline constexpr std::array<PopupSetting, 8> kPopupSettings = {{
    {"numColomsMenu", "doChangeNumImageColums", Setting::NumOfCol},
    {"menwWidthMenu", "doChangeMenuWidth", Setting::MenuWidth},
    {"menuFontSizeMenu", "doChangeMenuFontSize", Setting::MenuFontSize},
    {"albumTitleFontSizeMenu", "doChangeAlbumTitleFontSize", Setting::AlbumTitleFontSize},
    {"albumCommentFontSizeMenu", "doChangeAlbumCommentFontSize", Setting::AlbumCommentFontSize},
    {"pictureTitleFontSizeMenu", "doChangePictureTitleFontSize", Setting::PictureTitleFontSize},
    {"pictureCommentFontSizeMenu", "doChangePictureCommentFontSize",
     Setting::PictureCommentFontSize},
    {"imageSpaceingMenu", "doChangePictureSpaceing", Setting::ImageSpace},
}};

// The colour wells are found by their tag inside the tab view.
struct ColorWellSetting {
    int tag;
    Setting setting;
};
inline constexpr std::array<ColorWellSetting, 7> kColorWells = {{
    {10, Setting::MenuTextColor},
    {11, Setting::MenuBkgndColor},
    {12, Setting::AlbumTitleColor},
    {13, Setting::AlbumCommentColor},
    {14, Setting::PictureBkgndColor},
    {15, Setting::PictureTitleColor},
    {16, Setting::PictureCommentColor},
}};
std::optional<Setting> colorSettingForTag(int tag);

// The start/stop button's tag in the main view.
inline constexpr int kActionButtonTag = 4;

// A popup title read as a decimal integer: leading white space skipped, an optional sign, the
// digits up to the first other character; no leading number gives 0. Titles are plain numbers,
// so this only matters for a hand-edited interface file.
std::int32_t popupTitleValue(std::string_view title);

// The check-interval control's stops 0 to 12 give 1-5, 10-30 by 5 and 40-60 by 10 minutes. The
// segment's formula applies to the position itself, so fractional positions give fractional
// minutes; positions outside 0 to 12 are taken as minutes.
inline constexpr int kIntervalStops = 13;
float intervalMinutes(float position);
// The stop whose minutes are nearest to a stored interval (the lower stop on a tie).
int intervalStopNearest(float minutes);

class SettingEdits {
public:
    SettingEdits(LumibayPref& pref, Notifier& notifier) : pref_(pref), notifier_(notifier) {}

    // Each returns whether the edit reached the settings file. It does not when the file exists
    // but could not be read (the store then keeps nothing, and the file is never overwritten),
    // or when the write failed (a read-only folder, a full disk).
    bool changeImageSize(float value);
    bool changePopupSetting(Setting setting, std::string_view title);
    bool changeColor(int tag, std::optional<RgbColor> color);
    bool changeInterval(float position);

private:
    bool save();

    LumibayPref& pref_;
    Notifier& notifier_;
};

} // namespace tessaly
