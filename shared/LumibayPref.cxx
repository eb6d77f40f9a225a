#include "LumibayPref.hxx"

#include "Format.hxx"
#include "Home.hxx"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

namespace tessaly {

using NSColorExtention::colorWithHTMLString;
using NSColorExtention::HTMLColor;

namespace {

// Booleans, integers and reals all answer as numbers, as the file's writers mix them freely.
std::optional<double> numberValue(plist_t node) {
    if (!node) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? 1.0 : 0.0;
    }
    case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<double>(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> textValue(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string text = value ? value : "";
    std::free(value);
    return text;
}

// Converts the way a 32-bit integer reader does: truncation toward zero, clamped to the range.
std::int32_t toInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::trunc(std::clamp(value, low, high)));
}

} // namespace

LumibayPref::LumibayPref() : prefPath_(getPrefPath()) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(prefPath_, error))) {
        dic_ = readPlistDictionary(prefPath_);
    } else {
        dic_.reset(plist_new_dict());
    }
}

std::string LumibayPref::getPrefPath() const {
    return format("%@/Library/Preferences/Tessaly.plist", {homeDirectory()});
}

// The web folder is ~/Sites: Linux file systems tell case apart, so it is spelt as the folder is.
std::string LumibayPref::getStdExportPath() const {
    return format("%@/Sites/iPhotoPictureSite", {homeDirectory()});
}

std::string LumibayPref::getiPhotoLibPath() const {
    return format("%@/Sites/iPhoto Library/AlbumData.xml", {homeDirectory()});
}

plist_t LumibayPref::node(Setting setting) const {
    return dic_ ? plist_dict_get_item(dic_.get(), settingInfo(setting).key) : nullptr;
}

void LumibayPref::store(Setting setting, plist_t value) {
    if (!dic_) {
        plist_free(value);
        return;
    }
    plist_dict_set_item(dic_.get(), settingInfo(setting).key, value);
}

void LumibayPref::writeFile() {
    if (dic_) {
        writePlistDictionary(getPrefPath(), dic_.get());
    }
}

void LumibayPref::savePref() {
    if (dic_) {
        writePlistDictionary(prefPath_, dic_.get());
    }
}

// --- filled in memory -----------------------------------------------------------------------

bool LumibayPref::getActiveFlag() {
    if (!dic_) {
        return false;
    }
    if (!node(Setting::ActiveFlag)) {
        setActiveFlag(settingInfo(Setting::ActiveFlag).number != 0);
    }
    return numberValue(node(Setting::ActiveFlag)).value_or(0) != 0;
}

void LumibayPref::setActiveFlag(bool flag) {
    store(Setting::ActiveFlag, plist_new_bool(flag));
    DicChangedFlag_ = true;
}

float LumibayPref::getCheckInterval() {
    if (!dic_) {
        return 0.0f;
    }
    const double fallback = settingInfo(Setting::CheckInterval).number;
    if (!node(Setting::CheckInterval)) {
        setCheckInterval(static_cast<float>(fallback));
    }
    return static_cast<float>(numberValue(node(Setting::CheckInterval)).value_or(fallback));
}

void LumibayPref::setCheckInterval(float minutes) {
    store(Setting::CheckInterval, plist_new_real(minutes));
    DicChangedFlag_ = true;
}

std::optional<std::string> LumibayPref::getSiteName() {
    if (!dic_) {
        return std::nullopt;
    }
    const char* fallback = settingInfo(Setting::SiteName).text;
    if (!node(Setting::SiteName)) {
        setSiteName(fallback);
    }
    return textValue(node(Setting::SiteName)).value_or(fallback);
}

void LumibayPref::setSiteName(const std::string& name) {
    store(Setting::SiteName, plist_new_string(name.c_str()));
    DicChangedFlag_ = true;
}

std::string LumibayPref::getTopPageName() {
    const char* name = settingInfo(Setting::TopPageName).text;
    if (dic_ && !node(Setting::TopPageName)) {
        setTopPageName(name);
    }
    return name;
}

void LumibayPref::setTopPageName(const std::string& name) {
    store(Setting::TopPageName, plist_new_string(name.c_str()));
    DicChangedFlag_ = true;
}

std::int32_t LumibayPref::getNumOfCol() {
    if (!dic_) {
        return 0;
    }
    const double fallback = settingInfo(Setting::NumOfCol).number;
    if (!node(Setting::NumOfCol)) {
        setNumOfCol(toInt32(fallback));
    }
    return toInt32(numberValue(node(Setting::NumOfCol)).value_or(fallback));
}

void LumibayPref::setNumOfCol(std::int32_t columns) {
    if (columns <= 0) {
        return;
    }
    store(Setting::NumOfCol, plist_new_uint(static_cast<std::uint64_t>(columns)));
}

// --- integers, filled and written -------------------------------------------------------------

std::int32_t LumibayPref::integerSetting(Setting setting) {
    const std::int32_t fallback = toInt32(settingInfo(setting).number);
    if (!dic_) {
        return fallback;
    }
    plist_t value = node(setting);
    if (!value) {
        setIntegerSetting(setting, fallback);
        writeFile();
        return fallback;
    }
    return toInt32(numberValue(value).value_or(fallback));
}

void LumibayPref::setIntegerSetting(Setting setting, std::int32_t value) {
    if (setting == Setting::NumOfCol) {
        setNumOfCol(value);
        return;
    }
    store(setting, plist_new_uint(static_cast<std::uint64_t>(static_cast<std::int64_t>(value))));
}

