#include "ScriptRunner.hxx"

#include "FakeApplication.hxx"
#include "FinderScripts.hxx"
#include "TempHome.hxx"
#include "WorkspaceExtention.hxx"
#include "iPhotoScripts.hxx"

#include <QProcess>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using testing::FakeApplications;

TEST(ScriptRunner, KnowsOnlyTheCommandsTheSystemUses) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<ScriptCommand::Kind> kind;
        const char* commandName;
    };
    const Case cases[] = {
        {"quit", FinderScripts::closeApplicationText("iPhoto"),
         ScriptCommand::Kind::quitApplication, "iPhoto"},
        {"open", FinderScripts::OpenApplicationText("iPhoto.app"),
         ScriptCommand::Kind::openApplication, "iPhoto"},
        {"alias", FinderScripts::makeAliasText("/p", "/s/l"), ScriptCommand::Kind::makeAlias, ""},
        {"mail", NSAppleScriptExtention::sendMailText("a@b.c"), ScriptCommand::Kind::openLocation,
         "mailto:a@b.c"},
        {"activate", NSAppleScriptExtention::appActivateText("iPhoto"), std::nullopt, ""},
        {"empty trash", FinderScripts::emptyTrashText(), std::nullopt, ""},
        {"open trash", FinderScripts::openTrashText(), std::nullopt, ""},
        {"the photo application's own commands",
         iPhotoScripts::createAlbunText("Trip", "/home/ana/in"), std::nullopt, ""},
        {"quit with a line end after the last line",
         FinderScripts::closeApplicationText("iPhoto") + "\n", std::nullopt, ""},
        {"alias to something that is no path", FinderScripts::makeAliasText("/p", "/") + "x",
         std::nullopt, ""},
        {"empty", "", std::nullopt, ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::optional<ScriptCommand> command = ScriptRunner::shared().compile(row.text);
        ASSERT_EQ(command.has_value(), row.kind.has_value());
        if (command) {
            EXPECT_EQ(command->kind, *row.kind);
            if (command->kind != ScriptCommand::Kind::makeAlias) {
                EXPECT_EQ(command->name, row.commandName);
            }
        }
    }
}

TEST(ScriptRunner, UnknownTextLogsCompileErrorAndAnswersNone) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(NSAppleScriptExtention::runScript(FinderScripts::emptyTrashText()), std::nullopt);
    EXPECT_EQ(FinderScripts::openTrash(), std::nullopt);
    std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("] Script compile Error\n"), std::string::npos) << log;
    // Only runScript logs; the trash command creates its script itself, silently.
    EXPECT_EQ(log.find("Script compile Error"), log.rfind("Script compile Error")) << log;
}

TEST(ScriptRunner, OpensFromPathAndQuits) {
    testing::TempHome home;
    FakeApplications apps(home.path());
    apps.addOnPath("FakePhotoOne");

    EXPECT_FALSE(NSWorkspaceExtention::checkApplicationIsRunning("FakePhotoOne"));
    ASSERT_TRUE(FinderScripts::OpenApplication("FakePhotoOne.app"));
    ASSERT_TRUE(apps.waitUntilRunning("FakePhotoOne", true));
    EXPECT_EQ(apps.arguments("FakePhotoOne"), std::vector<std::string>{});

    ASSERT_TRUE(FinderScripts::closeApplication("FakePhotoOne"));
    EXPECT_TRUE(apps.waitUntilRunning("FakePhotoOne", false));
}

TEST(ScriptRunner, OpensFromDesktopEntryWithItsArguments) {
    testing::TempHome home;
    FakeApplications apps(home.path());
    // Not on PATH: only the desktop entry knows where it lies, in a folder with a space.
    fs::path program = apps.addElsewhere("FakePhotoTwo", "my apps");
    apps.addDesktopEntry("FakePhotoTwo",
                         "Exec=\"" + program.string() + "\" --library \"a \\\\$b\" %U\n");

    ASSERT_TRUE(FinderScripts::OpenApplication("FakePhotoTwo"));
    ASSERT_TRUE(apps.waitUntilRunning("FakePhotoTwo", true));
    EXPECT_EQ(apps.arguments("FakePhotoTwo"), (std::vector<std::string>{"--library", "a $b"}));
    ASSERT_TRUE(FinderScripts::closeApplication("FakePhotoTwo"));
    EXPECT_TRUE(apps.waitUntilRunning("FakePhotoTwo", false));
}

TEST(ScriptRunner, OpenFailsForUnknownOrUnsafeNames) {
    testing::TempHome home;
    FakeApplications apps(home.path());
    apps.addOnPath("FakePhotoThree");
    for (const char* name : {"NoSuchApplication", "../bin/FakePhotoThree", ".", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ScriptRunner::shared().run(FinderScripts::OpenApplicationText(name)),
                  std::nullopt);
    }
}

