// The streaming writer is judged by libplist: whatever it writes must read back as the same
// values. Text is where a hand-written XML writer goes wrong, so most cases are texts.

#include "PlistWriter.hxx"

#include "PlistRead.hxx"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace tessaly::sample::test {
namespace {

struct Written {
    std::string xml;
    bool finished = false;
};

template <typename Body> Written writeDocument(Body body) {
    Written out;
    PlistWriter writer([&out](std::string_view bytes) {
        out.xml.append(bytes);
        return true;
    });
    body(writer);
    out.finished = writer.finish();
    return out;
}

TEST(PlistWriter, TextRoundTripsAsKeyAndAsValue) {
    struct Case {
        const char* name;
        const char* text;
    };
    static constexpr Case kCases[] = {
        {"markup characters", "Café & <Friends> > 1"},
        {"end of a CDATA section", "a ]]> b"},
        {"entity lookalikes stay literal", "&amp; &lt; &#65; &"},
        {"quotes and apostrophes", "\"double\" 'single'"},
        {"multi-byte UTF-8", "夏の海 Ünïcödé 🎉"},
        {"tabs and line feeds", "line one\n\tline two\n"},
        {"leading and trailing spaces", "  padded  "},
        {"empty", ""},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        const Written out = writeDocument([&](PlistWriter& writer) {
            writer.beginDict();
            writer.key(row.text);
            writer.string(row.text);
            writer.endDict();
        });
        ASSERT_TRUE(out.finished);
        // libplist forgives a bare '>' (even in "]]>"), but other XML readers do not.
        for (const char* tag : {"<key>", "<string>"}) {
            const std::size_t start = out.xml.find(tag) + std::strlen(tag);
            const std::string content = out.xml.substr(start, out.xml.find('<', start) - start);
            EXPECT_EQ(content.find('>'), std::string::npos) << tag << content;
        }
        const Plist root = parsePlist(out.xml);
        ASSERT_TRUE(isType(root.get(), PLIST_DICT)) << out.xml;
        const auto dict = entries(root.get());
        ASSERT_EQ(dict.size(), 1u) << out.xml;
        EXPECT_EQ(dict[0].first, row.text);
        EXPECT_EQ(text(dict[0].second), row.text);
    }
}

TEST(PlistWriter, NestedValuesRoundTrip) {
    const Written out = writeDocument([](PlistWriter& writer) {
        writer.beginDict();
        writer.key("Empty Array");
        writer.beginArray();
        writer.endArray();
        writer.key("Empty Dict");
        writer.beginDict();
        writer.endDict();
        writer.key("List");
        writer.beginArray();
        writer.integer(std::numeric_limits<std::int64_t>::max());
        writer.integer(0);
        writer.real(4.0f / 3.0f);
        writer.real(158341439.728129);
        writer.boolean(true);
        writer.boolean(false);
        writer.beginDict();
        writer.key("Inner");
        writer.string("deep");
        writer.endDict();
        writer.endArray();
        writer.endDict();
    });
    ASSERT_TRUE(out.finished);
    const Plist root = parsePlist(out.xml);
    ASSERT_TRUE(isType(root.get(), PLIST_DICT)) << out.xml;

    EXPECT_TRUE(isType(item(root.get(), "Empty Array"), PLIST_ARRAY));
    EXPECT_TRUE(elements(item(root.get(), "Empty Array")).empty());
    EXPECT_TRUE(isType(item(root.get(), "Empty Dict"), PLIST_DICT));
    EXPECT_TRUE(entries(item(root.get(), "Empty Dict")).empty());

    const auto list = elements(item(root.get(), "List"));
    ASSERT_EQ(list.size(), 7u) << out.xml;
    EXPECT_EQ(integer(list[0]), std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(isType(list[1], PLIST_UINT));
    EXPECT_EQ(integer(list[1]), 0);
    // A float is written in its own shortest form, so it reads back as that float, not as the
    // double nearest to the float.
    EXPECT_EQ(static_cast<float>(real(list[2])), 4.0f / 3.0f);
    EXPECT_EQ(real(list[3]), 158341439.728129);
    ASSERT_TRUE(isType(list[4], PLIST_BOOLEAN));
    ASSERT_TRUE(isType(list[5], PLIST_BOOLEAN));
    std::uint8_t yes = 0;
    std::uint8_t no = 1;
    plist_get_bool_val(list[4], &yes);
    plist_get_bool_val(list[5], &no);
    EXPECT_TRUE(yes);
    EXPECT_FALSE(no);
    EXPECT_EQ(text(item(list[6], "Inner")), "deep");
}

// The index is only trustworthy if the writer refuses to produce what the application never
// would, instead of writing it quietly.
TEST(PlistWriter, RefusesDocumentsItCannotWriteFaithfully) {
    struct Case {
        const char* name;
        void (*write)(PlistWriter&);
    };
    static constexpr Case kCases[] = {
        {"keys out of string order",
         [](PlistWriter& w) {
             w.beginDict();
             w.key("7");
             w.integer(1);
             w.key("10");
         }},
        {"repeated key",
         [](PlistWriter& w) {
             w.beginDict();
             w.key("a");
             w.integer(1);
             w.key("a");
         }},
        {"control character", [](PlistWriter& w) { w.string("bell\a"); }},
        {"carriage return", [](PlistWriter& w) { w.string("a\r\nb"); }},
        {"value without a key",
         [](PlistWriter& w) {
             w.beginDict();
             w.integer(1);
         }},
        {"mismatched end",
         [](PlistWriter& w) {
             w.beginDict();
             w.endArray();
         }},
        {"second root",
         [](PlistWriter& w) {
             w.integer(1);
             w.integer(2);
         }},
        {"non-finite real",
         [](PlistWriter& w) { w.real(std::numeric_limits<double>::infinity()); }},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        PlistWriter writer([](std::string_view) { return true; });
        EXPECT_THROW(row.write(writer), std::logic_error);
    }
}

// A write error in the middle of a long document must not be forgotten when the last piece gets
// through: the program would otherwise commit a truncated index.
TEST(PlistWriter, FinishReportsASinkThatFailedEarlier) {
    int calls = 0;
    PlistWriter writer([&calls](std::string_view) { return ++calls > 1; });
    writer.beginArray();
    // Enough to make the writer hand over a piece before finish().
    for (int i = 0; i < 20000; ++i) {
        writer.string("a string long enough to fill the buffer");
    }
    writer.endArray();
    EXPECT_FALSE(writer.finish());
}

} // namespace
} // namespace tessaly::sample::test