std::int32_t LumibayPref::getImageSpace() { return integerSetting(Setting::ImageSpace); }
void LumibayPref::setImageSpace(std::int32_t v) { setIntegerSetting(Setting::ImageSpace, v); }
std::int32_t LumibayPref::getImageSize() { return integerSetting(Setting::ImageSize); }
void LumibayPref::setImageSize(std::int32_t v) { setIntegerSetting(Setting::ImageSize, v); }
std::int32_t LumibayPref::getMenuWidth() { return integerSetting(Setting::MenuWidth); }
void LumibayPref::setMenuWidth(std::int32_t v) { setIntegerSetting(Setting::MenuWidth, v); }
std::int32_t LumibayPref::getMenuFontSize() { return integerSetting(Setting::MenuFontSize); }
void LumibayPref::setMenuFontSize(std::int32_t v) { setIntegerSetting(Setting::MenuFontSize, v); }
std::int32_t LumibayPref::getAlbumTitleFontSize() {
    return integerSetting(Setting::AlbumTitleFontSize);
}
void LumibayPref::setAlbumTitleFontSize(std::int32_t v) {
    setIntegerSetting(Setting::AlbumTitleFontSize, v);
}
std::int32_t LumibayPref::getAlbumCommentFontSize() {
    return integerSetting(Setting::AlbumCommentFontSize);
}
void LumibayPref::setAlbumCommentFontSize(std::int32_t v) {
    setIntegerSetting(Setting::AlbumCommentFontSize, v);
}
std::int32_t LumibayPref::getPictureTitleFontSize() {
    return integerSetting(Setting::PictureTitleFontSize);
}
void LumibayPref::setPictureTitleFontSize(std::int32_t v) {
    setIntegerSetting(Setting::PictureTitleFontSize, v);
}
std::int32_t LumibayPref::getPictureCommentFontSize() {
    return integerSetting(Setting::PictureCommentFontSize);
}
void LumibayPref::setPictureCommentFontSize(std::int32_t v) {
    setIntegerSetting(Setting::PictureCommentFontSize, v);
}

// --- colours, filled and written --------------------------------------------------------------

std::optional<RgbColor> LumibayPref::colorSetting(Setting setting) {
    const std::optional<RgbColor> fallback = colorWithHTMLString(settingInfo(setting).text);
    if (!dic_) {
        return fallback;
    }
    plist_t value = node(setting);
    if (!value) {
        setColorSetting(setting, *fallback);
        writeFile();
        return fallback;
    }
    if (auto text = textValue(value)) {
        return colorWithHTMLString(*text);
    }
    return fallback;
}

void LumibayPref::setColorSetting(Setting setting, const RgbColor& color) {
    store(setting, plist_new_string(HTMLColor(color).c_str()));
}

#define TESSALY_COLOR_ACCESSORS(Name)                                                            \
    std::optional<RgbColor> LumibayPref::get##Name() { return colorSetting(Setting::Name); }     \
    void LumibayPref::set##Name(const RgbColor& color) { setColorSetting(Setting::Name, color); }
TESSALY_COLOR_ACCESSORS(MenuTextColor)
TESSALY_COLOR_ACCESSORS(MenuBkgndColor)
TESSALY_COLOR_ACCESSORS(AlbumTitleColor)
TESSALY_COLOR_ACCESSORS(AlbumCommentColor)
TESSALY_COLOR_ACCESSORS(PictureBkgndColor)
TESSALY_COLOR_ACCESSORS(PictureTitleColor)
TESSALY_COLOR_ACCESSORS(PictureCommentColor)
#undef TESSALY_COLOR_ACCESSORS

// --- dates --------------------------------------------------------------------------------------
// Stored as data holding the date's seconds since the Unix epoch as decimal text: nothing but
// this store ever reads them.

std::optional<LumibayPref::Date> LumibayPref::dateSetting(Setting setting) const {
    plist_t value = node(setting);
    if (!value || plist_get_node_type(value) != PLIST_DATA) {
        return std::nullopt;
    }
    char* bytes = nullptr;
    std::uint64_t length = 0;
    plist_get_data_val(value, &bytes, &length);
    std::string text(bytes ? bytes : "", bytes ? length : 0);
    std::free(bytes);
    char* end = nullptr;
    long long seconds = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size()) {
        return std::nullopt;
    }
    return Date(std::chrono::seconds(seconds));
}

void LumibayPref::setDateSetting(Setting setting, std::optional<Date> date) {
    if (!date) {
        return;
    }
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(date->time_since_epoch());
    std::string text = std::to_string(seconds.count());
    store(setting, plist_new_data(text.data(), text.size()));
    writeFile();
}

std::optional<LumibayPref::Date> LumibayPref::getLastUpdateDate() {
    return dateSetting(Setting::LastUpdateDate);
}
void LumibayPref::setLastUpdateDate(std::optional<Date> date) {
    setDateSetting(Setting::LastUpdateDate, date);
}
std::optional<LumibayPref::Date> LumibayPref::getLastModifiedDate() {
    return dateSetting(Setting::LastModifiedDate);
}
void LumibayPref::setLastModifiedDate(std::optional<Date> date) {
    setDateSetting(Setting::LastModifiedDate, date);
}

} // namespace tessaly
