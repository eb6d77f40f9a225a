#include "LumibayPref.hxx"

#include "Format.hxx"
#include "Home.hxx"
#include "Numbers.hxx"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <sys/stat.h>

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

} // namespace

LumibayPref::LumibayPref(FileWrites writes) : prefPath_(getPrefPath()), writes_(writes) {
    // No file, or a link to a file that is not there yet, counts as none: the first write
    // creates it.
    // Anything else that stops us from looking (a link loop, a folder we may not enter) may
    // hide the user's settings, so it counts as unreadable and is never written over.
    struct stat info {};
    if (::stat(prefPath_.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
        dic_.reset(plist_new_dict());
    } else {
        dic_ = readPlistDictionary(prefPath_);
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

// A file past the reader's limit would be refused at the next start, and with it every setting
// it holds: such a dictionary is not written at all. The XML form is several times larger than
// what a deeply nested file read in, because its indentation grows with the nesting.
bool LumibayPref::writeTo(const std::string& path) {
    if (!dic_ || writes_ == FileWrites::Never) {
        return false;
    }
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(dic_.get(), &xml, &length);
    const bool fits = xml && length <= kMaxPlistBytes;
    plist_to_xml_free(xml);
    if (!fits) {
        errno = EFBIG;
        return false;
    }
    return writePlistDictionary(path, dic_.get());
}

bool LumibayPref::writeFile() { return writeTo(getPrefPath()); }

bool LumibayPref::savePref() { return writeTo(prefPath_); }

template <typename SetDefault>
void LumibayPref::fillIfMissing(Setting setting, SetDefault setDefault) {
    if (!dic_ || node(setting)) {
        return;
    }
    switch (settingInfo(setting).fill) {
    case FillKind::InMemory:
        setDefault();
        break;
    case FillKind::Written:
    case FillKind::ColorWritten:
        setDefault();
        writeFile();
        break;
    case FillKind::Never:
        break;
    }
}

// --- table-driven getters and setters, one pair per type ---------------------------------------
// Each getter: the row's answer for an unreadable file; else the missing key filled by the row's
// rule, then the stored value converted, or the default when it has another type.

bool LumibayPref::booleanSetting(Setting setting) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Boolean) {
        return false;
    }
    const bool fallback = row.number != 0;
    if (!dic_) {
        return row.unreadable == UnreadableAnswer::Zero ? false : fallback;
    }
    fillIfMissing(setting, [&] { setBooleanSetting(setting, fallback); });
    return row.answersDefaultOnly ? fallback : numberValue(node(setting)).value_or(fallback) != 0;
}

void LumibayPref::setBooleanSetting(Setting setting, bool value) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Boolean) {
        return;
    }
    store(setting, plist_new_bool(value));
    DicChangedFlag_ = DicChangedFlag_ || row.marksChange;
}

float LumibayPref::realSetting(Setting setting) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Real) {
        return 0.0f;
    }
    const float fallback = static_cast<float>(row.number);
    if (!dic_) {
        return row.unreadable == UnreadableAnswer::Zero ? 0.0f : fallback;
    }
    fillIfMissing(setting, [&] { setRealSetting(setting, fallback); });
    return row.answersDefaultOnly
               ? fallback
               : static_cast<float>(numberValue(node(setting)).value_or(fallback));
}

void LumibayPref::setRealSetting(Setting setting, float value) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Real) {
        return;
    }
    store(setting, plist_new_real(value));
    DicChangedFlag_ = DicChangedFlag_ || row.marksChange;
}

std::optional<std::string> LumibayPref::textSetting(Setting setting) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Text) {
        return std::nullopt;
    }
    const std::string fallback = row.text;
    if (!dic_) {
        return row.unreadable == UnreadableAnswer::None ? std::nullopt
                                                        : std::optional<std::string>(fallback);
    }
    fillIfMissing(setting, [&] { setTextSetting(setting, fallback); });
    return row.answersDefaultOnly ? fallback : textValue(node(setting)).value_or(fallback);
}

void LumibayPref::setTextSetting(Setting setting, const std::string& text) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Text) {
        return;
    }
    store(setting, plist_new_string(text.c_str()));
    DicChangedFlag_ = DicChangedFlag_ || row.marksChange;
}

