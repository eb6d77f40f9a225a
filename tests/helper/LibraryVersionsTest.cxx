// Whole sites built from small libraries of each version of the photo application, written after
// what real indexes of those versions hold (tests/data/libraries/). Each page the build writes is
// compared whole: the shipped template it starts with, formatted with the settings, then exactly
// the text in the fixture's expected folder, then the closing template. The expected folder names
// every page the build must write, and no other.
//
// To see what a changed builder writes, run with TESSALY_WRITE_EXPECTED_PAGES=1: the expected
// files are then written from the build instead of compared, for review in the diff.
#include "Format.hxx"
#include "LumibayControler.hxx"
#include "LumibayPref.hxx"
#include "PageLanguage.hxx"
#include "SitePageBuilder.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#ifndef HELPER_RESOURCES
#error HELPER_RESOURCES names the resource folder of the helper
#endif
#ifndef FIXTURE_DIR
#error FIXTURE_DIR names the folder of the test data
#endif

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string shippedTemplate(const char* name) {
    return pagelanguage::withPersonsLanguage(
        readFile(fs::path(HELPER_RESOURCES) / "Hinagata" / name));
}

TEST(LibraryVersions, EachVersionsSiteIsPublishedWhole) {
    struct Case {
        const char* name;
        const char* library;  // folder under libraries/, with AlbumData.xml and library/
        const char* settings; // more keys of the settings file
        const char* expected; // folder under libraries/
    };
    static constexpr Case cases[] = {
        {"version 2: no album has a type", "v2-untyped", "", "v2-untyped/expected"},
        {"versions 7 to 9: built-in albums known by their GUID", "v9-builtin-albums", "",
         "v9-builtin-albums/expected"},
        {"version 9.4: events in both lists", "v9-events", "", "v9-events/expected"},
        {"version 9.4: events with their setting off", "v9-events",
         "<key>Publish_Events_Key</key><false/>\n", "v9-events/expected-events-off"},
        {"no aspect ratios: the thumbnails' own proportions", "v9-thumbnails", "",
         "v9-thumbnails/expected"},
        {"an archive path under /Volumes", "archive-volumes", "", "archive-volumes/expected"},
        {"an archive path ending in .photolibrary", "archive-photolibrary", "",
         "archive-photolibrary/expected"},
        {"bare ampersands in the paths", "bare-ampersand", "", "bare-ampersand/expected"},
        // Versions 4 to 6: film rolls are no events, so the setting changes nothing.
        {"version 5, events on", "iphoto5", "", "iphoto5/expected"},
        {"version 5, events off", "iphoto5", "<key>Publish_Events_Key</key><false/>\n",
         "iphoto5/expected"},
    };
    const bool writeExpected = std::getenv("TESSALY_WRITE_EXPECTED_PAGES") != nullptr;
    const fs::path libraries = fs::path(FIXTURE_DIR) / "libraries";
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        writeFile(home.settingsFile(),
                  plistDocument("<key>Active_Flag_Key</key><true/>\n"
                                "<key>Check_Interval_Key</key><real>0</real>\n" +
                                std::string(row.settings)));
        const fs::path fixture = libraries / row.library;
        fs::create_directories(home.libraryFolder());
        if (fs::exists(fixture / "library")) {
            fs::copy(fixture / "library", home.libraryFolder(), fs::copy_options::recursive);
        }
        fs::copy_file(fs::exists(fixture / "AlbumData.xml")
                          ? fixture / "AlbumData.xml"
                          : fs::path(FIXTURE_DIR) / (std::string(row.library) + "-AlbumData.xml"),
                      home.indexFile());

        LumibayControler helper{Bundle(HELPER_RESOURCES)};
        helper.loadSettings();
        helper.buildSite();
        ASSERT_FALSE(helper.isQuitting());

        LumibayPref settings;
        const PageStyle style = PageStyle::fromSettings(settings);
        const std::string menuHead =
            format(shippedTemplate("menu1.txt"), {style.menuBkgndColor, style.menuTextColor,
                                                  style.menuTextColor, style.menuFontSize});
        const std::string menuTail = shippedTemplate("menu2.txt");
        const std::string albumHead =
            format(shippedTemplate("picture1.txt"), {style.pictureBkgndColor});
        const std::string albumTail = shippedTemplate("picture2.txt");

        const fs::path contents = home.siteFolder() / "Contents";
        const fs::path expected = libraries / row.expected;
        if (writeExpected) {
            fs::remove_all(expected);
            fs::create_directories(expected);
        }
        for (const std::string& name : namesIn(contents)) {
            SCOPED_TRACE(name);
            const std::string page = readFile(contents / name);
            const bool menu = name == "menu.html";
            const std::string& head = menu ? menuHead : albumHead;
            const std::string& tail = menu ? menuTail : albumTail;
            ASSERT_TRUE(page.starts_with(head));
            ASSERT_TRUE(page.ends_with(tail));
            ASSERT_GE(page.size(), head.size() + tail.size());
            const std::string between =
                page.substr(head.size(), page.size() - head.size() - tail.size());
            if (writeExpected) {
                writeFile(expected / name, between);
            } else {
                EXPECT_EQ(between, readFile(expected / name));
            }
        }
        EXPECT_EQ(namesIn(contents), namesIn(expected));
    }
}

} // namespace
} // namespace tessaly
