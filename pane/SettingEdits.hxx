// What an edit of the settings window does, without any widget: how a control's value becomes its
// setting's value, and the order store, save, post. The window reads a value from a control and
// hands it here (see SettingBinder).
#pragma once

#include "Color.hxx"
#include "LumibayPref.hxx"
#include "Notifier.hxx"
#include "SettingsTable.hxx"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tessaly {

// A setting's value as an edit carries it, one alternative per type of stored value. A colour
// well that shows no colour carries none.
using SettingValue = std::variant<bool, float, std::int32_t, std::string, std::optional<RgbColor>>;

// The colour wells carry their setting's tag in the interface file as well.
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

    // Stores the value, saves the settings file, then tells the helper: the picture size and the
    // interval with their new value, every other setting with the settings-change notification,
    // on which the helper reads the file again. A value of another type than its setting's is not
    // stored; a colour of none stores nothing; the file is saved and the post made all the same.
    //
    // Returns whether the edit reached the settings file. It does not when the file exists but
    // could not be read (the store then keeps nothing, and the file is never overwritten), or
    // when the write failed (a read-only folder, a full disk).
    bool change(Setting setting, const SettingValue& value);

    // The same edit from the value a control gives:
    // - the picture size from a numeric control, truncated toward zero;
    bool changeImageSize(float value);
    // - a popup's selected title (popupTitleValue);
    bool changePopupSetting(Setting setting, std::string_view title);
    // - a colour well known by its tag. A tag that no well has stores and saves nothing, and
    //   still announces a settings change.
    bool changeColor(int tag, std::optional<RgbColor> color);

private:
    void announce(Setting setting, const SettingValue& value);

    LumibayPref& pref_;
    Notifier& notifier_;
};

} // namespace tessaly
