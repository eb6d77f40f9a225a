// The window and the real helper share one settings file. Whenever the window saves a value, at
// any moment of the helper's life (as it starts, once it is on the bus, after its first build),
// the file keeps that value and the site follows it: the helper never writes back an older copy.
// Run many times, since a lost value depends on timing.
#include "Color.hxx"
#include "Constants.hxx"
#include "HelperProcess.hxx"
#include "IndexXml.hxx"
#include "LumibayPref.hxx"
#include "Notifier.hxx"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t found = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++found;
    }
    return found;
}

TEST(SettingsRace, NoValueTheWindowSavesIsLost) {
    enum class Moment { AtOnce, OnTheBus, AfterTheFirstBuild };
    struct Row {
        const char* name;
        Moment moment;
    };
    static constexpr Row kRows[] = {
        {"as the helper starts", Moment::AtOnce},
        {"once the helper is on the bus", Moment::OnTheBus},
        {"after the helper's first build", Moment::AfterTheFirstBuild},
    };
    constexpr int kRounds = 5;
    int trial = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (const Row& row : kRows) {
            SCOPED_TRACE(std::string(row.name) + ", round " + std::to_string(round));
            TempHome home;
            const fs::path log = home.path() / "helper.log";
            std::vector<std::string> albums = libraryStart();
            albums.push_back(albumXml("Harbour", {"7"}));
            writeFile(
                home.indexFile(),
                plistDocument(albumListXml(albums) + "<key>Master Image List</key><dict>\n" +
                              pictureXml("7", keyString("ImagePath",
                                                        (home.libraryFolder() / "7.jpg").string()) +
                                                  keyString("Caption", "seven")) +
                              "</dict>\n"));
            // A file without the look's keys: the helper meets only missing keys, and fills in
            // their defaults.
            writeFile(home.settingsFile(),
                      plistDocument("<key>Active_Flag_Key</key><true/>\n"
                                    "<key>Check_Interval_Key</key><real>0</real>\n"));
            LumibayPref window;
            const fs::path topPage = home.siteFolder() / "Tessaly.html";
            const fs::path album = home.siteFolder() / "Contents/3.html";

            HelperProcess helper(HELPER_EXECUTABLE, home.path().string(), log.string());
            switch (row.moment) {
            case Moment::AtOnce:
                break;
            case Moment::OnTheBus:
                ASSERT_TRUE(QTest::qWaitFor(
                    [] {
                        return QDBusConnection::sessionBus()
                            .interface()
                            ->isServiceRegistered(QLatin1String(kHelperServiceName))
                            .value();
                    },
                    30000))
                    << readFile(log);
                break;
            case Moment::AfterTheFirstBuild:
                ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(album); }, 30000))
                    << readFile(log);
                break;
            }
            ++trial;
            char digits[7];
            std::snprintf(digits, sizeof digits, "%02X%02X%02X", (16 + trial) & 0xFF,
                          (200 - trial) & 0xFF, 64);
            const std::string colour = digits;
            window.setPictureBkgndColor(*NSColorExtention::colorWithHTMLString(colour));
            ASSERT_TRUE(window.savePref());
            DBusNotifier().post(TSY_SiteParamChange_Notification);

            // The site shows the colour once the helper has built after the notification...
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    return readFile(album).find("--page: #" + colour + ";") != std::string::npos;
                },
                30000))
                << readFile(album) << readFile(log);
            // ...and a build that reads the file again still finds it there.
            const std::size_t builds = count(readFile(log), "build: published");
            DBusNotifier().post(TSY_SiteParamChange_Notification);
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return count(readFile(log), "build: published") > builds; }, 30000))
                << readFile(log);
            EXPECT_EQ(NSColorExtention::HTMLColor(*LumibayPref().getPictureBkgndColor()), colour);
            EXPECT_NE(readFile(album).find("--page: #" + colour + ";"), std::string::npos);
            EXPECT_TRUE(fs::exists(topPage));

            DBusNotifier().post(Stop_Lumibay_Helper_Notification);
            EXPECT_TRUE(helper.waitForExit(std::chrono::seconds(30)).has_value());
        }
    }
}

} // namespace
} // namespace tessaly
