// Reading and writing property-list files: numbers that survive any locale, and files that can
// neither crash the reader nor be blown up by a write.

#include "PlistFile.hxx"

#include "DecimalComma.hxx"
#include "LumibayPref.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using testing::DecimalCommaLocale;
using testing::plistDocument;
using testing::readFile;
using testing::TempHome;
using testing::writeFile;

double realAt(plist_t dictionary, const char* key) {
    plist_t value = dictionary ? plist_dict_get_item(dictionary, key) : nullptr;
    double number = -999;
    if (value && plist_get_node_type(value) == PLIST_REAL) {
        plist_get_real_val(value, &number);
    }
    return number;
}

// A settings file holding one real, byte for byte as libplist writes it.
std::string fileWithReal(const char* key, const char* text) {
    return plistDocument(std::string("\t<key>") + key + "</key>\n\t<real>" + text + "</real>\n");
}

struct RealCase {
    const char* name;
    const char* text;
    double value;
};
static constexpr RealCase kReals[] = {
    {"quarter", "0.25", 0.25},
    {"user's own two and a half", "2.5", 2.5},
    {"negative", "-1.75", -1.75},
    {"large", "1048576.125", 1048576.125},
};

TEST(PlistFile, RealsReadAndWriteTheSameUnderADecimalCommaLocale) {
    DecimalCommaLocale german;
    if (!german.active()) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    for (const RealCase& row : kReals) {
        SCOPED_TRACE(row.name);
        TempHome home;
        const auto original = home.path() / "original.plist";
        const auto copy = home.path() / "copy.plist";
        const std::string bytes = fileWithReal("Value", row.text);
        writeFile(original, bytes);

        PlistPtr dictionary = readPlistDictionary(original);
        ASSERT_TRUE(dictionary);
        EXPECT_EQ(realAt(dictionary.get(), "Value"), row.value);
        ASSERT_TRUE(writePlistDictionary(copy, dictionary.get()));
        EXPECT_EQ(readFile(copy), bytes);
    }
}

// The fault a user meets: a getter that fills a missing key writes the whole file back, and with
// it every real it read.
TEST(PlistFile, FillingGetterKeepsTheUsersRealsUnderADecimalCommaLocale) {
    DecimalCommaLocale german;
    if (!german.active()) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    for (const RealCase& row : kReals) {
        SCOPED_TRACE(row.name);
        TempHome home;
        writeFile(home.settingsFile(), fileWithReal(Check_Interval_Key, row.text));
        {
            LumibayPref store;
            EXPECT_EQ(store.getCheckInterval(), static_cast<float>(row.value));
            EXPECT_EQ(store.getMenuWidth(), 120); // missing: filled and the file written
        }
        PlistPtr written = readPlistDictionary(home.settingsFile());
        EXPECT_EQ(realAt(written.get(), Check_Interval_Key), row.value);
        EXPECT_NE(readFile(home.settingsFile()).find(std::string("<real>") + row.text + "</real>"),
                  std::string::npos)
            << readFile(home.settingsFile());
    }
}

// The guard is per call: the caller's own locale is the same afterwards.
TEST(PlistFile, ReadingLeavesTheCallersLocaleAlone) {
    DecimalCommaLocale german;
    if (!german.active()) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    TempHome home;
    writeFile(home.settingsFile(), fileWithReal("Value", "0.25"));
    ASSERT_TRUE(readPlistDictionary(home.settingsFile()));
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
}

std::string nested(int levels, const char* open, const char* close, const char* leaf) {
    std::string body;
    for (int i = 0; i < levels; ++i) {
        body += open;
    }
    body += leaf;
    for (int i = 0; i < levels; ++i) {
        body += close;
    }
    return body;
}

// A deeply nested file must count as unreadable before the parser recurses into it: at 30,000
// levels libplist overflows the stack, and at 5,000 the store's rewrite would be larger than it
// can read back.
TEST(PlistFile, DeeplyNestedSettingsAreUnreadableAndKept) {
    struct Case {
        const char* name;
        int levels;
    };
    static constexpr Case kCases[] = {
        {"30,000 levels", 30000},
        {"5,000 levels", 5000},
        {"one level too many", kMaxPlistNesting},
    };
    for (const Case& row : kCases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        // The root dictionary is the first level.
        const std::string bytes =
            plistDocument("<key>Deep</key>" + nested(row.levels, "<dict><key>k</key>", "</dict>",
                                                     "<integer>1</integer>"));
        writeFile(home.settingsFile(), bytes);
        {
            LumibayPref store;
            EXPECT_FALSE(store.hasDictionary());
            EXPECT_EQ(store.getMenuWidth(), 120);
            store.setImageSize(300);
            store.savePref();
        }
        EXPECT_EQ(readFile(home.settingsFile()), bytes);
    }
}

TEST(PlistFile, ParsesOnlyBoundedWellFormedXml) {
    struct Case {
        const char* name;
        std::string xml;
        bool readable;
    };
    const std::string deepTags = nested(30000, "<array>", "</array>", "");
    const Case cases[] = {
        {"dictionaries at the limit",
         plistDocument("<key>k</key>" +
                       nested(kMaxPlistNesting - 1, "<dict><key>k</key>", "</dict>", "<true/>")),
         true},
        {"arrays one past the limit",
         plistDocument("<key>k</key>" + nested(kMaxPlistNesting, "<array>", "</array>", "")),
         false},
        {"deep markup inside a comment is no nesting",
         plistDocument("<!-- " + deepTags + " --><key>k</key><string>v</string>"), true},
        {"deep markup inside CDATA is no nesting",
         plistDocument("<key>k</key><string><![CDATA[" + deepTags + "]]></string>"), true},
        {"end tag that closes nothing open",
         plistDocument("<key>k</key><array></dict><array></array></array>"), false},
        {"unclosed comment", plistDocument("<!-- <key>k</key><true/>"), false},
        {"internal DTD subset", "<!DOCTYPE plist [<!ENTITY e \"x\">]><plist><dict></dict></plist>",
         false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parsePlistXml(row.xml) != nullptr, row.readable);
    }
}

// Our files are XML; a binary property list is refused rather than handed to a second parser.
TEST(PlistFile, BinaryPropertyListsAreRefused) {
    TempHome home;
    plist_t dictionary = plist_new_dict();
    plist_dict_set_item(dictionary, MenuWidth_Key, plist_new_uint(300));
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dictionary, &binary, &length);
    plist_free(dictionary);
    ASSERT_TRUE(binary);
    const std::string bytes(binary, length);
    plist_to_bin_free(binary);
    writeFile(home.settingsFile(), bytes);

    LumibayPref store;
    EXPECT_FALSE(store.hasDictionary());
    EXPECT_EQ(store.getMenuWidth(), 120);
    EXPECT_EQ(readFile(home.settingsFile()), bytes);
}

} // namespace
} // namespace tessaly
