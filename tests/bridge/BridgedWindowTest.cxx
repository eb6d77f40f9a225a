// The window's "Library" choice and Start with a library of another program, with the real helper
// from inside the pane's bundle, on the private session bus and a home folder of the test's own.
#include "BridgeFixtures.hxx"
#include "Constants.hxx"
#include "FakeApplication.hxx"
#include "HostWindow.hxx"
#include "LoginItems.hxx"
#include "PublishedSite.hxx"
#include "ScriptedSheets.hxx"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDBusConnectionInterface>
#include <QKeySequence>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

#ifndef PANE_RESOURCES
#error PANE_RESOURCES names the Resources folder of the built pane bundle
#endif

namespace tessaly {
namespace {

using namespace testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The helper that holds its name on the session bus now, or 0.
pid_t helperOnTheBus() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(QLatin1String(kHelperServiceName)).value()) {
        return 0;
    }
    return static_cast<pid_t>(bus->servicePid(QLatin1String(kHelperServiceName)).value());
}

bool processGone(pid_t pid) { return !fs::exists("/proc/" + std::to_string(pid)); }

std::unique_ptr<HostWindow> openWindow() {
    QString error;
    std::unique_ptr<HostWindow> window = HostWindow::open(Bundle(PANE_RESOURCES), nullptr, &error);
    EXPECT_TRUE(window) << error.toStdString();
    if (window) {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    return window;
}

std::string settingsWith(const std::string& source, const std::string& folder) {
    return plistDocument("<key>Check_Interval_Key</key><real>0.05</real>\n"
                         "<key>Library_Source_Key</key><string>" +
                         source + "</string>\n<key>Library_Folder_Key</key><string>" + folder +
                         "</string>\n");
}

// Picks an item of the choice as a person does.
void choose(QComboBox* menu, const QString& title) {
    const int index = menu->findText(title);
    ASSERT_GE(index, 0) << title.toStdString();
    menu->setCurrentIndex(index);
    emit menu->activated(index);
}

QString accessibleName(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

TEST(BridgedWindow, StartPublishesAFolderWithoutMovingAnythingAndStopLeavesIt) {
    TempHome home;
    ScopedEnv config("XDG_CONFIG_HOME", (home.path() / ".config").string());
    const fs::path pictures = home.path() / "Pictures";
    writeJpeg(pictures / "Trip/upright.jpg", 600, 400);
    writeJpeg(pictures / "Trip/turned.jpg", 600, 400, 6);
    writeJpeg(pictures / "Trip/Day 2/tall.jpg", 200, 400);
    // A photo application's library and the application itself: neither is touched.
    writeFile(pictures / "iPhoto Library/AlbumData.xml", "the photo application's own index");
    FakeApplications applications(home.path());
    const fs::path photoApplication = applications.addOnPath("iPhoto");
    ASSERT_TRUE(QProcess::startDetached(QString::fromStdString(photoApplication.string()), {}));
    ASSERT_TRUE(applications.waitUntilRunning("iPhoto", true));
    writeFile(home.settingsFile(),
              plistDocument("<key>Check_Interval_Key</key><real>0.05</real>\n"));
    const LoginItems items(LoginItems::helperProgramPath(PANE_RESOURCES));

    std::unique_ptr<HostWindow> window = openWindow();
    ASSERT_TRUE(window);
    Tessaly& pane = *window->pane();
    LibraryChoice& choice = *pane.libraryChoice();
    ASSERT_TRUE(choice.menu() && choice.chooseButton() && choice.folderView());
    EXPECT_EQ(choice.menu()->currentText(), "iPhoto library");
    EXPECT_FALSE(choice.folderView()->isVisible());
    // Named as it is labelled, and reached with the label's letter.
    EXPECT_EQ(accessibleName(choice.menu()), "Library");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(choice.menu())->text(QAccessible::Value),
              "iPhoto library");
    QTest::keyClick(window.get(), Qt::Key_Y, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), choice.menu());

    // "A folder…" asks for the folder first; cancelled, nothing is stored.
    const std::string before = readFile(home.settingsFile());
    choice.setFolderChooser([](QWidget*, const std::string&) { return std::nullopt; });
    choose(choice.menu(), QStringLiteral("A folder…"));
    EXPECT_EQ(choice.menu()->currentText(), "iPhoto library");
    EXPECT_EQ(readFile(home.settingsFile()), before);

    std::string offered;
    choice.setFolderChooser([&](QWidget* parent, const std::string& start) {
        EXPECT_EQ(parent, window.get());
        offered = start;
        return std::optional<std::string>(pictures.string());
    });
    choose(choice.menu(), QStringLiteral("A folder…"));
    EXPECT_EQ(offered, pictures.string());
    {
        LumibayPref saved(LumibayPref::FileWrites::Never);
        EXPECT_EQ(saved.getLibrarySource(), "Folder");
        EXPECT_EQ(saved.getLibraryFolder(), pictures.string());
    }
    EXPECT_TRUE(choice.folderView()->isVisible());
    EXPECT_EQ(choice.folderView()->text().toStdString(), pictures.string());
    EXPECT_EQ(accessibleName(choice.folderView()), "Pictures folder");
    EXPECT_EQ(accessibleName(choice.chooseButton()), "Choose Folder…");
    // The choice's letter is its own beside every tab.
    const QKeySequence letter =
        QKeySequence::mnemonic(window->findChild<QLabel*>(QStringLiteral("libraryLabel"))->text());
    for (int tab = 0; tab < pane.tabView->count(); ++tab) {
        pane.tabView->setCurrentIndex(tab);
        int uses = 0;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const auto* label = qobject_cast<QLabel*>(widget);
            if (widget->isVisible() && (button || label)) {
                uses += QKeySequence::mnemonic(button ? button->text() : label->text()) == letter;
            }
        }
        EXPECT_EQ(uses, 1) << pane.tabView->tabText(tab).toStdString();
    }

    ScriptedSheets sheets;
    const QString startTitle = pane.actionButton->text();
    pane.actionButton->click();
    EXPECT_TRUE(sheets.names.empty()) << sheets.messages.front();
    EXPECT_NE(pane.actionButton->text(), startTitle);
    EXPECT_FALSE(choice.menu()->isEnabled());
    EXPECT_TRUE(fs::exists(home.libraryFolder() / ".tessaly-bridge"));
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(pictures / "iPhoto Library")));
    EXPECT_EQ(readFile(pictures / "iPhoto Library/AlbumData.xml"),
              "the photo application's own index");
    EXPECT_TRUE(applications.waitUntilRunning("iPhoto", true));
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);

    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return fs::exists(home.siteFolder() / "Contents/menu.html") &&
                   readPublishedSite(home.siteFolder()).albums ==
                       std::vector<std::string>{"Trip", "Trip/Day 2"};
        },
        60000));
    expectSoundCells(readPublishedSite(home.siteFolder()),
                     {{"upright", {pictures / "Trip/upright.jpg", 1.5f}},
                      {"turned", {pictures / "Trip/turned.jpg", 400.0f / 600.0f}},
                      {"tall", {pictures / "Trip/Day 2/tall.jpg", 0.5f}}});
    const pid_t helper = helperOnTheBus();
    ASSERT_NE(helper, 0);

    pane.actionButton->click();
    EXPECT_EQ(pane.actionButton->text(), startTitle);
    EXPECT_TRUE(choice.menu()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(helper); }, 30000));
    EXPECT_NE(readFile(home.siteFolder() / "Tessaly.html").find("This photo site is closed."),
              std::string::npos);
    EXPECT_TRUE(fs::exists(home.indexFile()));
    EXPECT_TRUE(items.entriesOfProgram().empty());
}

