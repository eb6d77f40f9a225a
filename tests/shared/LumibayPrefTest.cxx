#include "LumibayPref.hxx"

#include "PlistFile.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace tessaly {
namespace {

using testing::plistDocument;
using testing::readFile;
using testing::TempHome;
using testing::writeFile;

// The value stored under `key` in the settings file, as XML text of the element ("" when absent).
std::string storedXml(const TempHome& home, const char* key) {
    PlistPtr dictionary = readPlistDictionary(home.settingsFile());
    if (!dictionary) {
        return "";
    }
    plist_t value = plist_dict_get_item(dictionary.get(), key);
    if (!value) {
        return "";
    }
    plist_t single = plist_new_dict();
    plist_dict_set_item(single, "v", plist_copy(value));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(single, &xml, &length);
    std::string text(xml, length);
    plist_to_xml_free(xml);
    plist_free(single);
    auto begin = text.find("<key>v</key>") + 12;
    auto end = text.find("</dict>");
    std::string element = text.substr(begin, end - begin);
    element.erase(0, element.find_first_not_of("\n\t "));
    element.erase(element.find_last_not_of("\n\t ") + 1);
    return element;
}

TEST(LumibayPref, PathsFollowTheHomeFolder) {
    TempHome home;
    LumibayPref store;
    EXPECT_EQ(store.getPrefPath(), home.settingsFile().string());
    EXPECT_EQ(store.getStdExportPath(), home.siteFolder().string());
    EXPECT_EQ(store.getiPhotoLibPath(), home.indexFile().string());
}

// What each getter answers on a fresh account, and whether it leaves its default in the file.
TEST(LumibayPref, GettersFillMissingKeysByTheirKind) {
    struct Case {
        const char* name;
        std::function<std::string(LumibayPref&)> get;
        const char* answer;
        const char* key;
        const char* fileValue; // nullptr: no file is written
    };
    auto color = [](std::optional<RgbColor> (LumibayPref::*getter)()) {
        return [getter](LumibayPref& s) {
            auto c = (s.*getter)();
            return c ? NSColorExtention::HTMLColor(*c) : std::string("none");
        };
    };
    auto integer = [](std::int32_t (LumibayPref::*getter)()) {
        return [getter](LumibayPref& s) { return std::to_string((s.*getter)()); };
    };
    const Case cases[] = {
        // Filled in memory only.
        {"active flag", [](LumibayPref& s) { return std::to_string(s.getActiveFlag()); }, "0",
         Active_Flag_Key, nullptr},
        {"check interval", [](LumibayPref& s) { return std::to_string(s.getCheckInterval()); },
         "1.000000", Check_Interval_Key, nullptr},
        {"site name", [](LumibayPref& s) { return s.getSiteName().value_or("none"); },
         "iPhotoPictureSite", Site_Name_Key, nullptr},
        {"top page", [](LumibayPref& s) { return s.getTopPageName(); }, "Tessaly.html", TopPage_Key,
         nullptr},
        {"columns", integer(&LumibayPref::getNumOfCol), "4", Num_Of_Col_Key, nullptr},
        // Filled and written.
        {"spacing", integer(&LumibayPref::getImageSpace), "10", Picture_SPace_Key,
         "<integer>10</integer>"},
        {"image size", integer(&LumibayPref::getImageSize), "150", Site_Image_Size,
         "<integer>150</integer>"},
        {"menu width", integer(&LumibayPref::getMenuWidth), "120", MenuWidth_Key,
         "<integer>120</integer>"},
        {"menu font", integer(&LumibayPref::getMenuFontSize), "-2", MenuFontSize_Key,
         "<integer>-2</integer>"},
        {"album title font", integer(&LumibayPref::getAlbumTitleFontSize), "2",
         AlbumTitleFontSize_Key, "<integer>2</integer>"},
        {"album comment font", integer(&LumibayPref::getAlbumCommentFontSize), "3",
         AlbumCommentFontSize_Key, "<integer>3</integer>"},
        {"picture title font", integer(&LumibayPref::getPictureTitleFontSize), "-1",
         PictureTitleFontSize_Key, "<integer>-1</integer>"},
        {"picture comment font", integer(&LumibayPref::getPictureCommentFontSize), "-2",
         PictureCommentFontSize_Key, "<integer>-2</integer>"},
        // Colours, filled and written as their six digits.
        {"menu text", color(&LumibayPref::getMenuTextColor), "DDDDDD", MenuStringColor_Key,
         "<string>DDDDDD</string>"},
        {"menu background", color(&LumibayPref::getMenuBkgndColor), "333333", MenuBkgndColor_Key,
         "<string>333333</string>"},
        {"album title", color(&LumibayPref::getAlbumTitleColor), "B7B7B7", AlbumTitleColor_Key,
         "<string>B7B7B7</string>"},
        {"album comment", color(&LumibayPref::getAlbumCommentColor), "C7C7C7",
         AlbumCommentColor_Key, "<string>C7C7C7</string>"},
        {"picture background", color(&LumibayPref::getPictureBkgndColor), "161616",
         PictureBkgndColor_Key, "<string>161616</string>"},
        {"picture title", color(&LumibayPref::getPictureTitleColor), "A1B89E",
         PictureTitleColor_Key, "<string>A1B89E</string>"},
        {"picture comment", color(&LumibayPref::getPictureCommentColor), "D05F51",
         PictureCommentColor_Key, "<string>D05F51</string>"},
        // Dates are never filled.
        {"last update", [](LumibayPref& s) { return s.getLastUpdateDate() ? "date" : "none"; },
         "none", Last_Update_Date, nullptr},
        {"last modified", [](LumibayPref& s) { return s.getLastModifiedDate() ? "date" : "none"; },
         "none", Last_Modified_Date, nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        LumibayPref store;
        EXPECT_EQ(row.get(store), row.answer);
        if (row.fileValue) {
            EXPECT_EQ(storedXml(home, row.key), row.fileValue);
        } else {
            EXPECT_FALSE(std::filesystem::exists(home.settingsFile()));
        }
        // The answer is the same once the key is there.
        EXPECT_EQ(row.get(store), row.answer);
    }
}

TEST(LumibayPref, InMemoryDefaultsReachTheFileWithTheNextWrite) {
    TempHome home;
    LumibayPref store;
    store.getActiveFlag();
    store.getNumOfCol();
    store.getCheckInterval();
    EXPECT_FALSE(std::filesystem::exists(home.settingsFile()));
    store.getMenuWidth(); // a writing getter writes the whole dictionary
    EXPECT_EQ(storedXml(home, Active_Flag_Key), "<false/>");
    EXPECT_EQ(storedXml(home, Num_Of_Col_Key), "<integer>4</integer>");
    EXPECT_EQ(storedXml(home, Check_Interval_Key), "<real>1</real>");
}

TEST(LumibayPref, SettersChangeMemoryUntilSaved) {
    TempHome home;
    LumibayPref store;
    store.setActiveFlag(true);
    store.setMenuFontSize(-2);
    store.setImageSize(300);
    store.setPictureBkgndColor(*NSColorExtention::colorWithHTMLString("0A0B0C"));
    EXPECT_FALSE(std::filesystem::exists(home.settingsFile()));
    store.savePref();

    LumibayPref reread;
    EXPECT_TRUE(reread.getActiveFlag());
    EXPECT_EQ(reread.getMenuFontSize(), -2);
    EXPECT_EQ(reread.getImageSize(), 300);
    EXPECT_EQ(storedXml(home, PictureBkgndColor_Key), "<string>0A0B0C</string>");
}

TEST(LumibayPref, ColumnCountRefusesZeroAndBelow) {
    TempHome home;
    LumibayPref store;
    store.setNumOfCol(7);
    store.setNumOfCol(0);
    EXPECT_EQ(store.getNumOfCol(), 7);
    store.setNumOfCol(-3);
    EXPECT_EQ(store.getNumOfCol(), 7);
}

TEST(LumibayPref, TopPageNameIgnoresStoredNames) {
    TempHome home;
    writeFile(home.settingsFile(),
              plistDocument("<key>TopPage_Key</key><string>index.html</string>\n"));
    LumibayPref store;
    EXPECT_EQ(store.getTopPageName(), "Tessaly.html");
    store.setTopPageName("other.html");
    EXPECT_EQ(store.getTopPageName(), "Tessaly.html");
}

TEST(LumibayPref, DatesAreStoredAndWrittenAtOnce) {
    TempHome home;
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    {
        LumibayPref store;
        store.setLastUpdateDate(std::nullopt);
        EXPECT_FALSE(std::filesystem::exists(home.settingsFile()));
        store.setLastUpdateDate(when);
    }
    LumibayPref reread;
    EXPECT_EQ(reread.getLastUpdateDate(), when);
    EXPECT_FALSE(reread.getLastModifiedDate());
}

// A file that exists but cannot be read is the user's: the store answers the fall-backs and never
// writes over it, whatever it is asked.
TEST(LumibayPref, UnreadableFileIsNeverTouched) {
    struct Case {
        const char* name;
        const char* bytes;
    };
    static constexpr Case cases[] = {
        {"empty", ""},
        {"truncated", "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n<dict>\n<key>Active_"},
        {"not a property list", "Active_Flag_Key = YES\n"},
        {"array at the root", "<plist version=\"1.0\"><array><true/></array></plist>"},
        {"binary junk", "bplist00\x01\x02\x03"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        writeFile(home.settingsFile(), row.bytes);
        LumibayPref store;
        EXPECT_FALSE(store.hasDictionary());
        EXPECT_FALSE(store.getActiveFlag());
        EXPECT_EQ(store.getNumOfCol(), 0);
        EXPECT_EQ(store.getCheckInterval(), 0.0f);
        EXPECT_FALSE(store.getSiteName());
        EXPECT_EQ(store.getTopPageName(), "Tessaly.html");
        EXPECT_EQ(store.getMenuWidth(), 120);
        EXPECT_EQ(NSColorExtention::HTMLColor(*store.getMenuTextColor()), "DDDDDD");
        store.setActiveFlag(true);
        store.setImageSize(99);
        EXPECT_FALSE(store.getActiveFlag());
        EXPECT_EQ(store.getImageSize(), 150);
        store.setLastUpdateDate(std::chrono::system_clock::now());
        store.savePref();
        EXPECT_EQ(readFile(home.settingsFile()), row.bytes);
    }
}

// Every save that does not reach the file says so, and what the file held stays as it was.
TEST(LumibayPref, SavesThatDoNotReachTheFileReportIt) {
    const std::string before = plistDocument("<key>MenuWidth_Key</key><integer>80</integer>\n");
    struct Case {
        const char* name;
        // Prepares the home folder; the store is made afterwards.
        void (*prepare)(const TempHome& home, const std::string& before);
        LumibayPref::FileWrites writes;
        // Applied to the store before the save.
        void (*change)(LumibayPref& store);
        bool saved;
    };
    static const Case cases[] = {
        {"a writable file",
         [](const TempHome& h, const std::string& b) { writeFile(h.settingsFile(), b); },
         LumibayPref::FileWrites::Allowed, [](LumibayPref& store) { store.setMenuWidth(300); },
         true},
        // A file where the folder should be stops every writer, root included.
        {"no folder for the file",
         [](const TempHome& h, const std::string&) {
             writeFile(h.settingsFile().parent_path(), "a file, not a folder");
         },
         LumibayPref::FileWrites::Allowed, [](LumibayPref& store) { store.setMenuWidth(300); },
         false},
        // Past the reader's limit the next start could not read it back.
        {"too large to be read back",
         [](const TempHome& h, const std::string& b) { writeFile(h.settingsFile(), b); },
         LumibayPref::FileWrites::Allowed,
         [](LumibayPref& store) { store.setSiteName(std::string(kMaxPlistBytes, 'x')); }, false},
        {"a store that never writes",
         [](const TempHome& h, const std::string& b) { writeFile(h.settingsFile(), b); },
         LumibayPref::FileWrites::Never, [](LumibayPref& store) { store.setMenuWidth(300); },
         false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        row.prepare(home, before);
        const std::string held = readFile(home.settingsFile());
        LumibayPref store(row.writes);
        row.change(store);
        EXPECT_EQ(store.savePref(), row.saved);
        if (row.saved) {
            EXPECT_EQ(storedXml(home, MenuWidth_Key), "<integer>300</integer>");
        } else {
            EXPECT_EQ(readFile(home.settingsFile()), held);
        }
    }
}

// A store that never writes fills missing keys in memory only, whatever it is asked.
TEST(LumibayPref, AStoreThatNeverWritesLeavesTheFileAlone) {
    TempHome home;
    const std::string before = plistDocument("<key>Active_Flag_Key</key><true/>\n");
    writeFile(home.settingsFile(), before);
    LumibayPref store(LumibayPref::FileWrites::Never);
    EXPECT_TRUE(store.getActiveFlag());
    EXPECT_EQ(store.getImageSize(), 150);
    EXPECT_EQ(NSColorExtention::HTMLColor(*store.getPictureCommentColor()), "D05F51");
    store.setImageSize(400);
    EXPECT_EQ(store.getImageSize(), 400);
    store.setLastUpdateDate(std::chrono::system_clock::now());
    EXPECT_EQ(readFile(home.settingsFile()), before);
}

// The window saves a new colour again and again while the helper's stores are made and read, as
// at every start and every settings notification. The window is the file's one writer, so every
// value it saved is what the file holds afterwards, in every timing.
TEST(LumibayPref, NoValueTheWindowSavedIsLostToTheHelper) {
    TempHome home;
    // A file that lacks most keys: the helper's getters all meet missing ones.
    writeFile(home.settingsFile(), plistDocument("<key>Active_Flag_Key</key><true/>\n"));
    std::atomic<bool> done = false;
    std::thread helper([&] {
        while (!done) {
            LumibayPref store(LumibayPref::FileWrites::Never);
            for (const SettingInfo& info : kSettings) {
                store.integerSetting(info.id);
                store.colorSetting(info.id);
            }
        }
    });
    int lost = 0;
    LumibayPref window;
    for (int i = 0; i < 300; ++i) {
        const RgbColor color{static_cast<float>(i % 256) / 255.0f, 0.5f, 0.25f, 1.0f};
        window.setMenuBkgndColor(color);
        ASSERT_TRUE(window.savePref());
        // Whatever the helper did meanwhile, the file keeps the colour just saved.
        if (NSColorExtention::HTMLColor(*LumibayPref().getMenuBkgndColor()) !=
            NSColorExtention::HTMLColor(color)) {
            ++lost;
        }
    }
    done = true;
    helper.join();
    EXPECT_EQ(lost, 0);
}

TEST(LumibayPref, ValuesOfTheWrongTypeGiveDefaultsAndStay) {
    TempHome home;
    writeFile(home.settingsFile(),
              plistDocument("<key>MenuWidth_Key</key><string>wide</string>\n"
                            "<key>Num_Of_Col_Key</key><string>3</string>\n"
                            "<key>Active_Flag_Key</key><string>YES</string>\n"
                            "<key>MenuStringColor_Key</key><integer>7</integer>\n"
                            "<key>AlbumTitleColor_Key</key><string>#A3392C</string>\n"
                            "<key>Site_Image_Size</key><real>200.9</real>\n"
                            "<key>PictureTitleFontSize_Key</key><true/>\n"));
    LumibayPref store;
    EXPECT_EQ(store.getMenuWidth(), 120);
    EXPECT_EQ(store.getNumOfCol(), 4);
    EXPECT_FALSE(store.getActiveFlag());
    EXPECT_EQ(NSColorExtention::HTMLColor(*store.getMenuTextColor()), "DDDDDD");
    EXPECT_FALSE(store.getAlbumTitleColor()); // a stored text of seven characters is no colour
    EXPECT_EQ(store.getImageSize(), 200);     // numbers of any kind are numbers
    EXPECT_EQ(store.getPictureTitleFontSize(), 1);

    store.getMenuFontSize(); // a missing key: the file is written
    EXPECT_EQ(storedXml(home, MenuFontSize_Key), "<integer>-2</integer>");
    EXPECT_EQ(storedXml(home, MenuWidth_Key), "<string>wide</string>");
    EXPECT_EQ(storedXml(home, MenuStringColor_Key), "<integer>7</integer>");
}

TEST(LumibayPref, WritesReplaceTheFileWholeAndKeepItsMode) {
    TempHome home;
    writeFile(home.settingsFile(),
              plistDocument("<key>Someone_Elses_Key</key><data>AP8=</data>\n"));
    ::chmod(home.settingsFile().c_str(), 0600);
    {
        LumibayPref store;
        store.getImageSize();
    }
    struct stat info {};
    ASSERT_EQ(::stat(home.settingsFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(storedXml(home, "Someone_Elses_Key"), "<data>\n\tAP8=\n\t</data>");
    EXPECT_EQ(storedXml(home, Site_Image_Size), "<integer>150</integer>");
    // No temporary file is left beside it.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(home.settingsFile().parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(LumibayPref, WritesThroughALinkReplaceItsTarget) {
    TempHome home;
    const auto real = home.path() / "dotfiles/Tessaly.plist";
    writeFile(real, plistDocument(""));
    std::filesystem::create_directories(home.settingsFile().parent_path());
    std::filesystem::create_symlink(real, home.settingsFile());
    LumibayPref store;
    store.getMenuWidth();
    EXPECT_TRUE(std::filesystem::is_symlink(home.settingsFile()));
    EXPECT_NE(readFile(real).find("MenuWidth_Key"), std::string::npos);
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

using testing::plistDocument;
using testing::readFile;
using testing::TempHome;
using testing::writeFile;

// What a store answers for one setting, through the setting's named getter or through the
// table-driven getter of its type, as text so that every type compares alike.
std::string namedAnswer(LumibayPref& s, Setting setting) {
    auto color = [](std::optional<RgbColor> c) {
        return c ? NSColorExtention::HTMLColor(*c) : std::string("none");
    };
    auto date = [](std::optional<LumibayPref::Date> d) { return d ? "date" : "none"; };
    switch (setting) {
    case Setting::ActiveFlag:
        return std::to_string(s.getActiveFlag());
    case Setting::CheckInterval:
        return std::to_string(s.getCheckInterval());
    case Setting::SiteName:
        return s.getSiteName().value_or("none");
    case Setting::TopPageName:
        return s.getTopPageName();
    case Setting::NumOfCol:
        return std::to_string(s.getNumOfCol());
    case Setting::ImageSpace:
        return std::to_string(s.getImageSpace());
    case Setting::ImageSize:
        return std::to_string(s.getImageSize());
    case Setting::MenuWidth:
        return std::to_string(s.getMenuWidth());
    case Setting::MenuFontSize:
        return std::to_string(s.getMenuFontSize());
    case Setting::AlbumTitleFontSize:
        return std::to_string(s.getAlbumTitleFontSize());
    case Setting::AlbumCommentFontSize:
        return std::to_string(s.getAlbumCommentFontSize());
    case Setting::PictureTitleFontSize:
        return std::to_string(s.getPictureTitleFontSize());
    case Setting::PictureCommentFontSize:
        return std::to_string(s.getPictureCommentFontSize());
    case Setting::MenuTextColor:
        return color(s.getMenuTextColor());
    case Setting::MenuBkgndColor:
        return color(s.getMenuBkgndColor());
    case Setting::AlbumTitleColor:
        return color(s.getAlbumTitleColor());
    case Setting::AlbumCommentColor:
        return color(s.getAlbumCommentColor());
    case Setting::PictureBkgndColor:
        return color(s.getPictureBkgndColor());
    case Setting::PictureTitleColor:
        return color(s.getPictureTitleColor());
    case Setting::PictureCommentColor:
        return color(s.getPictureCommentColor());
    case Setting::LastUpdateDate:
        return date(s.getLastUpdateDate());
    case Setting::LastModifiedDate:
        return date(s.getLastModifiedDate());
    case Setting::PublishEvents:
        return std::to_string(s.getPublishEvents());
    case Setting::LibrarySource:
        return s.getLibrarySource();
    case Setting::LibraryFolder:
        return s.getLibraryFolder();
    }
    return "unknown setting";
}

std::string tableAnswer(LumibayPref& s, Setting setting) {
    switch (settingInfo(setting).type) {
    case SettingType::Boolean:
        return std::to_string(s.booleanSetting(setting));
    case SettingType::Real:
        return std::to_string(s.realSetting(setting));
    case SettingType::Text:
        return s.textSetting(setting).value_or("none");
    case SettingType::Integer:
        return std::to_string(s.integerSetting(setting));
    case SettingType::Color: {
        auto c = s.colorSetting(setting);
        return c ? NSColorExtention::HTMLColor(*c) : std::string("none");
    }
    case SettingType::Date:
        return namedAnswer(s, setting); // dates have only named getters
    }
    return "unknown type";
}

// The settings window walks the table with the table-driven getters while the helper calls the
// named ones: for every setting and every state of the file they must answer alike and leave
// the same file behind.
TEST(LumibayPref, NamedAndTableDrivenGettersAgree) {
    struct State {
        const char* name;
        const char* file; // nullptr: no settings file
    };
    const std::string wrongTypes =
        plistDocument("<key>Num_Of_Col_Key</key><string>3</string>\n"
                      "<key>Check_Interval_Key</key><true/>\n"
                      "<key>MenuStringColor_Key</key><integer>7</integer>\n"
                      "<key>Site_Name_Key</key><integer>7</integer>\n");
    const State states[] = {
        {"fresh account", nullptr},
        {"unreadable file", "not a property list"},
        {"empty dictionary", "<plist version=\"1.0\"><dict/></plist>"},
        {"values of the wrong type", wrongTypes.c_str()},
    };
    for (const State& state : states) {
        for (const SettingInfo& row : kSettings) {
            SCOPED_TRACE(std::string(state.name) + ": " + row.key);
            std::string answers[2];
            std::optional<std::string> files[2];
            for (int table = 0; table < 2; ++table) {
                TempHome home;
                if (state.file) {
                    writeFile(home.settingsFile(), state.file);
                }
                LumibayPref store;
                answers[table] = table ? tableAnswer(store, row.id) : namedAnswer(store, row.id);
                if (std::filesystem::exists(home.settingsFile())) {
                    files[table] = readFile(home.settingsFile());
                }
            }
            EXPECT_EQ(answers[0], answers[1]);
            EXPECT_EQ(files[0], files[1]);
        }
    }
}

TEST(LumibayPref, TableDrivenAccessRefusesSettingsOfAnotherType) {
    TempHome home;
    LumibayPref store;
    EXPECT_EQ(store.integerSetting(Setting::MenuTextColor), 0);
    EXPECT_FALSE(store.colorSetting(Setting::MenuWidth));
    store.setIntegerSetting(Setting::MenuTextColor, 5);
    store.setTextSetting(Setting::ImageSize, "big");
    EXPECT_FALSE(std::filesystem::exists(home.settingsFile()));
    EXPECT_EQ(store.getImageSize(), 150);
    EXPECT_EQ(NSColorExtention::HTMLColor(*store.getMenuTextColor()), "DDDDDD");
}

// A new settings file gets the permissions the user's umask allows, like any file the user's
// programs make.
TEST(LumibayPref, NewFileFollowsTheUmask) {
    struct Case {
        const char* name;
        mode_t umask;
        mode_t mode;
    };
    static constexpr Case kCases[] = {
        {"usual", 022, 0644},
        {"private", 077, 0600},
        {"group may write", 002, 0664},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        const mode_t old = ::umask(row.umask);
        {
            LumibayPref store;
            store.getImageSize();
        }
        ::umask(old);
        struct stat info {};
        ASSERT_EQ(::stat(home.settingsFile().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, row.mode);
    }
}

// A settings file linked from a folder of dotfiles that does not hold it yet is a missing file:
// the store starts empty and its first write creates the link's target. Where that cannot be
// done, nothing is created; a link loop may hide the user's file and is never replaced.
TEST(LumibayPref, LinksToMissingFiles) {
    struct Case {
        const char* name;
        const char* target; // relative to the home folder
        bool makeTargetFolder;
        bool hasDictionary;
        bool targetWritten;
    };
    static constexpr Case kCases[] = {
        {"target in an existing folder", "dotfiles/Tessaly.plist", true, true, true},
        {"target in a missing folder", "nowhere/Tessaly.plist", false, true, false},
        {"link to itself", "Library/Preferences/Tessaly.plist", true, false, false},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        const auto target = home.path() / row.target;
        if (row.makeTargetFolder) {
            std::filesystem::create_directories(target.parent_path());
        }
        std::filesystem::create_directories(home.settingsFile().parent_path());
        std::filesystem::create_symlink(target, home.settingsFile());
        {
            LumibayPref store;
            EXPECT_EQ(store.hasDictionary(), row.hasDictionary);
            EXPECT_EQ(store.getMenuWidth(), 120);
            store.savePref();
        }
        EXPECT_TRUE(std::filesystem::is_symlink(home.settingsFile()));
        std::error_code error; // a loop has no target to look at
        EXPECT_EQ(std::filesystem::exists(target, error), row.targetWritten);
        if (row.targetWritten) {
            EXPECT_NE(readFile(target).find("<key>MenuWidth_Key</key>"), std::string::npos);
            LumibayPref reread;
            EXPECT_EQ(reread.getMenuWidth(), 120);
        }
    }
}

} // namespace
} // namespace tessaly
