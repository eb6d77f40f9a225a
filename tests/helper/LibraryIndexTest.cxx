#include "LibraryIndex.hxx"

#include "IndexXml.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#ifndef FIXTURE_DIR
#error FIXTURE_DIR names the folder of the test data
#endif

namespace tessaly {
namespace {

using namespace testing;

TEST(LibraryIndex, ReadsTheIndexOfTheRealApplication) {
    auto index = readLibraryIndex(FIXTURE_DIR "/iphoto5-AlbumData.xml");
    ASSERT_TRUE(index);
    ASSERT_TRUE(index->albums);
    const auto& albums = *index->albums;
    ASSERT_EQ(albums.size(), 4u); // "List of Rolls" is not an album list
    EXPECT_FALSE(albums[0].type);
    EXPECT_EQ(albums[0].name, "Library");
    EXPECT_EQ(albums[1].type, "Special Roll");
    EXPECT_EQ(albums[2].type, "Special Month");
    EXPECT_EQ(albums[3].type, "Regular");
    EXPECT_EQ(albums[3].name, "An Album");
    EXPECT_FALSE(albums[3].comments);
    ASSERT_TRUE(albums[3].keyList);
    ASSERT_EQ(albums[3].keyList->size(), 1u);
    EXPECT_EQ(albums[3].keyList->front(), "7");

    const PictureRecord* picture = index->findPicture("7");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->thumbPath,
              "/Users/username/Pictures/iPhoto Library/2006/01/07/Thumbs/7.jpg");
    EXPECT_EQ(picture->imagePath, "/Users/username/Pictures/iPhoto Library/2006/01/07/"
                                  "fallow_keep.png.450x450.2005-12-04.jpg");
    EXPECT_EQ(picture->aspectRatio, 1.0f);
    EXPECT_EQ(picture->caption, "fallow_keep.png.450x450.2005-12-04");
    EXPECT_EQ(picture->comment, "a comment");
    EXPECT_EQ(index->findPicture("8"), nullptr);
}

TEST(LibraryIndex, FilesThatCannotBeReadGiveNothing) {
    const std::string real = readFile(FIXTURE_DIR "/iphoto5-AlbumData.xml");
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"cut in the middle", real.substr(0, real.size() / 2)},
        {"cut before the last tag", real.substr(0, real.rfind("</plist>"))},
        {"cut inside a picture", real.substr(0, real.find("<key>Caption</key>") + 9)},
        {"not XML", "List of Albums = ();"},
        {"an array at the root", "<plist version=\"1.0\"><array><dict/></array></plist>"},
        {"a text at the root", "<plist version=\"1.0\"><string>x</string></plist>"},
        {"two roots", "<plist version=\"1.0\"><dict/><dict/></plist>"},
        {"a key outside a dictionary", "<plist><dict><key>List of Albums</key><array><key>x</key>"
                                       "</array></dict></plist>"},
        {"a key inside a key", "<dict><key><key><key/></key></key><e>"},
        {"an element inside a value",
         "<plist><dict><key>List of Albums</key><array><dict><key>AlbumName</key>"
         "<string><b>x</b></string></dict></array></dict></plist>"},
        {"mismatched tags", "<plist><dict><key>a</key><string>b</dict></string></plist>"},
        {"entity bomb",
         "<!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d "
         "\"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
         "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f "
         "\"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
         "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\"><!ENTITY h "
         "\"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\">]>"
         "<plist><dict><key>List of Albums</key><array><dict><key>AlbumName</key>"
         "<string>&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;</string></dict></array></dict></plist>"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(parseLibraryIndex(row.bytes));
        TempHome home;
        writeFile(home.indexFile(), row.bytes);
        EXPECT_FALSE(readLibraryIndex(home.indexFile()));
    }
    TempHome home;
    EXPECT_FALSE(readLibraryIndex(home.indexFile())); // missing
    std::filesystem::create_directories(home.indexFile());
    EXPECT_FALSE(readLibraryIndex(home.indexFile())); // a folder
}

