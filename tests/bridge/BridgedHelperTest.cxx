// Each kind of library published by the real helper, on a private session bus and a home folder
// of its own: Shotwell's database as Shotwell makes it, digiKam's from the schema digiKam ships,
// and a folder of pictures. What a visitor finds is checked on the pages themselves, what the
// helper did in its log.
#include "BridgeFixtures.hxx"
#include "Constants.hxx"
#include "HelperProcess.hxx"
#include "Notifications.hxx"
#include "PublishedSite.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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
using Clock = std::chrono::steady_clock;

// The check interval these tests publish with: short, but long enough that "within one interval"
// says something.
constexpr float kIntervalMinutes = 0.1f;
constexpr auto kInterval = std::chrono::milliseconds(static_cast<int>(kIntervalMinutes * 60000));
// What a loaded machine may add to an interval: reading the source, thumbnails, the build.
constexpr auto kSlack = 30s;

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

class BridgedHelper : public ::testing::Test {
protected:
    void SetUp() override {
        // The sources are found from the home folder alone, as for a person without these set.
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
    }

    void writeSettings(const std::string& source, const std::string& folder = {}) {
        writeFile(home_.settingsFile(),
                  plistDocument("<key>Active_Flag_Key</key><true/>\n"
                                "<key>Check_Interval_Key</key><real>" +
                                std::to_string(kIntervalMinutes) +
                                "</real>\n"
                                "<key>Library_Source_Key</key><string>" +
                                source + "</string>\n<key>Library_Folder_Key</key><string>" +
                                folder + "</string>\n"));
    }
    HelperProcess& start() {
        helper_ = std::make_unique<HelperProcess>(HELPER_EXECUTABLE, home_.path().string(),
                                                  logFile().string());
        return *helper_;
    }
    fs::path logFile() const { return home_.path() / "helper.log"; }
    fs::path pictures() const { return home_.path() / "Pictures"; }

