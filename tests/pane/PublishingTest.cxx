// Start and stop through the window: the library's state decides which sheet shows, whether the
// helper is launched and the login item added; the button follows the flag. The helper here is a
// stand-in inside a copy of the pane's bundle that only records how it was started. Every path
// (home, library, bundle) holds spaces, quotes, "$", ";" and a non-ASCII letter.
#include "AccessibleText.hxx"
#include "FakeApplication.hxx"
#include "FinderScripts.hxx"
#include "LoginItems.hxx"
#include "PaneFixture.hxx"
#include "ScriptedSheets.hxx"
#include "WorkspaceExtention.hxx"

#include <QDBusConnectionInterface>
#include <QTimer>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

constexpr char kAwkwardName[] = "Ana \"$HOME\"; é";

enum class Item { none, directory, link, file };

void makeItem(const fs::path& at, Item item, const std::string& index) {
    switch (item) {
    case Item::none:
        break;
    case Item::directory:
        writeFile(at / "AlbumData.xml", index);
        break;
    case Item::link:
        fs::create_directories(at.parent_path() / "elsewhere");
        fs::create_symlink(at.parent_path() / "elsewhere", at);
        break;
    case Item::file:
        writeFile(at, "an alias file");
        break;
    }
}

class PublishingTest : public PaneFixture {
public:
    void SetUp() override {
        fs::create_directories(home);
        resources = home / "Programs $x; é" / "Tessaly.prefPane/Resources";
        fs::create_directories(resources);
        for (const fs::directory_entry& entry : fs::directory_iterator(PANE_RESOURCES)) {
            const fs::path name = entry.path().filename();
            if (name != "LumibayHelper.app" && name != "ViewSettings") {
                fs::copy(entry.path(), resources / name, fs::copy_options::recursive);
            }
        }
        helper = resources / "LumibayHelper.app/LumibayHelper";
        writeFile(helper, "#!/bin/sh\nprintf '%s|%s\\n' \"$HOME\" \"$#\" >> \"$0.launches\"\n");
        fs::permissions(helper, fs::perms::owner_all);
    }
    void openPane() {
        resources_ = resources.string();
        open();
        if (!HasFatalFailure()) {
            pane_->setHelperHandOverWait(std::chrono::seconds(10));
        }
    }
    void press() { pane_->actionButton->click(); }
    QString title() const { return pane_->actionButton->text(); }
    // One line per launch: the HOME it saw and how many arguments it got.
    std::vector<std::string> launches() const {
        std::vector<std::string> lines;
        std::string text = readFile(helper.string() + ".launches");
        for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find('\n', pos);
            lines.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        return lines;
    }
    bool waitForLaunches(std::size_t count) {
        return QTest::qWaitFor([&] { return launches().size() >= count; }, 30000);
    }
    std::size_t autostartFiles() const {
        std::error_code error;
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(autostart, error), fs::directory_iterator()));
    }
    bool flagOnInFile() const { return LumibayPref().getActiveFlag(); }

    fs::path home = home_.path() / kAwkwardName;
    ScopedEnv homeEnv{"HOME", home.string()};
    ScopedEnv config{"XDG_CONFIG_HOME", (home / ".config").string()};
    fs::path autostart = home / ".config/autostart";
    fs::path pictures = home / "Pictures/iPhoto Library";
    fs::path sites = home / "Sites/iPhoto Library";
    fs::path resources;
    fs::path helper;
    ScriptedSheets sheets;
};

TEST_F(PublishingTest, NineLibraryStatesThroughTheWindow) {
    struct Case {
        const char* name;
        Item pictures;
        Item sites;
        int answer; // to "BeforeStart"
        const char* sheet;
        bool starts;
        bool moves;
        bool linkMade;
    };
    static constexpr Case cases[] = {
        {"none, none", Item::none, Item::none, 1, "iPhotoNotFound", false, false, false},
        {"none, directory", Item::none, Item::directory, 1, nullptr, true, false, true},
        {"none, other", Item::none, Item::file, 1, "iPhotoNotFound", false, false, false},
        {"directory, none: OK", Item::directory, Item::none, 1, "BeforeStart", true, true, true},
        {"directory, none: Cancel", Item::directory, Item::none, 0, "BeforeStart", false, false,
         false},
        {"directory, directory", Item::directory, Item::directory, 1, "Notice", false, false,
         false},
        {"directory, other", Item::directory, Item::file, 1, "Notice", false, false, false},
        {"link, none", Item::link, Item::none, 1, "Notice", false, false, false},
        {"other, directory", Item::file, Item::directory, 1, nullptr, true, false, false},
        {"other, other", Item::file, Item::file, 1, "iPhotoNotFound", false, false, false},
    };
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    const QString start = title();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(home / "Pictures");
        fs::remove_all(home / "Sites");
        fs::remove_all(autostart);
        fs::remove(helper.string() + ".launches");
        fs::create_directories(home / "Pictures");
        makeItem(pictures, row.pictures, "pictures");
        makeItem(sites, row.sites, "sites");
        sheets.names.clear();
        sheets.answers = {row.answer};

        press();
        EXPECT_EQ(sheets.names,
                  row.sheet ? std::vector<std::string>{row.sheet} : std::vector<std::string>{});
        EXPECT_EQ(title() != start, row.starts);
        EXPECT_EQ(flagOnInFile(), row.starts);
        EXPECT_EQ(autostartFiles(), row.starts ? 1u : 0u);
        if (row.starts) {
            ASSERT_TRUE(waitForLaunches(1));
            EXPECT_EQ(launches(), std::vector<std::string>{home.string() + "|0"});
        } else {
            EXPECT_TRUE(launches().empty());
        }
        if (row.moves) {
            EXPECT_EQ(readFile(sites / "AlbumData.xml"), "pictures");
        } else if (row.pictures == Item::directory) {
            EXPECT_EQ(readFile(pictures / "AlbumData.xml"), "pictures");
        }
        EXPECT_EQ(fs::is_symlink(pictures) && fs::read_symlink(pictures) == sites, row.linkMade);

        if (row.starts) {
            press();
            EXPECT_EQ(title(), start);
            EXPECT_FALSE(flagOnInFile());
        }
    }
}

