#include "LoginItems.hxx"

// GIO's structures have fields named after Qt's keyword macros: its header comes before Qt's.
// clang-format off
#include <gio/gdesktopappinfo.h>
// clang-format on

#include "FakeApplication.hxx"
#include "TempHome.hxx"
#include "WaitUntil.hxx"

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
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
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
    EXPECT_EQ(filesInFolder(), 3u);
}

// What an entry found in the folder is to Start and Stop. `{}` in the Exec line stands for the
// helper's path.
TEST_F(LoginItemsTest, WhichEntriesAreOursAndWhetherTheyStartTheHelper) {
    enum class AfterStart { Kept, KeptAndOneAdded, SwitchedOn };
    struct Case {
        const char* name;
        const char* exec;
        const char* more; // further lines of the entry
        bool ours;
        AfterStart afterStart;
        bool removedByStop;
    };
    static constexpr Case cases[] = {
        {"exactly the helper", "\"{}\"", "", true, AfterStart::Kept, true},
        {"unquoted", "{}", "", true, AfterStart::Kept, true},
        {"through env", "/usr/bin/env \"{}\"", "", true, AfterStart::Kept, true},
        {"with an argument", "\"{}\" --verbose", "", false, AfterStart::KeptAndOneAdded, false},
        {"with a field code", "\"{}\" %U", "", false, AfterStart::KeptAndOneAdded, false},
        {"another program beside it", "\"{}-old\"", "", false, AfterStart::KeptAndOneAdded, false},
        {"hidden", "\"{}\"", "Hidden=true\n", true, AfterStart::SwitchedOn, true},
        {"not hidden", "\"{}\"", "Hidden=false\n", true, AfterStart::Kept, true},
        {"switched off in GNOME", "\"{}\"", "X-GNOME-Autostart-enabled=false\n", true,
         AfterStart::SwitchedOn, true},
        {"switched on in GNOME", "\"{}\"", "X-GNOME-Autostart-enabled=true\n", true,
         AfterStart::Kept, true},
        {"malformed quoting", "\"{}", "", false, AfterStart::KeptAndOneAdded, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(folder);
        std::string exec = row.exec;
        exec.replace(exec.find("{}"), 2, program);
        const fs::path found = folder / "found.desktop";
        const std::string text = "[Desktop Entry]\n# kept by hand\nType=Application\nName=Mine\n"
                                 "Name[de]=Meins\nExec=" +
                                 exec + "\n" + row.more;
        testing::writeFile(found, text);

        EXPECT_EQ(items.entriesOfProgram(),
                  row.ours ? std::vector<std::string>{found} : std::vector<std::string>{});

        ASSERT_TRUE(items.registerStartUpItem());
        const std::string afterStart = testing::readFile(found);
        switch (row.afterStart) {
        case AfterStart::Kept:
            EXPECT_EQ(afterStart, text);
            EXPECT_EQ(filesInFolder(), 1u);
            break;
        case AfterStart::KeptAndOneAdded:
            EXPECT_EQ(afterStart, text);
            EXPECT_EQ(items.entriesOfProgram(),
                      std::vector<std::string>{folder / "LumibayHelper.desktop"});
            break;
        case AfterStart::SwitchedOn:
            // The same file, switched on, with all the rest of it.
            EXPECT_EQ(filesInFolder(), 1u);
            EXPECT_EQ(afterStart.find("Hidden"), std::string::npos) << afterStart;
            EXPECT_EQ(afterStart.find("X-GNOME-Autostart-enabled"), std::string::npos);
            for (const char* kept : {"# kept by hand\n", "Name=Mine\n", "Name[de]=Meins\n"}) {
                EXPECT_NE(afterStart.find(kept), std::string::npos) << afterStart;
            }
            // Started once, it is left alone by the next start.
            ASSERT_TRUE(items.registerStartUpItem());
            EXPECT_EQ(testing::readFile(found), afterStart);
            break;
        }

        ASSERT_TRUE(items.removeStartUpItem());
        EXPECT_EQ(fs::exists(found), !row.removedByStop);
        if (!row.removedByStop) {
            EXPECT_EQ(testing::readFile(found), text);
        }
        EXPECT_TRUE(items.entriesOfProgram().empty());
    }
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

// A hidden entry of ours starts nothing: stopping removes the one that does.
TEST_F(LoginItemsTest, RemovalTakesTheEntryThatStartsTheHelper) {
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=X\nExec=" + LoginItems::execLine(program) + "\n";
    testing::writeFile(folder / "m1.desktop", entry + "Hidden=true\n");
    testing::writeFile(folder / "m2.desktop", entry);
    ASSERT_TRUE(items.removeStartUpItem());
    EXPECT_EQ(testing::readFile(folder / "m1.desktop"), entry + "Hidden=true\n");
    EXPECT_FALSE(fs::exists(folder / "m2.desktop"));
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

TEST(LoginItems, ExecValuesAreReadAsALauncherReadsThem) {
    struct Case {
        const char* name;
        const char* exec;
        std::vector<std::string> command; // empty: malformed
    };
    const Case cases[] = {
        {"plain", "/usr/bin/x --y", {"/usr/bin/x", "--y"}},
        {"quoted with escapes", R"("/a b/\"c\" \$d \`e\` \\f")", {R"(/a b/"c" $d `e` \f)"}},
        {"doubled percent", "\"/per%%cent\" %%u", {"/per%cent", "%u"}},
        {"field code", "x %U", {"x", "%U"}},
        {"single quotes", "'/a b' c", {"/a b", "c"}},
        {"unclosed quote", "\"unclosed", {}},
        {"empty", "", {}},
        {"blank", "   ", {}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::optional<std::vector<std::string>> command = LoginItems::commandOfExec(row.exec);
        if (row.command.empty()) {
            EXPECT_EQ(command, std::nullopt);
        } else {
            EXPECT_EQ(command, row.command);
        }
    }
}

// Whatever the install path holds, the entry runs exactly it: read back through the key file, by
// the desktop-file validator, and by GIO, which launches it for real. The program records how it
// was called.
TEST(LoginItems, ProgramPathsSurviveTheEntryAndALauncher) {
    testing::TempHome home;
    testing::ScopedEnv config{"XDG_CONFIG_HOME", (home.path() / "config").string()};
    static constexpr const char* names[] = {
        "plain",       "with space", "quote\"d",        "dollar $HOME", "semi;colon",
        "back\\slash", "back`tick`", "per%cent %u",     "Zoë Ångström", "single 'quote'",
        "two  spaces", "trailing\\", "amp&ersand|pipe", "lead -dash",
    };
    const fs::path record = home.path() / "record";
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const fs::path folder = home.path() / name;
        const std::string program = (folder / "LumibayHelper").string();
        testing::writeFile(program, "#!/bin/sh\nprintf '%s\\n%s\\n' \"$0\" \"$#\" > \"$RECORD\"\n");
        fs::permissions(program, fs::perms::owner_all);
        const std::optional<std::vector<std::string>> command =
            LoginItems::commandOfExec(LoginItems::execLine(program));
        ASSERT_TRUE(command);
        const LoginItems items(program);
        EXPECT_TRUE(items.runsProgram(*command));

        ASSERT_TRUE(items.registerStartUpItem());
        ASSERT_EQ(items.entriesOfProgram().size(), 1u);
        const std::string entry = items.entriesOfProgram().front();

        QProcess validate;
        validate.start("desktop-file-validate", {QString::fromStdString(entry)});
        ASSERT_TRUE(validate.waitForStarted()) << "desktop-file-validate is needed";
        ASSERT_TRUE(validate.waitForFinished(60000));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();

        g_autoptr(GDesktopAppInfo) info = g_desktop_app_info_new_from_filename(entry.c_str());
        ASSERT_TRUE(info) << "GIO refuses the entry";
        g_autoptr(GAppLaunchContext) context = g_app_launch_context_new();
        g_app_launch_context_setenv(context, "RECORD", record.c_str());
        fs::remove(record);
        g_autoptr(GError) error = nullptr;
        ASSERT_TRUE(g_app_info_launch(G_APP_INFO(info), nullptr, context, &error))
            << error->message;
        // GIO starts the program and returns: wait for the second line of its record.
        testing::waitUntil([&] {
            return testing::readFile(record).find('\n', program.size() + 1) != std::string::npos;
        });
        EXPECT_EQ(testing::readFile(record), program + "\n0\n");

        ASSERT_TRUE(items.removeStartUpItem());
        EXPECT_TRUE(items.entriesOfProgram().empty());
    }
}

// No escape puts a control character into a desktop entry's command: such a path gets no entry,
// and Start says the login item could not be added.
TEST(LoginItems, APathWithAControlCharacterGetsNoEntry) {
    testing::TempHome home;
    testing::ScopedEnv config{"XDG_CONFIG_HOME", (home.path() / "config").string()};
    for (const char* name : {"tab\there", "line\nfeed", "delete\x7f"}) {
        SCOPED_TRACE(name);
        const LoginItems items((home.path() / name / "LumibayHelper").string());
        EXPECT_FALSE(items.registerStartUpItem());
        EXPECT_TRUE(fs::is_empty(home.path() / "config/autostart"));
    }
}

} // namespace
} // namespace tessaly