// Every start that cannot publish the library says which file or folder it looked for, and
// changes nothing: no flag, no helper, no login entry, no library in ~/Sites.
TEST(BridgedWindow, ALibraryThatCannotBePublishedIsNamedAndNothingChanges) {
    struct Case {
        const char* name;
        const char* source;
        const char* folder;    // below the home folder
        const char* setUp;     // what the home holds, see below
        const char* lookedFor; // in the sheet's text, below the home folder
    };
    static constexpr Case kCases[] = {
        {"no Shotwell database", "Shotwell", "", "", ".local/share/shotwell/data/photo.db"},
        {"not a database", "Shotwell", "", "junk database", ".local/share/shotwell/data/photo.db"},
        {"digiKam never set up", "digiKam", "", "", ".config/digikamrc"},
        {"a missing folder", "Folder", "Pictures/Nowhere", "", "Pictures/Nowhere"},
        {"an empty folder", "Folder", "Pictures/Empty", "empty folder", "Pictures/Empty"},
        {"a library the bridge did not make", "Folder", "Pictures", "foreign library",
         "Sites/iPhoto Library"},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        ScopedEnv data("XDG_DATA_HOME", (home.path() / ".local/share").string());
        ScopedEnv config("XDG_CONFIG_HOME", (home.path() / ".config").string());
        const std::string setUp = row.setUp;
        writeJpeg(home.path() / "Pictures/a.jpg", 40, 30);
        if (setUp == "junk database") {
            writeFile(home.path() / row.lookedFor, "not a database, only some text in its place");
        } else if (setUp == "empty folder") {
            fs::create_directories(home.path() / row.folder);
            writeFile(home.path() / row.folder / "notes.txt", "no pictures here");
        } else if (setUp == "foreign library") {
            writeFile(home.indexFile(), "the photo application's own index");
        }
        writeFile(home.settingsFile(),
                  settingsWith(row.source, (home.path() / row.folder).string()));
        const LoginItems items(LoginItems::helperProgramPath(PANE_RESOURCES));

        std::unique_ptr<HostWindow> window = openWindow();
        ASSERT_TRUE(window);
        // As the window keeps it, with its defaults filled in.
        const std::string settings = readFile(home.settingsFile());
        Tessaly& pane = *window->pane();
        const QString startTitle = pane.actionButton->text();
        ScriptedSheets sheets;
        pane.actionButton->click();
        ASSERT_EQ(sheets.names, std::vector<std::string>{"Notice"});
        EXPECT_NE(sheets.messages[0].find((home.path() / row.lookedFor).string()),
                  std::string::npos)
            << sheets.messages[0];
        EXPECT_EQ(pane.actionButton->text(), startTitle);
        EXPECT_EQ(readFile(home.settingsFile()), settings);
        EXPECT_TRUE(items.entriesOfProgram().empty());
        EXPECT_EQ(helperOnTheBus(), 0);
        if (setUp == "foreign library") {
            EXPECT_EQ(readFile(home.indexFile()), "the photo application's own index");
            EXPECT_FALSE(fs::exists(home.libraryFolder() / "Thumbs"));
        } else {
            EXPECT_FALSE(fs::exists(home.libraryFolder()));
        }
    }
}