TEST_F(PublishingTest, StartStopStartLeavesExactlyOneAutostartEntry) {
    const std::string other = "[Desktop Entry]\nType=Application\nName=Other\nExec=other\n";
    const std::string broken = "\x01 not [ a key file\n\xff";
    writeFile(autostart / "a-other.desktop", other);
    writeFile(autostart / "b-broken.desktop", broken);
    makeItem(sites, Item::directory, "sites");
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    const QString start = title();
    const LoginItems items(helper.string());

    press();
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);
    const QString stop = title();
    EXPECT_NE(stop, start);
    ASSERT_TRUE(waitForLaunches(1));

    press();
    EXPECT_EQ(title(), start);
    EXPECT_TRUE(items.entriesOfProgram().empty());
    ASSERT_FALSE(notifier_->posts.empty());
    EXPECT_EQ(notifier_->posts.back().name, Stop_Lumibay_Helper_Notification);
    // Saved before it was posted: the helper reads the flag off when it looks.
    EXPECT_EQ(notifier_->posts.back().fileAtPost.find("<true/>"), std::string::npos);

    press();
    EXPECT_EQ(title(), stop);
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);
    ASSERT_TRUE(waitForLaunches(2));
    EXPECT_EQ(readFile(autostart / "a-other.desktop"), other);
    EXPECT_EQ(readFile(autostart / "b-broken.desktop"), broken);
    EXPECT_EQ(autostartFiles(), 3u);
    EXPECT_TRUE(sheets.names.empty());
}

