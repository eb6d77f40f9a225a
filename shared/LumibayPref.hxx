// The settings store: typed getters and setters over the dictionary of the settings file
// ~/Library/Preferences/Tessaly.plist, each getter with the default from the settings table.
//
// Keys are filled lazily: a fresh store writes nothing until a getter that writes meets a missing
// key, or a caller saves. A file that exists but cannot be read leaves the store without a
// dictionary: nothing is stored or written for its whole life, and the getters answer as
// documented below. A value of the wrong type answers the default and is left as it is.
//
// Not thread-safe: one thread uses a store at a time.
#pragma once

#include "Color.hxx"
#include "PlistFile.hxx"
#include "SettingsTable.hxx"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

class LumibayPref {
public:
    using Date = std::chrono::system_clock::time_point;

    // Whether the store may ever write the settings file. The helper's stores never do: the
    // window is the file's one writer, so a value it saved cannot be lost to an older copy that
    // the helper wrote back. Such a store fills missing keys in memory only.
    enum class FileWrites { Allowed, Never };

    // Reads the settings file.
    explicit LumibayPref(FileWrites writes = FileWrites::Allowed);
    LumibayPref(const LumibayPref&) = delete;
    LumibayPref& operator=(const LumibayPref&) = delete;

    std::string getPrefPath() const;
    std::string getStdExportPath() const;
    std::string getiPhotoLibPath() const;

    // False when the settings file exists but could not be read.
    bool hasDictionary() const { return dic_ != nullptr; }
    // Writes the whole dictionary. False when nothing reached the file: no dictionary, a store
    // that never writes, a dictionary too large to be read back, or a failed write (errno then
    // tells why). The values stay in memory either way.
    bool savePref();

    // Filled in memory when missing; an unreadable file gives NO, 0, 0 and none.
    bool getActiveFlag();
    void setActiveFlag(bool flag);
    float getCheckInterval();
    void setCheckInterval(float minutes);
    std::optional<std::string> getSiteName();
    void setSiteName(const std::string& name);
    // Always "Tessaly.html": the site's links depend on it, so a stored name is never used.
    std::string getTopPageName();
    void setTopPageName(const std::string& name);
    std::int32_t getNumOfCol();
    // Values below 1 are refused.
    void setNumOfCol(std::int32_t columns);

    // Filled and written when missing.
    std::int32_t getImageSpace();
    void setImageSpace(std::int32_t value);
    std::int32_t getImageSize();
    void setImageSize(std::int32_t value);
    std::int32_t getMenuWidth();
    void setMenuWidth(std::int32_t value);
    std::int32_t getMenuFontSize();
    void setMenuFontSize(std::int32_t value);
    std::int32_t getAlbumTitleFontSize();
    void setAlbumTitleFontSize(std::int32_t value);
    std::int32_t getAlbumCommentFontSize();
    void setAlbumCommentFontSize(std::int32_t value);
    std::int32_t getPictureTitleFontSize();
    void setPictureTitleFontSize(std::int32_t value);
    std::int32_t getPictureCommentFontSize();
    void setPictureCommentFontSize(std::int32_t value);

    // Filled and written when missing; a stored text that is not six characters gives none.
    std::optional<RgbColor> getMenuTextColor();
    void setMenuTextColor(const RgbColor& color);
    std::optional<RgbColor> getMenuBkgndColor();
    void setMenuBkgndColor(const RgbColor& color);
    std::optional<RgbColor> getAlbumTitleColor();
    void setAlbumTitleColor(const RgbColor& color);
    std::optional<RgbColor> getAlbumCommentColor();
    void setAlbumCommentColor(const RgbColor& color);
    std::optional<RgbColor> getPictureBkgndColor();
    void setPictureBkgndColor(const RgbColor& color);
    std::optional<RgbColor> getPictureTitleColor();
    void setPictureTitleColor(const RgbColor& color);
    std::optional<RgbColor> getPictureCommentColor();
    void setPictureCommentColor(const RgbColor& color);

    // Never filled; the setters ignore none and write the file at once.
    std::optional<Date> getLastUpdateDate();
    void setLastUpdateDate(std::optional<Date> date);
    std::optional<Date> getLastModifiedDate();
    void setLastModifiedDate(std::optional<Date> date);

    // Whether the photo application's events get pages of their own.
    bool getPublishEvents();
    void setPublishEvents(bool publish);
    // The library the site is made from ("iPhoto", "Shotwell", "digiKam" or "Folder"), and the
    // folder of a "Folder" library (empty for ~/Pictures).
    std::string getLibrarySource();
    void setLibrarySource(const std::string& source);
    std::string getLibraryFolder();
    void setLibraryFolder(const std::string& folder);

    // Table-driven access, for code that walks every setting (the settings window, presets).
    // Each getter follows its setting's row of the settings table, exactly as the named getter of
    // that setting does (the named ones call these). Asked for a setting of another type, a
    // getter answers NO, 0 or none and a setter does nothing.
    bool booleanSetting(Setting setting);
    void setBooleanSetting(Setting setting, bool value);
    float realSetting(Setting setting);
    void setRealSetting(Setting setting, float value);
    std::optional<std::string> textSetting(Setting setting);
    void setTextSetting(Setting setting, const std::string& text);
    std::int32_t integerSetting(Setting setting);
    void setIntegerSetting(Setting setting, std::int32_t value);
    std::optional<RgbColor> colorSetting(Setting setting);
    void setColorSetting(Setting setting, const RgbColor& color);

private:
    plist_t node(Setting setting) const;
    void store(Setting setting, plist_t value);
    // Applies the row's rule for a missing key through `setDefault`.
    template <typename SetDefault> void fillIfMissing(Setting setting, SetDefault setDefault);
    bool writeFile();
    bool writeTo(const std::string& path);
    std::optional<Date> dateSetting(Setting setting) const;
    void setDateSetting(Setting setting, std::optional<Date> date);

    std::string prefPath_;
    FileWrites writes_;
    PlistPtr dic_;
    // Set by the four setters that mark a change; kept for the file's writers, read by nobody.
    bool DicChangedFlag_ = false;
};

} // namespace tessaly
