// The repair of bare ampersands, fed as the file reader feeds it: in pieces that may end anywhere,
// even inside a reference or a CDATA marker.
#include "ExpatFeed.hxx"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

std::string repairedInPieces(std::string_view text, std::size_t piece, AmpersandRepair& repair) {
    std::string out;
    do {
        const std::size_t length = std::min(text.size(), piece);
        repair.feed(text.substr(0, length), length == text.size(), out);
        text.remove_prefix(length);
    } while (!text.empty());
    return out;
}

TEST(AmpersandRepair, OnlyBareAmpersandsAreRepairedWhereverAPieceEnds) {
    const std::string longName(300, 'n');
    const std::string text =
        "<a>Tom & Jerry</a><b>&amp;&lt;&#38;&#x26;&name.x-1:y;</b><c>R&D/&amp &#x; &#12a; &#</c>"
        "<![CDATA[keep & this &amp;]]><d>&" +
        longName + ";</d><e>&</e><![CDAT<f>&";
    const std::string expected = "<a>Tom &amp; Jerry</a><b>&amp;&lt;&#38;&#x26;&name.x-1:y;</b>"
                                 "<c>R&amp;D/&amp;amp &amp;#x; &amp;#12a; &amp;#</c>"
                                 "<![CDATA[keep & this &amp;]]><d>&amp;" +
                                 longName + ";</d><e>&amp;</e><![CDAT<f>&amp;";
    for (const std::size_t piece : {1u, 2u, 3u, 5u, 8u, 9u, 13u, 64u, 1000u}) {
        SCOPED_TRACE(piece);
        AmpersandRepair repair;
        EXPECT_EQ(repairedInPieces(text, piece, repair), expected);
        EXPECT_EQ(repair.repairs(), 9u);
    }
}

TEST(AmpersandRepair, PlacesInTheRepairedTextLeadBackToTheOriginal) {
    const std::string text = "<a>x & y & z</a>";
    AmpersandRepair repair;
    const std::string out = repairedInPieces(text, 4, repair);
    ASSERT_EQ(out, "<a>x &amp; y &amp; z</a>");
    struct Case {
        const char* name;
        std::size_t repaired;
        std::size_t original;
    };
    const Case cases[] = {
        {"before any repair", out.find('x'), text.find('x')},
        {"the first ampersand", out.find('&'), text.find('&')},
        {"inside the inserted text", out.find("mp;"), text.find('&')},
        {"between the repairs", out.find('y'), text.find('y')},
        {"after both", out.find('z'), text.find('z')},
        {"the end", out.size(), text.size()},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(repair.originalOffset(row.repaired), row.original);
    }
}

TEST(TextPosition, CountsLinesAndCharacters) {
    const std::string text = "ab\nçé&x\n";
    EXPECT_EQ(positionInText(text, 0).line, 1u);
    EXPECT_EQ(positionInText(text, 0).column, 1u);
    const TextPosition ampersand = positionInText(text, text.find('&'));
    EXPECT_EQ(ampersand.line, 2u);
    EXPECT_EQ(ampersand.column, 3u); // ç and é are one character each
}

} // namespace
} // namespace tessaly
