// The bridge from each kind of library to the iPhoto-style folder, judged by the project's own
// index reader: what the site would be built from.

#include "BridgeFixtures.hxx"
#include "BridgedLibrary.hxx"
#include "CapturedLog.hxx"
#include "DigikamSource.hxx"
#include "FolderSource.hxx"
#include "LibraryIndex.hxx"
#include "LibrarySources.hxx"
#include "MediaFiles.hxx"
#include "ShotwellSource.hxx"
#include "TempHome.hxx"
#include "WaitUntil.hxx"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vips/vips.h>

namespace tessaly::bridge {
namespace {

namespace fs = std::filesystem;
using namespace testing;

std::string fileBytes(const fs::path& path) { return readFile(path); }

// How many of the lines hold `text`.
std::size_t linesWith(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
}

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
    writeJpeg(pictures / "Trip/upright.jpg", 600, 400, 1, "Evening sun");
    writeJpeg(pictures / "Trip/turned.jpg", 600, 400, 6);
    writeJpeg(pictures / "Trip/Day 2/tall.jpg", 200, 400);
    writeJpeg(pictures / ".hidden/secret.jpg", 100, 100);
    writeJpeg(pictures / "Trip/.dot.jpg", 100, 100);
    // Each of these is left out, with a line in the log, and the others still published.
    writeFile(pictures / "Trip/empty.jpg", "");
    writeFile(pictures / "Trip/corrupt.jpg", "\xFF\xD8\xFF\xE0 not really a picture");
    writeHugeHeader(pictures / "Trip/huge.jpg");
    fs::create_directory_symlink("..", pictures / "Trip/loop");
    writeFile(pictures / "Trip/bad\xFFname.jpg", "x");
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

// A file that cannot be shown is logged once when it is first met, not again at every update while
// it stays as it is.
TEST(FolderBridge, LogsEachUnusableFileOnceWhileItStays) {
    TempHome home;
    const fs::path pictures = home.path() / "Pictures";
    writeJpeg(pictures / "Trip/good.jpg", 60, 40);
    struct Bad {
        const char* name;
        std::function<void(const fs::path&)> make;
    };
    const Bad bad[] = {
        {"empty.jpg", [](const fs::path& path) { writeFile(path, ""); }},
        {"corrupt.jpg", [](const fs::path& path) { writeFile(path, "\xFF\xD8\xFF\xE0 no"); }},
        {"huge.jpg", writeHugeHeader},
        {"loop", [](const fs::path& path) { fs::create_directory_symlink("..", path); }},
        {"bad\xFFname.jpg", [](const fs::path& path) { writeFile(path, "x"); }},
        {"nowhere.jpg", [](const fs::path& path) { fs::create_symlink("/nonexistent", path); }},
    };
    for (const Bad& file : bad) {
        file.make(pictures / "Trip" / file.name);
    }
    FolderSource source(FolderSource::defaultFolder(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    std::vector<std::string> lines;
    {
        CapturedLog log(home.path() / "bridge.log");
        ASSERT_EQ(bridgeLibrary(source, library).status, UpdateStatus::Updated);
        writeJpeg(pictures / "Trip/more.jpg", 60, 40);
        const UpdateResult second = bridgeLibrary(source, library);
        ASSERT_EQ(second.status, UpdateStatus::Updated);
        EXPECT_EQ(second.items, 2u);
        // Mended, then broken again: said again.
        fs::remove(pictures / "Trip/corrupt.jpg");
        ASSERT_EQ(bridgeLibrary(source, library).status, UpdateStatus::Updated);
        writeFile(pictures / "Trip/corrupt.jpg", "still no picture");
        ASSERT_EQ(bridgeLibrary(source, library).status, UpdateStatus::Updated);
        lines = log.lines();
    }
    for (const Bad& file : bad) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(linesWith(lines, cleanText(file.name)),
                  std::string_view(file.name) == "corrupt.jpg" ? 2u : 1u);
    }
}

// A stop that comes while a large picture is being shrunk gives it up at once; the picture is not
// taken for a broken one, and the next update makes its thumbnail.
TEST(FolderBridge, AStopInsideAPictureLeavesItToTheNextUpdate) {
    TempHome home;
    const fs::path picture = home.path() / "Pictures/large.png";
    fs::create_directories(picture.parent_path());
    {
        VipsImage* black = nullptr;
        ASSERT_EQ(vips_black(&black, 12000, 12000, "bands", 3, nullptr), 0);
        ASSERT_EQ(vips_pngsave(black, picture.c_str(), nullptr), 0);
        g_object_unref(black);
    }
    FolderSource source(FolderSource::defaultFolder(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    std::atomic<bool> cancel{false};
    UpdateOptions options;
    options.cancel = &cancel;
    // Stops as soon as the thumbnail's file has been begun.
    std::thread stopper([&] {
        waitUntil(
            [&] {
                std::error_code error;
                for (const auto& entry :
                     fs::directory_iterator(home.libraryFolder() / "Thumbs", error)) {
                    if (entry.path().filename().string().ends_with(".new.jpg")) {
                        return true;
                    }
                }
                return false;
            },
            std::chrono::seconds(60));
        cancel = true;
    });
    const UpdateResult stopped = bridgeLibrary(source, library, options);
    stopper.join();
    ASSERT_EQ(stopped.status, UpdateStatus::Cancelled);
    EXPECT_FALSE(fs::exists(home.indexFile()));

    cancel = false;
    const UpdateResult next = bridgeLibrary(source, library, options);
    ASSERT_EQ(next.status, UpdateStatus::Updated) << next.message;
    EXPECT_EQ(next.thumbnailsMade, 1u);
    EXPECT_EQ(next.items, 1u);
}

// A source whose stamp is what the library was made from is not read again; one that only looks
// changed (a folder touched, a database written without a change the site shows) is read, but
// the index stays the same file, so the site is not built again for it.
TEST(FolderBridge, AnIndexThatWouldNotChangeIsLeftAsItIs) {
    TempHome home;
    const fs::path pictures = home.path() / "Pictures";
    writeJpeg(pictures / "a.jpg", 50, 40);
    FolderSource source(FolderSource::defaultFolder(home.path()));
    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    UpdateOptions options;
    options.sourceStamp = sourceStamp(SourceKind::Folder, source);
    ASSERT_EQ(bridgeLibrary(source, library, options).status, UpdateStatus::Updated);
    EXPECT_EQ(library.madeFrom(), options.sourceStamp);
    EXPECT_EQ(bridgeLibrary(source, library, options).status, UpdateStatus::Unchanged);

    struct stat before {};
    ASSERT_EQ(::stat(home.indexFile().c_str(), &before), 0);
    writeFile(pictures / "notes.txt", "not a picture");
    options.sourceStamp = sourceStamp(SourceKind::Folder, source);
    EXPECT_NE(options.sourceStamp, library.madeFrom());
    ASSERT_EQ(bridgeLibrary(source, library, options).status, UpdateStatus::Updated);
    struct stat after {};
    ASSERT_EQ(::stat(home.indexFile().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(library.madeFrom(), options.sourceStamp);
}

TEST(FolderBridge, LeavesAFolderItDidNotMakeAlone) {
    TempHome home;
    writeJpeg(home.path() / "Pictures/a.jpg", 10, 10);
    writeFile(home.indexFile(), "the photo application's own index");
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
    options.progress = [&](std::size_t done, std::size_t) {
        if (done == 2) {
            cancel = true;
        }
    };
    // Thumbnails are made several at once: one begun before the stop may still be finished.
    const UpdateResult stopped = bridgeLibrary(source, library, options);
    EXPECT_EQ(stopped.status, UpdateStatus::Cancelled);
    EXPECT_GE(stopped.thumbnailsMade, 2u);
    EXPECT_LT(stopped.thumbnailsMade, 4u);
    EXPECT_FALSE(fs::exists(home.indexFile()));
    // The next update goes on where the stopped one ended: each thumbnail is made once.
    cancel = false;
    options.progress = nullptr;
    const UpdateResult result = bridgeLibrary(source, library, options);
    EXPECT_EQ(result.status, UpdateStatus::Updated);
    EXPECT_EQ(result.thumbnailsMade, 4u - stopped.thumbnailsMade);
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
        const Database db(database);
        db.exec("INSERT INTO EventTable (id, name, comment) VALUES (1, 'Holidays', 'By the sea'),"
                " (2, NULL, NULL)");
        const auto photo = [&](int id, const char* name, int event, int flags, int rating,
                               const char* title, std::int64_t time) {
            addShotwellItem(db, {.id = id,
                                 .file = pictures / name,
                                 .event = event,
                                 .time = time,
                                 .flags = flags,
                                 .rating = rating,
                                 .title = title ? title : "",
                                 .comment = std::string("said ") + name});
        };
        photo(1, "hill.jpg", 1, 0, 3, "The hill", 1700000100);
        photo(2, "beach.jpg", 1, 0x2, 0, nullptr, 1700000000);
        photo(3, "hidden.jpg", 1, 0x1, 0, nullptr, 1700000000);
        photo(4, "rejected.jpg", 1, 0, -1, nullptr, 1700000000);
        photo(5, "lone.jpg", 2, 0, 0, nullptr, 1600000000);
        db.exec("INSERT INTO TagTable (id, name, photo_id_list) VALUES "
                "(1, 'Sea', 'thumb0000000000000002,thumb0000000000000003,')");
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
    Database(database).exec("UPDATE VersionTable SET schema_version = 99");
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
            writeFile(database, row.content);
        }
        ShotwellSource source(database);
        const SnapshotResult read = source.read();
        EXPECT_FALSE(read.snapshot);
        EXPECT_NE(read.error.find(database.string()), std::string::npos) << read.error;
    }
}

// Shotwell holds its database locked while it writes: the read waits a little, then says so,
// naming the file; a stop ends the wait at once.
TEST(ShotwellBridge, ALockedDatabaseIsNamedAndAStopEndsTheWait) {
    TempHome home;
    const fs::path database = home.path() / "photo.db";
    const Database holder(database);
    holder.exec("CREATE TABLE VersionTable (id INTEGER PRIMARY KEY, schema_version INTEGER)");
    holder.exec("BEGIN EXCLUSIVE");
    holder.exec("INSERT INTO VersionTable VALUES (1, 20)");

    ShotwellSource source(database);
    const SnapshotResult locked = source.read();
    EXPECT_FALSE(locked.snapshot);
    EXPECT_NE(locked.error.find(database.string()), std::string::npos) << locked.error;
    EXPECT_NE(locked.error.find("locked"), std::string::npos) << locked.error;

    BridgedLibrary library(BridgedLibrary::folderIn(home.path()));
    std::atomic<bool> cancel{true};
    UpdateOptions options;
    options.cancel = &cancel;
    EXPECT_EQ(bridgeLibrary(source, library, options).status, UpdateStatus::Cancelled);
    EXPECT_FALSE(fs::exists(home.libraryFolder()));
    holder.exec("COMMIT");
}

TEST(DigikamBridge, PublishesAlbumsAndTagsOfTheShippedSchema) {
    const DigikamSchema schema = shippedDigikamSchema();
    if (schema.statements.empty()) {
        GTEST_SKIP() << "digikam-data's dbconfig.xml is not installed";
    }
    TempHome home;
    const fs::path pictures = home.path() / "Pictures";
    const fs::path database = makeDigikamSample(schema, home.path());
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

    writeFile(home.path() / ".config/digikamrc", "[Database Settings]\nDatabase Type=QMYSQL\n");
    const SnapshotResult mysql = source.read();
    EXPECT_FALSE(mysql.snapshot);
    EXPECT_NE(mysql.error.find("only SQLite"), std::string::npos) << mysql.error;
}

} // namespace
} // namespace tessaly::bridge
