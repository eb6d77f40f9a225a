#include "PresetFolder.hxx"

#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using NSColorExtention::colorWithHTMLString;
using NSColorExtention::HTMLColor;
using Kind = PresetProblem::Kind;
using testing::plistDocument;
using testing::readFile;
using testing::writeFile;

class PresetFolderTest : public ::testing::Test {
protected:
    fs::path resources() const { return home.path() / "Tessaly.prefPane/Resources"; }
    fs::path folder() const { return resources() / "ViewSettings"; }

    void SetUp() override { fs::create_directories(folder()); }

    // Every setting a preset touches, as one text, to see whether anything changed.
    static std::string lookOf(LumibayPref& pref) {
        std::string look;
        for (const SettingInfo& info : kSettings) {
            if (info.type == SettingType::Integer) {
                look += std::to_string(pref.integerSetting(info.id)) + " ";
            } else if (info.type == SettingType::Color) {
                look += HTMLColor(pref.colorSetting(info.id).value_or(RgbColor{})) + " ";
            }
        }
        return look;
    }

    static std::optional<Kind> kindOf(const std::optional<PresetProblem>& problem) {
        return problem ? std::optional(problem->kind) : std::nullopt;
    }

    testing::TempHome home;
    PresetFolder presets = PresetFolder::inResources(resources());
};

TEST_F(PresetFolderTest, TypedNamesBecomeFileNames) {
    static constexpr struct {
        const char* name;
        const char* typed;
        const char* fileName;
    } kRows[] = {
        {"no suffix", "Blue", "Blue.plist"},
        {"lower-case suffix kept", "Blue.plist", "Blue.plist"},
        {"upper-case suffix kept", "Blue.PLIST", "Blue.PLIST"},
        {"mixed case is no suffix", "Blue.Plist", "Blue.Plist.plist"},
        {"empty name", "", ".plist"},
        {"a dot inside", "my.look", "my.look.plist"},
        {"not ASCII", "Blå ✓", "Blå ✓.plist"},
    };
    LumibayPref pref;
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        PresetResult<std::string> name = PresetFolder::saveFileName(row.typed);
        ASSERT_TRUE(name.ok()) << name.problem().message;
        EXPECT_EQ(name.value(), row.fileName);
        EXPECT_EQ(presets.save(name.value(), pref), std::nullopt);
        EXPECT_TRUE(fs::is_regular_file(folder() / row.fileName));
    }
    PresetResult<std::vector<std::string>> listed = presets.list();
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(listed.value().size(), std::size(kRows) - 1); // "Blue.plist" was saved twice
}

// A name that is not a plain entry of the folder could reach any file the user can write.
TEST_F(PresetFolderTest, NamesThatLeaveTheFolderAreRefused) {
    static constexpr struct {
        const char* name;
        std::string_view typed;
    } kRows[] = {
        {"relative path", "sub/Blue"},
        {"climbs out", "../Blue"},
        {"absolute path", "/tmp/Blue.plist"},
        {"ends with a slash", "Blue/"},
        {"dot", "."},
        {"dot dot", ".."},
        {"NUL inside", std::string_view("Blue\0.plist", 11)},
    };
    writeFile(resources() / "Outside.plist", plistDocument(""));
    const std::string outside = readFile(resources() / "Outside.plist");
    LumibayPref pref;
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        PresetResult<std::string> name = PresetFolder::saveFileName(row.typed);
        ASSERT_FALSE(name.ok());
        EXPECT_EQ(name.problem().kind, Kind::NameRefused);
        EXPECT_FALSE(name.problem().message.empty());
    }
    EXPECT_FALSE(PresetFolder::saveFileName(std::string(300, 'x')).ok());

    // Names that did not come through saveFileName are checked again by every operation.
    for (const char* name : {"../Outside.plist", "..", "./Blue.plist"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(kindOf(presets.save(name, pref)), Kind::NameRefused);
        EXPECT_EQ(kindOf(presets.remove(name)), Kind::NameRefused);
        EXPECT_EQ(presets.load(name).problem().kind, Kind::NameRefused);
        EXPECT_FALSE(presets.exists(name));
    }
    EXPECT_EQ(readFile(resources() / "Outside.plist"), outside);
    EXPECT_TRUE(fs::is_empty(folder()));
}