TEST(LibraryIndex, ValuesOfTheWrongTypeCountAsMissing) {
    std::vector<std::string> albums = libraryStart();
    albums.push_back("<dict><key>Album Type</key><string>Regular</string>"
                     "<key>AlbumName</key><integer>12</integer>"
                     "<key>Comments</key><array/>"
                     "<key>KeyList</key><string>1</string></dict>\n");
    albums.push_back("<string>not an album</string>\n");
    albums.push_back("<dict><key>Album Type</key><string>Regular</string>"
                     "<key>AlbumName</key><string>A &amp; B &lt;i&gt;</string>"
                     "<key>KeyList</key><array><string>1</string><integer>2</integer>"
                     "<dict/><string>3</string></array></dict>\n");
    const std::string xml =
        plistDocument(albumListXml(albums) + "<key>Master Image List</key>\n<dict>\n" +
                      pictureXml("1", "<key>Aspect Ratio</key><string>1.5</string>"
                                      "<key>Caption</key><integer>4</integer>"
                                      "<key>ThumbPath</key><string>/t/1.jpg</string>") +
                      pictureXml("2", "<key>Aspect Ratio</key><integer>2</integer>") +
                      "<key>3</key><string>not a picture</string>\n</dict>\n");
    auto index = parseLibraryIndex(xml);
    ASSERT_TRUE(index);
    ASSERT_EQ(index->albums->size(), 6u);
    const AlbumRecord& wrong = (*index->albums)[3];
    EXPECT_EQ(wrong.type, "Regular");
    EXPECT_FALSE(wrong.name);
    EXPECT_FALSE(wrong.comments);
    EXPECT_FALSE(wrong.keyList);
    // An entry that is not an album keeps its place, so later albums keep their page numbers.
    EXPECT_FALSE((*index->albums)[4].type);
    const AlbumRecord& mixed = (*index->albums)[5];
    EXPECT_EQ(mixed.name, "A & B <i>");
    ASSERT_TRUE(mixed.keyList);
    ASSERT_EQ(mixed.keyList->size(), 4u);
    EXPECT_EQ((*mixed.keyList)[0], "1");
    EXPECT_FALSE((*mixed.keyList)[1]);
    EXPECT_FALSE((*mixed.keyList)[2]);
    EXPECT_EQ((*mixed.keyList)[3], "3");

    const PictureRecord* one = index->findPicture("1");
    ASSERT_NE(one, nullptr);
    EXPECT_FALSE(one->aspectRatio);
    EXPECT_FALSE(one->caption);
    EXPECT_EQ(one->thumbPath, "/t/1.jpg");
    EXPECT_EQ(index->findPicture("2")->aspectRatio, 2.0f);
    EXPECT_EQ(index->findPicture("3"), nullptr);
}

TEST(LibraryIndex, TopLevelListsOfTheWrongTypeAreMissing) {
    auto index = parseLibraryIndex(
        plistDocument("<key>List of Albums</key><dict><key>a</key><array/></dict>\n"
                      "<key>Master Image List</key><array><dict/></array>\n"));
    ASSERT_TRUE(index);
    EXPECT_FALSE(index->albums);
    EXPECT_FALSE(index->masterImages);

    auto empty = parseLibraryIndex("<plist version=\"1.0\"><dict/></plist>");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->albums);
}

TEST(LibraryIndex, SkipsWhatThePagesDoNotUse) {
    // Unused keys hold nested containers and even keys that the reader uses elsewhere.
    auto index = parseLibraryIndex(
        plistDocument("<key>List of Rolls</key><array><dict>" + keyString("AlbumName", "Roll") +
                      "<key>KeyList</key><array><string>9</string></array></dict></array>\n" +
                      albumListXml({albumXml("Only", {"9"}, "Regular",
                                             "<key>Filters</key><array><dict><key>AlbumName</key>"
                                             "<string>inner</string></dict></array>\n"
                                             "<key>Comments</key><string></string>\n")}) +
                      "<key>Major Version</key><integer>2</integer>\n"));
    ASSERT_TRUE(index);
    ASSERT_EQ(index->albums->size(), 1u);
    EXPECT_EQ(index->albums->front().name, "Only");
    EXPECT_EQ(index->albums->front().comments, ""); // present and empty is not missing
    EXPECT_FALSE(index->masterImages);
}

