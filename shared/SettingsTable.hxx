// Every setting declared once: its key, the type of its stored value, its default, what a getter
// does when the key is missing and what it answers when the settings file cannot be read. The
// store's getters, named or walking the table, all follow these rows; the settings window and the
// presets read them too, so a default lives in exactly one place.
#pragma once

#include "Constants.hxx"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace tessaly {

enum class Setting : std::size_t {
    ActiveFlag,
    CheckInterval,
    SiteName,
    TopPageName,
    NumOfCol,
    ImageSpace,
    ImageSize,
    MenuWidth,
    MenuFontSize,
    AlbumTitleFontSize,
    AlbumCommentFontSize,
    PictureTitleFontSize,
    PictureCommentFontSize,
    MenuTextColor,
    MenuBkgndColor,
    AlbumTitleColor,
    AlbumCommentColor,
    PictureBkgndColor,
    PictureTitleColor,
    PictureCommentColor,
    LastUpdateDate,
    LastModifiedDate,
    PublishEvents,
    LibrarySource,
    LibraryFolder,
};
inline constexpr std::size_t kSettingCount = 25;

enum class SettingType { Boolean, Real, Integer, Text, Color, Date };

// What a getter does when its key is missing from the settings.
enum class FillKind {
    InMemory,     // stores the default through its own setter; the file is not written
    Written,      // stores the default and writes the whole file
    ColorWritten, // stores the default colour's text and writes the whole file
    Never,        // answers none; nothing is stored
};

// What a getter answers when the settings file exists but cannot be read (the store then has no
// dictionary). The background program relies on the zero of the active flag to stay off.
enum class UnreadableAnswer {
    Default, // the setting's default, as for a missing key
    Zero,    // NO, 0 or 0.0
    None,    // no value (texts, colours and dates only)
};

struct SettingInfo {
    Setting id;
    const char* key;
    SettingType type;
    FillKind fill;
    double number;    // default of booleans, reals and integers
    const char* text; // default of texts and colours (six hex digits)
    UnreadableAnswer unreadable = UnreadableAnswer::Default;
    // The setter marks the store changed (the store's DicChangedFlag).
    bool marksChange = false;
    // Integers below this are refused by the setter; the stored value stays.
    std::int32_t minimum = std::numeric_limits<std::int32_t>::min();
    // The getter answers the default even when another value is stored.
    bool answersDefaultOnly = false;
};