    std::size_t logged(const std::string& text) const {
        std::size_t count = 0;
        std::istringstream in(readFile(logFile()));
        for (std::string line; std::getline(in, line);) {
            count += line.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    bool waitForLog(const std::string& text, std::size_t lines = 1,
                    std::chrono::milliseconds timeout = 120s) const {
        return waitUntil([&] { return logged(text) >= lines; }, timeout);
    }

    PublishedSite site() const { return readPublishedSite(home_.siteFolder()); }
    bool siteShows(const std::vector<std::string>& albums) const {
        return fs::exists(home_.siteFolder() / "Contents/menu.html") && site().albums == albums;
    }
    // Waits until a picture of that caption is on the site, and says how long that took.
    std::optional<Clock::duration> timeUntilShown(const std::string& caption,
                                                  std::chrono::milliseconds timeout) const {
        const auto began = Clock::now();
        if (!waitUntil([&] { return site().cells.contains(caption); }, timeout)) {
            return std::nullopt;
        }
        return Clock::now() - began;
    }
    // A new picture in the source is on the site within one check interval (and what a loaded
    // machine adds to it).
    void expectShownWithinAnInterval(const std::string& caption) const {
        const auto took = timeUntilShown(caption, kInterval + kSlack);
        ASSERT_TRUE(took) << "not shown within " << seconds(kInterval + kSlack) << " s\n"
                          << readFile(logFile());
        std::printf("[ measured ] \"%s\" on the site %.1f s after it was added (interval %.1f s)\n",
                    caption.c_str(), seconds(*took), seconds(kInterval));
    }
    // Lets at least two more checks pass, so that what did not happen has had its chance.
    bool waitForChecks(int checks = 2) const {
        return waitForLog("check: ", logged("check: ") + checks, kInterval * checks + kSlack);
    }
    void stop() {
        notifications::post(Stop_Lumibay_Helper_Notification);
        EXPECT_EQ(helper_->waitForExit(30s), 0) << readFile(logFile());
    }

    TempHome home_;
    std::unique_ptr<HelperProcess> helper_;
};

// A folder of pictures: its folders are the albums; files that cannot be shown are each logged
// once and never stop the rest.
TEST_F(BridgedHelper, PublishesAFolderAndFollowsIt) {
    writeJpeg(pictures() / "Trip/upright.jpg", 600, 400, 1, "Evening sun");
    writeJpeg(pictures() / "Trip/turned.jpg", 600, 400, 6);
    writeJpeg(pictures() / "Trip/Day 2/tall.jpg", 200, 400, 8);
    const bool movie = writeMovie(pictures() / "Trip/clip.mp4", 320, 240);
    writeHugeHeader(pictures() / "Trip/huge.jpg");
    writeFile(pictures() / "Trip/empty.jpg", "");
    writeFile(pictures() / "Trip/corrupt.jpg", "\xFF\xD8\xFF\xE0 not really a picture");
    fs::create_directory_symlink("..", pictures() / "Trip/loop");
    writeFile(pictures() / "Trip/bad\xFFname.jpg", "x");
    writeSettings("Folder", pictures().string());

    start();
    ASSERT_TRUE(waitUntil(
        [&] {
            return siteShows({"Trip", "Trip/Day 2"});
        },
        120s))
        << readFile(logFile());
    EXPECT_EQ(logged("Library bridge: making " + home_.libraryFolder().string()), 1u);
    std::map<std::string, ExpectedPicture> expected = {
        {"upright", {pictures() / "Trip/upright.jpg", 1.5f}},
        {"turned", {pictures() / "Trip/turned.jpg", 400.0f / 600.0f}},
        {"tall", {pictures() / "Trip/Day 2/tall.jpg", 2.0f}},
    };
    if (movie) {
        expected["clip"] = {pictures() / "Trip/clip.mp4", 320.0f / 240.0f};
    }
    expectSoundCells(site(), expected);
    EXPECT_NE(readFile(home_.siteFolder() / "Contents/3.html").find("Evening sun"),
              std::string::npos);

    writeJpeg(pictures() / "Trip/new.jpg", 300, 200);
    const auto source = filesBelow({pictures()});
    expectShownWithinAnInterval("new");
    expected["new"] = {pictures() / "Trip/new.jpg", 1.5f};
    expectSoundCells(site(), expected);
    ASSERT_TRUE(waitForChecks());

    for (const char* bad : {"huge.jpg", "empty.jpg", "corrupt.jpg", "Trip/loop", "name.jpg"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(logged(bad), 1u) << readFile(logFile());
    }
    EXPECT_TRUE(helper_->running());
    stop();
    EXPECT_EQ(filesBelow({pictures()}), source);
    // Stop closes the site and leaves the library, for a quick next start.
    EXPECT_NE(readFile(home_.siteFolder() / "Tessaly.html").find("This photo site is closed."),
              std::string::npos);
    EXPECT_TRUE(fs::exists(home_.indexFile()));
}

TEST_F(BridgedHelper, PublishesAShotwellLibraryAndFollowsIt) {
    const fs::path database = home_.path() / ".local/share/shotwell/data/photo.db";
    if (!makeShotwellDatabase(home_.path(), database)) {
        GTEST_SKIP() << "shotwell could not be started under Xvfb";
    }
    writeJpeg(pictures() / "2024/beach.jpg", 800, 600, 1, "Low tide");
    writeJpeg(pictures() / "2024/hill.jpg", 600, 400, 8);
    writeJpeg(pictures() / "2024/later.jpg", 400, 400);
    writeJpeg(pictures() / "2024/locked.jpg", 500, 400);
    const bool movie = writeMovie(pictures() / "2024/waves.mp4", 320, 240);
    {
        const Database db(database);
        db.exec("INSERT INTO EventTable (id, name, comment) VALUES (1, 'Holidays', 'By the sea')");
        addShotwellItem(db, {.id = 1,
                             .file = pictures() / "2024/beach.jpg",
                             .event = 1,
                             .time = 1700000000,
                             .title = "The beach",
                             .comment = "Low tide"});
        addShotwellItem(
            db, {.id = 2, .file = pictures() / "2024/hill.jpg", .event = 1, .time = 1700000100});
        if (movie) {
            addShotwellItem(db, {.id = 1,
                                 .file = pictures() / "2024/waves.mp4",
                                 .event = 1,
                                 .time = 1700000200,
                                 .movie = true});
        }
        db.exec("INSERT INTO TagTable (id, name, photo_id_list) VALUES "
                "(1, 'Sea', 'thumb0000000000000001,')");
    }
    writeSettings("Shotwell");
    start();
    ASSERT_TRUE(waitUntil(
        [&] {
            return siteShows({"Holidays", "Sea"});
        },
        120s))
        << readFile(logFile());
    std::map<std::string, ExpectedPicture> expected = {
        {"The beach", {pictures() / "2024/beach.jpg", 800.0f / 600.0f}},
        {"hill", {pictures() / "2024/hill.jpg", 400.0f / 600.0f}},
    };
    if (movie) {
        expected["waves"] = {pictures() / "2024/waves.mp4", 320.0f / 240.0f};
    }
    expectSoundCells(site(), expected);

    addShotwellItem(
        Database(database),
        {.id = 3, .file = pictures() / "2024/later.jpg", .event = 1, .time = 1700000300});
    auto source = filesBelow({pictures(), database});
    expectShownWithinAnInterval("later");
    EXPECT_EQ(filesBelow({pictures(), database}), source);

    // A version this reader does not know: said in the log, and the site stays whole as it was.
    const std::string index = readFile(home_.indexFile());
    {
        const Database db(database);
        db.exec("UPDATE VersionTable SET schema_version = 99");
        addShotwellItem(
            db, {.id = 4, .file = pictures() / "2024/locked.jpg", .event = 1, .time = 1700000400});
    }
    ASSERT_TRUE(waitForLog("schema version 99")) << readFile(logFile());
    ASSERT_TRUE(waitForChecks());
    EXPECT_EQ(logged("schema version 99"), 1u);
    EXPECT_EQ(readFile(home_.indexFile()), index);
    EXPECT_FALSE(site().cells.contains("locked"));

    // Shotwell holding its database locked while it writes: said, and read again once it is free.
    {
        const Database db(database);
        db.exec("BEGIN EXCLUSIVE");
        db.exec("UPDATE VersionTable SET schema_version = 20");
        ASSERT_TRUE(waitForLog("another program holds it locked")) << readFile(logFile());
        db.exec("COMMIT");
    }
    source = filesBelow({pictures(), database});
    expectShownWithinAnInterval("locked");
    EXPECT_TRUE(helper_->running());
    stop();
    EXPECT_EQ(filesBelow({pictures(), database}), source);
}

TEST_F(BridgedHelper, PublishesADigikamLibraryAndFollowsIt) {
    const DigikamSchema schema = shippedDigikamSchema();
    if (schema.statements.empty()) {
        GTEST_SKIP() << "digikam-data's dbconfig.xml is not installed";
    }
    const fs::path database = makeDigikamSample(schema, home_.path());
    writeJpeg(pictures() / "2024/Trip/c.jpg", 400, 300);
    writeSettings("digiKam");
    start();
    ASSERT_TRUE(waitUntil(
        [&] {
            return siteShows({"2023", "2024/Trip", "People/Anna"});
        },
        120s))
        << readFile(logFile());
    std::map<std::string, ExpectedPicture> expected = {
        {"Beach", {pictures() / "2024/Trip/a.jpg", 2.0f}},
        {"b", {pictures() / "2024/Trip/b.jpg", 400.0f / 600.0f}},
        {"old", {pictures() / "2023/old.jpg", 1.0f}},
    };
    expectSoundCells(site(), expected);

    addDigikamImage(Database(database),
                    {.id = 5, .album = 1, .name = "c.jpg", .date = "2024-06-03T10:00:00"});
    const auto source = filesBelow({pictures(), database});
    expectShownWithinAnInterval("c");
    expected["c"] = {pictures() / "2024/Trip/c.jpg", 400.0f / 300.0f};
    expectSoundCells(site(), expected);
    stop();
    EXPECT_EQ(filesBelow({pictures(), database}), source);
}

// The first build of a large library runs in the helper's monitor thread; a stop in the middle of
// it ends the helper at once, with the library as it was.
TEST_F(BridgedHelper, StopEndsTheHelperInTheMiddleOfTenThousandThumbnails) {
    constexpr int kPictures = 10000;
    // One real camera-sized picture under ten thousand names: each is a picture of its own to the
    // bridge, which makes each one's thumbnail.
    const fs::path first = pictures() / "Many/p00000.jpg";
    writeJpeg(first, 2000, 1500);
    for (int i = 1; i < kPictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%05d.jpg", i);
        fs::create_hard_link(first, pictures() / "Many" / name);
    }
    writeSettings("Folder");
    start();
    // Under way: the first thumbnails are made.
    ASSERT_TRUE(waitForLog("Library bridge: making", 1, 300s)) << readFile(logFile());
    const auto asked = Clock::now();
    notifications::post(Stop_Lumibay_Helper_Notification);
    const std::optional<int> status = helper_->waitForExit(60s);
    const double took = seconds(Clock::now() - asked);
    std::printf("[ measured ] the helper ended %.2f s after the stop notification (target 2 s)\n",
                took);
    ASSERT_EQ(status, 0) << readFile(logFile());
    // Two seconds is the aim; this bound leaves room for a loaded machine, and is still far
    // below what finishing the ten thousand thumbnails would take.
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(logged("Library bridge: stopped"), 1u) << readFile(logFile());
    EXPECT_FALSE(fs::exists(home_.indexFile()));
    std::size_t thumbnails = 0;
    for (const auto& entry : fs::directory_iterator(home_.libraryFolder() / "Thumbs")) {
        thumbnails += entry.path().extension() == ".jpg" ? 1 : 0;
    }
    EXPECT_LT(thumbnails, std::size_t(kPictures));
}

} // namespace
} // namespace tessaly
