// A Quit over the session bus while Start copies the library to another disk: the window closes
// once the move is at a safe point, and the library is whole in one place.
#include "HostWindow.hxx"
#include "OtherDisk.hxx"
#include "ScriptedSheets.hxx"
#include "TempHome.hxx"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

TEST(QuitDuringMove, WindowClosesAndTheLibraryIsWholeInOnePlace) {
    TempHome home;
    OtherDisk disk("256m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs as ~/Sites needs root";
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        GTEST_SKIP() << "no session bus";
    }
    // A bundle whose helper only records that it ran, should the copy win the race.
    const fs::path resources = home.path() / "Tessaly.prefPane/Resources";
    fs::create_directories(resources);
    for (const fs::directory_entry& entry : fs::directory_iterator(PANE_RESOURCES)) {
        const fs::path name = entry.path().filename();
        if (name != "LumibayHelper.app" && name != "ViewSettings") {
            fs::copy(entry.path(), resources / name, fs::copy_options::recursive);
        }
    }
    const fs::path helper = resources / "LumibayHelper.app/LumibayHelper";
    writeFile(helper, "#!/bin/sh\n: > \"$0.ran\"\n");
    fs::permissions(helper, fs::perms::owner_all);

    fs::create_symlink(disk.path(), home.path() / "Sites");
    const fs::path pictures = home.path() / "Pictures/iPhoto Library";
    const fs::path sites = home.path() / "Sites/iPhoto Library";
    writeFile(pictures / "AlbumData.xml", "<plist/>");
    // Large enough that the copy shows its progress and is still running when the Quit comes.
    for (int i = 0; i < 8; ++i) {
        writeFile(pictures / "Originals" / (std::to_string(i) + ".jpg"),
                  std::string(16 << 20, static_cast<char>('a' + i)));
    }
    const TreeRecord before = recordTree(pictures, false);

    QString error;
    std::unique_ptr<HostWindow> window = HostWindow::open(Bundle(resources), nullptr, &error);
    ASSERT_TRUE(window) << error.toStdString();
    HostService service(*window);
    const QString path = QLatin1String(kHostObjectPath);
    ASSERT_TRUE(bus.registerObject(path, &service, QDBusConnection::ExportAllSlots));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    // The Quit is sent from a connection of its own as the question is answered, and reaches the
    // window while the copy runs.
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "quitter");
    ScriptedSheets sheets;
    sheets.onShow = [&](ModalSheetController&) {
        other.asyncCall(QDBusMessage::createMethodCall(
            bus.baseService(), path, QLatin1String(kHostServiceName), QStringLiteral("Quit")));
    };
    window->pane()->actionButton->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->pane(); }, 60000));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(sheets.names, std::vector<std::string>{"BeforeStart"});
    bus.unregisterObject(path);
    QDBusConnection::disconnectFromBus("quitter");

    // Whole in one place: back where it was, or moved with its link, and no copy left over.
    if (fs::is_symlink(pictures)) {
        EXPECT_EQ(recordTree(sites, false), before);
    } else {
        EXPECT_EQ(recordTree(pictures, false), before);
        EXPECT_FALSE(fs::exists(fs::symlink_status(sites)));
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(disk.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
}

} // namespace
} // namespace tessaly