// What is in the folder under a name decides whether a save may replace it: an older preset yes,
// anything else (the user's own file, a folder, a link leading out) never.
TEST_F(PresetFolderTest, SavingOnlyEverReplacesAPreset) {
    LumibayPref pref;
    pref.setImageSize(321);
    writeFile(resources() / "Target.plist", plistDocument(""));
    fs::create_symlink(resources() / "Target.plist", folder() / "Link.plist");
    writeFile(folder() / "Notes.plist", "my own notes");
    fs::create_directory(folder() / "Folder.plist");
    writeFile(folder() / "Old.plist",
              plistDocument("<key>Site_Image_Size</key><integer>5</integer>"));

    EXPECT_FALSE(presets.exists("New.plist"));
    for (const char* name : {"Link.plist", "Notes.plist", "Folder.plist", "Old.plist"}) {
        EXPECT_TRUE(presets.exists(name)) << name;
    }
    for (const char* name : {"Link.plist", "Notes.plist", "Folder.plist"}) {
        SCOPED_TRACE(name);
        std::optional<PresetProblem> refused = presets.save(name, pref);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->kind, Kind::NotAPreset);
        EXPECT_NE(refused->message.find(name), std::string::npos);
    }
    EXPECT_EQ(readFile(resources() / "Target.plist"), plistDocument(""));
    EXPECT_TRUE(fs::is_symlink(folder() / "Link.plist"));
    EXPECT_EQ(readFile(folder() / "Notes.plist"), "my own notes");
    EXPECT_TRUE(fs::is_directory(folder() / "Folder.plist"));

    EXPECT_EQ(presets.save("Old.plist", pref), std::nullopt);
    EXPECT_EQ(presets.load("Old.plist").value().integer(Setting::ImageSize), 321);
    // Nothing half-written is left beside the preset.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 4);
}

TEST_F(PresetFolderTest, ASavedPresetHoldsTheSixteenEntriesOfTheCurrentLook) {
    LumibayPref pref;
    static constexpr struct {
        const char* key;
        std::int32_t value;
    } kIntegers[] = {
        {"Picture_SPace_Key", 11},
        {"Site_Image_Size", 222},
        {"Num_Of_Col_Key", 3},
        {"MenuWidth_Key", 144},
        {"MenuFontSize_Key", -3},
        {"AlbumTitleFontSize_Key", 1},
        {"AlbumCommentFontSize_Key", 5},
        {"PictureTitleFontSize_Key", -2},
        {"PictureCommentFontSize_Key", 0},
    };
    static constexpr struct {
        const char* key;
        const char* color;
    } kColors[] = {
        {"MenuStringColor_Key", "010203"},     {"MenuBkgndColor_Key", "FF0080"},
        {"AlbumTitleColor_Key", "00FF00"},     {"AlbumCommentColor_Key", "7F7F7F"},
        {"PictureBkgndColor_Key", "000000"},   {"PictureTitleColor_Key", "FFFFFF"},
        {"PictureCommentColor_Key", "A3392C"},
    };
    for (const SettingInfo& info : kSettings) {
        for (const auto& row : kIntegers) {
            if (std::string_view(row.key) == info.key) {
                pref.setIntegerSetting(info.id, row.value);
            }
        }
        for (const auto& row : kColors) {
            if (std::string_view(row.key) == info.key) {
                pref.setColorSetting(info.id, *colorWithHTMLString(row.color));
            }
        }
    }
    ASSERT_EQ(presets.save("Look.plist", pref), std::nullopt);

    PlistPtr file = readPlistDictionary(folder() / "Look.plist");
    ASSERT_TRUE(file);
    EXPECT_EQ(plist_dict_get_size(file.get()), 16u);
    for (const auto& row : kIntegers) {
        SCOPED_TRACE(row.key);
        plist_t node = plist_dict_get_item(file.get(), row.key);
        ASSERT_TRUE(node);
        ASSERT_EQ(plist_get_node_type(node), PLIST_UINT);
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        EXPECT_EQ(static_cast<std::int32_t>(value), row.value);
    }
    for (const auto& row : kColors) {
        SCOPED_TRACE(row.key);
        plist_t node = plist_dict_get_item(file.get(), row.key);
        ASSERT_TRUE(node);
        ASSERT_EQ(plist_get_node_type(node), PLIST_DATA);
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        EXPECT_EQ(HTMLColor(decodePresetColor(std::string_view(bytes, length)).value()), row.color);
        std::free(bytes);
    }
}

TEST_F(PresetFolderTest, ListingShowsEveryEntrySortedByName) {
    for (const char* name : {"b.plist", "A.plist", "c.txt", ".plist", "a.plist", "B.PLIST"}) {
        writeFile(folder() / name, "x");
    }
    PresetResult<std::vector<std::string>> listed = presets.list();
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(listed.value(), (std::vector<std::string>{".plist", "A.plist", "a.plist", "B.PLIST",
                                                        "b.plist", "c.txt"}));
}

