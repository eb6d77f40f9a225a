// The saved looks in the window: saving, listing, applying and deleting presets through the list
// and its three buttons, on a copy of the pane's resources. The questions are answered from a
// script, except where the window's own sheets are driven as the user would.
#include "AccessibleText.hxx"
#include "ColorWell.hxx"
#include "Notifications.hxx"
#include "PaneFixture.hxx"
#include "PlistFile.hxx"
#include "ShippedPresets.hxx"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <map>
#include <set>
#include <unistd.h>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Answers the questions in the order scripted, and writes down every question asked. A question
// that was not scripted is answered with Cancel.
struct ScriptedQuestions : PresetQuestions {
    std::optional<QString> askPresetName() override {
        asked.push_back("name");
        if (names.empty()) {
            return std::nullopt;
        }
        std::optional<QString> name = names.front();
        names.pop_front();
        return name;
    }
    bool confirmOverwrite(const QString& question) override {
        return answer("overwrite: " + question.toStdString());
    }
    bool confirmDelete(const QString& question) override {
        return answer("delete: " + question.toStdString());
    }
    void tellProblem(const QString& notice) override {
        asked.push_back("problem: " + notice.toStdString());
    }
    bool answer(std::string question) {
        asked.push_back(std::move(question));
        if (answers.empty()) {
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    std::deque<std::optional<QString>> names;
    std::deque<bool> answers;
    std::vector<std::string> asked;
};

// The look as settings key and value: integers in decimal, colours as six hex digits.
using Look = std::map<std::string, std::string>;

Look lookOf(const Preset& preset) {
    Look look;
    for (const SettingInfo& info : kSettings) {
        if (info.type == SettingType::Integer && preset.integer(info.id)) {
            look[info.key] = std::to_string(*preset.integer(info.id));
        } else if (info.type == SettingType::Color && preset.color(info.id)) {
            look[info.key] = NSColorExtention::HTMLColor(*preset.color(info.id));
        }
    }
    return look;
}

// What the settings file holds now, read as the helper would.
Look lookInSettingsFile() {
    LumibayPref pref;
    return lookOf(makeCurrentSetting(pref));
}

// Every setting the look has, in distinct values the shipped presets do not use.
constexpr char kOwnLook[] = "<key>Num_Of_Col_Key</key><integer>7</integer>\n"
                            "<key>Picture_SPace_Key</key><integer>30</integer>\n"
                            "<key>Site_Image_Size</key><integer>333</integer>\n"
                            "<key>MenuWidth_Key</key><integer>240</integer>\n"
                            "<key>MenuFontSize_Key</key><integer>3</integer>\n"
                            "<key>AlbumTitleFontSize_Key</key><integer>5</integer>\n"
                            "<key>AlbumCommentFontSize_Key</key><integer>6</integer>\n"
                            "<key>PictureTitleFontSize_Key</key><integer>-3</integer>\n"
                            "<key>PictureCommentFontSize_Key</key><integer>4</integer>\n"
                            "<key>MenuStringColor_Key</key><string>010203</string>\n"
                            "<key>MenuBkgndColor_Key</key><string>FEFDFC</string>\n"
                            "<key>AlbumTitleColor_Key</key><string>7F8081</string>\n"
                            "<key>AlbumCommentColor_Key</key><string>00FF00</string>\n"
                            "<key>PictureBkgndColor_Key</key><string>ABCDEF</string>\n"
                            "<key>PictureTitleColor_Key</key><string>FF0000</string>\n"
                            "<key>PictureCommentColor_Key</key><string>0000FF</string>\n"
                            "<key>Check_Interval_Key</key><real>7.5</real>\n"
                            "<key>Site_Name_Key</key><string>Holidays</string>\n";

const ShippedPreset& shipped(const char* fileName) {
    for (const ShippedPreset& preset : shippedPresets()) {
        if (std::string(preset.fileName) == fileName) {
            return preset;
        }
    }
    throw std::logic_error(fileName);
}

class Presets : public PaneFixture {
protected:
    void SetUp() override {
        // The pane's resources without the helper: presets are saved and removed in this copy.
        const fs::path copy = home_.path() / "Tessaly.prefPane/Resources";
        fs::create_directories(copy);
        for (const fs::directory_entry& entry : fs::directory_iterator(PANE_RESOURCES)) {
            if (entry.path().filename() != "LumibayHelper.app") {
                fs::copy(entry.path(), copy / entry.path().filename(), fs::copy_options::recursive);
            }
        }
        resources_ = copy.string();
        folder_ = copy / "ViewSettings";
    }

    void openShown(const char* settings = kOwnLook) {
        writeSettings(settings);
        ASSERT_NO_FATAL_FAILURE(open());
        pane_->setPresetQuestions(&questions_);
        pane_->tabView->setCurrentWidget(child<QWidget>("presetsTab"));
        view_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        notifier_->posts.clear();
    }

    TextArrayView& list() { return *pane_->viewSetingListView; }
    QStringList lines() { return list().getTextArray().value_or(QStringList()); }

    void clickLine(const QString& name) {
        const int row = static_cast<int>(lines().indexOf(name));
        ASSERT_GE(row, 0) << name.toStdString();
        const int y = static_cast<int>((row + 0.5) * list().lineHeight());
        QTest::mouseClick(&list(), Qt::LeftButton, {}, QPoint(4, y));
        ASSERT_EQ(list().getSelectLine(), row);
    }
    // A click below the last line is how the user lets go of a selection.
    void clickBelowLines() {
        const int y = static_cast<int>(lines().size() * list().lineHeight()) + 2;
        ASSERT_LT(y, list().height());
        QTest::mouseClick(&list(), Qt::LeftButton, {}, QPoint(4, y));
        ASSERT_EQ(list().getSelectLine(), -1);
    }
    void click(QPushButton* button) {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // use, delete, save
    std::vector<bool> buttonStates() {
        return {pane_->useSelectedSettingButton->isEnabled(),
                pane_->deleteSelectedSettingButton->isEnabled(),
                pane_->saveSettingButton->isEnabled()};
    }
    const std::vector<bool> noSelection{false, false, true};
    const std::vector<bool> selection{true, true, false};

    // What the controls show, as a look.
    Look shownLook() {
        Look look;
        for (const PopupSetting& row : kPopupSettings) {
            auto* menu = pane_->property(row.outlet).value<QComboBox*>();
            look[settingInfo(row.setting).key] = menu->currentText().toStdString();
        }
        look[Site_Image_Size] = std::to_string(pane_->imageSizeControlView->value());
        for (const ColorWellSetting& row : kColorWells) {
            auto* well = qobject_cast<ColorWell*>(viewWithTag(pane_->tabView, row.tag));
            look[settingInfo(row.setting).key] =
                well->color().name().mid(1).toUpper().toStdString();
        }
        return look;
    }

    Look lookInPreset(const std::string& fileName) {
        PresetResult<Preset> preset = PresetFolder(folder_).load(fileName);
        EXPECT_TRUE(preset.ok()) << preset.problem().message;
        return preset.ok() ? lookOf(preset.value()) : Look{};
    }

    ScriptedQuestions questions_;
    fs::path folder_;
};

QStringList shippedNames() {
    QStringList names;
    for (const ShippedPreset& preset : shippedPresets()) {
        names << QString::fromUtf8(preset.fileName);
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

TEST_F(Presets, SaveListApplyAndDeleteThroughTheWindow) {
    BusListener listener;
    ASSERT_TRUE(listener.connected());
    ASSERT_NO_FATAL_FAILURE(openShown());
    const Look own = shownLook();
    ASSERT_EQ(own, lookInSettingsFile());
    EXPECT_EQ(lines(), shippedNames());
    EXPECT_EQ(buttonStates(), noSelection);

    // Save: the typed name gets its suffix, the file holds exactly the sixteen entries shown.
    questions_.names = {QStringLiteral("Blue")};
    click(pane_->saveSettingButton);
    EXPECT_EQ(questions_.asked, std::vector<std::string>{"name"});
    PlistPtr saved = readPlistDictionary((folder_ / "Blue.plist").string());
    ASSERT_TRUE(saved);
    EXPECT_EQ(plist_dict_get_size(saved.get()), 16u);
    EXPECT_EQ(lookInPreset("Blue.plist"), own);
    QStringList expected = shippedNames() << "Blue.plist";
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(list().getSelectLine(), -1);
    EXPECT_EQ(buttonStates(), noSelection);
    EXPECT_TRUE(notifier_->posts.empty());

    // Apply a shipped look: the file first, then the controls, then one notification only.
    const std::string settingsBefore = readFile(home_.settingsFile());
    clickLine("Dark Gallery.plist");
    EXPECT_EQ(buttonStates(), selection);
    click(pane_->useSelectedSettingButton);
    const Look dark = lookOf(shipped("Dark Gallery.plist").preset);
    EXPECT_EQ(lookInSettingsFile(), dark);
    EXPECT_EQ(shownLook(), dark);
    ASSERT_EQ(notifier_->posts.size(), 1u);
    EXPECT_EQ(notifier_->posts[0].name, TSY_SiteParamChange_Notification);
    EXPECT_EQ(notifier_->posts[0].fileAtPost, readFile(home_.settingsFile()));
    EXPECT_EQ(list().getSelectLine(), -1);
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(buttonStates(), noSelection);
    // Settings outside the look stay as they were.
    LumibayPref after;
    EXPECT_EQ(after.getCheckInterval(), 7.5f);
    EXPECT_EQ(after.getSiteName(), "Holidays");
    EXPECT_NE(readFile(home_.settingsFile()), settingsBefore);

    // On the bus: exactly that one signal before a marker sent after it.
    notifications::post(Stop_Lumibay_Helper_Notification);
    ASSERT_TRUE(listener.waitFor(2));
    ASSERT_EQ(listener.messages.size(), 2u);
    EXPECT_EQ(listener.messages[0].member(), TSY_SiteParamChange_Notification);
    EXPECT_TRUE(listener.messages[0].arguments().isEmpty());
    EXPECT_EQ(listener.messages[1].member(), Stop_Lumibay_Helper_Notification);

    // The saved look brings every value back exactly.
    clickLine("Blue.plist");
    click(pane_->useSelectedSettingButton);
    EXPECT_EQ(shownLook(), own);
    EXPECT_EQ(lookInSettingsFile(), own);

    // Delete after the question, which names the look.
    questions_.asked.clear();
    questions_.answers = {true};
    clickLine("Blue.plist");
    click(pane_->deleteSelectedSettingButton);
    EXPECT_EQ(questions_.asked,
              std::vector<std::string>{
                  "delete: Do you want to delete the look “Blue.plist”? This cannot be undone."});
    EXPECT_FALSE(fs::exists(folder_ / "Blue.plist"));
    EXPECT_EQ(lines(), shippedNames());
    EXPECT_EQ(list().getSelectLine(), -1);
    EXPECT_EQ(buttonStates(), noSelection);
    EXPECT_EQ(shownLook(), own);
}

// Every shipped look shows in every control: each of its values is one of the popups' titles.
TEST_F(Presets, EveryShippedLookShowsInEveryControl) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    for (const ShippedPreset& preset : shippedPresets()) {
        SCOPED_TRACE(preset.fileName);
        clickLine(QString::fromUtf8(preset.fileName));
        click(pane_->useSelectedSettingButton);
        EXPECT_EQ(shownLook(), lookOf(preset.preset));
        EXPECT_EQ(lookInSettingsFile(), lookOf(preset.preset));
    }
    EXPECT_EQ(notifier_->posts.size(), shippedPresets().size());
}

// File names that are not UTF-8 beside names that look alike: each line shows its own name, and
// applying and deleting act on exactly the file of the chosen line.
TEST_F(Presets, EachLineActsOnItsOwnFileWhateverItsName) {
    struct Row {
        const char* name;
        const char* fileName; // bytes
        const char* line;     // as the list shows it
        const char* look;     // the shipped look the file holds
    };
    static constexpr Row kRows[] = {
        {"Latin-1 e acute", "Caf\xe9.plist", "Caf\\xE9.plist", "Ocean.plist"},
        {"UTF-8 e acute", "Caf\xc3\xa9.plist", "Caf\u00e9.plist", "Print.plist"},
        {"UTF-8 replacement character", "Caf\xef\xbf\xbd.plist", "Caf\ufffd.plist",
         "Dark Gallery.plist"},
        {"Latin-1 e grave", "Caf\xe8.plist", "Caf\\xE8.plist", "Light Paper.plist"},
    };
    for (const Row& row : kRows) {
        writeFile(folder_ / row.fileName, readFile(folder_ / row.look));
    }
    ASSERT_NO_FATAL_FAILURE(openShown());
    std::set<std::string> left;
    for (const Row& row : kRows) {
        left.insert(row.fileName);
    }
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(clickLine(QString::fromUtf8(row.line)));
        click(pane_->useSelectedSettingButton);
        EXPECT_EQ(lookInSettingsFile(), lookOf(shipped(row.look).preset));
        EXPECT_EQ(shownLook(), lookOf(shipped(row.look).preset));

        questions_.asked.clear();
        questions_.answers = {true};
        ASSERT_NO_FATAL_FAILURE(clickLine(QString::fromUtf8(row.line)));
        click(pane_->deleteSelectedSettingButton);
        EXPECT_EQ(questions_.asked,
                  std::vector<std::string>{"delete: Do you want to delete the "
                                           "look “" +
                                           std::string(row.line) + "”? This cannot be undone."});
        left.erase(row.fileName);
        for (const Row& other : kRows) {
            EXPECT_EQ(fs::exists(folder_ / other.fileName), left.count(other.fileName) == 1)
                << other.name;
        }
        EXPECT_FALSE(lines().contains(QString::fromUtf8(row.line)));
    }
    EXPECT_EQ(lines(), shippedNames());
}

// A look is applied only with values the window's controls offer: a popup's titles, and for the
// picture size any number its field takes. Otherwise nothing changes and a notice says why.
TEST_F(Presets, OnlyValuesTheControlsOfferAreApplied) {
    struct Row {
        const char* name;
        const char* key; // none: an empty dictionary
        std::int32_t value;
        const char* says; // in the notice; none when the look is applied
    };
    static constexpr Row kRows[] = {
        {"an empty dictionary", nullptr, 0, "none of the settings of a look"},
        {"picture size 0", Site_Image_Size, 0,
         "\"Picture size\" is 0, and the window offers 16 to 4096"},
        {"negative picture size", Site_Image_Size, -150, "is -150"},
        {"picture size beyond the field", Site_Image_Size, 5000, "is 5000"},
        {"no columns", Num_Of_Col_Key, 0, "\"Columns\" is 0"},
        {"more columns than the popup has", Num_Of_Col_Key, 11, "is 11"},
        {"a menu width between two titles", MenuWidth_Key, 130,
         "\"Menu width (pixels)\" is 130, and the window offers 80, 100, 120, 140, 160, 180, "
         "200, 240 or 300"},
        {"negative spacing", Picture_SPace_Key, -4, "\"Picture spacing (pixels)\" is -4"},
        {"album title size 0", AlbumTitleFontSize_Key, 0, "is 0"},
        {"the smallest picture size", Site_Image_Size, 16, nullptr},
        {"the largest picture size", Site_Image_Size, 4096, nullptr},
        {"a picture size typed in", Site_Image_Size, 333, nullptr},
        {"the lowest menu font size", MenuFontSize_Key, -3, nullptr},
    };
    ASSERT_NO_FATAL_FAILURE(openShown());
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        PlistPtr look = readPlistDictionary((folder_ / "Print.plist").string());
        ASSERT_TRUE(look);
        if (!row.key) {
            look.reset(plist_new_dict());
        } else {
            plist_dict_set_item(
                look.get(), row.key,
                plist_new_uint(static_cast<std::uint64_t>(static_cast<std::int64_t>(row.value))));
        }
        ASSERT_TRUE(writePlistDictionary((folder_ / "Changed.plist").string(), look.get()));
        pane_->setupSettingListView();
        const std::string settings = readFile(home_.settingsFile());
        const Look shown = shownLook();
        notifier_->posts.clear();
        questions_.asked.clear();

        ASSERT_NO_FATAL_FAILURE(clickLine("Changed.plist"));
        click(pane_->useSelectedSettingButton);
        if (row.says) {
            ASSERT_EQ(questions_.asked.size(), 1u);
            EXPECT_NE(questions_.asked[0].find("\"Changed.plist\""), std::string::npos)
                << questions_.asked[0];
            EXPECT_NE(questions_.asked[0].find(row.says), std::string::npos) << questions_.asked[0];
            EXPECT_EQ(readFile(home_.settingsFile()), settings);
            EXPECT_EQ(shownLook(), shown);
            EXPECT_TRUE(notifier_->posts.empty());
            EXPECT_EQ(buttonStates(), selection);
        } else {
            EXPECT_TRUE(questions_.asked.empty()) << questions_.asked[0];
            EXPECT_EQ(shownLook(), lookInPreset("Changed.plist"));
            EXPECT_EQ(lookInSettingsFile(), lookInPreset("Changed.plist"));
            EXPECT_EQ(notifier_->posts.size(), 1u);
        }
    }
}

// Cancel and "no" leave files, settings and the list as they were.
TEST_F(Presets, AnsweringNoChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    writeFile(folder_ / "Blue.plist", readFile(folder_ / "Print.plist"));
    pane_->setupSettingListView();
    const QStringList listed = lines();
    const std::string settings = readFile(home_.settingsFile());

    // Cancelled name: nothing else is asked.
    click(pane_->saveSettingButton);
    EXPECT_EQ(questions_.asked, std::vector<std::string>{"name"});

    // An existing name: the question names the file, suffix included; no keeps the old preset.
    questions_.asked.clear();
    questions_.names = {QStringLiteral("Blue")};
    questions_.answers = {false};
    click(pane_->saveSettingButton);
    EXPECT_EQ(questions_.asked,
              (std::vector<std::string>{"name", "overwrite: A look named “Blue.plist” already "
                                                "exists. Do you want to replace it with the "
                                                "current look?"}));
    EXPECT_EQ(readFile(folder_ / "Blue.plist"), readFile(folder_ / "Print.plist"));

    // Delete answered no: the preset stays, and so does the selection.
    clickLine("Blue.plist");
    questions_.answers = {false};
    click(pane_->deleteSelectedSettingButton);
    EXPECT_TRUE(fs::exists(folder_ / "Blue.plist"));
    EXPECT_EQ(buttonStates(), selection);

    EXPECT_EQ(lines(), listed);
    EXPECT_EQ(readFile(home_.settingsFile()), settings);
    EXPECT_TRUE(notifier_->posts.empty());

    // Yes replaces it with the current look.
    clickBelowLines();
    EXPECT_EQ(buttonStates(), noSelection);
    questions_.names = {QStringLiteral("Blue.plist")};
    questions_.answers = {true};
    click(pane_->saveSettingButton);
    EXPECT_EQ(lookInPreset("Blue.plist"), shownLook());
}

// A name that would lead out of the folder is refused with a notice; nothing is written.
TEST_F(Presets, ANameOutsideTheFolderIsRefused) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    const QStringList listed = lines();
    for (const char* typed : {"../Tessaly", "a/b", ".."}) {
        SCOPED_TRACE(typed);
        questions_.asked.clear();
        questions_.names = {QString::fromUtf8(typed)};
        click(pane_->saveSettingButton);
        ASSERT_EQ(questions_.asked.size(), 2u);
        EXPECT_EQ(questions_.asked[1].rfind("problem: ", 0), 0u) << questions_.asked[1];
    }
    EXPECT_FALSE(fs::exists(folder_.parent_path() / "Tessaly.plist"));
    EXPECT_EQ(lines(), listed);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()),
              listed.size());
}