std::int32_t LumibayPref::integerSetting(Setting setting) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Integer) {
        return 0;
    }
    const std::int32_t fallback = clampToInt32(row.number);
    if (!dic_) {
        return row.unreadable == UnreadableAnswer::Zero ? 0 : fallback;
    }
    fillIfMissing(setting, [&] { setIntegerSetting(setting, fallback); });
    return row.answersDefaultOnly ? fallback
                                  : clampToInt32(numberValue(node(setting)).value_or(fallback));
}

void LumibayPref::setIntegerSetting(Setting setting, std::int32_t value) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Integer || value < row.minimum) {
        return;
    }
    store(setting, plist_new_uint(static_cast<std::uint64_t>(static_cast<std::int64_t>(value))));
    DicChangedFlag_ = DicChangedFlag_ || row.marksChange;
}

std::optional<RgbColor> LumibayPref::colorSetting(Setting setting) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Color) {
        return std::nullopt;
    }
    const std::optional<RgbColor> fallback = colorWithHTMLString(row.text);
    if (!dic_) {
        return row.unreadable == UnreadableAnswer::None ? std::nullopt : fallback;
    }
    fillIfMissing(setting, [&] {
        if (fallback) {
            setColorSetting(setting, *fallback);
        }
    });
    if (row.answersDefaultOnly) {
        return fallback;
    }
    if (auto text = textValue(node(setting))) {
        return colorWithHTMLString(*text);
    }
    return fallback;
}

void LumibayPref::setColorSetting(Setting setting, const RgbColor& color) {
    const SettingInfo& row = settingInfo(setting);
    if (row.type != SettingType::Color) {
        return;
    }
    store(setting, plist_new_string(HTMLColor(color).c_str()));
    DicChangedFlag_ = DicChangedFlag_ || row.marksChange;
}

// --- named accessors
// ------------------------------------------------------------------------------

bool LumibayPref::getPublishEvents() { return booleanSetting(Setting::PublishEvents); }
void LumibayPref::setPublishEvents(bool publish) {
    setBooleanSetting(Setting::PublishEvents, publish);
}
std::string LumibayPref::getLibrarySource() {
    return textSetting(Setting::LibrarySource).value_or(settingInfo(Setting::LibrarySource).text);
}
void LumibayPref::setLibrarySource(const std::string& source) {
    setTextSetting(Setting::LibrarySource, source);
}
std::string LumibayPref::getLibraryFolder() {
    return textSetting(Setting::LibraryFolder).value_or(settingInfo(Setting::LibraryFolder).text);
}
void LumibayPref::setLibraryFolder(const std::string& folder) {
    setTextSetting(Setting::LibraryFolder, folder);
}
bool LumibayPref::getActiveFlag() { return booleanSetting(Setting::ActiveFlag); }
void LumibayPref::setActiveFlag(bool flag) { setBooleanSetting(Setting::ActiveFlag, flag); }
float LumibayPref::getCheckInterval() { return realSetting(Setting::CheckInterval); }
void LumibayPref::setCheckInterval(float minutes) {
    setRealSetting(Setting::CheckInterval, minutes);
}
std::optional<std::string> LumibayPref::getSiteName() { return textSetting(Setting::SiteName); }
void LumibayPref::setSiteName(const std::string& name) { setTextSetting(Setting::SiteName, name); }
std::string LumibayPref::getTopPageName() {
    return textSetting(Setting::TopPageName).value_or(settingInfo(Setting::TopPageName).text);
}
void LumibayPref::setTopPageName(const std::string& name) {
    setTextSetting(Setting::TopPageName, name);
}
std::int32_t LumibayPref::getNumOfCol() { return integerSetting(Setting::NumOfCol); }
void LumibayPref::setNumOfCol(std::int32_t columns) {
    setIntegerSetting(Setting::NumOfCol, columns);
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

#define TESSALY_COLOR_ACCESSORS(Name)                                                              \
    std::optional<RgbColor> LumibayPref::get##Name() { return colorSetting(Setting::Name); }       \
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
    long long seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
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
