// The helper as users run it: a process of its own, driven by its settings file, the library
// index and notifications on a private session bus.
#include "HelperProcess.hxx"

#include "Constants.hxx"
#include "IndexXml.hxx"
#include "LumibayPref.hxx"
#include "Notifications.hxx"
#include "TempHome.hxx"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <locale.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>

#ifndef HELPER_EXECUTABLE
#error HELPER_EXECUTABLE names the helper in its bundle
#endif

namespace tessaly {
namespace {

using namespace testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A library of three albums with captions, comments and a missing picture.
std::string sampleIndex(const fs::path& library, int pictures = 6) {
    std::vector<std::string> albums = libraryStart();
    std::vector<std::string> keys;
    std::string master;
    for (int i = 0; i < pictures; ++i) {
        const std::string key = std::to_string(100 + i);
        keys.push_back(key);
        master += pictureXml(
            key, keyString("ThumbPath", (library / "2026/12/01/Thumbs" / (key + ".jpg")).string()) +
                     keyString("ImagePath", (library / "2026/12/01" / (key + ".jpg")).string()) +
                     "<key>Aspect Ratio</key><real>1.5</real>" +
                     keyString("Caption", "Picture " + key));
    }
    albums.push_back(albumXml("Harbour", keys, "Regular", keyString("Comments", "Boats")));
    albums.push_back(albumXml("Smart one", {}, "Smart"));
    albums.push_back(albumXml("Snow", {keys.front(), "missing"}));
    return plistDocument(albumListXml(albums) + "<key>Master Image List</key><dict>\n" + master +
                         "</dict>\n");
}

class Helper : public ::testing::Test {
protected:
    void writeSettings(const std::string& body) {
        writeFile(home_.settingsFile(), plistDocument(body));
    }
    void activeSettings(const std::string& more = "") {
        writeSettings("<key>Active_Flag_Key</key><true/>\n"
                      "<key>Check_Interval_Key</key><real>0</real>\n" +
                      more);
    }
    void writeIndex(int pictures = 6) {
        writeFile(home_.indexFile(), sampleIndex(home_.libraryFolder(), pictures));
    }
    HelperProcess& start(const std::string& executable = HELPER_EXECUTABLE) {
        helper_ =
            std::make_unique<HelperProcess>(executable, home_.path().string(), log().string());
        return *helper_;
    }
    fs::path log() const { return home_.path() / "helper.log"; }
    fs::path site() const { return home_.siteFolder(); }
    fs::path topPage() const { return site() / "Tessaly.html"; }
    fs::path page(const std::string& name) const { return site() / "Contents" / name; }

