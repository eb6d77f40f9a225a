// The bridge from each kind of library to the iPhoto-style folder, judged by the project's own
// index reader: what the site would be built from.

#include "BridgedLibrary.hxx"
#include "DigikamSource.hxx"
#include "FolderSource.hxx"
#include "LibraryIndex.hxx"
#include "ShotwellSource.hxx"
#include "TempHome.hxx"
#include "WaitUntil.hxx"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

namespace tessaly::bridge {
namespace {

namespace fs = std::filesystem;
using testing::TempHome;

// A real JPEG of the given size; an orientation other than 1 is written into its EXIF data.
void writeJpeg(const fs::path& path, int width, int height, int orientation = 1) {
    static const bool started = VIPS_INIT("bridge-tests") == 0;
    ASSERT_TRUE(started);
    fs::create_directories(path.parent_path());
    VipsImage* image = nullptr;
    ASSERT_EQ(vips_black(&image, width, height, "bands", 3, nullptr), 0);
    VipsImage* copy = nullptr;
    ASSERT_EQ(vips_copy(image, &copy, nullptr), 0);
    g_object_unref(image);
    vips_image_set_int(copy, "orientation", orientation);
    ASSERT_EQ(vips_jpegsave(copy, path.c_str(), nullptr), 0);
    g_object_unref(copy);
}

// A JPEG header that claims 50,000 x 50,000 pixels, with no picture after it.
void writeHugeHeader(const fs::path& path) {
    const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xC3,
                                    0x50, 0xC3, 0x50, 0x03, 0x01, 0x22, 0x00, 0x02,
                                    0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xD9};
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(header), sizeof header);
}

std::string fileBytes(const fs::path& path) { return testing::readFile(path); }

struct Published {
    std::vector<std::string> albums;                    // published names, in order
    std::map<std::string, const PictureRecord*> byName; // by caption
    LibraryIndex index;
};

Published readPublished(const TempHome& home) {
    Published published;
    auto index = readLibraryIndex(home.indexFile().string());
    EXPECT_TRUE(index.has_value());
    if (!index) {
        return published;
    }
    published.index = std::move(*index);
    const auto& albums = *published.index.albums;
    for (std::size_t i = 3; i < albums.size(); ++i) {
        if (albums[i].type == "Regular") {
            published.albums.push_back(albums[i].name.value_or(""));
        }
    }
    for (const auto& [key, picture] : *published.index.masterImages) {
        published.byName[picture.caption.value_or("")] = &picture;
    }
    return published;
}

// Every picture has a real JPEG thumbnail at its aspect ratio and a link to its original.
void expectSoundFiles(const Published& published,
                      const std::map<std::string, fs::path>& originals) {
    for (const auto& [caption, picture] : published.byName) {
        SCOPED_TRACE(caption);
        VipsImage* thumb = vips_image_new_from_file(picture->thumbPath->c_str(), nullptr);
        ASSERT_NE(thumb, nullptr);
        EXPECT_NEAR(float(thumb->Xsize) / float(thumb->Ysize), *picture->aspectRatio, 0.02);
        EXPECT_LE(std::max(thumb->Xsize, thumb->Ysize), BridgedLibrary::kThumbnailSide);
        g_object_unref(thumb);
        const auto original = originals.find(caption);
        ASSERT_NE(original, originals.end());
        EXPECT_TRUE(fs::equivalent(*picture->imagePath, original->second));
    }
}

