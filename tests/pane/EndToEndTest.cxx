// The window and the real helper from inside the pane's bundle, on one private session bus and
// one home folder: a change made in the window shows on the published site within seconds.
#include "FakeApplication.hxx"
#include "HelperProcess.hxx"
#include "HostWindow.hxx"
#include "IndexXml.hxx"
#include "LoginItems.hxx"
#include "ScriptedSheets.hxx"
#include "TempHome.hxx"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QTest>

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace tessaly {
namespace {

using namespace testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One album of six landscape pictures, published as Contents/3.html.
std::string sampleIndex(const fs::path& library) {
    std::vector<std::string> albums = libraryStart();
    std::vector<std::string> keys;
    std::string master;
    for (int i = 0; i < 6; ++i) {
        const std::string key = std::to_string(100 + i);
        keys.push_back(key);
        master += pictureXml(
            key, keyString("ThumbPath", (library / "Thumbs" / (key + ".jpg")).string()) +
                     keyString("ImagePath", (library / (key + ".jpg")).string()) +
                     "<key>Aspect Ratio</key><real>1.5</real>" + keyString("Caption", key));
    }
    albums.push_back(albumXml("Harbour", keys));
    return plistDocument(albumListXml(albums) + "<key>Master Image List</key><dict>\n" + master +
                         "</dict>\n");
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++found;
    }
    return found;
}

// Every picture's width on the page.
std::set<std::string> widths(const std::string& page) {
    static const std::regex width("<img [^>]* width=\"([0-9]+)\"");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(page.begin(), page.end(), width);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

TEST(EndToEnd, EditsInTheWindowReachThePublishedSite) {
    TempHome home;
    writeFile(home.indexFile(), sampleIndex(home.libraryFolder()));
    writeFile(home.settingsFile(), plistDocument("<key>Active_Flag_Key</key><true/>\n"
                                                 "<key>Check_Interval_Key</key><real>0</real>\n"));
    const fs::path album = home.siteFolder() / "Contents/3.html";
    HelperProcess helper(HELPER_EXECUTABLE, home.path().string(),
                         (home.path() / "helper.log").string());
    ASSERT_TRUE(waitUntil([&] { return fs::exists(album); }))
        << readFile(home.path() / "helper.log");
    const std::string first = readFile(album);
    EXPECT_EQ(widths(first), std::set<std::string>{"150"});
    const std::size_t rowsOfFour = count(first, "<tr>");

    QString error;
    std::unique_ptr<HostWindow> window = HostWindow::open(Bundle(PANE_RESOURCES), nullptr, &error);
    ASSERT_TRUE(window) << error.toStdString();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Tessaly& pane = *window->pane();
    ASSERT_EQ(pane.numColomsMenu->currentText(), "4");

    // Two columns: six pictures take three rows instead of two.
    const int two = pane.numColomsMenu->findText("2");
    pane.numColomsMenu->setCurrentIndex(two);
    emit pane.numColomsMenu->activated(two);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(readFile(album), "<tr>") > rowsOfFour; }, 30000))
        << readFile(album);
    const std::string twoColumns = readFile(album);

    pane.imageSizeControlView->setValue(320);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return widths(readFile(album)) == std::set<std::string>{"320"}; }, 30000))
        << readFile(album);
    EXPECT_EQ(count(readFile(album), "<tr>"), count(twoColumns, "<tr>"));

    // A shipped look, chosen in the list and applied: its picture size and background colour.
    pane.tabView->setCurrentWidget(
        pane.viewSetingListView->window()->findChild<QWidget*>(QStringLiteral("presetsTab")));
    TextArrayView& list = *pane.viewSetingListView;
    const int ocean = static_cast<int>(
        list.getTextArray().value_or(QStringList()).indexOf(QStringLiteral("Ocean.plist")));
    ASSERT_GE(ocean, 0);
    QTest::mouseClick(&list, Qt::LeftButton, {},
                      QPoint(4, static_cast<int>((ocean + 0.5) * list.lineHeight())));
    ASSERT_TRUE(pane.useSelectedSettingButton->isEnabled());
    QTest::mouseClick(pane.useSelectedSettingButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string page = readFile(album);
            return widths(page) == std::set<std::string>{"120"} &&
                   page.find("--page: #EAF4F8;") != std::string::npos;
        },
        30000))
        << readFile(album);
    EXPECT_TRUE(helper.running());
}