// The index writes numbers with a point whatever the user's language; Qt puts the C library into
// the user's numeric locale, where a comma is the decimal mark. Every row is read under "C" and
// under a decimal-comma locale and must give its value in both.
TEST(LibraryIndex, AspectRatioIsReadTheSameInEveryLocale) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        const char* element;
        const char* text;
        bool present;
        float value;
    };
    static constexpr Case cases[] = {
        {"a real", "real", "0.75", true, 0.75f},
        {"the usual landscape ratio", "real", "1.3333334", true, 1.3333334f},
        {"an integer", "integer", "2", true, 2.0f},
        {"an integer written as a real", "real", "1", true, 1.0f},
        {"an exponent", "real", "1.5e1", true, 15.0f},
        {"a negative exponent in capitals", "real", "7.5E-1", true, 0.75f},
        {"white space around", "real", " \n 0.5 ", true, 0.5f},
        {"a plus sign", "real", "+0.25", true, 0.25f},
        {"a minus sign", "real", "-0.5", true, -0.5f},
        {"hexadecimal", "real", "0x1.8p0", true, 1.5f},
        {"a comma ends the number", "real", "0,75", true, 0.0f},
        {"junk after the number", "real", "0.75abc", true, 0.75f},
        {"an unfinished exponent", "real", "2e", true, 2.0f},
        {"too large", "real", "1e999", true, kInf},
        {"too small", "real", "-1e-999", true, -0.0f},
        {"too small without exponent", "real",
         "0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "00000000000000000000000000000000000000000000000000000000000000000000000000000000000001",
         true, 0.0f},
        {"infinity", "real", "-inf", true, -kInf},
        {"junk", "real", "wide", false, 0.0f},
        {"empty", "real", "", false, 0.0f},
        {"a point alone", "real", ".", false, 0.0f},
        {"two signs", "real", "+-1", false, 0.0f},
        {"a comma first", "real", ",5", false, 0.0f},
    };
    struct LocaleGuard {
        std::string saved = std::setlocale(LC_ALL, nullptr);
        ~LocaleGuard() { std::setlocale(LC_ALL, saved.c_str()); }
    } guard;
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        SCOPED_TRACE(locale);
        if (!std::setlocale(LC_ALL, locale)) {
            GTEST_SKIP() << "the locale " << locale << " is not installed (localedef makes it)";
        }
        for (const Case& row : cases) {
            SCOPED_TRACE(row.name);
            const auto index = parseLibraryIndex(plistDocument(
                "<key>Master Image List</key><dict>" +
                pictureXml("1", std::string("<key>Aspect Ratio</key><") + row.element + ">" +
                                    row.text + "</" + row.element + ">") +
                "</dict>"));
            ASSERT_TRUE(index);
            const PictureRecord* picture = index->findPicture("1");
            ASSERT_NE(picture, nullptr);
            ASSERT_EQ(picture->aspectRatio.has_value(), row.present);
            if (row.present) {
                EXPECT_EQ(*picture->aspectRatio, row.value);
                EXPECT_EQ(std::signbit(*picture->aspectRatio), std::signbit(row.value));
            }
        }
    }
}

// --- later versions ----------------------------------------------------------------------------

TEST(LibraryIndex, ReadsEventsBuiltInAlbumsAndTheArchivePath) {
    auto index = readLibraryIndex(FIXTURE_DIR "/libraries/v9-events/AlbumData.xml");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->archivePath, "/Users/ann/Pictures/iPhoto Library");
    ASSERT_TRUE(index->albums);
    EXPECT_EQ((*index->albums)[0].guid, "allPhotosAlbum");
    EXPECT_EQ((*index->albums)[3].guid, "lastImportAlbum");
    EXPECT_EQ((*index->albums)[3].type, "Regular");
    EXPECT_FALSE((*index->albums)[4].guid);
    ASSERT_TRUE(index->rolls);
    const auto& rolls = *index->rolls;
    ASSERT_EQ(rolls.size(), 3u);
    EXPECT_EQ(rolls[0].name, "Beach day");
    ASSERT_TRUE(rolls[0].keyList);
    EXPECT_EQ(rolls[0].keyList->size(), 2u);
    EXPECT_EQ(rolls[1].name, "Nothing yet");
    EXPECT_TRUE(rolls[1].keyList && rolls[1].keyList->empty());
    EXPECT_EQ(rolls[2].name, "Tom & Anna's wedding");
    EXPECT_FALSE(rolls[0].type); // an event's own keys are not an album's
    EXPECT_FALSE(index->findPicture("21")->aspectRatio);
    // The date tells when a thumbnail was made anew, needed only where the proportions are not
    // given.
    EXPECT_EQ(index->findPicture("21")->modified, 370000060.0);
    auto withRatios = readLibraryIndex(FIXTURE_DIR "/libraries/v9-builtin-albums/AlbumData.xml");
    ASSERT_TRUE(withRatios);
    EXPECT_EQ(withRatios->findPicture("11")->aspectRatio, 1.5f);
    EXPECT_FALSE(withRatios->findPicture("11")->modified);

    // The film rolls of versions 4 to 6 keep their places but nothing else.
    auto older = readLibraryIndex(FIXTURE_DIR "/iphoto5-AlbumData.xml");
    ASSERT_TRUE(older && older->rolls);
    ASSERT_EQ(older->rolls->size(), 1u);
    EXPECT_FALSE(older->rolls->front().name);
    EXPECT_FALSE(older->rolls->front().keyList);
    EXPECT_EQ(older->archivePath, "/Users/username/Pictures/iPhoto Library");
}