inline constexpr std::array<SettingInfo, kSettingCount> kSettings = {{
    {Setting::ActiveFlag, Active_Flag_Key, SettingType::Boolean, FillKind::InMemory, 0, nullptr,
     UnreadableAnswer::Zero, true},
    {Setting::CheckInterval, Check_Interval_Key, SettingType::Real, FillKind::InMemory, 1.0,
     nullptr, UnreadableAnswer::Zero, true},
    {Setting::SiteName, Site_Name_Key, SettingType::Text, FillKind::InMemory, 0,
     "iPhotoPictureSite", UnreadableAnswer::None, true},
    // The site's links depend on the top page's name, so a stored name is never used.
    {Setting::TopPageName, TopPage_Key, SettingType::Text, FillKind::InMemory, 0, "Tessaly.html",
     UnreadableAnswer::Default, true, std::numeric_limits<std::int32_t>::min(), true},
    // A table needs at least one column.
    {Setting::NumOfCol, Num_Of_Col_Key, SettingType::Integer, FillKind::InMemory, 4, nullptr,
     UnreadableAnswer::Zero, false, 1},
    {Setting::ImageSpace, Picture_SPace_Key, SettingType::Integer, FillKind::Written, 10, nullptr},
    {Setting::ImageSize, Site_Image_Size, SettingType::Integer, FillKind::Written, 150, nullptr},
    {Setting::MenuWidth, MenuWidth_Key, SettingType::Integer, FillKind::Written, 120, nullptr},
    {Setting::MenuFontSize, MenuFontSize_Key, SettingType::Integer, FillKind::Written, -2, nullptr},
    {Setting::AlbumTitleFontSize, AlbumTitleFontSize_Key, SettingType::Integer, FillKind::Written,
     2, nullptr},
    {Setting::AlbumCommentFontSize, AlbumCommentFontSize_Key, SettingType::Integer,
     FillKind::Written, 3, nullptr},
    {Setting::PictureTitleFontSize, PictureTitleFontSize_Key, SettingType::Integer,
     FillKind::Written, -1, nullptr},
    {Setting::PictureCommentFontSize, PictureCommentFontSize_Key, SettingType::Integer,
     FillKind::Written, -2, nullptr},
    {Setting::MenuTextColor, MenuStringColor_Key, SettingType::Color, FillKind::ColorWritten, 0,
     "DDDDDD"},
    {Setting::MenuBkgndColor, MenuBkgndColor_Key, SettingType::Color, FillKind::ColorWritten, 0,
     "333333"},
    {Setting::AlbumTitleColor, AlbumTitleColor_Key, SettingType::Color, FillKind::ColorWritten, 0,
     "B7B7B7"},
    {Setting::AlbumCommentColor, AlbumCommentColor_Key, SettingType::Color, FillKind::ColorWritten,
     0, "C7C7C7"},
    {Setting::PictureBkgndColor, PictureBkgndColor_Key, SettingType::Color, FillKind::ColorWritten,
     0, "161616"},
    {Setting::PictureTitleColor, PictureTitleColor_Key, SettingType::Color, FillKind::ColorWritten,
     0, "A1B89E"},
    {Setting::PictureCommentColor, PictureCommentColor_Key, SettingType::Color,
     FillKind::ColorWritten, 0, "D05F51"},
    {Setting::LastUpdateDate, Last_Update_Date, SettingType::Date, FillKind::Never, 0, nullptr,
     UnreadableAnswer::None},
    {Setting::LastModifiedDate, Last_Modified_Date, SettingType::Date, FillKind::Never, 0, nullptr,
     UnreadableAnswer::None},
    // The photo application's events get pages of their own, after the albums.
    {Setting::PublishEvents, Publish_Events_Key, SettingType::Boolean, FillKind::InMemory, 1,
     nullptr, UnreadableAnswer::Default, true},
    // Which library the site is made from: "iPhoto" (a library folder moved into ~/Sites), or one
    // the bridge keeps in ~/Sites from "Shotwell", "digiKam" or a "Folder" of pictures.
    {Setting::LibrarySource, Library_Source_Key, SettingType::Text, FillKind::InMemory, 0, "iPhoto",
     UnreadableAnswer::Default, true},
    // The folder a "Folder" library is made from; empty means ~/Pictures.
    {Setting::LibraryFolder, Library_Folder_Key, SettingType::Text, FillKind::InMemory, 0, "",
     UnreadableAnswer::Default, true},
}};

constexpr bool settingsTableIsInOrder() {
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        if (static_cast<std::size_t>(kSettings[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(settingsTableIsInOrder(), "kSettings rows must follow the order of Setting");

// Each row's answers must be ones its type's getter can give.
constexpr bool settingsTableIsConsistent() {
    for (const SettingInfo& row : kSettings) {
        const bool number = row.type == SettingType::Boolean || row.type == SettingType::Real ||
                            row.type == SettingType::Integer;
        const bool hasText = row.type == SettingType::Text || row.type == SettingType::Color;
        if ((row.unreadable == UnreadableAnswer::Zero && !number) ||
            (row.unreadable == UnreadableAnswer::None && number) || (hasText && !row.text) ||
            ((row.fill == FillKind::ColorWritten) != (row.type == SettingType::Color)) ||
            ((row.fill == FillKind::Never) != (row.type == SettingType::Date))) {
            return false;
        }
    }
    return true;
}
static_assert(settingsTableIsConsistent(), "a kSettings row answers what its type cannot");
static_assert(static_cast<std::size_t>(Setting::LibraryFolder) + 1 == kSettingCount);

constexpr const SettingInfo& settingInfo(Setting setting) {
    return kSettings[static_cast<std::size_t>(setting)];
}

} // namespace tessaly
