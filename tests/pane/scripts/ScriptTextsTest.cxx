#include "FinderScripts.hxx"
#include "TempHome.hxx"
#include "iPhotoScripts.hxx"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace NSAppleScriptString;

TEST(ScriptTexts, LineBuildersAppendOneLineEach) {
    std::string script = "x\n";
    tellApplication(script, "Finder");
    tellTarget(script, "window", 1);
    tellTarget(script, "document window ", -2);
    set(script, "key window");
    activate(script);
    endTell(script);
    EXPECT_EQ(script, "x\ntell application \"Finder\"\ntell window 1\ntell document window  -2\n"
                      "set key window\nactivate\nend tell\n");
}

TEST(ScriptTexts, CommandsGiveTheirExactTexts) {
    struct Case {
        const char* name;
        std::string (*build)();
        const char* text;
    };
    static constexpr Case cases[] = {
        {"open names the application file with .app added",
         [] { return FinderScripts::OpenApplicationText("iPhoto"); },
         "tell application \"Finder\"\n"
         "Open application file \"iPhoto.app\" of folder \"Applications\" of startup Disk\n"
         "end tell\n"},
        {"open keeps a given .app", [] { return FinderScripts::OpenApplicationText("iPhoto.app"); },
         "tell application \"Finder\"\n"
         "Open application file \"iPhoto.app\" of folder \"Applications\" of startup Disk\n"
         "end tell\n"},
        {"close has three lines, the last without a line end",
         [] { return FinderScripts::closeApplicationText("iPhoto"); },
         "tell application \"iPhoto\"\nquit\nend tell"},
        {"mail is one line without a line end",
         [] { return NSAppleScriptExtention::sendMailText("help@example.org"); },
         "open location \"mailto:help@example.org\""},
        {"alias of the moved library in Pictures",
         [] {
             return FinderScripts::makeAliasText("/home/user/Pictures",
                                                 "/home/user/Sites/iPhoto Library");
         },
         "tell application \"Finder\"\n"
         "make alias at \"Startup Disk:home:user:Pictures\" to "
         "\"Startup Disk:home:user:Sites:iPhoto Library\"\n"
         "end tell\n"},
        {"alias builder takes the item first, the folder second",
         [] {
             std::string script;
             FinderScriptsMSting::makeAliasAt(script, "/Volumes/Backup/a", "/Volumes/Backup");
             return script;
         },
         "make alias at \"Backup\" to \"Backup:a\"\n"},
        {"activate", [] { return NSAppleScriptExtention::appActivateText("Mail"); },
         "tell application \"Mail\"\nactivate\ntell window 1\nactivate\nend tell\n"
         "tell document window  1\nset key window\nend tell\nend tell\n"},
        {"open trash has no last line end", [] { return FinderScripts::openTrashText(); },
         "tell application \"Finder\"\nactivate\nopen trash\nend tell"},
        {"empty trash", [] { return FinderScripts::emptyTrashText(); },
         "tell application \"Finder\"\nactivate\nempty trash\nend tell\n"},
        {"burn", [] { return FinderScripts::burnDiscText("Startup Disk:tmp:b.fpbf"); },
         "tell application \"Finder\"\nactivate\nselect folder \"Startup Disk:tmp:b.fpbf\"\n"
         "tell application \"System Events\"\ntell process \"Finder\"\n"
         "click menu item 26 of menu 1 of menu bar item 3 of menu bar 1\n"
         "end tell\nend tell\nend tell\n"},
        // The photo application's own commands.
        {"new album builder",
         [] {
             std::string script;
             iPhotoScriptsString::newAlbum(script, "Summer \"04\"");
             return script;
         },
         "new album name \"Summer \"04\"\"\n"},
        {"import builder names the file in file-manager form",
         [] {
             std::string script = "x\n";
             iPhotoScriptsString::importFrom(script, "/Volumes/Card/DCIM", "Trip");
             return script;
         },
         "x\nimport from \"Card:DCIM\" to album \"Trip\" with force copy\n"},
        {"create album without a path",
         [] { return iPhotoScripts::createAlbunText("Trip", std::nullopt); },
         "tell application \"iPhoto\"\nactivate\nnew album name \"Trip\"\nend tell\n"},
        {"create album and import",
         [] { return iPhotoScripts::createAlbunText("Trip", "/home/ana/in"); },
         "tell application \"iPhoto\"\nactivate\nnew album name \"Trip\"\n"
         "import from \"Startup Disk:home:ana:in\" to album \"Trip\" with force copy\n"
         "end tell\n"},
        {"import a file", [] { return iPhotoScripts::importFileText("/home/ana/a.jpg", "Trip"); },
         "tell application \"iPhoto\"\n"
         "import from \"Startup Disk:home:ana:a.jpg\" to album \"Trip\" with force copy\n"
         "end tell\n"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.build(), row.text);
    }
}