    bool siteIsBuilt() const {
        return fs::exists(topPage()) && fs::exists(page("menu.html")) && fs::exists(page("5.html"));
    }
    timespec modified(const fs::path& path) const {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mtim;
    }
    static bool same(const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
    // Waits until the top page is rewritten after the given time.
    bool rebuiltSince(const timespec& before, std::chrono::milliseconds timeout = 30s) {
        return waitUntil(
            [&] { return fs::exists(topPage()) && !same(modified(topPage()), before); }, timeout);
    }
    void setModified(const fs::path& path, const timespec& when) {
        const timespec times[2] = {when, when};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    // How many lines of the helper's log hold `text`.
    std::size_t logged(const std::string& text) const {
        std::size_t count = 0;
        std::istringstream in(readFile(log()));
        for (std::string line; std::getline(in, line);) {
            count += line.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    // Waits until the log holds `text` on at least `lines` lines.
    bool waitForLog(const std::string& text, std::size_t lines = 1) const {
        return waitUntil([&] { return logged(text) >= lines; });
    }
    // Waits for the monitor's next few passes in which no check was due.
    bool waitForIdlePasses(int passes = 3) const {
        return waitForLog(kIdlePass, logged(kIdlePass) + passes);
    }
    static constexpr char kIdlePass[] = "monitor pass: no check due";
    static constexpr char kUpToDate[] = "check: the site is up to date";

    std::string stopAndLog() {
        notifications::post(Stop_Lumibay_Helper_Notification);
        EXPECT_EQ(helper_->waitForExit(10s), 0);
        return readFile(log());
    }

    TempHome home_;
    std::unique_ptr<HelperProcess> helper_;
};

// --- start-up -----------------------------------------------------------------------------------

TEST_F(Helper, WithoutSettingsQuitsAtOnceAndWritesNothing) {
    writeIndex();
    EXPECT_EQ(start().waitForExit(10s), 0);
    EXPECT_FALSE(fs::exists(home_.settingsFile()));
    EXPECT_FALSE(fs::exists(site()));
}

TEST_F(Helper, PublishingOffClosesAnExistingSite) {
    writeIndex();
    writeSettings("<key>Active_Flag_Key</key><false/>\n");
    writeFile(page("3.html"), "old");
    writeFile(topPage(), "old");
    writeFile(site() / "mine.txt", "the user's own");
    EXPECT_EQ(start().waitForExit(10s), 0);
    EXPECT_FALSE(fs::exists(site() / "Contents"));
    EXPECT_NE(readFile(topPage()).find("This photo site is closed."), std::string::npos);
    EXPECT_EQ(readFile(site() / "mine.txt"), "the user's own");
}

// A settings file from another tool: the helper publishes with its values, and what the file
// held stays readable by that tool and keeps every key and value.
TEST_F(Helper, PublishesFromASettingsFileWrittenByPython) {
    writeIndex();
    const std::string write =
        "/usr/bin/python3 -c \"import plistlib, datetime, os; "
        "os.makedirs(os.path.dirname('" +
        home_.settingsFile().string() +
        "'), exist_ok=True); "
        "plistlib.dump({'Active_Flag_Key': True, 'MenuWidth_Key': 222, "
        "'PictureBkgndColor_Key': '0A1B2C', 'Check_Interval_Key': 0.25, "
        "'Users_Own': {'when': datetime.datetime(2020, 5, 6, 7, 8, 9), "
        "'blob': b'\\\\x00\\\\xff', 'list': [1, 2.5, 'caf\\\\u00e9 & <x>']}}, "
        "open('" +
        home_.settingsFile().string() + "', 'wb'))\"";
    ASSERT_EQ(std::system(write.c_str()), 0);
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    const std::string top = readFile(topPage());
    EXPECT_NE(top.find("cols=\"222,*\""), std::string::npos) << top;
    EXPECT_NE(top.find("0A1B2C"), std::string::npos);
    EXPECT_NE(readFile(page("3.html")).find("#0A1B2C"), std::string::npos);

    const std::string check =
        "/usr/bin/python3 -c \"import plistlib, datetime, sys; "
        "d = plistlib.load(open('" +
        home_.settingsFile().string() +
        "', 'rb')); "
        "assert d['Active_Flag_Key'] is True and d['MenuWidth_Key'] == 222, d; "
        "assert d['PictureBkgndColor_Key'] == '0A1B2C' and d['Check_Interval_Key'] == 0.25, d; "
        "assert d['Users_Own'] == {'when': datetime.datetime(2020, 5, 6, 7, 8, 9), "
        "'blob': b'\\\\x00\\\\xff', 'list': [1, 2.5, 'caf\\\\u00e9 & <x>']}, d; "
        // The window alone writes the file: the helper's defaults stay in its memory.
        "assert 'Site_Image_Size' not in d and 'MenuStringColor_Key' not in d, d\"";
    EXPECT_EQ(std::system(check.c_str()), 0);
    stopAndLog();
}

TEST_F(Helper, WritesTheWholeSiteWithoutBeingTold) {
    writeIndex();
    activeSettings();
    // Templates and the index carry old dates; every page must carry the time of the build.
    // (File times come from a coarser clock than now(): allow for its step.)
    const auto beforeBuild = fs::file_time_type::clock::now() - 50ms;
    setModified(home_.indexFile(), timespec{1000000000, 0});
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    EXPECT_FALSE(fs::exists(page("4.html"))); // not a regular album
    EXPECT_FALSE(fs::exists(page("0.html")));
    const std::string menu = readFile(page("menu.html"));
    EXPECT_NE(menu.find("<a href=\"3.html\" target=\"picture\">Harbour</a><br>"),
              std::string::npos);
    EXPECT_NE(menu.find("<a href=\"5.html\" target=\"picture\">Snow</a><br>"), std::string::npos);
    const std::string harbour = readFile(page("3.html"));
    EXPECT_NE(harbour.find(
                  "<img src=\"../../iPhoto Library/2026/12/01/Thumbs/100.jpg\" alt=\"Picture 100\" "
                  "border=\"0\" width=\"150\" height=\"100\">"),
              std::string::npos);
    const auto afterBuild = fs::file_time_type::clock::now();
    for (const fs::path& path : {topPage(), page("menu.html"), page("3.html")}) {
        SCOPED_TRACE(path.string());
        EXPECT_GE(fs::last_write_time(path), beforeBuild);
        EXPECT_LE(fs::last_write_time(path), afterBuild);
    }
    stopAndLog();
}

TEST_F(Helper, IndexWithoutAlbumsGivesTopPageAndEmptyContents) {
    writeFile(home_.indexFile(), plistDocument("<key>Master Image List</key><dict/>\n"));
    activeSettings();
    start();
    ASSERT_TRUE(waitUntil([&] { return fs::exists(topPage()); }));
    // A second build that is seen to finish (its top page is the last thing it puts in place)
    // proves the first one had long finished too: only then is an empty Contents meaningful.
    const timespec first = modified(topPage());
    notifications::post(TSY_SiteParamChange_Notification);
    ASSERT_TRUE(rebuiltSince(first));
    EXPECT_TRUE(fs::is_directory(site() / "Contents"));
    EXPECT_TRUE(fs::is_empty(site() / "Contents"));
    EXPECT_FALSE(fs::exists(page("menu.html")));
    stopAndLog();
}

TEST_F(Helper, AFileWhereTheSiteFolderShouldBeIsLeftAlone) {
    writeIndex();
    activeSettings();
    writeFile(site(), "a file of the user's");
    start();
    // The build cannot write into a file; the helper keeps running and obeys a stop.
    ASSERT_TRUE(waitForLog("Site not published"));
    EXPECT_TRUE(helper_->running());
    stopAndLog();
    EXPECT_EQ(readFile(site()), "a file of the user's");
}

// --- watching the library ----------------------------------------------------------------------

TEST_F(Helper, RebuildsWhenTheIndexChangesOrTheSiteIsIncomplete) {
    writeIndex();
    activeSettings();
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));

    // An unchanged index brings nothing over several checks.
    timespec built = modified(topPage());
    ASSERT_TRUE(waitForLog(kUpToDate, logged(kUpToDate) + 3));
    EXPECT_TRUE(same(modified(topPage()), built));

    // An index rewritten with the top page's date, as a copy that keeps dates may leave it, is
    // another index all the same.
    writeFile(home_.indexFile(), sampleIndex(home_.libraryFolder(), 7));
    setModified(home_.indexFile(), built);
    ASSERT_TRUE(rebuiltSince(built));
    built = modified(topPage());

    // A newer index brings a rebuild with its albums.
    writeFile(home_.indexFile(), plistDocument(albumListXml([] {
                  auto albums = libraryStart();
                  albums.push_back(albumXml("Renamed", {}));
                  return albums;
              }())));
    timespec later = built;
    later.tv_sec += 5;
    setModified(home_.indexFile(), later);
    ASSERT_TRUE(rebuiltSince(built));
    ASSERT_TRUE(waitUntil([&] { return !fs::exists(page("5.html")); }));
    EXPECT_NE(readFile(page("menu.html")).find(">Renamed</a>"), std::string::npos);

    // Pages removed by hand come back.
    ASSERT_TRUE(waitUntil([&] { return fs::exists(page("3.html")); }));
    fs::remove(topPage());
    ASSERT_TRUE(waitUntil([&] { return fs::exists(topPage()); }));
    fs::remove_all(site() / "Contents");
    ASSERT_TRUE(waitUntil([&] { return fs::exists(page("menu.html")); }));
    stopAndLog();
}

TEST_F(Helper, IntervalNotificationMovesTheNextCheckWithoutRebuilding) {
    writeIndex();
    writeSettings("<key>Active_Flag_Key</key><true/>\n"
                  "<key>Check_Interval_Key</key><real>600</real>\n");
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));

