#include "SitePageBuilder.hxx"

#include "IndexXml.hxx"
#include "ThumbnailSizes.hxx"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>

#ifndef FIXTURE_DIR
#error FIXTURE_DIR names the folder of the test data
#endif

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// The default look, as the settings table gives it.
PageStyle defaultStyle() {
    PageStyle style;
    style.imageSize = 150;
    style.imageSpace = 10;
    style.numOfCol = 4;
    style.menuWidth = 120;
    style.menuFontSize = -2;
    style.albumTitleFontSize = 2;
    style.albumCommentFontSize = 3;
    style.pictureTitleFontSize = -1;
    style.pictureCommentFontSize = -2;
    style.menuTextColor = "DDDDDD";
    style.menuBkgndColor = "333333";
    style.albumTitleColor = "B7B7B7";
    style.albumCommentColor = "C7C7C7";
    style.pictureBkgndColor = "161616";
    style.pictureTitleColor = "A1B89E";
    style.pictureCommentColor = "A3392C";
    return style;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

LibraryIndex indexOf(const std::string& xml) {
    auto index = parseLibraryIndex(xml);
    EXPECT_TRUE(index);
    return index ? std::move(*index) : LibraryIndex{};
}

// --- menu page --------------------------------------------------------------------------------

TEST(MenuPage, WorkedExample) {
    std::vector<std::string> albums = libraryStart();
    albums.push_back(albumXml("Summer", {}));
    albums.push_back(albumXml("Ideas", {}, "Smart"));
    albums.push_back(albumXml("Winter", {}));
    const LibraryIndex index = indexOf(plistDocument(albumListXml(albums)));

    const SitePageBuilder builder(defaultStyle());
    const std::string page = builder.makeMenuPage(
        *index.albums, "<body bgcolor=%@ text=%@ link=%@><font size=%d>\n", "</body>\n");
    EXPECT_EQ(page, "<body bgcolor=333333 text=DDDDDD link=DDDDDD><font size=-2>\n"
                    "<font Color=\"DDDDDD\">\n"
                    "<a href=\"3.html\" target=\"picture\">Summer</a><br>\n"
                    "<a href=\"5.html\" target=\"picture\">Winter</a><br>\n"
                    "</body>\n");
}

TEST(MenuPage, ListsRegularAlbumsFromTheFourthPlaceWithGaps) {
    std::vector<std::string> albums = {albumXml("Zero", {}), albumXml("One", {}),
                                       albumXml("Two", {})};
    albums.push_back(albumXml("Three", {}));
    albums.push_back(albumXml("Book", {}, "Book"));
    albums.push_back(albumXml("Five", {}));
    albums.push_back(albumXml("Six &amp; &lt;b&gt;more&lt;/b&gt;", {}));
    albums.push_back(albumXml("regular in lower case", {}, "regular"));
    const LibraryIndex index = indexOf(plistDocument(albumListXml(albums)));
    const std::string page = SitePageBuilder(defaultStyle()).makeMenuPage(*index.albums, "", "");
    EXPECT_EQ(page,
              "<font Color=\"DDDDDD\">\n"
              "<a href=\"3.html\" target=\"picture\">Three</a><br>\n"
              "<a href=\"5.html\" target=\"picture\">Five</a><br>\n"
              "<a href=\"6.html\" target=\"picture\">Six &amp; &lt;b&gt;more&lt;/b&gt;</a><br>\n");
}

TEST(MenuPage, ThreeAlbumsOrFewerGiveNoLink) {
    const LibraryIndex index = indexOf(plistDocument(albumListXml(libraryStart())));
    EXPECT_EQ(SitePageBuilder(defaultStyle()).makeMenuPage(*index.albums, "[", "]"),
              "[<font Color=\"DDDDDD\">\n]");
}

// Which albums are the person's own, whatever version of the application wrote the index. An
// album is written "type/GUID"; "-" for none.
TEST(MenuPage, PublishesTheAlbumsThePersonMadeInEveryVersion) {
    struct Case {
        const char* name;
        std::array<const char*, 8> albums; // up to the first nullptr
        std::array<int, 8> published;      // positions, up to the first -1
    };
    static constexpr Case cases[] = {
        {"typed, as versions 4 to 6 write it",
         {"-/-", "Special Roll/-", "Special Month/-", "Regular/-", "Smart/-", "Regular/-"},
         {3, 5, -1}},
        {"untyped, as version 2 writes it: all after the library and the last import",
         {"-/-", "-/-", "-/-", "-/-"},
         {2, 3, -1}},
        {"untyped with the library and the last import alone", {"-/-", "-/-"}, {-1}},
        {"one type makes the whole index typed",
         {"-/-", "-/-", "-/-", "-/-", "Regular/-"},
         {4, -1}},
        {"built-in albums by GUID, a Regular last import at position 3",
         {"-/allPhotosAlbum", "Special Month/lastNMonthsAlbum", "Selected Event Album/-",
          "Regular/lastImportAlbum", "Regular/-", "Regular/flaggedAlbum", "Regular/emptyEventAlbum",
          "Regular/lastNMonthsAlbum"},
         {4, -1}},
        {"later types: folders, events, published, books and slideshows are not albums",
         {"-/allPhotosAlbum", "-/-", "-/-", "Folder/-", "Event/-", "Published/-", "Book/-",
          "Slideshow/-"},
         {-1}},
        {"a GUID of the person's own album is no built-in",
         {"-/-", "-/-", "-/-", "Regular/6C1E2F0A-91B4-4D4B-A7A2-3D1F0F9C2B11"},
         {3, -1}},
        {"a built-in GUID in an untyped index", {"-/-", "-/-", "-/allPhotosAlbum", "-/-"}, {3, -1}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<AlbumRecord> albums;
        for (const char* entry : row.albums) {
            if (!entry) {
                break;
            }
            const std::string_view text = entry;
            const std::size_t slash = text.find('/');
            AlbumRecord& album = albums.emplace_back();
            if (text.substr(0, slash) != "-") {
                album.type = std::string(text.substr(0, slash));
            }
            if (text.substr(slash + 1) != "-") {
                album.guid = std::string(text.substr(slash + 1));
            }
        }
        std::vector<std::size_t> expected;
        for (const int position : row.published) {
            if (position < 0) {
                break;
            }
            expected.push_back(static_cast<std::size_t>(position));
        }
        EXPECT_EQ(SitePageBuilder::publishedAlbums(albums), expected);
    }
}

// An index of versions 7 to 9: two albums, and events in "List of Rolls" and again as albums.
std::string eventsIndex() {
    std::vector<std::string> albums = libraryStart();
    albums.push_back(albumXml("Trip", {"1"}));
    albums.push_back(albumXml("Beach", {"1", "2"}, "Event"));
    albums.push_back(albumXml("Garden", {"2"}));
    const std::string rolls =
        "<key>List of Rolls</key><array>\n"
        "<dict>" +
        keyString("RollName", "Beach") +
        "<key>KeyList</key><array><string>1</string><string>2</string></array></dict>\n"
        "<dict>" +
        keyString("RollName", "Nothing in it") +
        "<key>KeyList</key><array/></dict>\n"
        "<dict>" +
        keyString("AlbumName", "Roll 1") +
        "<key>KeyList</key><array><string>1</string></array></dict>\n"
        "<dict>" +
        keyString("RollName", "Bob &amp; Ann") +
        "<key>KeyList</key><array><string>2</string></array></dict>\n"
        "<dict>" +
        keyString("RollName", "") +
        "<key>KeyList</key><array><string>1</string></array></dict>\n"
        "</array>\n";
    return plistDocument(albumListXml(albums) + rolls);
}

TEST(MenuPage, EventsFollowTheAlbumsUnderTheirOwnHeading) {
    const LibraryIndex index = indexOf(eventsIndex());
    PageStyle style = defaultStyle();
    style.publishEvents = true;
    EXPECT_EQ(SitePageBuilder(style).makeMenuPage(index, "[", "]"),
              "[<font Color=\"DDDDDD\">\n"
              "<a href=\"3.html\" target=\"picture\">Trip</a><br>\n"
              "<a href=\"5.html\" target=\"picture\">Garden</a><br>\n"
              "<h2>Events</h2>\n"
              "<a href=\"e0.html\" target=\"picture\">Beach</a><br>\n"
              "<a href=\"e3.html\" target=\"picture\">Bob &amp; Ann</a><br>\n"
              "<a href=\"e4.html\" target=\"picture\">Event</a><br>\n"
              "]");
    EXPECT_EQ((std::vector<SitePage>{{SitePage::Kind::Album, 3},
                                     {SitePage::Kind::Album, 5},
                                     {SitePage::Kind::Event, 0},
                                     {SitePage::Kind::Event, 3},
                                     {SitePage::Kind::Event, 4}}),
              SitePageBuilder(style).publishedPages(index));

    // Switched off, the menu is the albums' alone, as an index without events gives it.
    style.publishEvents = false;
    const std::string albumsOnly = SitePageBuilder(style).makeMenuPage(*index.albums, "[", "]");
    EXPECT_EQ(SitePageBuilder(style).makeMenuPage(index, "[", "]"), albumsOnly);
    EXPECT_EQ(albumsOnly.find("Events"), std::string::npos);
    EXPECT_EQ(SitePageBuilder(style).publishedPages(index).size(), 2u);
}

TEST(AlbumPage, AnEventsPageIsTitledAsAnEvent) {
    const LibraryIndex index = indexOf(eventsIndex());
    PageStyle style = defaultStyle();
    style.publishEvents = true;
    const SitePageBuilder builder(style);
    std::string page;
    ASSERT_TRUE(builder.writePage({SitePage::Kind::Event, 3}, index, "<head>\n", "</body>\n",
                                  [&page](std::string_view piece) {
                                      page.append(piece);
                                      return true;
                                  }));
    EXPECT_EQ(page, "<head>\n"
                    "<title>Bob &amp; Ann</title>\n"
                    "</head><body><main>\n"
                    "<font color=\"#B7B7B7\"><H2>Event : Bob &amp; Ann </H2>\n"
                    "<table width=\"180\" border=\"0\" cellspacing=\"1\" cellpadding=\"5\">\n"
                    "<tr>\n"
                    "<td align=\"center\">\n"
                    "<img src=\"../..\" alt=\"\" border=\"0\" width=\"150\" height=\"150\" "
                    "style=\"object-fit:contain\">\n"
                    "<font size=\"-1\" color=\"#A1B89E\">\n"
                    "<br>\n"
                    "<a href= \"../..\" target = \"_blanc\">Download </a>\n"
                    "<br>\n"
                    "<br></td>\n"
                    "</tr>\n"
                    "</body>\n");
    EXPECT_EQ(SitePage({SitePage::Kind::Event, 3}).fileName(), "e3.html");
    EXPECT_EQ(SitePage({SitePage::Kind::Album, 3}).fileName(), "3.html");
}

// --- album pages ------------------------------------------------------------------------------

TEST(AlbumPage, WorkedExample) {
    PageStyle style = defaultStyle();
    style.imageSize = 150;
    style.numOfCol = 4;
    style.imageSpace = 10;
    style.albumTitleFontSize = 3;
    style.albumCommentFontSize = 4;
    style.pictureTitleFontSize = 2;
    style.pictureCommentFontSize = 1;
    style.albumTitleColor = "A1B89E";
    style.albumCommentColor = "A3392C";
    style.pictureCommentColor = "333333";
    const std::string library = "/Users/user/Sites/iPhoto Library/2006/05/12/";
    const LibraryIndex index = indexOf(plistDocument(
        albumListXml({albumXml("Summer", {"3"}, "Regular", keyString("Comments", "Holidays"))}) +
        "<key>Master Image List</key><dict>\n" +
        pictureXml("3", keyString("ThumbPath", library + "Thumbs/3.jpg") +
                            keyString("ImagePath", library + "3.jpg") +
                            "<key>Aspect Ratio</key><real>1.3333334</real>\n" +
                            keyString("Caption", "Beach") + keyString("Comment", "Evening")) +
        "</dict>\n"));

    const SitePageBuilder builder(style);
    const std::string page =
        builder.makeAlbumPage(index.albums->front(), index, "<body bgcolor=%@>\n", "</body>\n");
    const std::vector<std::string> expected = {
        "<body bgcolor=161616>",
        "<title>Summer</title>",
        "</head><body><main>",
        "<font color=\"#A1B89E\"><H3>Album Title : Summer </H3>",
        "<font color=\"#A3392C\"><H4> Comment : Holidays </H4>",
        "<table width=\"180\" border=\"0\" cellspacing=\"1\" cellpadding=\"5\">",
        "<tr>",
        "<td align=\"center\">",
        "<img src=\"../../iPhoto Library/2006/05/12/Thumbs/3.jpg\" alt=\"Beach\" border=\"0\" "
        "width=\"150\" height=\"112\">",
        "<font size=\"+2\">",
        "<br>Beach",
        "<a href= \"../../iPhoto Library/2006/05/12/3.jpg\" target = \"_blanc\">Download </a>",
        "<font size=\"+1\" color =\"#333333\"><br>Evening",
        "<br></td>",
        "</tr>",
        "</body>",
    };
    EXPECT_EQ(linesOf(page), expected);

    // Without the picture's comment its line is a bare line break.
    const LibraryIndex noComment = indexOf(plistDocument(
        albumListXml({albumXml("Summer", {"3"})}) + "<key>Master Image List</key><dict>" +
        pictureXml("3", keyString("Caption", "Beach")) + "</dict>\n"));
    const auto lines = linesOf(builder.makeAlbumPage(noComment.albums->front(), noComment, "", ""));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "<br>");
}

// The album template ends in the page's head; the page is titled with its album's name, as text.
TEST(AlbumPage, TitledWithItsAlbum) {
    static constexpr struct {
        const char* name;
        const char* albumName; // as the index's XML has it; nullptr: no "AlbumName" key
        const char* start;
    } cases[] = {
        {"plain name", "Summer", "<title>Summer</title>\n</head><body><main>\n"},
        {"name with markup", "Tom &amp; Jerry &lt;/title>&lt;3",
         "<title>Tom &amp; Jerry &lt;/title&gt;&lt;3</title>\n</head><body><main>\n"},
        {"no name", nullptr, "<title>Album</title>\n</head><body><main>\n"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string album = "<dict>" + keyString("Album Type", "Regular") +
                                  (row.albumName ? keyString("AlbumName", row.albumName) : "") +
                                  "</dict>";
        const LibraryIndex index = indexOf(plistDocument(albumListXml({album})));
        const std::string page = SitePageBuilder(defaultStyle())
                                     .makeAlbumPage(index.albums->front(), index, "<head>", "");
        EXPECT_EQ(page.substr(0, std::string_view("<head>").size() + std::strlen(row.start)),
                  std::string("<head>") + row.start);
    }
}

// Rows, columns, headings and spacing for a range of settings and albums.
TEST(AlbumPage, Layout) {
    struct Case {
        const char* name;
        int columns;
        int pictures;
        int titleSize;
        int commentSize;
        int pictureTitleSize;
        int spacing;
        bool named;
        const char* comments; // nullptr: no "Comments" key
        // What the page must hold.
        int rows;
        const char* headings; // the heading lines, joined with '|'
        const char* titleFont;
        const char* table;
    };
    static constexpr Case cases[] = {
        {"4 columns, 8 pictures", 4, 8, 2, 3, -1, 10, true, nullptr, 2,
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>",
         "<font size=\"-1\" color=\"#A1B89E\">", "cellpadding=\"5\""},
        {"4 columns, 9 pictures", 4, 9, 2, 3, -1, 10, true, nullptr, 3,
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>",
         "<font size=\"-1\" color=\"#A1B89E\">", "cellpadding=\"5\""},
        {"1 column", 1, 3, 2, 3, 0, 7, true, "Notes", 3,
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>|"
         "<font color=\"#C7C7C7\"><H3> Comment : Notes </H3>",
         "<font size=\"+0\">", "cellpadding=\"3\""},
        {"no pictures", 4, 0, 2, 3, 4, 11, true, "", 0,
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>|"
         "<font color=\"#C7C7C7\"><H3> Comment :  </H3>",
         nullptr, "cellpadding=\"5\""},
        {"zero and negative heading levels", 3, 2, 0, -2, -2, 0, true, "x", 1,
         "<font color=\"#B7B7B7\"><H0>Album Title : Trip </H0>|"
         "<font color=\"#C7C7C7\"><H-2> Comment : x </H-2>",
         "<font size=\"-2\" color=\"#A1B89E\">", "cellpadding=\"0\""},
        {"album without a name drops its comment too", 2, 1, 2, 3, 1, 10, false, "lost", 1, "",
         "<font size=\"+1\">", "cellpadding=\"5\""},
        {"no columns (unreadable settings) lays out four", 0, 5, 2, 3, 1, 10, true, nullptr, 2,
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>", "<font size=\"+1\">",
         "cellpadding=\"5\""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        PageStyle style = defaultStyle();
        style.numOfCol = row.columns;
        style.albumTitleFontSize = row.titleSize;
        style.albumCommentFontSize = row.commentSize;
        style.pictureTitleFontSize = row.pictureTitleSize;
        style.imageSpace = row.spacing;

        std::vector<std::string> keys;
        std::string pictures;
        for (int i = 0; i < row.pictures; ++i) {
            keys.push_back(std::to_string(i));
            pictures +=
                pictureXml(std::to_string(i), keyString("Caption", "c" + std::to_string(i)));
        }
        std::string album = "<dict>" + keyString("Album Type", "Regular") +
                            (row.named ? keyString("AlbumName", "Trip") : "") +
                            (row.comments ? keyString("Comments", row.comments) : "") +
                            "<key>KeyList</key><array>";
        for (const auto& key : keys) {
            album += "<string>" + key + "</string>";
        }
        album += "</array></dict>";
        const LibraryIndex index = indexOf(plistDocument(
            albumListXml({album}) + "<key>Master Image List</key><dict>" + pictures + "</dict>"));

        const std::string page =
            SitePageBuilder(style).makeAlbumPage(index.albums->front(), index, "", "");
        const auto lines = linesOf(page);

        std::string headings;
        for (const auto& line : lines) {
            if (line.rfind("<font color=", 0) == 0) {
                headings += (headings.empty() ? "" : "|") + line;
            }
        }
        EXPECT_EQ(headings, row.headings);
        EXPECT_EQ(countOf(page, "<tr>"), static_cast<std::size_t>(row.rows));
        EXPECT_EQ(countOf(page, "</tr>"), static_cast<std::size_t>(row.rows));
        EXPECT_EQ(countOf(page, "<td align=\"center\">"), static_cast<std::size_t>(row.pictures));
        EXPECT_NE(page.find("<table width=\"180\" border=\"0\" cellspacing=\"1\" " +
                            std::string(row.table) + ">"),
                  std::string::npos);
        if (row.titleFont) {
            EXPECT_EQ(countOf(page, row.titleFont), static_cast<std::size_t>(row.pictures));
        }
        // Every row is opened before its cells and closed after them.
        int open = 0;
        int cellsInRow = 0;
        const int columns = row.columns >= 1 ? row.columns : 4;
        for (const auto& line : lines) {
            if (line == "<tr>") {
                EXPECT_EQ(open, 0);
                ++open;
                cellsInRow = 0;
            } else if (line == "</tr>") {
                EXPECT_EQ(open, 1);
                --open;
            } else if (line == "<td align=\"center\">") {
                EXPECT_EQ(open, 1);
                EXPECT_LT(cellsInRow++, columns);
            }
        }
        EXPECT_EQ(open, 0);
    }
}

TEST(AlbumPage, PicturesMissingFromTheMasterListStillGetACell) {
    const LibraryIndex index = indexOf(plistDocument(
        albumListXml({"<dict>" + keyString("Album Type", "Regular") + keyString("AlbumName", "A") +
                      "<key>KeyList</key><array><string>gone</string><integer>5</integer>"
                      "</array></dict>"}) +
        "<key>Master Image List</key><dict/>"));
    const std::string page =
        SitePageBuilder(defaultStyle()).makeAlbumPage(index.albums->front(), index, "", "");
    EXPECT_EQ(countOf(page, "<img src=\"../..\" alt=\"\" border=\"0\" width=\"150\" height=\"150\" "
                            "style=\"object-fit:contain\">"),
              2u);
    EXPECT_EQ(countOf(page, "<a href= \"../..\" target = \"_blanc\">Download </a>"), 2u);
    EXPECT_EQ(countOf(page, "<br>\n<a href="), 2u); // an empty caption
}

TEST(AlbumPage, CommentFormFollowsTheSignOfItsSize) {
    struct Case {
        int size;
        const char* comment; // nullptr: no "Comment" key
        const char* expected;
    };
    static constexpr Case cases[] = {
        {1, "Evening", "<font size=\"+1\" color =\"#A3392C\"><br>Evening\n"},
        {0, "x < y & z", "<font size=\"+0\" color =\"#A3392C\"><br>x &lt; y &amp; z\n"},
        {-2, "Evening", "<font size=\"-2\" color =\"#A3392C\"><br>Evening\n"},
        {-2, "", "<br>\n"},
        {3, nullptr, "<br>\n"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.expected);
        PageStyle style = defaultStyle();
        style.pictureCommentFontSize = row.size;
        PictureRecord picture;
        if (row.comment) {
            picture.comment = row.comment;
        }
        std::string cell;
        SitePageBuilder(style).addCommentString(cell, &picture);
        EXPECT_EQ(cell, row.expected);
    }
}

TEST(AlbumPage, ThumbnailSizeFollowsTheAspectRatio) {
    struct Case {
        int side;
        float ratio;
        int width;
        int height;
    };
    static constexpr Case cases[] = {
        {150, 1.3333334f, 150, 112}, {150, 0.75f, 112, 150},      {150, 1.5f, 150, 100},
        {150, 1.0f, 150, 150},       {200, 1.3333334f, 200, 150}, {150, 0.0f, 0, 150},
        {150, -1.0f, -150, 150},     {150, 1e30f, 150, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.ratio);
        EXPECT_EQ(thumbnailSize(row.side, row.ratio), std::make_pair(row.width, row.height));
    }
    // Values no real picture has must not make the arithmetic undefined.
    EXPECT_EQ(thumbnailSize(150, std::numeric_limits<float>::quiet_NaN()).second, 150);
    EXPECT_EQ(thumbnailSize(150, 1e-30f).first, 0);
    EXPECT_EQ(thumbnailSize(std::numeric_limits<std::int32_t>::max(), 0.5f).second,
              std::numeric_limits<std::int32_t>::max());
}

TEST(AlbumPage, OffsetPathClimbsToTheWebFolder) {
    struct Case {
        const char* name;
        const char* path;
        const char* expected;
    };
    static constexpr Case cases[] = {
        {"a home under /Users", "/Users/user/Sites/iPhoto Library/2006/05/12/Thumbs/3.jpg",
         "../../iPhoto Library/2006/05/12/Thumbs/3.jpg"},
        {"root's home", "/root/Sites/iPhoto Library/a.jpg", "../../iPhoto Library/a.jpg"},
        {"a deep home", "/srv/homes/staff/ann/Sites/iPhoto Library/x/y.jpg",
         "../../iPhoto Library/x/y.jpg"},
        {"no library folder", "/Users/user/Pictures/other/3.jpg", "../.."},
        {"library folder as a prefix only", "/Users/user/Sites/iPhoto Library2/3.jpg", "../.."},
        {"repeated slashes", "/home/ann//Sites/iPhoto Library//a b.jpg",
         "../../iPhoto Library/a b.jpg"},
        {"non-ASCII names", "/home/ann/Sites/iPhoto Library/夏/海.jpg",
         "../../iPhoto Library/夏/海.jpg"},
        {"empty", "", "../.."},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SitePageBuilder::getOffsetPath(std::string(row.path)), row.expected);
    }
    EXPECT_EQ(SitePageBuilder::getOffsetPath(std::nullopt), "../..");
}

// A library keeps its "Archive Path" in the index: every picture path starts with it, whatever the
// folder was called or where it lay when the index was written.
TEST(AlbumPage, LinksGoThroughTheArchivePath) {
    struct Case {
        const char* name;
        const char* archive; // nullptr: no "Archive Path"
        const char* path;
        const char* expected;
    };
    static constexpr Case cases[] = {
        {"an external disk", "/Volumes/Data/ann/Pictures/iPhoto Library",
         "/Volumes/Data/ann/Pictures/iPhoto Library/Masters/2012/a.jpg",
         "../../iPhoto Library/Masters/2012/a.jpg"},
        {"a library named .photolibrary", "/Users/ann/Pictures/iPhoto Library.photolibrary",
         "/Users/ann/Pictures/iPhoto Library.photolibrary/Thumbnails/b.jpg",
         "../../iPhoto Library/Thumbnails/b.jpg"},
        {"a library named without the space", "/Users/ann/Pictures/iPhotoLibrary",
         "/Users/ann/Pictures/iPhotoLibrary/2003/07/14/Thumbs/1.jpg",
         "../../iPhoto Library/2003/07/14/Thumbs/1.jpg"},
        {"an archive path written with a slash at its end", "/Volumes/Data/Lib/",
         "/Volumes/Data/Lib/c.jpg", "../../iPhoto Library/c.jpg"},
        {"a folder whose name only starts like the library's", "/Volumes/Data/iPhoto Library",
         "/Volumes/Data/iPhoto Library Old/iPhoto Library/d.jpg", "../../iPhoto Library/d.jpg"},
        {"a path outside the library", "/Volumes/Data/iPhoto Library",
         "/Users/ann/Sites/iPhoto Library/e.jpg", "../../iPhoto Library/e.jpg"},
        {"a path outside, with no library folder on its way", "/Volumes/Data/iPhoto Library",
         "/Users/ann/Pictures/f.jpg", "../.."},
        {"no archive path", nullptr, "/Users/ann/Sites/iPhoto Library/g.jpg",
         "../../iPhoto Library/g.jpg"},
        {"the root as archive path", "/", "/Users/ann/Pictures/h.jpg", "../.."},
        {"an empty archive path", "", "/Users/ann/Pictures/h.jpg", "../.."},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::optional<std::string> archive =
            row.archive ? std::optional<std::string>(row.archive) : std::nullopt;
        EXPECT_EQ(SitePageBuilder::getLibraryPath(std::string(row.path), archive), row.expected);
    }
    EXPECT_EQ(SitePageBuilder::getLibraryPath(std::nullopt, std::string("/Volumes/Data")), "../..");
}

TEST(AlbumPage, DownloadLinkNeedsAPath) {
    const SitePageBuilder builder(defaultStyle());
    std::string cell;
    builder.addDownloadLink(cell, "Download", std::nullopt);
    EXPECT_EQ(cell, "");
    builder.addDownloadLink(cell, "Download", std::string("../../iPhoto Library/m.mov"));
    EXPECT_EQ(cell, "<a href= \"../../iPhoto Library/m.mov\" target = \"_blanc\">Download </a>\n");
}

// --- texts from the library in the pages ------------------------------------------------------

// An album of one picture, built without going through XML so that any byte can be given.
struct OnePictureAlbum {
    AlbumRecord album;
    LibraryIndex index;

    OnePictureAlbum() {
        album.type = "Regular";
        album.name = "Album";
        album.keyList.emplace().push_back("1");
        index.masterImages.emplace()["1"] = PictureRecord{};
    }
    PictureRecord& picture() { return index.masterImages->at("1"); }
};

// A web folder holding the thumbnail files of the fixture, and the pages' view of them.
class ThumbnailFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path fixture =
            fs::path(FIXTURE_DIR) / "libraries/v9-thumbnails/library/Thumbnails/2014/04/20";
        fs::create_directories(thumbs());
        for (const char* name : {"landscape.jpg", "portrait.png", "square.gif"}) {
            fs::copy_file(fixture / name, thumbs() / name);
        }
        ASSERT_EQ(::mkfifo((thumbs() / "pipe.jpg").c_str(), 0600), 0);
        fs::create_symlink("/dev/zero", thumbs() / "device.jpg");
    }
    fs::path thumbs() const { return home_.libraryFolder() / "Thumbnails"; }
    // One picture's thumbnail line with the given thumbnail and aspect ratio.
    std::string thumbnailLine(const SitePageBuilder& builder, const std::string& file,
                              std::optional<float> ratio,
                              std::optional<double> modified = std::nullopt) {
        OnePictureAlbum sample;
        sample.picture().thumbPath = "/Users/ann/Pictures/iPhoto Library/Thumbnails/" + file;
        sample.picture().aspectRatio = ratio;
        sample.picture().modified = modified;
        sample.index.archivePath = "/Users/ann/Pictures/iPhoto Library";
        for (const std::string& line :
             linesOf(builder.makeAlbumPage(sample.album, sample.index, "", ""))) {
            if (line.starts_with("<img ")) {
                return line;
            }
        }
        return {};
    }

    TempHome home_;
    ThumbnailSizes sizes_;
};