// A start that cannot launch the helper, or cannot record the flag it reads, says so and leaves
// everything as it was: the button, the flag, the helper and the login item.
TEST_F(PublishingTest, StartsThatEndWithoutStartingSaySo) {
    struct Case {
        const char* name;
        void (*spoil)(PublishingTest&);
        const char* says;
    };
    static constexpr Case cases[] = {
        {"no helper in the bundle", [](PublishingTest& t) { fs::remove(t.helper); },
         "could not be launched"},
        {"unreadable settings file",
         [](PublishingTest& t) {
             writeFile(t.home / "Library/Preferences/Tessaly.plist", "<plist><dict><key>");
         },
         "could not be read"},
        // A file where the settings folder should be stops every writer, root included. The
        // helper would read publishing off and quit.
        {"settings that cannot be written",
         [](PublishingTest& t) {
             writeFile(t.home / "Library/Preferences", "a file where the folder should be");
         },
         "could not be written"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        makeItem(sites, Item::directory, "sites");
        row.spoil(*this);
        openPane();
        ASSERT_FALSE(HasFatalFailure());
        const QString start = title();
        sheets.names.clear();
        sheets.messages.clear();

        press();
        EXPECT_EQ(sheets.names, std::vector<std::string>{"Notice"});
        ASSERT_EQ(sheets.messages.size(), 1u);
        EXPECT_NE(sheets.messages[0].find(row.says), std::string::npos) << sheets.messages[0];
        EXPECT_EQ(title(), start);
        EXPECT_FALSE(flagOnInFile());
        EXPECT_FALSE(pane_->pref()->getActiveFlag());
        EXPECT_TRUE(launches().empty());
        EXPECT_EQ(autostartFiles(), 0u);
        // A fresh home and bundle for the next row.
        pane_.reset();
        view_.reset();
        fs::remove_all(home);
        SetUp();
    }
}

TEST_F(PublishingTest, AnAutostartFolderThatCannotBeWrittenGivesANotice) {
    writeFile(autostart, "a file where the folder should be");
    makeItem(sites, Item::directory, "sites");
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    const QString start = title();
    press();
    EXPECT_EQ(sheets.names, std::vector<std::string>{"Notice"});
    ASSERT_EQ(sheets.messages.size(), 1u);
    EXPECT_NE(sheets.messages[0].find(autostart.string()), std::string::npos);
    // Publishing itself has started: only the next login is affected.
    EXPECT_NE(title(), start);
    EXPECT_TRUE(waitForLaunches(1));
}

// A helper told to stop still holds its name on the bus until it has closed the site; a new one
// started meanwhile would quit at once. The start waits for the name to be free.
TEST_F(PublishingTest, StartWaitsForTheOldHelperToLetGoOfItsName) {
    QDBusConnection holder = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "holder");
    ASSERT_TRUE(holder.isConnected());
    const QString name = QLatin1String(kHelperServiceName);
    ASSERT_EQ(holder.interface()->registerService(name).value(),
              QDBusConnectionInterface::ServiceRegistered);
    makeItem(sites, Item::directory, "sites");
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    const QString start = title();

    std::optional<std::size_t> launchedBeforeRelease;
    QTimer::singleShot(400, [&] {
        launchedBeforeRelease = launches().size();
        holder.interface()->unregisterService(name);
    });
    press();
    ASSERT_TRUE(launchedBeforeRelease.has_value());
    EXPECT_EQ(*launchedBeforeRelease, 0u);
    EXPECT_TRUE(waitForLaunches(1));
    EXPECT_NE(title(), start);
    EXPECT_TRUE(sheets.names.empty());

    // A name that is never let go: the start ends with a notice, nothing launched.
    press();
    ASSERT_EQ(holder.interface()->registerService(name).value(),
              QDBusConnectionInterface::ServiceRegistered);
    pane_->setHelperHandOverWait(std::chrono::milliseconds(300));
    press();
    EXPECT_EQ(sheets.names, std::vector<std::string>{"Notice"});
    EXPECT_EQ(title(), start);
    EXPECT_FALSE(flagOnInFile());
    EXPECT_EQ(launches().size(), 1u);
    EXPECT_EQ(autostartFiles(), 0u);
    holder.interface()->unregisterService(name);
    QDBusConnection::disconnectFromBus("holder");
}

class PhotoApplicationThroughTheWindow : public PublishingTest {
protected:
    void SetUp() override {
        PublishingTest::SetUp();
        makeItem(pictures, Item::directory, "pictures");
        apps.addOnPath("iPhoto");
        apps.addDesktopEntry("iPhoto", "Exec=iPhoto\n");
        ASSERT_TRUE(FinderScripts::OpenApplication("iPhoto.app"));
        ASSERT_TRUE(apps.waitUntilRunning("iPhoto", true));
        sheets.onShow = [this](ModalSheetController&) {
            runningWhenAsked = NSWorkspaceExtention::checkApplicationIsRunning("iPhoto");
        };
    }
    FakeApplications apps{home};
    bool runningWhenAsked = true;
};

TEST_F(PhotoApplicationThroughTheWindow, QuitWaitedForAndOpenedAgainAtTheEnd) {
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    const QString start = title();
    press();
    EXPECT_EQ(sheets.names, std::vector<std::string>{"BeforeStart"});
    EXPECT_FALSE(runningWhenAsked);
    EXPECT_EQ(readFile(sites / "AlbumData.xml"), "pictures");
    EXPECT_EQ(fs::read_symlink(pictures), sites);
    EXPECT_NE(title(), start);
    EXPECT_TRUE(waitForLaunches(1));
    EXPECT_TRUE(apps.waitUntilRunning("iPhoto", true));
}

TEST_F(PhotoApplicationThroughTheWindow, CancelOpensItAgainAndMovesNothing) {
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    const QString start = title();
    sheets.answers = {0};
    press();
    EXPECT_EQ(sheets.names, std::vector<std::string>{"BeforeStart"});
    EXPECT_FALSE(runningWhenAsked);
    EXPECT_TRUE(apps.waitUntilRunning("iPhoto", true));
    EXPECT_EQ(readFile(pictures / "AlbumData.xml"), "pictures");
    EXPECT_FALSE(fs::exists(fs::symlink_status(sites)));
    EXPECT_EQ(title(), start);
    EXPECT_FALSE(flagOnInFile());
    EXPECT_EQ(autostartFiles(), 0u);
}

TEST_F(PublishingTest, AboutButtonShowsTheAboutSheet) {
    openPane();
    ASSERT_FALSE(HasFatalFailure());
    QPushButton* about = nullptr;
    for (QPushButton* button : view_->findChildren<QPushButton*>()) {
        if (accessibleText(button) == "About") {
            about = button;
        }
    }
    ASSERT_TRUE(about);
    about->click();
    EXPECT_EQ(sheets.names, std::vector<std::string>{"AboutLumibay"});
}

} // namespace
} // namespace tessaly
