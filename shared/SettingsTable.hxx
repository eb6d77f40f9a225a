// Every setting declared once: its key, the type of its stored value, its default and what a
// getter does when the key is missing. The store, the settings window and the presets read this
// table, so a default lives in exactly one place.
#pragma once

#include "Constants.hxx"

#include <array>
#include <cstddef>

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
};
inline constexpr std::size_t kSettingCount = 22;

enum class SettingType { Boolean, Real, Integer, Text, Color, Date };

// What a getter does when its key is missing from the settings.
enum class FillKind {
    InMemory,   // stores the default through its own setter; the file is not written
    Written,    // stores the default and writes the whole file
    ColorWritten, // stores the default colour's text and writes the whole file
    Never,      // answers none; nothing is stored
};

struct SettingInfo {
    Setting id;
    const char* key;
    SettingType type;
    FillKind fill;
    double number;    // default of booleans, reals and integers
    const char* text; // default of texts and colours (six hex digits)
};

inline constexpr std::array<SettingInfo, kSettingCount> kSettings = {{
    {Setting::ActiveFlag, Active_Flag_Key, SettingType::Boolean, FillKind::InMemory, 0, nullptr},
    {Setting::CheckInterval, Check_Interval_Key, SettingType::Real, FillKind::InMemory, 1.0,
     nullptr},
    {Setting::SiteName, Site_Name_Key, SettingType::Text, FillKind::InMemory, 0,
     "iPhotoPictureSite"},
    {Setting::TopPageName, TopPage_Key, SettingType::Text, FillKind::InMemory, 0, "Tessaly.html"},
    {Setting::NumOfCol, Num_Of_Col_Key, SettingType::Integer, FillKind::InMemory, 4, nullptr},
    {Setting::ImageSpace, Picture_SPace_Key, SettingType::Integer, FillKind::Written, 10, nullptr},
    {Setting::ImageSize, Site_Image_Size, SettingType::Integer, FillKind::Written, 150, nullptr},
    {Setting::MenuWidth, MenuWidth_Key, SettingType::Integer, FillKind::Written, 120, nullptr},
    {Setting::MenuFontSize, MenuFontSize_Key, SettingType::Integer, FillKind::Written, -2,
     nullptr},
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
    {Setting::AlbumCommentColor, AlbumCommentColor_Key, SettingType::Color,
     FillKind::ColorWritten, 0, "C7C7C7"},
    {Setting::PictureBkgndColor, PictureBkgndColor_Key, SettingType::Color,
     FillKind::ColorWritten, 0, "161616"},
    {Setting::PictureTitleColor, PictureTitleColor_Key, SettingType::Color,
     FillKind::ColorWritten, 0, "A1B89E"},
    {Setting::PictureCommentColor, PictureCommentColor_Key, SettingType::Color,
     FillKind::ColorWritten, 0, "A3392C"},
    {Setting::LastUpdateDate, Last_Update_Date, SettingType::Date, FillKind::Never, 0, nullptr},
    {Setting::LastModifiedDate, Last_Modified_Date, SettingType::Date, FillKind::Never, 0,
     nullptr},
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
static_assert(static_cast<std::size_t>(Setting::LastModifiedDate) + 1 == kSettingCount);

constexpr const SettingInfo& settingInfo(Setting setting) {
    return kSettings[static_cast<std::size_t>(setting)];
}

} // namespace tessaly