TEST_F(ThumbnailFiles, WithoutAnAspectRatioTheThumbnailsProportionsAreShown) {
    struct Case {
        const char* name;
        const char* file;
        float ratio; // 0: no "Aspect Ratio"
        int imageSize;
        const char* size; // the img line's end
    };
    static constexpr Case cases[] = {
        {"landscape JPEG, 240 by 160", "landscape.jpg", 0, 150, "width=\"150\" height=\"100\">"},
        {"portrait PNG, 120 by 160", "portrait.png", 0, 150, "width=\"112\" height=\"150\">"},
        {"square GIF", "square.gif", 0, 150, "width=\"150\" height=\"150\">"},
        {"another picture size", "portrait.png", 0, 300, "width=\"225\" height=\"300\">"},
        {"the index's ratio comes first", "landscape.jpg", 0.75f, 150,
         "width=\"112\" height=\"150\">"},
        {"a ratio that would show nothing", "landscape.jpg", 1e30f, 150,
         "width=\"150\" height=\"100\">"},
        {"no file: a square the picture fits in", "missing.jpg", 0, 150,
         "width=\"150\" height=\"150\" style=\"object-fit:contain\">"},
        {"a pipe is never opened", "pipe.jpg", 0, 150,
         "width=\"150\" height=\"150\" style=\"object-fit:contain\">"},
        {"a link to a device is never read", "device.jpg", 0, 150,
         "width=\"150\" height=\"150\" style=\"object-fit:contain\">"},
        {"no picture size in unreadable settings", "missing.jpg", 0, 0,
         "width=\"150\" height=\"150\" style=\"object-fit:contain\">"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        PageStyle style = defaultStyle();
        style.imageSize = row.imageSize;
        const SitePageBuilder builder(style,
                                      PictureFiles{(home_.path() / "Sites").string(), &sizes_});
        const std::string line = thumbnailLine(
            builder, row.file, row.ratio == 0 ? std::nullopt : std::optional<float>(row.ratio));
        EXPECT_TRUE(line.ends_with(std::string("border=\"0\" ") + row.size)) << line;
        EXPECT_TRUE(line.starts_with("<img src=\"../../iPhoto Library/Thumbnails/" +
                                     std::string(row.file) + "\""))
            << line;
    }
    // Without the files, as the fuzzer and a builder without them see the library.
    const SitePageBuilder blind(defaultStyle());
    EXPECT_TRUE(thumbnailLine(blind, "landscape.jpg", std::nullopt)
                    .ends_with("width=\"150\" height=\"150\" style=\"object-fit:contain\">"));
}

TEST_F(ThumbnailFiles, ARebuildReadsOnlyNewOrChangedThumbnails) {
    const SitePageBuilder builder(defaultStyle(),
                                  PictureFiles{(home_.path() / "Sites").string(), &sizes_});
    auto build = [&] {
        sizes_.startBuild();
        for (const char* file : {"landscape.jpg", "portrait.png", "square.gif", "missing.jpg"}) {
            thumbnailLine(builder, file, std::nullopt);
        }
        sizes_.forgetUnused();
    };
    build();
    EXPECT_EQ(sizes_.headersRead(), 3u); // the missing file has no header to read
    build();
    EXPECT_EQ(sizes_.headersRead(), 3u);

    // Rewritten as another shape: read again, and shown in its new proportions.
    fs::copy_file(thumbs() / "portrait.png", thumbs() / "landscape.jpg",
                  fs::copy_options::overwrite_existing);
    const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (thumbs() / "landscape.jpg").c_str(), later, 0), 0);
    build();
    EXPECT_EQ(sizes_.headersRead(), 4u);
    EXPECT_TRUE(thumbnailLine(builder, "landscape.jpg", std::nullopt)
                    .ends_with("width=\"112\" height=\"150\">"));

    // What a build no longer looks at is forgotten.
    EXPECT_EQ(sizes_.size(), 3u);
    sizes_.startBuild();
    thumbnailLine(builder, "square.gif", std::nullopt);
    sizes_.forgetUnused();
    EXPECT_EQ(sizes_.size(), 1u);
}