// A long first build shows its progress in a dialog on the window; Cancel there ends the start
// and leaves no half library behind.
TEST(BridgedWindow, CancellingTheFirstBuildEndsTheStartAndLeavesNoLibrary) {
    TempHome home;
    ScopedEnv config("XDG_CONFIG_HOME", (home.path() / ".config").string());
    const fs::path first = home.path() / "Pictures/Many/p0000.jpg";
    writeJpeg(first, 2000, 1500);
    for (int i = 1; i < 3000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%04d.jpg", i);
        fs::create_hard_link(first, first.parent_path() / name);
    }
    writeFile(home.settingsFile(), settingsWith("Folder", ""));
    std::unique_ptr<HostWindow> window = openWindow();
    ASSERT_TRUE(window);
    Tessaly& pane = *window->pane();
    const QString startTitle = pane.actionButton->text();
    const std::string settings = readFile(home.settingsFile());

    // Cancels as a person does once the dialog shows, and notes how it was shown.
    bool shown = false;
    bool windowModal = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QProgressDialog* dialog : window->findChildren<QProgressDialog*>()) {
            if (dialog->isVisible() && !shown) {
                shown = true;
                windowModal = dialog->windowModality() == Qt::WindowModal;
                QPushButton* cancel = dialog->findChild<QPushButton*>();
                ASSERT_TRUE(cancel);
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        }
    });
    watcher.start(20);
    ScriptedSheets sheets;
    pane.actionButton->click();
    watcher.stop();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(windowModal);
    EXPECT_TRUE(sheets.names.empty());
    EXPECT_EQ(pane.actionButton->text(), startTitle);
    EXPECT_FALSE(fs::exists(home.libraryFolder()));
    EXPECT_EQ(helperOnTheBus(), 0);
    EXPECT_EQ(readFile(home.settingsFile()), settings);
}

} // namespace
} // namespace tessaly