// The helper that holds its name on the session bus now, or 0.
pid_t helperOnTheBus() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(QLatin1String(kHelperServiceName)).value()) {
        return 0;
    }
    return static_cast<pid_t>(bus->servicePid(QLatin1String(kHelperServiceName)).value());
}

bool processGone(pid_t pid) { return !fs::exists("/proc/" + std::to_string(pid) + "/exe"); }

// Start from the window with the library still in ~/Pictures: the library moves into ~/Sites
// with a link left behind, the helper inside the bundle publishes and is started at login; Stop
// closes the site, ends the helper and removes the login item; Start again publishes again, also
// when pressed before the stopped helper has finished. Every path holds spaces, quotes, "$", ";"
// and a non-ASCII letter.
TEST(EndToEnd, StartMovesTheLibraryPublishesAndStopCloses) {
    TempHome temp;
    const fs::path home = temp.path() / "Ana \"$HOME\"; é";
    ScopedEnv homeEnv("HOME", home.string());
    ScopedEnv config("XDG_CONFIG_HOME", (home / ".config").string());
    const fs::path resources = home / "Programs $x; é/Tessaly.prefPane/Resources";
    fs::create_directories(resources);
    for (const fs::directory_entry& entry : fs::directory_iterator(PANE_RESOURCES)) {
        if (entry.path().filename() != "ViewSettings") {
            fs::copy(entry.path(), resources / entry.path().filename(),
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        }
    }
    const fs::path library = home / "Sites/iPhoto Library";
    writeFile(home / "Pictures/iPhoto Library/AlbumData.xml", sampleIndex(library));
    writeFile(home / "Library/Preferences/Tessaly.plist",
              plistDocument("<key>Check_Interval_Key</key><real>0</real>\n"));
    const fs::path site = home / "Sites/iPhotoPictureSite";
    const fs::path topPage = site / "Tessaly.html";
    const fs::path album = site / "Contents/3.html";
    const std::string helper = LoginItems::helperProgramPath(resources.string());
    const LoginItems items(helper);

    QString error;
    std::unique_ptr<HostWindow> window = HostWindow::open(Bundle(resources), nullptr, &error);
    ASSERT_TRUE(window) << error.toStdString();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Tessaly& pane = *window->pane();
    ScriptedSheets sheets;
    const QString start = pane.actionButton->text();
    auto closed = [&] {
        return readFile(topPage).find("This photo site is closed.") != std::string::npos;
    };

    pane.actionButton->click();
    EXPECT_EQ(sheets.names, std::vector<std::string>{"BeforeStart"});
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(library)));
    EXPECT_EQ(fs::read_symlink(home / "Pictures/iPhoto Library"), library);
    EXPECT_NE(pane.actionButton->text(), start);
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(album); }, 30000));
    pid_t first = helperOnTheBus();
    ASSERT_NE(first, 0);
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(first) + "/exe"), helper);

    pane.actionButton->click();
    EXPECT_EQ(pane.actionButton->text(), start);
    EXPECT_TRUE(items.entriesOfProgram().empty());
    EXPECT_TRUE(QTest::qWaitFor(closed, 30000)) << readFile(topPage);
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(first); }, 30000));
    EXPECT_EQ(helperOnTheBus(), 0);

    // Again, from the library's usual state: nothing to move, no question.
    pane.actionButton->click();
    EXPECT_NE(pane.actionButton->text(), start);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !closed() && fs::exists(album); }, 30000))
        << readFile(topPage);
    const pid_t second = helperOnTheBus();
    EXPECT_NE(second, 0);

    // Stop and at once start: the new helper is launched only once the old one has let go.
    pane.actionButton->click();
    pane.actionButton->click();
    EXPECT_NE(pane.actionButton->text(), start);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return helperOnTheBus() != 0 && helperOnTheBus() != second && !closed(); }, 30000))
        << readFile(topPage);
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);
    EXPECT_EQ(sheets.names, std::vector<std::string>{"BeforeStart"});

    const pid_t last = helperOnTheBus();
    pane.actionButton->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return last == 0 || processGone(last); }, 30000));
    if (last != 0 && !processGone(last)) {
        ::kill(last, SIGKILL);
    }
}

} // namespace
} // namespace tessaly