// Offers every value of every integer setting but the few a row refuses, and names each control
// after its key.
OfferedValues offeringAlmostEverything() {
    OfferedValues offered;
    for (const SettingInfo& info : kSettings) {
        if (info.type == SettingType::Integer) {
            offered.offerRange(info.id, -1000, 1000000);
        }
    }
    offered.offerRange(Setting::ImageSize, 16, 4096);
    offered.offerChoices(Setting::NumOfCol, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    offered.nameControl(Setting::ImageSize, "Picture size");
    return offered;
}

// A preset is applied whole or not at all: a missing entry, a colour that cannot be read or a
// value the window does not offer leaves the settings as they were and names what is wrong.
TEST_F(PresetFolderTest, APresetIsAppliedWholeOrNotAtAll) {
    struct Row {
        const char* name;
        const char* key;   // the entry changed, none for the whole look
        const char* entry; // its new value as XML, none to leave the entry out
        std::optional<Kind> refused;
        const char* says;
    };
    static constexpr Row kRows[] = {
        {"the whole look", nullptr, nullptr, std::nullopt, nullptr},
        {"the smallest picture size", Site_Image_Size, "<integer>16</integer>", std::nullopt,
         nullptr},
        {"no picture size", Site_Image_Size, nullptr, Kind::Incomplete,
         "no value for \"Picture size\""},
        {"a picture size of 0", Site_Image_Size, "<integer>0</integer>", Kind::ValueNotOffered,
         "is 0, and the window offers 16 to 4096"},
        {"a negative picture size", Site_Image_Size, "<integer>-150</integer>",
         Kind::ValueNotOffered, "is -150"},
        {"no columns", Num_Of_Col_Key, "<integer>0</integer>", Kind::ValueNotOffered,
         "offers 1, 2, 3, 4, 5, 6, 7, 8, 9 or 10"},
        {"no menu width", MenuWidth_Key, nullptr, Kind::Incomplete, "(MenuWidth_Key)"},
        {"no colour", AlbumTitleColor_Key, nullptr, Kind::Incomplete,
         "no usable colour for \"AlbumTitleColor_Key\""},
        {"two bytes of colour", MenuBkgndColor_Key, "<data>AAE=</data>", Kind::Incomplete,
         "MenuBkgndColor_Key"},
    };
    LumibayPref current;
    current.setImageSize(222);
    const std::string before = lookOf(current);
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        LumibayPref source;
        Preset whole = makeCurrentSetting(source);
        whole.integers[static_cast<std::size_t>(Setting::ImageSize)] = 300;
        PlistPtr look = presetDictionary(whole);
        if (row.key) {
            plist_dict_remove_item(look.get(), row.key);
        }
        const fs::path path = folder() / "Look.plist";
        ASSERT_TRUE(writePlistDictionary(path, look.get()));
        std::string text = readFile(path);
        if (row.key && row.entry) {
            const std::string end = "</dict>";
            text.insert(text.rfind(end), "<key>" + std::string(row.key) + "</key>" + row.entry);
            writeFile(path, text);
        }

        LumibayPref pref;
        pref.setImageSize(222);
        std::optional<PresetProblem> problem =
            presets.apply("Look.plist", offeringAlmostEverything(), pref);
        EXPECT_EQ(kindOf(problem), row.refused);
        if (row.refused) {
            ASSERT_TRUE(problem);
            EXPECT_NE(problem->message.find("\"Look.plist\""), std::string::npos)
                << problem->message;
            EXPECT_NE(problem->message.find(row.says), std::string::npos) << problem->message;
            EXPECT_EQ(lookOf(pref), before);
        } else {
            EXPECT_NE(lookOf(pref), before);
        }
    }

    // An empty dictionary is no look at all.
    writeFile(folder() / "Empty.plist", plistDocument(""));
    LumibayPref pref;
    std::optional<PresetProblem> problem =
        presets.apply("Empty.plist", offeringAlmostEverything(), pref);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, Kind::Incomplete);
    EXPECT_NE(problem->message.find("none of the settings"), std::string::npos);
}