TEST(LibraryIndex, AnArchivePathThatIsNoTextIsMissing) {
    for (const char* value : {"<integer>4</integer>", "<array><string>/Volumes</string></array>",
                              "<dict/>", "<true/>"}) {
        SCOPED_TRACE(value);
        auto index = parseLibraryIndex(plistDocument(std::string("<key>Archive Path</key>") +
                                                     value + "\n" + albumListXml({})));
        ASSERT_TRUE(index);
        EXPECT_FALSE(index->archivePath);
        EXPECT_TRUE(index->albums);
    }
}

// A library whose folders hold "&" gets paths with bare ampersands in its index: they are read as
// the character, in the file and in memory alike, while real references keep their meaning.
TEST(LibraryIndex, BareAmpersandsAreReadAsTheCharacter) {
    struct Case {
        const char* name;
        const char* text; // as written in the index
        const char* read;
    };
    static constexpr Case cases[] = {
        {"between words", "/Users/tom & jerry/a.jpg", "/Users/tom & jerry/a.jpg"},
        {"before a letter", "/Volumes/R&D/a.jpg", "/Volumes/R&D/a.jpg"},
        {"at the end", "Rock &", "Rock &"},
        {"an entity without its semicolon", "Tom &amp Jerry", "Tom &amp Jerry"},
        {"a character number without digits", "&#x; and &#;", "&#x; and &#;"},
        {"beside real references", "A &amp; B & C &#38; D &#x26; E &lt;", "A & B & C & D & E <"},
        {"a CDATA section keeps its text", "<![CDATA[x &amp; y]]> & z", "x &amp; y & z"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string xml =
            plistDocument(std::string("<key>Archive Path</key><string>") + row.text +
                          "</string>\n" + albumListXml({albumXml("Trip", {})}));
        const auto index = parseLibraryIndex(xml);
        ASSERT_TRUE(index);
        EXPECT_EQ(index->archivePath, row.read);
        TempHome home;
        writeFile(home.indexFile(), xml);
        const auto fromFile = readLibraryIndex(home.indexFile());
        ASSERT_TRUE(fromFile);
        EXPECT_EQ(fromFile->archivePath, row.read);
        EXPECT_EQ(fromFile->albums->front().name, "Trip");
    }
}

// Everything else that is wrong with an index is refused, bare ampersands or not, and the reason
// names the place in the file as the person's editor shows it.
TEST(LibraryIndex, OtherFaultsAreRefusedWithTheirPlace) {
    // Each line 3 starts with this, so that the value is one the reader keeps; columns count from
    // 1, and the value's first character is in column 32.
    constexpr std::string_view kKey = "<key>Archive Path</key><string>";
    constexpr std::string_view kEnd = "</string>\n</dict></plist>\n";
    struct Case {
        const char* name;
        const char* rest; // of the document, after kKey
        bool closed;      // kEnd follows
        const char* reason;
        std::uint64_t column; // on line 3
    };
    static constexpr Case cases[] = {
        // At the reference itself, after two bare ampersands.
        {"an undefined entity", "x && &nbsp;", true, "undefined entity", 37},
        // Just after the character, as expat places an invalid token.
        {"a bare less-than sign", "a & b < c", true, "not well-formed (invalid token)", 39},
        {"character number 0", "&#0;", true, "reference to invalid character number", 32},
        {"mismatched tags", "&x</dict></dict></plist>\n", false, "mismatched tag", 36},
        {"an element inside a value", "&<i/>", true, "an element inside a key or a value", 33},
        {"cut short", "& \xC3\xA9", false, "no element found", 35},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::string xml = std::string("<plist version=\"1.0\"><dict>\n") +
                          "<key>a</key><string>tom & jerry</string>\n" + std::string(kKey) +
                          row.rest + std::string(row.closed ? kEnd : "");
        IndexProblem problem;
        EXPECT_FALSE(parseLibraryIndex(xml, &problem));
        EXPECT_EQ(problem.reason, row.reason);
        EXPECT_EQ(problem.line, 3u);
        EXPECT_EQ(problem.column, row.column);

        TempHome home;
        writeFile(home.indexFile(), xml);
        IndexProblem fromFile;
        EXPECT_FALSE(readLibraryIndex(home.indexFile(), &fromFile));
        EXPECT_EQ(fromFile.reason, problem.reason);
        EXPECT_EQ(fromFile.line, problem.line);
        EXPECT_EQ(fromFile.column, problem.column);
    }
    TempHome home;
    IndexProblem missing;
    EXPECT_FALSE(readLibraryIndex(home.indexFile(), &missing));
    EXPECT_EQ(missing.reason, "No such file or directory");
    EXPECT_EQ(missing.line, 0u);
    IndexProblem empty;
    EXPECT_FALSE(parseLibraryIndex("<plist version=\"1.0\"></plist>", &empty));
    EXPECT_EQ(empty.reason, "no dictionary at the root");
}

} // namespace
} // namespace tessaly