// A preset that cannot be used: the user is told, and the settings, the controls, the list and
// its selection stay as they were, with nothing posted.
TEST_F(Presets, AnUnusablePresetChangesNothing) {
    struct Case {
        const char* name;
        const char* file;
        std::size_t bytes; // a body of this many spaces instead, when not 0
    };
    static constexpr Case cases[] = {
        {"not a property list", "<html>no</html>", 0},
        {"wrong-typed entry",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Site_Image_Size</key>"
         "<string>big</string></dict></plist>",
         0},
        {"an array", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>", 0},
        {"enormous", "", 8 * 1024 * 1024},
    };
    ASSERT_NO_FATAL_FAILURE(openShown());
    const std::string settings = readFile(home_.settingsFile());
    const Look shown = shownLook();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        writeFile(folder_ / "Bad.plist", row.bytes ? std::string(row.bytes, ' ') : row.file);
        pane_->setupSettingListView();
        clickLine("Bad.plist");
        questions_.asked.clear();
        click(pane_->useSelectedSettingButton);
        ASSERT_EQ(questions_.asked.size(), 1u);
        EXPECT_NE(questions_.asked[0].find("\"Bad.plist\""), std::string::npos)
            << questions_.asked[0];
        EXPECT_EQ(readFile(home_.settingsFile()), settings);
        EXPECT_EQ(shownLook(), shown);
        EXPECT_EQ(lines()[list().getSelectLine()], "Bad.plist");
        EXPECT_EQ(buttonStates(), selection);
        EXPECT_TRUE(notifier_->posts.empty());
    }
}

