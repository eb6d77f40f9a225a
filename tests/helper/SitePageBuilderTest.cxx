#include "IndexXml.hxx"
#include "SitePageBuilder.hxx"

#include <gtest/gtest.h>

#include <sstream>

namespace tessaly {
namespace {

using namespace testing;

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
    EXPECT_EQ(page, "<font Color=\"DDDDDD\">\n"
                    "<a href=\"3.html\" target=\"picture\">Three</a><br>\n"
                    "<a href=\"5.html\" target=\"picture\">Five</a><br>\n"
                    "<a href=\"6.html\" target=\"picture\">Six & <b>more</b></a><br>\n");
}

TEST(MenuPage, ThreeAlbumsOrFewerGiveNoLink) {
    const LibraryIndex index = indexOf(plistDocument(albumListXml(libraryStart())));
    EXPECT_EQ(SitePageBuilder(defaultStyle()).makeMenuPage(*index.albums, "[", "]"),
              "[<font Color=\"DDDDDD\">\n]");
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
        albumListXml({albumXml("Summer", {"3"}, "Regular",
                               keyString("Comments", "Holidays"))}) +
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
        "<font color=\"#A1B89E\"><H3>Album Title : Summer </H3>",
        "<font color=\"#A3392C\"><H4> Comment : Holidays </H4>",
        "<table width=\"180\" border=\"0\" cellspacing=\"1\" cellpadding=\"5\">",
        "<tr>",
        "<td align=\"center\">",
        "<img src=\"../../iPhoto Library/2006/05/12/Thumbs/3.jpg\" alt=\"\" border=\"0\" "
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
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>", "<font size=\"-1\" color=\"#A1B89E\">",
         "cellpadding=\"5\""},
        {"4 columns, 9 pictures", 4, 9, 2, 3, -1, 10, true, nullptr, 3,
         "<font color=\"#B7B7B7\"><H2>Album Title : Trip </H2>", "<font size=\"-1\" color=\"#A1B89E\">",
         "cellpadding=\"5\""},
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
            pictures += pictureXml(std::to_string(i), keyString("Caption", "c" + std::to_string(i)));
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
    EXPECT_EQ(countOf(page, "<img src=\"../..\" alt=\"\" border=\"0\" width=\"0\" height=\"150\">"),
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
        {0, "x < y & z", "<font size=\"+0\" color =\"#A3392C\"><br>x < y & z\n"},
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
        {150, 1.3333334f, 150, 112}, {150, 0.75f, 112, 150}, {150, 1.5f, 150, 100},
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

TEST(AlbumPage, DownloadLinkNeedsAPath) {
    const SitePageBuilder builder(defaultStyle());
    std::string cell;
    builder.addDownloadLink(cell, "Download", std::nullopt);
    EXPECT_EQ(cell, "");
    builder.addDownloadLink(cell, "Download", std::string("../../iPhoto Library/m.mov"));
    EXPECT_EQ(cell, "<a href= \"../../iPhoto Library/m.mov\" target = \"_blanc\">Download </a>\n");
}

} // namespace
} // namespace tessaly
