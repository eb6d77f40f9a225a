// Runs the real tessaly-sample-library program into a fresh home folder and judges what it wrote
// the way the publisher will meet it: the index read back with libplist, the files it names
// opened with Qt.

#include "PlistRead.hxx"
#include "SampleImages.hxx"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace tessaly::sample::test {
namespace {

struct ToolRun {
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class SampleToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        home_ = dir_.path().toStdString() + "/home";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home_)));
    }

    std::string library() const { return home_ + "/Sites/iPhoto Library"; }
    std::string indexPath() const { return library() + "/AlbumData.xml"; }

    // The program's output goes next to the home folder, not into it, so listings of the home
    // show only what the program wrote.
    ToolRun run(const std::vector<std::string>& args) const {
        std::vector<std::string> words{SAMPLE_TOOL};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        const std::string outPath = dir_.path().toStdString() + "/stdout";
        const std::string errPath = dir_.path().toStdString() + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        ToolRun result;
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }

    Plist readIndex() const { return parsePlist(readFile(indexPath())); }

    // Every file under the home folder, relative to it, with its bytes.
    std::map<std::string, QByteArray> snapshot() const {
        std::map<std::string, QByteArray> files;
        const QString home = QString::fromStdString(home_);
        QDirIterator it(home, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            files[QDir(home).relativeFilePath(path).toStdString()] = file.readAll();
        }
        return files;
    }

    QTemporaryDir dir_;
    std::string home_;
};

std::set<std::string> keySet(plist_t keyList) {
    std::set<std::string> keys;
    for (plist_t key : elements(keyList)) {
        keys.insert(text(key));
    }
    return keys;
}

// What every index must satisfy for the publisher, whatever the library's size.
void expectConsistentIndex(plist_t root, const std::string& library, std::size_t pictureCount,
                           std::size_t regularCount, bool aspectRatios = true) {
    ASSERT_TRUE(isType(root, PLIST_DICT)) << "the index does not parse as a dictionary";
    EXPECT_EQ(text(item(root, "Archive Path")), library);
    EXPECT_FALSE(text(item(root, "Application Version")).empty());
    EXPECT_EQ(integer(item(root, "Major Version")), 2);
    EXPECT_TRUE(isType(item(root, "Minor Version"), PLIST_UINT));
    EXPECT_TRUE(isType(item(root, "List of Keywords"), PLIST_DICT));

    const auto master = entries(item(root, "Master Image List"));
    ASSERT_EQ(master.size(), pictureCount);
    std::set<std::string> masterKeys;
    for (const auto& [key, picture] : master) {
        masterKeys.insert(key);
    }
    ASSERT_EQ(masterKeys.size(), pictureCount) << "duplicate keys in Master Image List";

    // Rolls partition the pictures, and each picture names the roll that holds it.
    std::map<std::string, std::int64_t> rollOf;
    for (plist_t roll : elements(item(root, "List of Rolls"))) {
        const auto keys = elements(item(roll, "KeyList"));
        EXPECT_EQ(integer(item(roll, "PhotoCount")), static_cast<std::int64_t>(keys.size()));
        for (plist_t key : keys) {
            EXPECT_TRUE(rollOf.emplace(text(key), integer(item(roll, "AlbumId"))).second)
                << "picture " << text(key) << " is in two rolls";
        }
    }
    EXPECT_EQ(rollOf.size(), pictureCount);
    for (const auto& [key, picture] : master) {
        SCOPED_TRACE("picture " + key);
        EXPECT_EQ(integer(item(picture, "Roll")), rollOf[key]);
        EXPECT_EQ(text(item(picture, "ImagePath")).rfind(library + "/", 0), 0u);
        EXPECT_EQ(text(item(picture, "ThumbPath")).rfind(library + "/", 0), 0u);
        if (aspectRatios) {
            EXPECT_GT(real(item(picture, "Aspect Ratio")), 0.0);
        } else {
            EXPECT_EQ(item(picture, "Aspect Ratio"), nullptr);
        }
    }

    const auto albums = elements(item(root, "List of Albums"));
    ASSERT_GE(albums.size(), 3 + regularCount);
    EXPECT_EQ(item(albums[0], "Album Type"), nullptr);
    EXPECT_TRUE(isType(item(albums[0], "Master"), PLIST_BOOLEAN));
    EXPECT_EQ(keySet(item(albums[0], "KeyList")), masterKeys);
    EXPECT_EQ(text(item(albums[1], "Album Type")), "Special Roll");
    EXPECT_EQ(text(item(albums[2], "Album Type")), "Special Month");

    std::vector<std::size_t> regularPositions;
    std::set<std::string> regularNames;
    std::set<std::int64_t> albumIds;
    std::map<std::string, int> regularMemberships;
    for (std::size_t position = 0; position < albums.size(); ++position) {
        SCOPED_TRACE("album at position " + std::to_string(position));
        plist_t album = albums[position];
        const auto keys = elements(item(album, "KeyList"));
        EXPECT_EQ(integer(item(album, "PhotoCount")), static_cast<std::int64_t>(keys.size()));
        EXPECT_TRUE(albumIds.insert(integer(item(album, "AlbumId"))).second) << "repeated AlbumId";
        for (plist_t key : keys) {
            EXPECT_TRUE(masterKeys.count(text(key))) << "unknown key " << text(key);
        }
        if (position >= 3) {
            EXPECT_FALSE(text(item(album, "Album Type")).empty());
        }
        if (text(item(album, "Album Type")) == "Regular") {
            EXPECT_GE(position, 3u);
            regularPositions.push_back(position);
            const std::string name = text(item(album, "AlbumName"));
            EXPECT_FALSE(name.empty());
            EXPECT_TRUE(regularNames.insert(name).second) << "repeated album name " << name;
            for (const std::string& key : keySet(item(album, "KeyList"))) {
                ++regularMemberships[key];
            }
        }
    }
    ASSERT_EQ(regularPositions.size(), regularCount);
    if (regularCount >= 2) {
        EXPECT_EQ(regularPositions.front(), 3u);
        EXPECT_GT(regularPositions.back() - regularPositions.front(), regularCount - 1)
            << "no other album sits between the regular albums";
    }
    if (regularCount >= 2 && pictureCount >= regularCount) {
        EXPECT_EQ(regularMemberships.size(), pictureCount) << "a picture is in no regular album";
        EXPECT_TRUE(std::any_of(regularMemberships.begin(), regularMemberships.end(),
                                [](const auto& entry) { return entry.second > 1; }))
            << "no picture is in two regular albums";
    }
}