// Without its folder the window still works: the tab says why the list is empty, and saving
// tells the user instead of creating the folder.
TEST_F(Presets, AMissingFolderIsShownAndNeverCreated) {
    fs::remove_all(folder_);
    ASSERT_NO_FATAL_FAILURE(openShown());
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_TRUE(pane_->presetProblemLabel->isVisible());
    EXPECT_NE(pane_->presetProblemLabel->text().indexOf("ViewSettings"), -1);
    questions_.names = {QStringLiteral("Blue")};
    click(pane_->saveSettingButton);
    ASSERT_EQ(questions_.asked.size(), 2u);
    EXPECT_EQ(questions_.asked[1].rfind("problem: ", 0), 0u);
    EXPECT_FALSE(fs::exists(folder_));
    EXPECT_EQ(buttonStates(), noSelection);

    // The folder back in place: the next fill lists it and the notice goes.
    fs::create_directories(folder_);
    writeFile(folder_ / "Only.plist",
              readFile(fs::path(PANE_RESOURCES) / "ViewSettings/Print.plist"));
    pane_->viewSetUp();
    EXPECT_EQ(lines(), QStringList{"Only.plist"});
    EXPECT_FALSE(pane_->presetProblemLabel->isVisible());
}

// A settings file that cannot be read: there is no look to save, and applying one never
// overwrites the file; the window says so.
TEST_F(Presets, AnUnreadableSettingsFileIsNeitherSavedNorOverwritten) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    const std::string garbage = "not a property list at all";
    writeFile(home_.settingsFile(), garbage);
    pane_.reset();
    view_.reset();
    ASSERT_NO_FATAL_FAILURE(open());
    pane_->setPresetQuestions(&questions_);

    questions_.names = {QStringLiteral("Blue")};
    click(pane_->saveSettingButton);
    ASSERT_EQ(questions_.asked.size(), 1u);
    EXPECT_NE(questions_.asked[0].find(home_.settingsFile().string()), std::string::npos);
    EXPECT_FALSE(fs::exists(folder_ / "Blue.plist"));

    clickLine("Ocean.plist");
    click(pane_->useSelectedSettingButton);
    EXPECT_EQ(readFile(home_.settingsFile()), garbage);
    EXPECT_FALSE(pane_->saveProblemLabel->isHidden());
}

