#include "LoginItems.hxx"

#include "FakeApplication.hxx"
#include "TempHome.hxx"

#include <QProcess>

#include <gtest/gtest.h>

namespace tessaly {
namespace {

namespace fs = std::filesystem;

class LoginItemsTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ScopedEnv config{"XDG_CONFIG_HOME", (home.path() / "config").string()};
    fs::path folder = home.path() / "config/autostart";
    std::string program =
        (home.path() / "Tessaly.prefPane/Resources").string() + "/LumibayHelper.app/LumibayHelper";
    LoginItems items{program};

    // An entry of another program and a file that is no desktop entry at all.
    void writeStrangers() {
        testing::writeFile(folder / "a-other.desktop",
                           "[Desktop Entry]\nType=Application\nName=Other\nExec=other --x\n");
        testing::writeFile(folder / "b-broken.desktop", "\x01\x02 not [ a key file\n\xff");
    }
    void expectStrangersUntouched() {
        EXPECT_EQ(testing::readFile(folder / "a-other.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Other\nExec=other --x\n");
        EXPECT_EQ(testing::readFile(folder / "b-broken.desktop"),
                  "\x01\x02 not [ a key file\n\xff");
    }
};

TEST_F(LoginItemsTest, StartStopStartLeavesExactlyOneEntry) {
    writeStrangers();
    ASSERT_TRUE(items.registerStartUpItem());
    ASSERT_TRUE(items.registerStartUpItem());
    ASSERT_EQ(items.entriesOfProgram().size(), 1u);
    const std::string entry = testing::readFile(items.entriesOfProgram().front());
    EXPECT_NE(entry.find("NoDisplay=true\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Type=Application\n"), std::string::npos) << entry;
    EXPECT_EQ(entry.find("Hidden"), std::string::npos) << entry;

    ASSERT_TRUE(items.removeStartUpItem());
    EXPECT_TRUE(items.entriesOfProgram().empty());
    EXPECT_TRUE(items.removeStartUpItem());
    ASSERT_TRUE(items.registerStartUpItem());
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);
    expectStrangersUntouched();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
}

TEST_F(LoginItemsTest, AnEntryForTheSameProgramBlocksAdding) {
    // Written by hand, shown in menus, with arguments: it still names our program.
    const std::string mine = "[Desktop Entry]\nType=Application\nName=Mine\nExec=\"" + program +
                             "\" --verbose\nNoDisplay=false\n";
    testing::writeFile(folder / "mine.desktop", mine);
    ASSERT_TRUE(items.registerStartUpItem());
    EXPECT_EQ(items.entriesOfProgram(), std::vector<std::string>{(folder / "mine.desktop")});
    EXPECT_EQ(testing::readFile(folder / "mine.desktop"), mine);
}

TEST_F(LoginItemsTest, RemovalTakesOnlyTheFirstOfTwo) {
    writeStrangers();
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=X\nExec=" + LoginItems::execLine(program) + "\n";
    testing::writeFile(folder / "m1.desktop", entry);
    testing::writeFile(folder / "m2.desktop", entry);
    ASSERT_TRUE(items.removeStartUpItem());
    EXPECT_FALSE(fs::exists(folder / "m1.desktop"));
    EXPECT_EQ(testing::readFile(folder / "m2.desktop"), entry);
    expectStrangersUntouched();
}

TEST_F(LoginItemsTest, OurFileNameTakenByAnotherProgram) {
    testing::writeFile(folder / "LumibayHelper.desktop",
                       "[Desktop Entry]\nType=Application\nName=Y\nExec=y\n");
    ASSERT_TRUE(items.registerStartUpItem());
    EXPECT_EQ(items.entriesOfProgram(),
              std::vector<std::string>{(folder / "LumibayHelper-2.desktop")});
    EXPECT_EQ(testing::readFile(folder / "LumibayHelper.desktop"),
              "[Desktop Entry]\nType=Application\nName=Y\nExec=y\n");
}

TEST_F(LoginItemsTest, FolderIsCreatedOrFailureReported) {
    ASSERT_FALSE(fs::exists(folder));
    ASSERT_TRUE(items.registerStartUpItem());
    EXPECT_EQ(items.entriesOfProgram().size(), 1u);

    // A file where the folder should be: nothing can be written there.
    fs::remove_all(folder);
    testing::writeFile(folder, "not a folder");
    EXPECT_FALSE(items.registerStartUpItem());
    EXPECT_EQ(testing::readFile(folder), "not a folder");
}

// Whatever the path holds, the entry's Exec names exactly it, and a real desktop reads it so.
TEST(LoginItems, ProgramPathsRoundTripThroughExec) {
    testing::TempHome home;
    testing::ScopedEnv config{"XDG_CONFIG_HOME", (home.path() / "config").string()};
    static constexpr const char* names[] = {
        "plain",       "with space", "quote\"d",    "dollar $HOME", "semi;colon",
        "back\\slash", "back`tick`", "per%cent %u", "Zoë Ångström", "single 'quote'",
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        std::string program = (home.path() / name / "LumibayHelper").string();
        LoginItems items(program);
        EXPECT_EQ(LoginItems::programOfExec(LoginItems::execLine(program)), program);
        ASSERT_TRUE(items.registerStartUpItem());
        ASSERT_EQ(items.entriesOfProgram().size(), 1u);
        const std::string entry = items.entriesOfProgram().front();
        QProcess validate;
        validate.start("desktop-file-validate", {QString::fromStdString(entry)});
        if (validate.waitForStarted()) {
            validate.waitForFinished(60000);
            EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
        }
        ASSERT_TRUE(items.removeStartUpItem());
    }
    EXPECT_EQ(LoginItems::programOfExec("\"unclosed"), std::nullopt);
    EXPECT_EQ(LoginItems::programOfExec(""), std::nullopt);
    EXPECT_EQ(LoginItems::programOfExec("/usr/bin/x --y"), "/usr/bin/x");
}

} // namespace
} // namespace tessaly