// With the picture's own modification date from the index, a rebuild looks at no file: the
// application dates the picture anew whenever it makes a new thumbnail.
TEST_F(ThumbnailFiles, ThePicturesOwnDateSparesLookingAtTheFile) {
    const SitePageBuilder builder(defaultStyle(),
                                  PictureFiles{(home_.path() / "Sites").string(), &sizes_});
    const double monday = 400000000.0;
    EXPECT_TRUE(thumbnailLine(builder, "landscape.jpg", std::nullopt, monday)
                    .ends_with("width=\"150\" height=\"100\">"));
    EXPECT_EQ(sizes_.headersRead(), 1u);

    // Turned in the application: a new thumbnail and a new date.
    fs::copy_file(thumbs() / "portrait.png", thumbs() / "landscape.jpg",
                  fs::copy_options::overwrite_existing);
    EXPECT_TRUE(thumbnailLine(builder, "landscape.jpg", std::nullopt, monday)
                    .ends_with("width=\"150\" height=\"100\">"));
    EXPECT_EQ(sizes_.headersRead(), 1u);
    EXPECT_TRUE(thumbnailLine(builder, "landscape.jpg", std::nullopt, monday + 60)
                    .ends_with("width=\"112\" height=\"150\">"));
    EXPECT_EQ(sizes_.headersRead(), 2u);

    // A thumbnail the application has not written yet is looked for again at the next build.
    const std::string square = "width=\"150\" height=\"150\" style=\"object-fit:contain\">";
    EXPECT_TRUE(thumbnailLine(builder, "later.gif", std::nullopt, monday).ends_with(square));
    fs::copy_file(thumbs() / "square.gif", thumbs() / "later.gif");
    EXPECT_TRUE(thumbnailLine(builder, "later.gif", std::nullopt, monday)
                    .ends_with("width=\"150\" height=\"150\">"));
}