TEST_F(Presets, AReadOnlyFolderIsReportedWhenSaving) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    ASSERT_NO_FATAL_FAILURE(openShown());
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    questions_.names = {QStringLiteral("Blue")};
    click(pane_->saveSettingButton);
    fs::permissions(folder_, fs::perms::owner_all);
    ASSERT_EQ(questions_.asked.size(), 2u);
    EXPECT_EQ(questions_.asked[1].rfind("problem: ", 0), 0u);
    EXPECT_FALSE(fs::exists(folder_ / "Blue.plist"));
    EXPECT_EQ(lines(), shippedNames());
}

// The list and its buttons are named for assistive technology, and the keyboard alone selects a
// preset: the buttons follow as for a click.
TEST_F(Presets, NamedAndReachableByKeyboard) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    struct Case {
        const char* outlet;
        const char* name;
    };
    static constexpr Case cases[] = {
        {"viewSetingListView", "Saved looks"},
        {"saveSettingButton", "Save Look…"},
        {"useSelectedSettingButton", "Use Selected Look"},
        {"deleteSelectedSettingButton", "Delete Selected Look"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.outlet);
        QAccessibleInterface* accessible =
            QAccessible::queryAccessibleInterface(child<QWidget>(row.outlet));
        ASSERT_TRUE(accessible);
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(row.name));
    }

    view_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    pane_->tabView->tabBar()->setFocus();
    QWidget* reached = nullptr;
    for (int i = 0; i < 20 && reached != &list(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached = QApplication::focusWidget();
    }
    ASSERT_EQ(reached, &list());
    QTest::keyClick(&list(), Qt::Key_Down);
    EXPECT_EQ(list().getSelectLine(), 0);
    EXPECT_EQ(buttonStates(), selection);
    QTest::keyClick(&list(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pane_->useSelectedSettingButton);
}

// How a user closes a sheet: by its button, or with Escape.
enum class Press { Ok, Cancel, Escape };

// One answer to one real sheet: the text to type into its field first (none for no field), then
// the key or button.
struct SheetAnswer {
    const char* typed;
    Press press;
};

// What a real sheet showed while it was open.
struct ShownSheet {
    std::string kind; // "name" (a field), "question" (OK and Cancel) or "notice" (OK)
    QString message;
    QString fieldName;
    std::string buttons; // their titles, sorted, one space between
    bool windowModalOnPane = false;
};

// Answers the real sheets in the order they come up, inside their own nested loops, as the user
// would. A sheet with no answer left, or one that an answer did not close, is closed with Cancel
// and counts as a failure, so that a wrong sheet can never hang the test.
class RealSheets : public QObject {
public:
    RealSheets(QWidget* paneWindow, std::vector<SheetAnswer> answers)
        : paneWindow_(paneWindow), answers_(answers.begin(), answers.end()) {
        connect(&timer_, &QTimer::timeout, this, &RealSheets::look);
        timer_.start(5);
    }
    bool allAnswered() const { return answers_.empty(); }
    std::vector<ShownSheet> shown;

private:
    void look() {
        auto* sheet = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!sheet || !sheet->isVisible()) {
            return;
        }
        if (answers_.empty() || sheet == lastAnswered_) {
            ADD_FAILURE() << "a sheet was left open: " << sheetMessage(*sheet).toStdString();
            sheet->reject();
            return;
        }
        lastAnswered_ = sheet;
        record(*sheet);
        const SheetAnswer answer = answers_.front();
        answers_.pop_front();
        if (answer.typed) {
            auto* field = sheet->findChild<QLineEdit*>(QStringLiteral("messageView"));
            if (!field) {
                ADD_FAILURE() << "no field to type " << answer.typed << " into";
            } else {
                QTest::keyClicks(field, QString::fromUtf8(answer.typed));
            }
        }
        if (answer.press == Press::Escape) {
            QWidget* focus = sheet->focusWidget();
            QTest::keyClick(focus ? focus : sheet, Qt::Key_Escape);
            return;
        }
        const QString title = answer.press == Press::Ok ? "OK" : "Cancel";
        for (QPushButton* button : sheet->findChildren<QPushButton*>()) {
            if (button->text() == title) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no button " << title.toStdString();
    }

    static QString sheetMessage(const QDialog& sheet) {
        auto* label = sheet.findChild<QLabel*>(QStringLiteral("messageView"));
        return label ? label->text() : QString();
    }

    void record(const QDialog& sheet) {
        ShownSheet seen;
        QStringList titles;
        for (const QPushButton* button : sheet.findChildren<QPushButton*>()) {
            titles << button->text();
            EXPECT_EQ(accessibleText(const_cast<QPushButton*>(button)), button->text());
        }
        titles.sort();
        seen.buttons = titles.join(' ').toStdString();
        if (auto* field = sheet.findChild<QLineEdit*>(QStringLiteral("messageView"))) {
            seen.kind = "name";
            seen.fieldName = accessibleText(field);
        } else {
            seen.kind = titles.contains("Cancel") ? "question" : "notice";
            seen.message = sheetMessage(sheet);
        }
        seen.windowModalOnPane =
            sheet.windowModality() == Qt::WindowModal && sheet.parentWidget() == paneWindow_;
        shown.push_back(seen);
    }

    QWidget* paneWindow_;
    std::deque<SheetAnswer> answers_;
    QPointer<QDialog> lastAnswered_;
    QTimer timer_;
};

// Without a script the window asks with its own sheets, window-modal on itself: the name from a
// field named as its label, the questions with OK and Cancel, where Cancel and Escape are no.
TEST_F(Presets, TheWindowAsksWithItsOwnSheets) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    pane_->setPresetQuestions(nullptr);
    QWidget* paneWindow = view_->window();
    const std::string print = readFile(folder_ / "Print.plist");
    const Look own = shownLook();
    const QString overwrite = QStringLiteral(
        "A look named “Blue.plist” already exists. Do you want to replace it with the current "
        "look?");
    const std::string okCancel = "Cancel OK";

    struct SaveCase {
        const char* name;
        SheetAnswer answers[2];
        std::size_t sheets;
        const char* savedAs; // the file that holds the current look afterwards, if any
    };
    static constexpr SaveCase saves[] = {
        {"Escape on the name", {{"Blue", Press::Escape}}, 1, nullptr},
        {"Cancel on the name", {{"Blue", Press::Cancel}}, 1, nullptr},
        {"Escape on the overwrite question",
         {{"Blue", Press::Ok}, {nullptr, Press::Escape}},
         2,
         nullptr},
        {"Cancel on the overwrite question",
         {{"Blue", Press::Ok}, {nullptr, Press::Cancel}},
         2,
         nullptr},
        {"OK on the overwrite question",
         {{"Blue", Press::Ok}, {nullptr, Press::Ok}},
         2,
         "Blue.plist"},
        {"a new name is not asked about", {{"Green.PLIST", Press::Ok}}, 1, "Green.PLIST"},
    };
    for (const SaveCase& row : saves) {
        SCOPED_TRACE(row.name);
        writeFile(folder_ / "Blue.plist", print);
        fs::remove(folder_ / "Green.PLIST");
        pane_->setupSettingListView();
        const QStringList listed = lines();

        RealSheets sheets(paneWindow, {row.answers, row.answers + row.sheets});
        click(pane_->saveSettingButton);
        EXPECT_TRUE(sheets.allAnswered());
        ASSERT_EQ(sheets.shown.size(), row.sheets);
        EXPECT_EQ(sheets.shown[0].kind, "name");
        EXPECT_EQ(sheets.shown[0].fieldName, "Name of the look:");
        if (row.sheets > 1) {
            EXPECT_EQ(sheets.shown[1].kind, "question");
            EXPECT_EQ(sheets.shown[1].message, overwrite);
        }
        for (const ShownSheet& seen : sheets.shown) {
            EXPECT_EQ(seen.buttons, okCancel);
            EXPECT_TRUE(seen.windowModalOnPane);
        }

        const bool savedBlue = row.savedAs && std::string(row.savedAs) == "Blue.plist";
        const bool savedGreen = row.savedAs && std::string(row.savedAs) == "Green.PLIST";
        if (savedBlue) {
            EXPECT_EQ(lookInPreset("Blue.plist"), own);
        } else {
            EXPECT_EQ(readFile(folder_ / "Blue.plist"), print);
        }
        EXPECT_EQ(fs::exists(folder_ / "Green.PLIST"), savedGreen);
        if (!savedGreen) {
            EXPECT_EQ(lines(), listed);
        } else {
            EXPECT_EQ(lookInPreset("Green.PLIST"), own);
            EXPECT_TRUE(lines().contains("Green.PLIST"));
        }
    }

    // A refused name is told on the notice sheet, which has OK alone; nothing is written.
    {
        const QStringList listed = lines();
        RealSheets sheets(paneWindow, {{"../Out", Press::Ok}, {nullptr, Press::Ok}});
        click(pane_->saveSettingButton);
        EXPECT_TRUE(sheets.allAnswered());
        ASSERT_EQ(sheets.shown.size(), 2u);
        EXPECT_EQ(sheets.shown[1].kind, "notice");
        EXPECT_EQ(sheets.shown[1].buttons, "OK");
        EXPECT_TRUE(sheets.shown[1].message.contains("../Out"))
            << sheets.shown[1].message.toStdString();
        EXPECT_TRUE(sheets.shown[1].windowModalOnPane);
        EXPECT_FALSE(fs::exists(folder_.parent_path() / "Out.plist"));
        EXPECT_EQ(lines(), listed);
    }

    // Deleting asks with the text as it stands; only OK removes the preset.
    struct DeleteCase {
        const char* name;
        Press press;
        bool removed;
    };
    static constexpr DeleteCase deletes[] = {
        {"Escape", Press::Escape, false},
        {"Cancel", Press::Cancel, false},
        {"OK", Press::Ok, true},
    };
    for (const DeleteCase& row : deletes) {
        SCOPED_TRACE(row.name);
        clickLine("Blue.plist");
        RealSheets sheets(paneWindow, {{nullptr, row.press}});
        click(pane_->deleteSelectedSettingButton);
        EXPECT_TRUE(sheets.allAnswered());
        ASSERT_EQ(sheets.shown.size(), 1u);
        EXPECT_EQ(sheets.shown[0].kind, "question");
        EXPECT_EQ(sheets.shown[0].message,
                  "Do you want to delete the look “Blue.plist”? This cannot be undone.");
        EXPECT_EQ(sheets.shown[0].buttons, okCancel);
        EXPECT_TRUE(sheets.shown[0].windowModalOnPane);
        EXPECT_EQ(fs::exists(folder_ / "Blue.plist"), !row.removed);
        EXPECT_EQ(lines().contains("Blue.plist"), !row.removed);
    }
}

} // namespace
} // namespace tessaly
