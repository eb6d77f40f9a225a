#include "BridgeFixtures.hxx"

#include "TempHome.hxx"
#include "WaitUntil.hxx"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exiv2/exiv2.hpp>
#include <fstream>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

namespace tessaly::testing {

void writeJpeg(const fs::path& path, int width, int height, int orientation,
               const std::string& description) {
    static const bool started = VIPS_INIT("bridge-tests") == 0;
    ASSERT_TRUE(started);
    fs::create_directories(path.parent_path());
    // A gradient, so that a thumbnail of the wrong part or turned the wrong way would show.
    VipsImage* ramp = nullptr;
    ASSERT_EQ(vips_xyz(&ramp, width, height, nullptr), 0);
    VipsImage* rgb = nullptr;
    ASSERT_EQ(vips_bandjoin_const1(ramp, &rgb, 128, nullptr), 0);
    g_object_unref(ramp);
    VipsImage* three = nullptr;
    ASSERT_EQ(vips_cast(rgb, &three, VIPS_FORMAT_UCHAR, nullptr), 0);
    g_object_unref(rgb);
    vips_image_set_int(three, "orientation", orientation);
    ASSERT_EQ(vips_jpegsave(three, path.c_str(), nullptr), 0);
    g_object_unref(three);
    if (!description.empty()) {
        auto file = Exiv2::ImageFactory::open(path.string());
        file->readMetadata();
        file->exifData()["Exif.Image.ImageDescription"] = description;
        file->writeMetadata();
    }
}

void writeHugeHeader(const fs::path& path) {
    const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xC3,
                                    0x50, 0xC3, 0x50, 0x03, 0x01, 0x22, 0x00, 0x02,
                                    0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xD9};
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(header), sizeof header);
}

bool writeMovie(const fs::path& path, int width, int height) {
    fs::create_directories(path.parent_path());
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stderr);
        std::freopen("/dev/null", "w", stdout);
        const std::string size = "testsrc=size=" + std::to_string(width) + "x" +
                                 std::to_string(height) + ":rate=10:duration=1";
        ::execlp("ffmpeg", "ffmpeg", "-y", "-loglevel", "error", "-f", "lavfi", "-i", size.c_str(),
                 "-pix_fmt", "yuv420p", path.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::file_size(path) > 0;
}

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in " << sql;
}

Database::Database(const fs::path& path) {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK) << path;
    sqlite3_busy_timeout(db_, 30000);
}

Database::~Database() { sqlite3_close(db_); }

namespace {

// Text as an SQL literal.
std::string quoted(const std::string& text) {
    return "'" + std::regex_replace(text, std::regex("'"), "''") + "'";
}

std::string quotedOrNull(const std::string& text) { return text.empty() ? "NULL" : quoted(text); }

bool processGroupGone(pid_t group) { return ::kill(-group, 0) != 0 && errno == ESRCH; }

} // namespace

bool makeShotwellDatabase(const fs::path& home, const fs::path& database) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
        std::freopen("/dev/null", "w", stderr);
        std::freopen("/dev/null", "w", stdout);
        ::execlp("dbus-run-session", "dbus-run-session", "--", "xvfb-run", "-a", "shotwell",
                 nullptr);
        ::_exit(127);
    }
    ::setpgid(child, child);
    const bool ready = waitUntil(
        [&] {
            sqlite3* db = nullptr;
            bool has = false;
            if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
                SQLITE_OK) {
                // Shotwell makes its tables one after another: wait for every one the bridge
                // reads, not only the first.
                int tables = 0;
                sqlite3_exec(
                    db,
                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                    "('VersionTable', 'PhotoTable', 'VideoTable', 'EventTable', 'TagTable')",
                    [](void* out, int, char** values, char**) {
                        *static_cast<int*>(out) = values[0] ? std::atoi(values[0]) : 0;
                        return 0;
                    },
                    &tables, nullptr);
                has = tables == 5;
            }
            sqlite3_close(db);
            return has;
        },
        std::chrono::seconds(60));
    ::kill(-child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    // Shotwell itself may outlive the session's end by a moment, and must not write the database
    // after the test has begun to.
    if (!waitUntil([&] { return processGroupGone(child); }, std::chrono::seconds(10))) {
        ::kill(-child, SIGKILL);
        waitUntil([&] { return processGroupGone(child); }, std::chrono::seconds(10));
    }
    return ready;
}

void addShotwellItem(const Database& db, const ShotwellItem& item) {
    const std::string size = std::to_string(fs::file_size(item.file));
    const std::string file = quoted(item.file.string());
    const std::string event = std::to_string(item.event);
    const std::string time = std::to_string(item.time);
    const std::string flags = std::to_string(item.flags);
    const std::string rating = std::to_string(item.rating);
    if (item.movie) {
        db.exec("INSERT INTO VideoTable (id, filename, width, height, clip_duration, "
                "is_interpretable, filesize, timestamp, exposure_time, import_id, event_id, md5, "
                "time_created, rating, title, flags, comment) VALUES (" +
                std::to_string(item.id) + ", " + file + ", 320, 240, 1.0, 1, " + size + ", " +
                time + ", " + time + ", 1, " + event + ", '', " + time + ", " + rating + ", " +
                quotedOrNull(item.title) + ", " + flags + ", " + quotedOrNull(item.comment) + ")");
        return;
    }
    db.exec("INSERT INTO PhotoTable (id, filename, width, height, filesize, timestamp, "
            "exposure_time, orientation, original_orientation, import_id, event_id, md5, "
            "time_created, flags, rating, file_format, title, comment) VALUES (" +
            std::to_string(item.id) + ", " + file + ", 1, 1, " + size + ", " + time + ", " + time +
            ", 1, 1, 1, " + event + ", '', " + time + ", " + flags + ", " + rating + ", 0, " +
            quotedOrNull(item.title) + ", " + quotedOrNull(item.comment) + ")");
}