TEST(ScriptTexts, PathsInFileManagerForm) {
    struct Case {
        const char* name;
        const char* path;
        const char* scriptPath;
        bool isVolume;
    };
    static constexpr Case cases[] = {
        {"root is the startup disk alone", "/", "Startup Disk", false},
        {"home folder", "/Users/user/Pictures", "Startup Disk:Users:user:Pictures", false},
        {"a volume itself", "/Volumes/Backup", "Backup", true},
        {"a folder on a volume", "/Volumes/Backup/Photos", "Backup:Photos", false},
        {"the volumes folder alone is an ordinary folder", "/Volumes", "Startup Disk:Volumes",
         false},
        {"a folder that only begins like the volumes folder", "/VolumesOld/x",
         "Startup Disk:VolumesOld:x", false},
        {"doubled and trailing slashes", "//home//a/", "Startup Disk:home:a", false},
        {"a colon shows as a slash", "/home/a:b", "Startup Disk:home:a/b", false},
        {"quotes, spaces and other letters stay", "/home/\"Zoë\" $x; y",
         "Startup Disk:home:\"Zoë\" $x; y", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        bool isVolume = !row.isVolume;
        EXPECT_EQ(FinderScriptsSting::convertScriptPathIsVolume(row.path, isVolume),
                  row.scriptPath);
        EXPECT_EQ(isVolume, row.isVolume);
    }
}

// The runner reads file-manager paths back; every path it is given must come back unchanged.
TEST(ScriptTexts, FileManagerPathsReadBack) {
    static constexpr const char* paths[] = {"/",
                                            "/home/user/Sites/iPhoto Library",
                                            "/Volumes/Backup",
                                            "/Volumes/Backup/Photos",
                                            "/home/a:b/\"c\" to \"d\"",
                                            "/home/Zoë/$x;y"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        bool isVolume = false;
        EXPECT_EQ(FinderScriptsSting::posixPathOfScriptPath(
                      FinderScriptsSting::convertScriptPathIsVolume(path, isVolume)),
                  path);
    }
    static constexpr const char* refused[] = {"", "Startup Disk:", "Startup Disk::etc",
                                              "Startup Disk:..:etc", "Backup:.:x"};
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FinderScriptsSting::posixPathOfScriptPath(text), std::nullopt);
    }
}

TEST(ScriptTexts, DeleteFilesListsWhatExists) {
    testing::TempHome home;
    const std::string dir = home.path().string();
    testing::writeFile(home.path() / "a file", "x");
    std::filesystem::create_directories(home.path() / "a folder");
    std::filesystem::create_directories(home.path() / "disc.fpbf");
    std::string diskDir = "Startup Disk";
    for (char c : dir) {
        diskDir += c == '/' ? ':' : c;
    }

    std::vector<std::string> burnt;
    auto collect = [&](std::string folder) { burnt.push_back(std::move(folder)); };
    EXPECT_EQ(FinderScripts::deleteFilesText({}, collect), std::nullopt);
    EXPECT_EQ(FinderScripts::deleteFilesText({dir + "/missing", dir + "/gone"}, collect),
              std::nullopt);
    EXPECT_EQ(FinderScripts::deleteFilesText({dir + "/disc.fpbf"}, collect), std::nullopt);
    EXPECT_EQ(burnt, std::vector<std::string>{diskDir + ":disc.fpbf"});

    EXPECT_EQ(FinderScripts::deleteFilesText({dir + "/a folder", dir + "/missing", dir + "/a file"},
                                             collect),
              "tell application \"Finder\"\nmove \"" + diskDir + ":a folder\" to trash\n" +
                  "move file \"" + diskDir + ":a file\" to trash\nend tell");
    EXPECT_EQ(FinderScripts::deleteFileText(dir + "/a folder"),
              "tell application \"Finder\"\nignoring application responses\n"
              "move folder \"" +
                  diskDir + ":a folder\" to trash\nend ignoring\nend tell");
    EXPECT_EQ(FinderScripts::deleteFileText(dir + "/a file"),
              "tell application \"Finder\"\nignoring application responses\n"
              "move file \"" +
                  diskDir + ":a file\" to trash\nend ignoring\nend tell");
}

TEST(ScriptTexts, DeleteFileLogsWhyItBuiltNothing) {
    testing::TempHome home;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(FinderScripts::deleteFileText(""), std::nullopt);
    EXPECT_EQ(FinderScripts::deleteFileText((home.path() / "missing").string()), std::nullopt);
    std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("empty path nil\n"), std::string::npos) << log;
    EXPECT_NE(log.find("file not found\n"), std::string::npos) << log;
}

} // namespace
} // namespace tessaly