    // With ten hours between checks a removed top page stays away...
    fs::remove(topPage());
    notifications::post(Interval_Changed_Notification); // no user information: ignored
    ASSERT_TRUE(waitForLog("handled Interval_Changed_Notification: no user information"));
    ASSERT_TRUE(waitForIdlePasses());
    EXPECT_FALSE(fs::exists(topPage()));
    // ...until the interval drops to a moment and the next check finds it gone.
    notifications::postCheckInterval(0.001f);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(topPage()); }));

    // The same, on a complete site: the notification alone never rebuilds.
    const timespec rebuilt = modified(topPage());
    notifications::postCheckInterval(600.0f);
    ASSERT_TRUE(waitForLog("handled Interval_Changed_Notification: interval 600 minutes"));
    ASSERT_TRUE(waitForIdlePasses());
    EXPECT_TRUE(same(modified(topPage()), rebuilt));
    stopAndLog();
}

// --- notifications -----------------------------------------------------------------------------

TEST_F(Helper, ImageSizeFromTheNotificationUntilTheSettingsAreReloaded) {
    writeIndex();
    activeSettings("<key>Site_Image_Size</key><integer>150</integer>\n");
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    const auto widthIs = [&](const std::string& width) {
        return readFile(page("3.html")).find("width=\"" + width + "\"") != std::string::npos;
    };
    ASSERT_TRUE(widthIs("150"));

    // Without user information nothing happens.
    timespec built = modified(topPage());
    notifications::post(TSY_ImageSizey_Changed_Notification);
    ASSERT_TRUE(waitForLog("handled TSY_ImageSizey_Changed_Notification: no user information"));
    EXPECT_TRUE(same(modified(topPage()), built));

    notifications::postImageSize(300);
    ASSERT_TRUE(waitUntil([&] { return widthIs("300"); }));
    EXPECT_NE(readFile(home_.settingsFile()).find("<integer>150</integer>"), std::string::npos);

    // Values the window cannot set, from any process on the bus, change nothing; the first is
    // logged, the rest are not.
    built = modified(topPage());
    notifications::post(TSY_ImageSizey_Changed_Notification,
                        QVariantMap{{QLatin1String(Lumibay_Message_Key), QStringLiteral("300")}});
    notifications::postImageSize(std::numeric_limits<std::int32_t>::max());
    notifications::postImageSize(std::numeric_limits<std::int32_t>::min());
    ASSERT_TRUE(waitForLog("handled TSY_ImageSizey_Changed_Notification: refused", 3));
    EXPECT_EQ(logged("from a notification cannot be used"), 1u) << readFile(log());
    EXPECT_TRUE(same(modified(topPage()), built));
    EXPECT_TRUE(widthIs("300"));

    // A settings change forgets the value and reads the file again.
    notifications::post(TSY_SiteParamChange_Notification);
    ASSERT_TRUE(waitUntil([&] { return widthIs("150"); }));
    stopAndLog();
}