TEST_F(SampleToolTest, DefaultLibraryIndexIsConsistent) {
    const ToolRun result = run({"--home", home_});
    ASSERT_EQ(result.status, 0) << result.err;
    // One line, naming the index and what is in it.
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    EXPECT_NE(result.out.find(indexPath()), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(" 6 albums"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(" 24 pictures"), std::string::npos) << result.out;

    const Plist root = readIndex();
    expectConsistentIndex(root.get(), library(), 24, 6);
}

// A home given as a relative path with detours still yields absolute, clean paths in the index.
TEST_F(SampleToolTest, RelativeHomeIsMadeAbsolute) {
    const std::string relative =
        QDir::current().relativeFilePath(QString::fromStdString(home_)).toStdString() +
        "/../home/.";
    ASSERT_NE(relative.front(), '/');
    const ToolRun result =
        run({"--home", relative, "--no-images", "--pictures", "5", "--albums", "2"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Plist root = readIndex();
    expectConsistentIndex(root.get(), library(), 5, 2);
}

TEST_F(SampleToolTest, DefaultLibraryFilesMatchTheIndex) {
    const ToolRun result = run({"--home", home_});
    ASSERT_EQ(result.status, 0) << result.err;
    const Plist root = readIndex();
    const auto master = entries(item(root.get(), "Master Image List"));
    ASSERT_FALSE(master.empty());

    std::set<float> ratios;
    int movies = 0;
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    for (const auto& [key, picture] : master) {
        SCOPED_TRACE("picture " + key);
        const double ratio = real(item(picture, "Aspect Ratio"));
        ratios.insert(static_cast<float>(ratio));
        const bool movie = text(item(picture, "MediaType")) == "Movie";
        movies += movie;
        const std::string imagePath = text(item(picture, "ImagePath"));
        const std::string thumbPath = text(item(picture, "ThumbPath"));

        // Images live in the folder of their date, named by key; thumbnails beside them.
        const QString day =
            reference.addSecs(static_cast<qint64>(real(item(picture, "DateAsTimerInterval"))))
                .toString(QStringLiteral("yyyy/MM/dd"));
        const std::string folder = library() + "/" + day.toStdString() + "/";
        EXPECT_EQ(imagePath, folder + key + (movie ? ".mov" : ".jpg"));
        EXPECT_EQ(thumbPath, folder + "Thumbs/" + key + ".jpg");

        struct Expected {
            std::string path;
            int longerSide;
        };
        std::vector<Expected> jpegs{{thumbPath, 240}};
        if (movie) {
            EXPECT_GT(QFileInfo(QString::fromStdString(imagePath)).size(), 0) << imagePath;
        } else {
            jpegs.push_back({imagePath, 640});
        }
        for (const Expected& jpeg : jpegs) {
            SCOPED_TRACE(jpeg.path);
            QImageReader reader(QString::fromStdString(jpeg.path));
            EXPECT_EQ(reader.format(), "jpeg");
            const QImage image = reader.read();
            ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
            EXPECT_EQ(std::max(image.width(), image.height()), jpeg.longerSide);
            EXPECT_NEAR(image.width(), image.height() * ratio, 1.0);
        }
    }
    EXPECT_EQ(movies, 1);
    for (const float shape : {4.0f / 3.0f, 1.5f, 0.75f, 1.0f}) {
        EXPECT_TRUE(ratios.count(shape)) << "no picture with aspect ratio " << shape;
    }
}

TEST_F(SampleToolTest, TextsNeedingEscapesRoundTrip) {
    const ToolRun result = run({"--home", home_, "--no-images"});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string xml = readFile(indexPath());
    const Plist root = readIndex();
    ASSERT_TRUE(isType(root.get(), PLIST_DICT));

    std::multiset<std::string> pictureTexts;
    int withoutComment = 0;
    for (const auto& [key, picture] : entries(item(root.get(), "Master Image List"))) {
        pictureTexts.insert(text(item(picture, "Caption")));
        if (plist_t comment = item(picture, "Comment")) {
            pictureTexts.insert(text(comment));
        } else {
            ++withoutComment;
        }
    }
    std::multiset<std::string> albumTexts;
    int withComments = 0;
    int withoutComments = 0;
    for (plist_t album : elements(item(root.get(), "List of Albums"))) {
        albumTexts.insert(text(item(album, "AlbumName")));
        if (text(item(album, "Album Type")) == "Regular") {
            if (plist_t comments = item(album, "Comments")) {
                albumTexts.insert(text(comments));
                ++withComments;
            } else {
                ++withoutComments;
            }
        }
    }
    EXPECT_GE(withoutComment, 1) << "every picture has a Comment key";
    EXPECT_GE(withComments, 1);
    EXPECT_GE(withoutComments, 1);

    // Each text is in the file only in escaped form, and libplist gives back the original.
    struct Case {
        const char* name;
        bool onPicture;
        const char* text;
        const char* escaped;
    };
    static constexpr Case kCases[] = {
        {"caption with markup", true, "Café & <Friends>", "Café &amp; &lt;Friends&gt;"},
        {"caption in Japanese", true, "夏の海", "夏の海"},
        {"comment with markup", true, "海辺で <花火> & かき氷", "海辺で &lt;花火&gt; &amp; かき氷"},
        {"album name with markup", false, "Road trip <Route 66>", "Road trip &lt;Route 66&gt;"},
        {"album comments with markup", false, "The whole family <and the dog>",
         "The whole family &lt;and the dog&gt;"},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE((row.onPicture ? pictureTexts : albumTexts).count(row.text));
        EXPECT_NE(xml.find(std::string(">") + row.escaped + "<"), std::string::npos);
    }
    EXPECT_EQ(xml.find("<Friends>"), std::string::npos);
}

// Benchmarks ask for an index alone; many albums also make the names cycle.
TEST_F(SampleToolTest, NoImagesWritesOnlyAConsistentIndex) {
    const ToolRun result =
        run({"--home", home_, "--no-images", "--pictures", "3000", "--albums=120", "--seed", "7"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto files = snapshot();
    ASSERT_EQ(files.size(), 1u) << files.rbegin()->first;
    EXPECT_EQ(files.begin()->first, "Sites/iPhoto Library/AlbumData.xml");

    const Plist root = readIndex();
    expectConsistentIndex(root.get(), library(), 3000, 120);
}

// Benchmarks of the later versions' libraries: no aspect ratio in the index, and a thumbnail of
// each picture's proportions as the only file beside it.
TEST_F(SampleToolTest, PlainThumbnailsWithoutAspectRatios) {
    const ToolRun result = run({"--home", home_, "--plain-thumbnails", "--no-aspect-ratio",
                                "--pictures", "12", "--albums", "3", "--seed", "5"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Plist root = readIndex();
    expectConsistentIndex(root.get(), library(), 12, 3, false);

    Options options;
    options.home = home_;
    options.albums = 3;
    options.pictures = 12;
    options.seed = 5;
    const SampleLibrary plan = planLibrary(options);
    const auto files = snapshot();
    EXPECT_EQ(files.size(), 1 + plan.pictures.size()); // the index and the thumbnails
    std::set<std::pair<int, int>> shapes;
    for (const Picture& picture : plan.pictures) {
        const std::string path = plan.thumbPath(picture);
        SCOPED_TRACE(path);
        QImageReader reader(QString::fromStdString(path));
        EXPECT_EQ(reader.format(), "jpeg");
        const QSize size = reader.size();
        EXPECT_EQ(size, sizeForAspect(picture.aspectRatio, kThumbSide));
        shapes.insert({size.width(), size.height()});
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(plan.imagePath(picture))));
    }
    EXPECT_GE(shapes.size(), 3u);
}

TEST_F(SampleToolTest, SameSeedGivesTheSameFiles) {
    const std::vector<std::string> args{"--home",   home_, "--pictures", "8",
                                        "--albums", "3",   "--seed",     "42"};
    ASSERT_EQ(run(args).status, 0);
    const auto first = snapshot();
    ASSERT_GT(first.size(), 8u);

    auto again = args;
    again.push_back("--force");
    ASSERT_EQ(run(again).status, 0);
    EXPECT_TRUE(snapshot() == first) << "a second run with the same seed wrote other bytes";

    const std::string index = "Sites/iPhoto Library/AlbumData.xml";
    auto other = again;
    other[7] = "43";
    ASSERT_EQ(run(other).status, 0);
    EXPECT_NE(snapshot().at(index), first.at(index)) << "the seed does not change the library";
}

TEST_F(SampleToolTest, RefusesBadArgumentsAndTargetsItCannotWrite) {
    enum class Setup { None, HomeIsAFile, SitesIsAFile, IndexExists };
    struct Case {
        const char* name;
        Setup setup;
        const char* args[4]; // "{home}" stands for the home folder
    };
    static constexpr Case kCases[] = {
        {"no home", Setup::None, {"--pictures", "3"}},
        {"home without a value", Setup::None, {"--no-images", "--home"}},
        {"empty home", Setup::None, {"--home", ""}},
        {"home does not exist", Setup::None, {"--home", "{home}/missing"}},
        {"home is a file", Setup::HomeIsAFile, {"--home", "{home}/file"}},
        {"negative album count", Setup::None, {"--home", "{home}", "--albums", "-1"}},
        {"album count not a number", Setup::None, {"--home", "{home}", "--albums", "six"}},
        {"album count with trailing text", Setup::None, {"--home", "{home}", "--albums=6x"}},
        {"no pictures", Setup::None, {"--home", "{home}", "--pictures", "0"}},
        {"picture count overflows",
         Setup::None,
         {"--home", "{home}", "--pictures", "99999999999999999999"}},
        {"seed not a number", Setup::None, {"--home", "{home}", "--seed", "0x10"}},
        {"unknown option", Setup::None, {"--home", "{home}", "--colour"}},
        {"stray argument", Setup::None, {"--home", "{home}", "extra"}},
        {"flag given a value", Setup::None, {"--home", "{home}", "--no-images=yes"}},
        {"no images and plain thumbnails at once",
         Setup::None,
         {"--home", "{home}", "--no-images", "--plain-thumbnails"}},
        {"library folder cannot be made", Setup::SitesIsAFile, {"--home", "{home}", "--no-images"}},
        {"existing index without --force", Setup::IndexExists, {"--home", "{home}", "--no-images"}},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        const std::string home = home_ + "/" + row.name;
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home)));
        const std::string index = home + "/Sites/iPhoto Library/AlbumData.xml";
        const std::string kept = "someone's own index";
        switch (row.setup) {
        case Setup::None:
            break;
        case Setup::HomeIsAFile:
            std::ofstream(home + "/file") << "x";
            break;
        case Setup::SitesIsAFile:
            std::ofstream(home + "/Sites") << "x";
            break;
        case Setup::IndexExists:
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home + "/Sites/iPhoto Library")));
            std::ofstream(index) << kept;
            break;
        }
        std::vector<std::string> args;
        for (const char* arg : row.args) {
            if (arg) {
                std::string word = arg;
                if (const auto at = word.find("{home}"); at != std::string::npos) {
                    word.replace(at, 6, home);
                }
                args.push_back(word);
            }
        }
        const ToolRun result = run(args);
        EXPECT_NE(result.status, 0);
        EXPECT_LT(result.status, 128) << "the program crashed";
        EXPECT_FALSE(result.err.empty()) << "no message for the user";
        EXPECT_TRUE(result.out.empty()) << result.out;
        if (row.setup == Setup::IndexExists) {
            EXPECT_EQ(readFile(index), kept);
        } else {
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(index)));
        }
    }
}

} // namespace
} // namespace tessaly::sample::test