TEST(FolderBridge, PublishesFoldersAndSkipsWhatCannotBeShown) {
    TempHome home;
    const fs::path pictures = home.path() / "Pictures";
    writeJpeg(pictures / "Trip/upright.jpg", 600, 400);
    writeJpeg(pictures / "Trip/turned.jpg", 600, 400, 6);
    writeJpeg(pictures / "Trip/Day 2/tall.jpg", 200, 400);
    writeJpeg(pictures / ".hidden/secret.jpg", 100, 100);
    writeJpeg(pictures / "Trip/.dot.jpg", 100, 100);
    ASSERT_EQ(std::system(("exiv2 -q -M'set Exif.Image.ImageDescription Evening sun' '" +
                           (pictures / "Trip/upright.jpg").string() + "'")
                              .c_str()),
              0);
    // Each of these is left out, with a line in the log, and the others still published.
    testing::writeFile(pictures / "Trip/empty.jpg", "");
    testing::writeFile(pictures / "Trip/corrupt.jpg", "\xFF\xD8\xFF\xE0 not really a picture");
    writeHugeHeader(pictures / "Trip/huge.jpg");
    fs::create_directory_symlink("..", pictures / "Trip/loop");
    testing::writeFile(pictures / "Trip/bad\xFFname.jpg", "x");
    const std::string before = fileBytes(pictures / "Trip/upright.jpg");

    FolderSource source(FolderSource::defaultFolder(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    const UpdateResult first = bridgeLibrary(source, library);
    ASSERT_EQ(first.status, UpdateStatus::Updated) << first.message;
    EXPECT_EQ(first.items, 3u);
    EXPECT_EQ(first.thumbnailsMade, 3u);

    Published published = readPublished(home);
    EXPECT_EQ(published.albums, (std::vector<std::string>{"Trip", "Trip/Day 2"}));
    ASSERT_EQ(published.byName.size(), 3u);
    EXPECT_EQ(published.byName["upright"]->comment, "Evening sun");
    EXPECT_FLOAT_EQ(*published.byName["upright"]->aspectRatio, 1.5f);
    EXPECT_FLOAT_EQ(*published.byName["turned"]->aspectRatio, 400.0f / 600.0f);
    expectSoundFiles(published, {{"upright", pictures / "Trip/upright.jpg"},
                                 {"turned", pictures / "Trip/turned.jpg"},
                                 {"tall", pictures / "Trip/Day 2/tall.jpg"}});
    EXPECT_EQ(fileBytes(pictures / "Trip/upright.jpg"), before);

    // Only the new picture gets a thumbnail; the removed one leaves the library.
    writeJpeg(pictures / "Trip/new.jpg", 300, 300);
    fs::remove(pictures / "Trip/turned.jpg");
    const std::string oldThumb = *published.byName["turned"]->thumbPath;
    const UpdateResult second = bridgeLibrary(source, library);
    ASSERT_EQ(second.status, UpdateStatus::Updated) << second.message;
    EXPECT_EQ(second.thumbnailsMade, 1u);
    EXPECT_EQ(second.removed, 1u);
    published = readPublished(home);
    EXPECT_EQ(published.byName.count("new"), 1u);
    EXPECT_EQ(published.byName.count("turned"), 0u);
    EXPECT_FALSE(fs::exists(oldThumb));
}

TEST(FolderBridge, LeavesAFolderItDidNotMakeAlone) {
    TempHome home;
    writeJpeg(home.path() / "Pictures/a.jpg", 10, 10);
    testing::writeFile(home.indexFile(), "the photo application's own index");
    FolderSource source(FolderSource::defaultFolder(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    const UpdateResult result = bridgeLibrary(source, library);
    EXPECT_EQ(result.status, UpdateStatus::Failed);
    EXPECT_NE(result.message.find("did not make"), std::string::npos);
    EXPECT_EQ(fileBytes(home.indexFile()), "the photo application's own index");
    EXPECT_EQ(fs::directory_iterator(home.libraryFolder()) == fs::directory_iterator(), false);
    EXPECT_FALSE(fs::exists(home.libraryFolder() / "Thumbs"));
}

TEST(FolderBridge, StopsBetweenPicturesAndKeepsTheLastIndex) {
    TempHome home;
    for (int i = 0; i < 4; ++i) {
        writeJpeg(home.path() / "Pictures" / ("p" + std::to_string(i) + ".jpg"), 50, 40);
    }
    FolderSource source(FolderSource::defaultFolder(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    std::atomic<bool> cancel{false};
    UpdateOptions options;
    options.cancel = &cancel;
    options.progress = [&](std::size_t done, std::size_t) { cancel = done == 2; };
    EXPECT_EQ(bridgeLibrary(source, library, options).status, UpdateStatus::Cancelled);
    EXPECT_FALSE(fs::exists(home.indexFile()));
    // The next update goes on where the stopped one ended.
    cancel = false;
    options.progress = nullptr;
    const UpdateResult result = bridgeLibrary(source, library, options);
    EXPECT_EQ(result.status, UpdateStatus::Updated);
    EXPECT_EQ(result.thumbnailsMade, 2u);
    EXPECT_EQ(result.items, 4u);
}

TEST(FolderBridge, AMissingFolderIsNamed) {
    TempHome home;
    FolderSource source(home.path() / "nowhere");
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    const UpdateResult result = bridgeLibrary(source, library);
    EXPECT_EQ(result.status, UpdateStatus::Failed);
    EXPECT_NE(result.message.find((home.path() / "nowhere").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(home.libraryFolder()));
}

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in " << sql;
}

// Shotwell makes its database at its first start: run it once, without a display of its own,
// and end it by its PID once the database holds its version.
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
    const bool ready = testing::waitUntil(
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
    return ready;
}

TEST(ShotwellBridge, PublishesEventsAndTagsOfARealDatabase) {
    TempHome home;
    const fs::path database = home.path() / ".local/share/shotwell/data/photo.db";
    if (!makeShotwellDatabase(home.path(), database)) {
        GTEST_SKIP() << "shotwell could not be started under Xvfb";
    }
    const fs::path pictures = home.path() / "Pictures";
    writeJpeg(pictures / "beach.jpg", 400, 300);
    writeJpeg(pictures / "hill.jpg", 300, 400, 8);
    writeJpeg(pictures / "hidden.jpg", 10, 10);
    writeJpeg(pictures / "rejected.jpg", 10, 10);
    writeJpeg(pictures / "lone.jpg", 40, 20);
    ::setenv("XDG_DATA_HOME", (home.path() / ".local/share").c_str(), 1);
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
        exec(db, "INSERT INTO EventTable (id, name, comment) VALUES (1, 'Holidays', 'By the sea'),"
                 " (2, NULL, NULL)");
        const auto photo = [&](int id, const char* name, int event, int flags, int rating,
                               const char* title, std::int64_t time) {
            exec(db,
                 "INSERT INTO PhotoTable (id, filename, width, height, filesize, timestamp, "
                 "exposure_time, orientation, original_orientation, import_id, event_id, "
                 "md5, time_created, flags, rating, file_format, title, comment) VALUES (" +
                     std::to_string(id) + ", '" + (pictures / name).string() + "', 1, 1, 1, 0, " +
                     std::to_string(time) + ", 1, 1, 1, " + std::to_string(event) + ", '', 0, " +
                     std::to_string(flags) + ", " + std::to_string(rating) + ", 0, " +
                     (title ? "'" + std::string(title) + "'" : "NULL") + ", 'said " + name + "')");
        };
        photo(1, "hill.jpg", 1, 0, 3, "The hill", 1700000100);
        photo(2, "beach.jpg", 1, 0x2, 0, nullptr, 1700000000);
        photo(3, "hidden.jpg", 1, 0x1, 0, nullptr, 1700000000);
        photo(4, "rejected.jpg", 1, 0, -1, nullptr, 1700000000);
        photo(5, "lone.jpg", 2, 0, 0, nullptr, 1600000000);
        exec(db, "INSERT INTO TagTable (id, name, photo_id_list) VALUES "
                 "(1, 'Sea', 'thumb0000000000000002,thumb0000000000000003,')");
        sqlite3_close(db);
    }
    const std::string bytes = fileBytes(database);

    ShotwellSource source(ShotwellSource::defaultDatabase(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    const UpdateResult result = bridgeLibrary(source, library);
    ::unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(result.status, UpdateStatus::Updated) << result.message;
    Published published = readPublished(home);
    // The unnamed event is named by its day and comes first, being the older.
    ASSERT_EQ(published.albums.size(), 3u);
    EXPECT_TRUE(std::regex_match(published.albums[0], std::regex("\\w+ \\w+ \\d+, 2020")))
        << published.albums[0];
    EXPECT_EQ(published.albums[1], "Holidays");
    EXPECT_EQ(published.albums[2], "Sea");
    EXPECT_EQ(published.index.albums->at(4).comments, "By the sea");
    EXPECT_EQ(published.byName.size(), 3u);
    ASSERT_EQ(published.byName.count("The hill"), 1u);
    EXPECT_EQ(published.byName["The hill"]->comment, "said hill.jpg");
    EXPECT_FLOAT_EQ(*published.byName["The hill"]->aspectRatio, 400.0f / 300.0f);
    expectSoundFiles(published, {{"The hill", pictures / "hill.jpg"},
                                 {"beach", pictures / "beach.jpg"},
                                 {"lone", pictures / "lone.jpg"}});
    EXPECT_EQ(fileBytes(database), bytes);

    // A version this reader does not know: a message, and the library as it was.
    const std::string index = fileBytes(home.indexFile());
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
        exec(db, "UPDATE VersionTable SET schema_version = 99");
        sqlite3_close(db);
    }
    const UpdateResult unknown = bridgeLibrary(source, library);
    EXPECT_EQ(unknown.status, UpdateStatus::Failed);
    EXPECT_NE(unknown.message.find("schema version 99"), std::string::npos) << unknown.message;
    EXPECT_EQ(fileBytes(home.indexFile()), index);
}

TEST(ShotwellBridge, UnreadableDatabasesGetAMessageNamingTheFile) {
    TempHome home;
    const fs::path database = home.path() / "photo.db";
    struct Case {
        const char* name;
        const char* content; // none: no file at all
    };
    static constexpr Case kCases[] = {
        {"missing", nullptr},
        {"not a database", "just some text that is long enough to be a header...."},
        {"empty database", ""},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        fs::remove(database);
        if (row.content) {
            testing::writeFile(database, row.content);
        }
        ShotwellSource source(database);
        const SnapshotResult read = source.read();
        EXPECT_FALSE(read.snapshot);
        EXPECT_NE(read.error.find(database.string()), std::string::npos) << read.error;
    }
}

// digiKam's own statements for its SQLite schema, from the file digikam-data ships, and the
// schema version its update statements lead to.
struct DigikamSchema {
    std::vector<std::string> statements;
    int version = 0;
};

DigikamSchema shippedDigikamSchema() {
    DigikamSchema schema;
    const std::string xml = fileBytes("/usr/share/digikam/database/dbconfig.xml");
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

TEST(DigikamBridge, PublishesAlbumsAndTagsOfTheShippedSchema) {
    const DigikamSchema schema = shippedDigikamSchema();
    if (schema.statements.empty()) {
        GTEST_SKIP() << "digikam-data's dbconfig.xml is not installed";
    }
    TempHome home;
    const fs::path pictures = home.path() / "Pictures";
    writeJpeg(pictures / "2024/Trip/a.jpg", 400, 200);
    writeJpeg(pictures / "2024/Trip/b.jpg", 200, 400);
    writeJpeg(pictures / "2024/Trip/trashed.jpg", 10, 10);
    writeJpeg(pictures / "2023/old.jpg", 30, 30);
    const fs::path database = pictures / "digikam4.db";
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
        for (const std::string& sql : schema.statements) {
            exec(db, sql);
        }
        exec(db, "INSERT INTO Settings (keyword, value) VALUES ('DBVersion', '" +
                     std::to_string(schema.version) + "')");
        exec(db, "INSERT INTO AlbumRoots (id, label, status, type, identifier, specificPath) "
                 "VALUES (1, 'Pictures', 0, 1, 'volumeid:?path=" +
                     pictures.string() + "', '/')");
        exec(db, "INSERT INTO Albums (id, albumRoot, relativePath, caption) VALUES "
                 "(1, 1, '/2024/Trip', 'Summer trip'), (2, 1, '/2023', NULL)");
        exec(db, "INSERT INTO Images (id, album, name, status, category) VALUES "
                 "(1, 1, 'a.jpg', 1, 1), (2, 1, 'b.jpg', 1, 1), (3, 1, 'trashed.jpg', 3, 1), "
                 "(4, 2, 'old.jpg', 1, 1)");
        exec(db, "INSERT INTO ImageInformation (imageid, rating, creationDate) VALUES "
                 "(1, 4, '2024-06-01T10:00:00'), (2, -1, '2024-06-02T10:00:00')");
        exec(db, "INSERT INTO ImageComments (imageid, type, language, comment) VALUES "
                 "(1, 3, 'x-default', 'Beach'), (1, 1, 'x-default', 'Warm day')");
        exec(db, "INSERT INTO Tags (id, pid, name) VALUES (1, 0, 'People'), (2, 1, 'Anna'), "
                 "(3, 0, '_Digikam_Internal_Tags_'), (4, 3, 'Pick Label')");
        exec(db, "INSERT INTO ImageTags (imageid, tagid) VALUES (2, 2), (1, 4)");
        sqlite3_close(db);
    }
    testing::writeFile(home.path() / ".config/digikamrc",
                       "[Database Settings]\nDatabase Name=" + pictures.string() +
                           "/\nDatabase Type=QSQLITE\n");
    const std::string bytes = fileBytes(database);

    DigikamSource source(home.path() / ".config/digikamrc");
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    const UpdateResult result = bridgeLibrary(source, library);
    ASSERT_EQ(result.status, UpdateStatus::Updated) << result.message;
    Published published = readPublished(home);
    EXPECT_EQ(published.albums, (std::vector<std::string>{"2023", "2024/Trip", "People/Anna"}));
    EXPECT_EQ(published.index.albums->at(4).comments, "Summer trip");
    ASSERT_EQ(published.byName.size(), 3u);
    EXPECT_EQ(published.byName["Beach"]->comment, "Warm day");
    expectSoundFiles(published, {{"Beach", pictures / "2024/Trip/a.jpg"},
                                 {"b", pictures / "2024/Trip/b.jpg"},
                                 {"old", pictures / "2023/old.jpg"}});
    EXPECT_EQ(fileBytes(database), bytes);

    testing::writeFile(home.path() / ".config/digikamrc",
                       "[Database Settings]\nDatabase Type=QMYSQL\n");
    const SnapshotResult mysql = source.read();
    EXPECT_FALSE(mysql.snapshot);
    EXPECT_NE(mysql.error.find("only SQLite"), std::string::npos) << mysql.error;
}

} // namespace
} // namespace tessaly::bridge