DigikamSchema shippedDigikamSchema() {
    DigikamSchema schema;
    const std::string xml = readFile("/usr/share/digikam/database/dbconfig.xml");
    const std::size_t start = xml.find("<database name=\"QSQLITE\">");
    const std::size_t end = xml.find("</database>", start);
    if (start == std::string::npos || end == std::string::npos) {
        return schema;
    }
    const std::string sqlite = xml.substr(start, end - start);
    const std::regex action("<dbaction name=\"(CreateDB|CreateIndices|CreateTriggers)\"[^>]*>"
                            "([\\s\\S]*?)</dbaction>");
    const std::regex statement("<statement mode=\"plain\">([\\s\\S]*?)</statement>");
    for (std::sregex_iterator a(sqlite.begin(), sqlite.end(), action), none; a != none; ++a) {
        const std::string body = (*a)[2];
        for (std::sregex_iterator s(body.begin(), body.end(), statement); s != none; ++s) {
            schema.statements.push_back(std::regex_replace((*s)[1].str(), std::regex("&lt;"), "<"));
        }
    }
    const std::regex update("UpdateSchemaFromV\\d+ToV(\\d+)");
    for (std::sregex_iterator u(sqlite.begin(), sqlite.end(), update), none; u != none; ++u) {
        schema.version = std::max(schema.version, std::stoi((*u)[1]));
    }
    return schema;
}

void makeDigikamDatabase(const DigikamSchema& schema, const fs::path& database,
                         const fs::path& root, const fs::path& home) {
    fs::create_directories(database.parent_path());
    const Database db(database);
    for (const std::string& sql : schema.statements) {
        db.exec(sql);
    }
    db.exec("INSERT INTO Settings (keyword, value) VALUES ('DBVersion', '" +
            std::to_string(schema.version) + "')");
    db.exec("INSERT INTO AlbumRoots (id, label, status, type, identifier, specificPath) VALUES "
            "(1, " +
            quoted(root.filename().string()) + ", 0, 1, " +
            quoted("volumeid:?path=" + root.string()) + ", '/')");
    writeFile(home / ".config/digikamrc",
              "[Database Settings]\nDatabase Name=" + database.parent_path().string() +
                  "/\nDatabase Type=QSQLITE\n");
}

void addDigikamImage(const Database& db, const DigikamImage& image) {
    const std::string id = std::to_string(image.id);
    db.exec("INSERT INTO Images (id, album, name, status, category, modificationDate) VALUES (" +
            id + ", " + std::to_string(image.album) + ", " + quoted(image.name) + ", " +
            std::to_string(image.status) + ", " + std::to_string(image.category) + ", " +
            quotedOrNull(image.date) + ")");
    db.exec("INSERT INTO ImageInformation (imageid, rating, creationDate, orientation) VALUES (" +
            id + ", " + std::to_string(image.rating) + ", " + quotedOrNull(image.date) + ", 1)");
    if (!image.title.empty()) {
        db.exec("INSERT INTO ImageComments (imageid, type, language, comment) VALUES (" + id +
                ", 3, 'x-default', " + quoted(image.title) + ")");
    }
    if (!image.comment.empty()) {
        db.exec("INSERT INTO ImageComments (imageid, type, language, comment) VALUES (" + id +
                ", 1, 'x-default', " + quoted(image.comment) + ")");
    }
}

fs::path makeDigikamSample(const DigikamSchema& schema, const fs::path& home) {
    const fs::path pictures = home / "Pictures";
    writeJpeg(pictures / "2024/Trip/a.jpg", 800, 400);
    writeJpeg(pictures / "2024/Trip/b.jpg", 600, 400, 6);
    writeJpeg(pictures / "2024/Trip/trashed.jpg", 10, 10);
    writeJpeg(pictures / "2023/old.jpg", 300, 300);
    const fs::path database = home / "digiKam/digikam4.db";
    makeDigikamDatabase(schema, database, pictures, home);
    const Database db(database);
    db.exec("INSERT INTO Albums (id, albumRoot, relativePath, caption) VALUES "
            "(1, 1, '/2024/Trip', 'Summer trip'), (2, 1, '/2023', NULL)");
    addDigikamImage(db, {.id = 1,
                         .album = 1,
                         .name = "a.jpg",
                         .title = "Beach",
                         .comment = "Warm day",
                         .rating = 4,
                         .date = "2024-06-01T10:00:00"});
    addDigikamImage(db, {.id = 2, .album = 1, .name = "b.jpg", .date = "2024-06-02T10:00:00"});
    addDigikamImage(db, {.id = 3, .album = 1, .name = "trashed.jpg", .status = 3});
    addDigikamImage(db, {.id = 4, .album = 2, .name = "old.jpg", .date = "2023-01-01T10:00:00"});
    db.exec("INSERT INTO Tags (id, pid, name) VALUES (1, 0, 'People'), (2, 1, 'Anna'), "
            "(3, 0, '_Digikam_Internal_Tags_'), (4, 3, 'Pick Label')");
    db.exec("INSERT INTO ImageTags (imageid, tagid) VALUES (2, 2), (1, 4)");
    return database;
}

std::map<fs::path, std::string> filesBelow(const std::vector<fs::path>& places) {
    std::map<fs::path, std::string> files;
    for (const fs::path& place : places) {
        if (fs::is_regular_file(place)) {
            files[place] = readFile(place);
            continue;
        }
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(place, error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_regular_file(error)) {
                files[it->path()] = readFile(it->path());
            }
        }
    }
    return files;
}

} // namespace tessaly::testing