// Whatever is wrong with the file, the settings stay exactly as they were and the problem says
// what, naming the file.
TEST_F(PresetFolderTest, UnusablePresetFilesChangeNothing) {
    enum class Setup { AfterGoodEntries, Raw, Enormous, Folder, Gone };
    static constexpr struct {
        const char* name;
        Setup setup;
        const char* contents;
        Kind kind;
    } kRows[] = {
        {"not a property list", Setup::Raw, "Just some text.\n", Kind::NotAPreset},
        {"empty file", Setup::Raw, "", Kind::NotAPreset},
        {"root is an array", Setup::Raw, "<?xml version=\"1.0\"?><plist><array/></plist>",
         Kind::NotAPreset},
        {"integer as text", Setup::AfterGoodEntries,
         "<key>Site_Image_Size</key><string>150</string>", Kind::WrongEntry},
        {"integer as real", Setup::AfterGoodEntries, "<key>MenuWidth_Key</key><real>150.5</real>",
         Kind::WrongEntry},
        {"integer beyond 32 bits", Setup::AfterGoodEntries,
         "<key>MenuWidth_Key</key><integer>4294967296</integer>", Kind::WrongEntry},
        {"colour as text", Setup::AfterGoodEntries,
         "<key>MenuBkgndColor_Key</key><string>A3392C</string>", Kind::WrongEntry},
        {"enormous", Setup::Enormous, "", Kind::NotAPreset},
        {"a folder", Setup::Folder, "", Kind::NotAPreset},
        {"gone", Setup::Gone, "", Kind::NotFound},
    };
    // Valid entries ahead of the bad one, so that a half-applied file would show.
    const std::string goodEntries = "<key>Picture_SPace_Key</key><integer>77</integer>\n"
                                    "<key>MenuStringColor_Key</key><data>AQID</data>\n";
    LumibayPref pref;
    const std::string before = lookOf(pref);
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const std::string fileName = std::string(row.name) + ".plist";
        const fs::path path = folder() / fileName;
        switch (row.setup) {
        case Setup::AfterGoodEntries:
            writeFile(path, plistDocument(goodEntries + row.contents));
            break;
        case Setup::Raw:
            writeFile(path, row.contents);
            break;
        case Setup::Enormous:
            writeFile(path, plistDocument(goodEntries));
            fs::resize_file(path, 64 * 1024 * 1024);
            break;
        case Setup::Folder:
            fs::create_directory(path);
            break;
        case Setup::Gone:
            break;
        }
        const bool isFile = fs::is_regular_file(path);
        const std::string bytes = isFile && row.setup != Setup::Enormous ? readFile(path) : "";

        std::optional<PresetProblem> problem =
            presets.apply(fileName, offeringAlmostEverything(), pref);
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->kind, row.kind);
        EXPECT_NE(problem->message.find(fileName), std::string::npos) << problem->message;
        EXPECT_EQ(lookOf(pref), before);
        if (isFile && row.setup != Setup::Enormous) {
            EXPECT_EQ(readFile(path), bytes);
        }
    }
}

TEST_F(PresetFolderTest, AMissingFolderIsReportedAndNeverCreated) {
    fs::remove_all(folder());
    LumibayPref pref;
    EXPECT_EQ(presets.list().problem().kind, Kind::FolderMissing);
    EXPECT_EQ(kindOf(presets.save("Blue.plist", pref)), Kind::FolderMissing);
    EXPECT_EQ(presets.load("Blue.plist").problem().kind, Kind::FolderMissing);
    EXPECT_FALSE(fs::exists(folder()));

    writeFile(folder(), "a file where the folder should be");
    EXPECT_EQ(presets.list().problem().kind, Kind::FolderMissing);
    EXPECT_EQ(kindOf(presets.save("Blue.plist", pref)), Kind::FolderMissing);
}

// Permissions do not hold back root, so this only runs for an ordinary user.
TEST_F(PresetFolderTest, AReadOnlyFolderIsReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    LumibayPref pref;
    ASSERT_EQ(presets.save("Kept.plist", pref), std::nullopt);
    fs::permissions(folder(), fs::perms::owner_read | fs::perms::owner_exec);
    std::optional<PresetProblem> problem = presets.save("Blue.plist", pref);
    std::optional<PresetProblem> removal = presets.remove("Kept.plist");
    fs::permissions(folder(), fs::perms::owner_all);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, Kind::WriteFailed);
    ASSERT_TRUE(removal);
    EXPECT_EQ(removal->kind, Kind::RemoveFailed);
    EXPECT_FALSE(fs::exists(folder() / "Blue.plist"));
    EXPECT_TRUE(fs::exists(folder() / "Kept.plist"));

    fs::permissions(folder(), fs::perms::owner_write);
    EXPECT_EQ(presets.list().problem().kind, Kind::FolderUnreadable);
    fs::permissions(folder(), fs::perms::owner_all);
}

TEST_F(PresetFolderTest, DeletingRemovesOnlyTheEntryItself) {
    LumibayPref pref;
    ASSERT_EQ(presets.save("Blue.plist", pref), std::nullopt);
    writeFile(resources() / "Target.plist", plistDocument(""));
    fs::create_symlink(resources() / "Target.plist", folder() / "Link.plist");
    fs::create_directory(folder() / "Folder.plist");

    EXPECT_EQ(presets.remove("Blue.plist"), std::nullopt);
    EXPECT_EQ(presets.remove("Link.plist"), std::nullopt);
    EXPECT_TRUE(fs::exists(resources() / "Target.plist"));
    EXPECT_EQ(kindOf(presets.remove("Folder.plist")), Kind::RemoveFailed);
    EXPECT_EQ(kindOf(presets.remove("Blue.plist")), Kind::NotFound);
    EXPECT_EQ(presets.list().value(), std::vector<std::string>{"Folder.plist"});
}

} // namespace
} // namespace tessaly
