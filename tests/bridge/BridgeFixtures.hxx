// Libraries of the three kinds as the real programs leave them, for the bridge's tests: real JPEG
// files (and a movie, when ffmpeg is there), Shotwell's database as Shotwell makes it at its first
// start, digiKam's from the schema digiKam ships, filled with the rows an import writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace tessaly::testing {

namespace fs = std::filesystem;

// A real JPEG of the given size; an orientation other than 1 and a description are written into
// its EXIF data.
void writeJpeg(const fs::path& path, int width, int height, int orientation = 1,
               const std::string& description = {});

// A JPEG header that claims 50,000 x 50,000 pixels, with no picture after it.
void writeHugeHeader(const fs::path& path);

// A one-second movie made by ffmpeg; false when ffmpeg is missing or fails.
bool writeMovie(const fs::path& path, int width, int height);

// Runs SQL, failing the test on an error.
void exec(sqlite3* db, const std::string& sql);

// An open database that waits for a lock instead of failing at once, closed when it goes.
class Database {
public:
    explicit Database(const fs::path& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    sqlite3* get() const { return db_; }
    void exec(const std::string& sql) const { testing::exec(db_, sql); }

private:
    sqlite3* db_ = nullptr;
};

// Shotwell makes its database at its first start: runs it once, without a display of its own, in
// `home`, and ends it, and everything it started, once the database holds every table the bridge
// reads. False when Shotwell could not be run.
bool makeShotwellDatabase(const fs::path& home, const fs::path& database);

// A picture or movie as Shotwell's import records it.
struct ShotwellItem {
    int id = 0;
    fs::path file{};
    int event = -1;
    std::int64_t time = 0; // exposure time
    int flags = 0;
    int rating = 0;
    std::string title{}; // empty: NULL, as Shotwell leaves it until one is typed
    std::string comment{};
    bool movie = false;
};
void addShotwellItem(const Database& db, const ShotwellItem& item);

// digiKam's own statements for its SQLite schema, from the file digikam-data ships, and the
// schema version its update statements lead to. No statements when it is not installed.
struct DigikamSchema {
    std::vector<std::string> statements;
    int version = 0;
};
DigikamSchema shippedDigikamSchema();

// Creates the database with the schema and one album root at `root`, and digiKam's settings in
// `home`/.config/digikamrc naming it.
void makeDigikamDatabase(const DigikamSchema& schema, const fs::path& database,
                         const fs::path& root, const fs::path& home);

// A digiKam library of four pictures below `home`/Pictures, as digiKam's import leaves it: the
// albums "2024/Trip" (caption "Summer trip": "a.jpg" titled "Beach" with the caption "Warm day",
// "b.jpg" turned by its EXIF orientation, "trashed.jpg" in the trash) and "2023" ("old.jpg"), the
// tag "People/Anna" on b.jpg and one of digiKam's own tags on a.jpg. Answers the database.
fs::path makeDigikamSample(const DigikamSchema& schema, const fs::path& home);

// An image as digiKam's import records it in Images, ImageInformation and ImageComments.
struct DigikamImage {
    int id = 0;
    int album = 0;
    std::string name{};
    int status = 1;   // 1 visible, 3 trashed
    int category = 1; // 1 image, 2 video
    std::string title{};
    std::string comment{};
    int rating = -1;
    std::string date{}; // "2024-06-01T10:00:00"
};
void addDigikamImage(const Database& db, const DigikamImage& image);

// Every file below the folders (and the files given), with its bytes: to show a source was only
// read.
std::map<fs::path, std::string> filesBelow(const std::vector<fs::path>& places);

} // namespace tessaly::testing