TEST(AlbumPage, LibraryTextsAreEscaped) {
    enum class Field { AlbumName, AlbumComment, Caption, Comment, ThumbPath, ImagePath };
    struct Case {
        const char* name;
        Field field;
        const char* text;
        // Lines of the album page that must be there; the menu page is checked for album names.
        const char* line1;
        const char* line2;
    };
    static constexpr Case cases[] = {
        {"caption with an ampersand and markup", Field::Caption, "Café & <Friends>",
         "<br>Café &amp; &lt;Friends&gt;",
         "<img src=\"../..\" alt=\"Café &amp; &lt;Friends&gt;\" border=\"0\" width=\"150\" "
         "height=\"150\" style=\"object-fit:contain\">"},
        {"caption with script and quotes", Field::Caption, "\"><script>alert('x')</script>",
         "<br>&quot;&gt;&lt;script&gt;alert('x')&lt;/script&gt;",
         "<img src=\"../..\" alt=\"&quot;&gt;&lt;script&gt;alert('x')&lt;/script&gt;\" "
         "border=\"0\" width=\"150\" height=\"150\" style=\"object-fit:contain\">"},
        {"caption already holding an entity", Field::Caption, "&amp;&", "<br>&amp;amp;&amp;",
         nullptr},
        {"caption keeps percent, hash and question mark", Field::Caption, "100% #1?",
         "<br>100% #1?", nullptr},
        {"caption of special characters only", Field::Caption, "<>", "<br>&lt;&gt;", nullptr},
        {"non-ASCII caption unchanged", Field::Caption, "夏の海 – Été", "<br>夏の海 – Été",
         "<img src=\"../..\" alt=\"夏の海 – Été\" border=\"0\" width=\"150\" height=\"150\" "
         "style=\"object-fit:contain\">"},
        {"picture comment", Field::Comment, "\"a\" < b & c",
         "<font size=\"-2\" color =\"#A3392C\"><br>&quot;a&quot; &lt; b &amp; c", nullptr},
        {"album name", Field::AlbumName, "Tom & Jerry <3",
         "<font color=\"#B7B7B7\"><H2>Album Title : Tom &amp; Jerry &lt;3 </H2>",
         "<a href=\"3.html\" target=\"picture\">Tom &amp; Jerry &lt;3</a><br>"},
        {"album comment", Field::AlbumComment, "</H3><b>bold</b>",
         "<font color=\"#C7C7C7\"><H3> Comment : &lt;/H3&gt;&lt;b&gt;bold&lt;/b&gt; </H3>",
         nullptr},
        {"thumbnail path breaking out of its attribute", Field::ThumbPath,
         "/home/ann/Sites/iPhoto Library/x\" onerror=\"alert(1).jpg",
         "<img src=\"../../iPhoto Library/x&quot; onerror=&quot;alert(1).jpg\" alt=\"\" "
         "border=\"0\" width=\"150\" height=\"150\" style=\"object-fit:contain\">",
         nullptr},
        {"thumbnail path with URL characters", Field::ThumbPath,
         "/home/ann/Sites/iPhoto Library/100% #1?.jpg",
         "<img src=\"../../iPhoto Library/100%25 %231%3F.jpg\" alt=\"\" border=\"0\" "
         "width=\"150\" height=\"150\" style=\"object-fit:contain\">",
         nullptr},
        {"download path with every special character", Field::ImagePath,
         "/home/ann/Sites/iPhoto Library/a&b<c>\"d%e#f?g.jpg",
         "<a href= \"../../iPhoto Library/a&amp;b&lt;c&gt;&quot;d%25e%23f%3Fg.jpg\" "
         "target = \"_blanc\">Download </a>",
         nullptr},
        {"non-ASCII path unchanged", Field::ImagePath, "/home/ann/Sites/iPhoto Library/夏/海.jpg",
         "<a href= \"../../iPhoto Library/夏/海.jpg\" target = \"_blanc\">Download </a>", nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        OnePictureAlbum sample;
        PictureRecord& picture = sample.picture();
        switch (row.field) {
        case Field::AlbumName:
            sample.album.name = row.text;
            break;
        case Field::AlbumComment:
            sample.album.comments = row.text;
            break;
        case Field::Caption:
            picture.caption = row.text;
            break;
        case Field::Comment:
            picture.comment = row.text;
            break;
        case Field::ThumbPath:
            picture.thumbPath = row.text;
            break;
        case Field::ImagePath:
            picture.imagePath = row.text;
            break;
        }
        const SitePageBuilder builder(defaultStyle());
        const auto lines = linesOf(builder.makeAlbumPage(sample.album, sample.index, "", ""));
        EXPECT_TRUE(hasLine(lines, row.line1)) << row.line1;
        if (row.field == Field::AlbumName) {
            // The menu's link text is the same escaped name.
            std::vector<AlbumRecord> albums(3);
            albums.push_back(sample.album);
            EXPECT_TRUE(hasLine(linesOf(builder.makeMenuPage(albums, "", "")), row.line2))
                << row.line2;
        } else if (row.line2) {
            EXPECT_TRUE(hasLine(lines, row.line2)) << row.line2;
        }
    }
}

// --- album pages written in chunks ------------------------------------------------------------

// An album of `count` pictures with captions, comments and paths, every third one missing.
OnePictureAlbum largerAlbum(int count) {
    OnePictureAlbum sample;
    sample.album.comments = "Trip & more";
    sample.album.keyList->clear();
    for (int i = 0; i < count; ++i) {
        const std::string key = std::to_string(i);
        sample.album.keyList->push_back(key);
        if (i % 3 == 2) {
            continue;
        }
        PictureRecord& picture = (*sample.index.masterImages)[key];
        picture.caption = "Caption <" + key + ">";
        picture.comment = i % 2 ? std::optional<std::string>("Comment " + key) : std::nullopt;
        picture.thumbPath = "/home/ann/Sites/iPhoto Library/Thumbs/" + key + "#.jpg";
        picture.imagePath = "/home/ann/Sites/iPhoto Library/" + key + "?.jpg";
        picture.aspectRatio = 0.75f;
    }
    return sample;
}

TEST(AlbumPage, WrittenInChunksAsTheWholePage) {
    const OnePictureAlbum sample = largerAlbum(25);
    const std::string head = "<body bgcolor=%@>\n";
    const std::string tail = "</table>\n" + std::string(300, '.') + "</body>\n";
    SitePageBuilder builder(defaultStyle());
    const std::string whole = builder.makeAlbumPage(sample.album, sample.index, head, tail);
    ASSERT_GT(whole.size(), 4000u);

    struct Case {
        const char* name;
        std::size_t chunkSize;
    };
    static constexpr Case cases[] = {
        {"a byte", 1},
        {"smaller than a cell", 100},
        {"a few cells", 1000},
        {"the tail would overflow the last chunk", 3500},
        {"larger than the page", 1 << 20},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        builder.setPageChunkSize(row.chunkSize);
        std::string written;
        std::size_t chunks = 0;
        const bool ok = builder.writeAlbumPage(sample.album, sample.index, head, tail,
                                               [&](std::string_view chunk) {
                                                   EXPECT_FALSE(chunk.empty());
                                                   written.append(chunk);
                                                   ++chunks;
                                                   return true;
                                               });
        EXPECT_TRUE(ok);
        EXPECT_EQ(written, whole);
        if (row.chunkSize < whole.size()) {
            EXPECT_GE(chunks, whole.size() / (row.chunkSize + 600));
        } else {
            EXPECT_EQ(chunks, 1u);
        }
    }
}

TEST(AlbumPage, WritingStopsWhenTheOutputFails) {
    const OnePictureAlbum sample = largerAlbum(40);
    SitePageBuilder builder(defaultStyle());
    builder.setPageChunkSize(200);
    std::size_t total = 0;
    ASSERT_TRUE(builder.writeAlbumPage(sample.album, sample.index, "", "",
                                       [&](std::string_view) { return ++total, true; }));
    ASSERT_GT(total, 3u);

    // Failing at the first chunk, in the middle and at the last one.
    for (const std::size_t failAt : {std::size_t{1}, total / 2, total}) {
        SCOPED_TRACE(failAt);
        std::size_t calls = 0;
        EXPECT_FALSE(builder.writeAlbumPage(sample.album, sample.index, "", "",
                                            [&](std::string_view) { return ++calls < failAt; }));
        EXPECT_EQ(calls, failAt);
    }
}

// One huge caption listed many times: the chunks stay the size of one cell, however many cells
// the page has, instead of the whole page being held at once.
TEST(AlbumPage, ChunksStayBoundedForARepeatedHugeCaption) {
    constexpr std::size_t kCaptionBytes = 100 * 1024;
    constexpr int kListed = 1000;
    OnePictureAlbum sample;
    sample.picture().caption = std::string(kCaptionBytes - 1, 'x') + "&";
    sample.album.keyList->assign(kListed, std::string("1"));

    const SitePageBuilder builder(defaultStyle());
    std::size_t total = 0;
    std::size_t largest = 0;
    ASSERT_TRUE(
        builder.writeAlbumPage(sample.album, sample.index, "", "", [&](std::string_view chunk) {
            total += chunk.size();
            largest = std::max(largest, chunk.size());
            return true;
        }));
    // Each cell holds the caption twice (text and alt).
    EXPECT_GT(total, 2 * kCaptionBytes * kListed);
    EXPECT_LT(largest, builder.pageChunkSize() + 2 * kCaptionBytes + 64 * 1024);
}

} // namespace
} // namespace tessaly