TEST_F(Helper, IgnoresSignalsOfOtherInterfacesAndMembers) {
    writeIndex();
    activeSettings();
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.send(QDBusMessage::createSignal("/org/tessaly/Lumibay", "org.example.Other",
                                        Stop_Lumibay_Helper_Notification));
    bus.send(QDBusMessage::createSignal("/org/tessaly/Lumibay", kNotificationInterface,
                                        "Stop_Everything_Notification"));
    // Signals from one sender arrive in order: once a later one is handled, these were seen.
    notifications::post(Interval_Changed_Notification);
    ASSERT_TRUE(waitForLog("handled Interval_Changed_Notification"));
    EXPECT_TRUE(helper_->running());
    stopAndLog();
}

TEST_F(Helper, BurstOfSettingsChangesEndsWithTheLastFile) {
    writeIndex();
    activeSettings();
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    // Written as the settings window writes: every key present, and replaced whole by a rename.
    {
        LumibayPref window;
        for (const SettingInfo& info : kSettings) {
            window.integerSetting(info.id);
            window.colorSetting(info.id);
        }
        ASSERT_TRUE(window.savePref());
    }
    const std::string complete = readFile(home_.settingsFile());
    std::smatch size;
    ASSERT_TRUE(std::regex_search(complete, size,
                                  std::regex("<key>Site_Image_Size</key>\\s*<integer>[0-9]+")));
    const std::string before = size.prefix().str() + "<key>Site_Image_Size</key><integer>";
    const std::string after = size.suffix().str();
    for (int i = 1; i <= 200; ++i) {
        const fs::path next = home_.settingsFile().string() + ".new";
        writeFile(next, before + std::to_string(100 + i) + after);
        fs::rename(next, home_.settingsFile());
        notifications::post(TSY_SiteParamChange_Notification);
    }
    ASSERT_TRUE(waitUntil(
        [&] { return readFile(page("3.html")).find("width=\"300\"") != std::string::npos; }));
    EXPECT_TRUE(helper_->running());
    stopAndLog();
}