// Names a shell would read as commands: the runner must hand them on as plain arguments.
TEST(ScriptRunner, NamesRunNothingUnintended) {
    testing::TempHome home;
    const fs::path marker = home.path() / "marker";
    const std::string touch = "touch " + marker.string();
    const std::string names[] = {"a; " + touch, "$(" + touch + ")", "`" + touch + "`",
                                 "\"; " + touch + "; \"", "' ; " + touch + " #"};
    FakeApplications apps(home.path());
    const std::string weird = "a\"b $c;d'é";
    apps.addOnPath(weird);

    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FinderScripts::OpenApplication(name), std::nullopt);
        EXPECT_TRUE(FinderScripts::closeApplication(name));
    }

    ASSERT_TRUE(FinderScripts::OpenApplication(weird));
    ASSERT_TRUE(apps.waitUntilRunning(weird, true));
    ASSERT_TRUE(FinderScripts::closeApplication(weird));
    EXPECT_TRUE(apps.waitUntilRunning(weird, false));

    fs::path folder = home.path() / ("Pictures $(" + touch + ")");
    fs::path item = home.path() / ("Sites \"; " + touch + "; \"") / "iPhoto Library";
    fs::create_directories(folder);
    fs::create_directories(item);
    FinderScripts::makeAlias(folder.string(), item.string());
    EXPECT_EQ(fs::read_symlink(folder / "iPhoto Library"), item);

    // The opener receives the location as its one argument, whatever it holds.
    fs::path received = home.path() / "received";
    fs::path opener = home.path() / "opener";
    testing::writeFile(opener, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                   received.string() + ".tmp\"\nmv \"" + received.string() +
                                   ".tmp\" \"" + received.string() + "\"\n");
    fs::permissions(opener, fs::perms::owner_all);
    ScriptRunner::shared().setLocationOpener(opener.string());
    const std::string address = "x@y.z\"; " + touch + "; \"$(" + touch + ")";
    EXPECT_TRUE(NSAppleScriptExtention::sendMail(address));
    ScriptRunner::shared().setLocationOpener("xdg-open");
    ASSERT_TRUE(testing::waitUntil([&] { return fs::exists(received); }));
    EXPECT_EQ(testing::readFile(received), "mailto:" + address + "\n");

    EXPECT_FALSE(fs::exists(marker));
}

TEST(ScriptRunner, AliasNeverReplacesAName) {
    testing::TempHome home;
    const fs::path pictures = home.path() / "Pictures";
    const fs::path library = home.path() / "Sites/iPhoto Library";
    fs::create_directories(pictures);
    fs::create_directories(library);

    FinderScripts::makeAlias(pictures.string(), library.string());
    ASSERT_TRUE(fs::is_symlink(pictures / "iPhoto Library"));
    EXPECT_EQ(fs::read_symlink(pictures / "iPhoto Library"), library);
    EXPECT_TRUE(fs::is_directory(pictures / "iPhoto Library"));

    // A second request, a file and a dangling link of that name all stay as they are.
    EXPECT_EQ(ScriptRunner::shared().run(
                  FinderScripts::makeAliasText(pictures.string(), library.string())),
              std::nullopt);
    fs::remove(pictures / "iPhoto Library");
    testing::writeFile(pictures / "iPhoto Library", "mine");
    EXPECT_EQ(ScriptRunner::shared().run(
                  FinderScripts::makeAliasText(pictures.string(), library.string())),
              std::nullopt);
    EXPECT_EQ(testing::readFile(pictures / "iPhoto Library"), "mine");
    fs::remove(pictures / "iPhoto Library");
    fs::create_symlink(home.path() / "nowhere", pictures / "iPhoto Library");
    EXPECT_EQ(ScriptRunner::shared().run(
                  FinderScripts::makeAliasText(pictures.string(), library.string())),
              std::nullopt);
    EXPECT_EQ(fs::read_symlink(pictures / "iPhoto Library"), home.path() / "nowhere");

    // Nothing to point to, or no folder to hold it: no alias.
    EXPECT_EQ(ScriptRunner::shared().run(FinderScripts::makeAliasText(
                  pictures.string(), (home.path() / "missing").string())),
              std::nullopt);
    EXPECT_EQ(ScriptRunner::shared().run(FinderScripts::makeAliasText(
                  (home.path() / "missing").string(), library.string())),
              std::nullopt);
}

TEST(RunningApplications, MatchesNameExecutableAndBundle) {
    testing::TempHome home;
    const fs::path bundle = home.path() / "Thing.app";
    fs::create_directories(bundle);
    fs::copy_file("/bin/sleep", bundle / "sleeper");
    QProcess process;
    process.start(QString::fromStdString((bundle / "sleeper").string()), {"60"});
    ASSERT_TRUE(process.waitForStarted());

    struct Case {
        const char* name;
        bool running;
    };
    static constexpr Case cases[] = {
        {"sleeper", true}, {"Thing", true},     {"Thing.app", true},    {"thing", false},
        {"sleepe", false}, {"Thing.ap", false}, {"sleeper.app", false}, {"", false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(NSWorkspaceExtention::checkApplicationIsRunning(row.name), row.running);
    }
    process.kill();
    process.waitForFinished();
    EXPECT_FALSE(NSWorkspaceExtention::checkApplicationIsRunning("Thing"));
}

} // namespace
} // namespace tessaly