// A burst of every kind of notification is served by a few builds, not one build each: the stop
// behind it is handled at once.
TEST_F(Helper, BurstOfMixedNotificationsMergesAndStopsPromptly) {
    writeIndex(5000);
    activeSettings();
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    for (int i = 0; i < 1000; ++i) {
        switch (i % 3) {
        case 0:
            notifications::post(TSY_SiteParamChange_Notification);
            break;
        case 1:
            notifications::postImageSize(100 + i % 200);
            break;
        default:
            notifications::postCheckInterval(0.0f);
            break;
        }
    }
    const auto asked = std::chrono::steady_clock::now();
    notifications::post(Stop_Lumibay_Helper_Notification);
    EXPECT_EQ(helper_->waitForExit(10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_NE(readFile(topPage()).find("This photo site is closed."), std::string::npos);
}

// An interval that would stop the helper from ever checking again, or make it check all the
// time, is replaced by the default with one log line, whether it comes from the file or from a
// notification.
TEST_F(Helper, UnusableCheckIntervalsFallBackToTheDefault) {
    struct Case {
        const char* name;
        const char* stored; // the settings file's value, or null to post `posted`
        float posted;
    };
    static constexpr float inf = std::numeric_limits<float>::infinity();
    static const Case cases[] = {
        {"negative in the file", "<real>-1</real>", 0},
        {"huge in the file", "<real>1e12</real>", 0},
        {"not a number posted", nullptr, std::numeric_limits<float>::quiet_NaN()},
        {"infinite posted", nullptr, inf},
        {"minus infinite posted", nullptr, -inf},
        {"negative posted", nullptr, -0.5f},
        {"a year posted", nullptr, 525600.0f},
        {"zero posted, which the window never sends", nullptr, 0.0f},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site());
        writeIndex();
        activeSettings();
        if (row.stored) {
            writeSettings("<key>Active_Flag_Key</key><true/>\n<key>Check_Interval_Key</key>" +
                          std::string(row.stored) + "\n");
        }
        start();
        ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
        if (!row.stored) {
            notifications::postCheckInterval(row.posted);
        }
        ASSERT_TRUE(waitUntil([&] {
            return readFile(log()).find("cannot be used; using the default") != std::string::npos;
        }));
        // With the default of a minute, a removed page is not missed over several passes of the
        // monitor, as it would be with the interval taken at its word (a check every pass). The
        // first idle pass shows the new interval in force.
        ASSERT_TRUE(waitForIdlePasses(1));
        fs::remove(topPage());
        ASSERT_TRUE(waitForIdlePasses());
        EXPECT_FALSE(fs::exists(topPage()));
        EXPECT_TRUE(helper_->running());
        stopAndLog();
    }
}

// --- one helper per user -------------------------------------------------------------------------

TEST_F(Helper, ASecondHelperLeavesTheSiteToTheFirst) {
    writeIndex();
    activeSettings();
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    const timespec built = modified(topPage());
    const fs::path secondLog = home_.path() / "second.log";
    HelperProcess second(HELPER_EXECUTABLE, home_.path().string(), secondLog.string());
    EXPECT_EQ(second.waitForExit(10s), 0);
    EXPECT_NE(readFile(secondLog).find("already publishing"), std::string::npos)
        << readFile(secondLog);
    EXPECT_TRUE(same(modified(topPage()), built));
    EXPECT_TRUE(helper_->running());

    // Once the first has stopped, a new helper publishes again.
    stopAndLog();
    start();
    ASSERT_TRUE(waitUntil(
        [&] { return siteIsBuilt() && readFile(topPage()).find("closed") == std::string::npos; }));
    stopAndLog();
}

// --- stopping ----------------------------------------------------------------------------------

TEST_F(Helper, StopClosesTheSiteKeepsTheUsersFilesAndAStartRestoresIt) {
    writeIndex();
    activeSettings();
    writeFile(site() / "guestbook.html", "kept");
    start();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));

    const auto asked = std::chrono::steady_clock::now();
    notifications::post(Stop_Lumibay_Helper_Notification);
    EXPECT_EQ(helper_->waitForExit(10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_FALSE(fs::exists(site() / "Contents"));
    const std::string closed = readFile(topPage());
    for (const char* text :
         {"This photo site is closed.", "stopped publishing", "Please come back later."}) {
        EXPECT_NE(closed.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(readFile(site() / "guestbook.html"), "kept");

    // The new Contents goes in first and the top page last, so the closed page stays until the
    // very end of the first build.
    start();
    ASSERT_TRUE(waitUntil(
        [&] { return siteIsBuilt() && readFile(topPage()).find("closed") == std::string::npos; }));
    EXPECT_EQ(readFile(site() / "guestbook.html"), "kept");
    stopAndLog();
}

TEST_F(Helper, StopsWhileTheIndexCannotBeRead) {
    writeFile(home_.indexFile(), "<plist><dict><key>List of Albums</key><array>");
    activeSettings();
    writeFile(topPage(), "the last good build");
    writeFile(page("menu.html"), "the last good build");
    start();
    ASSERT_TRUE(waitForLog("build: the index cannot be read yet"));
    ASSERT_TRUE(helper_->running());
    const auto asked = std::chrono::steady_clock::now();
    notifications::post(Stop_Lumibay_Helper_Notification);
    EXPECT_EQ(helper_->waitForExit(10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_FALSE(fs::exists(site() / "Contents"));
    EXPECT_NE(readFile(topPage()).find("This photo site is closed."), std::string::npos);
}

TEST_F(Helper, BuildsOnceTheIndexBecomesReadable) {
    activeSettings();
    start();
    ASSERT_TRUE(waitForLog("build: the index cannot be read yet"));
    EXPECT_FALSE(fs::exists(topPage()));
    writeIndex();
    ASSERT_TRUE(waitUntil([&] { return siteIsBuilt(); }));
    stopAndLog();
}

// An index that cannot be read is logged once, with the reason and the place, however many times
// the build tries it again (and reads it again) meanwhile; the site published before stays.
TEST_F(Helper, AnUnreadableIndexIsLoggedOnceAndTheSiteStays) {
    struct Row {
        const char* name;
        const char* index; // nullptr: no index at all
        const char* logged;
    };
    static constexpr Row kRows[] = {
        {"a less-than sign in a text",
         "<plist version=\"1.0\"><dict>\n<key>List of Albums</key><array>\n"
         "<dict><key>AlbumName</key><string>a < b</string></dict>\n</array></dict></plist>\n",
         "/AlbumData.xml, line 3, column 38: not well-formed (invalid token)"},
        // The reason comes from the C library, in the helper's language.
        {"no index", nullptr, "/AlbumData.xml: "},
    };
    // The helper speaks the language its environment names (the tests run again in German).
    auto systemReason = [](int error) {
        locale_t environment = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
        std::string reason = environment ? strerror_l(error, environment) : std::strerror(error);
        if (environment) {
            freelocale(environment);
        }
        return reason;
    };
    constexpr char kCannotRead[] = "The library index cannot be read, so the site stays as it is: ";
    constexpr char kRetry[] = "build: the index cannot be read yet";
    activeSettings();
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        fs::remove(home_.indexFile());
        if (row.index) {
            writeFile(home_.indexFile(), row.index);
        }
        writeFile(topPage(), "the last good build");
        writeFile(page("menu.html"), "the last good build");
        // The last row's log must not answer for this one before the new helper starts its own.
        fs::remove(log());
        start();
        // Past the first retries, the one that confirms the failure and logs it, and the later
        // reading of the unchanged index.
        ASSERT_TRUE(waitForLog(kRetry, 60));
        EXPECT_EQ(logged(kCannotRead), 1u) << readFile(log());
        const std::string reason =
            std::string(row.logged) + (row.index ? "" : systemReason(ENOENT));
        EXPECT_EQ(logged(kCannotRead + home_.libraryFolder().string() + reason), 1u)
            << readFile(log());
        EXPECT_EQ(readFile(topPage()), "the last good build");
        EXPECT_EQ(readFile(page("menu.html")), "the last good build");
        stopAndLog();
    }
}

// --- template checks ---------------------------------------------------------------------------

// A copy of the helper's bundle whose menu or album template was altered.
class DamagedTemplate : public Helper, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedTemplate, ClosesTheSiteAndEnds) {
    const fs::path bundle = home_.path() / "Bundle/LumibayHelper.app";
    const fs::path original = fs::path(HELPER_EXECUTABLE).parent_path();
    fs::create_directories(bundle);
    fs::copy(original / "Resources", bundle / "Resources", fs::copy_options::recursive);
    fs::copy_file(original / "LumibayHelper", bundle / "LumibayHelper");
    const fs::path damaged = bundle / "Resources/Hinagata" / GetParam();
    writeFile(damaged, readFile(damaged) + "<!-- changed -->");

    writeIndex();
    activeSettings();
    writeFile(page("3.html"), "from the last good build");
    EXPECT_EQ(start((bundle / "LumibayHelper").string()).waitForExit(10s), 0);

    const std::string step = std::string(GetParam()) == "menu1.txt" ? "1" : "2";
    EXPECT_NE(readFile(log()).find("Tessaly refrence file Error on step " + step +
                                   " ==> Tessaly terminated "),
              std::string::npos)
        << readFile(log());
    EXPECT_FALSE(fs::exists(site() / "Contents"));
    EXPECT_NE(readFile(topPage()).find("This photo site is closed."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Templates, DamagedTemplate,
                         ::testing::Values("menu1.txt", "picture1.txt"));

} // namespace
} // namespace tessaly

int main(int argc, char** argv) {
    // The notifications are posted on the session bus, which Qt reaches through an application.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "No session bus: run these tests under dbus-run-session.\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
