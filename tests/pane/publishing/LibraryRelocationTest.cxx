#include "LibraryRelocation.hxx"

#include "FakeApplication.hxx"
#include "FinderScripts.hxx"
#include "TempHome.hxx"
#include "WorkspaceExtention.hxx"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using Notice = LibraryRelocation::Asker::Notice;

// Answers the sheets as the test says and records what was shown.
class ScriptedAsker : public LibraryRelocation::Asker {
public:
    bool answer = true;
    std::function<void()> beforeAnswering;
    std::vector<Notice> notices;
    int questions = 0;
    int waits = 0;
    std::uintmax_t lastDone = 0, lastTotal = 0;

    void showNotice(Notice notice) override { notices.push_back(notice); }
    bool askBeforeStart() override {
        ++questions;
        if (beforeAnswering) {
            beforeAnswering();
        }
        return answer;
    }
    void whileWaiting() override { ++waits; }
    void moveProgress(std::uintmax_t done, std::uintmax_t total) override {
        lastDone = done;
        lastTotal = total;
    }
};

enum class Item { none, directory, link, file, dangling };

void makeItem(const fs::path& at, Item item, const fs::path& home, const std::string& index) {
    switch (item) {
    case Item::none:
        break;
    case Item::directory:
        testing::writeFile(at / "AlbumData.xml", index);
        testing::writeFile(at / "Originals/2004/a.jpg", "jpeg of " + index);
        break;
    case Item::link:
        fs::create_directories(home / "elsewhere");
        fs::create_directories(at.parent_path());
        fs::create_symlink(home / "elsewhere", at);
        break;
    case Item::file:
        testing::writeFile(at, "an alias file");
        break;
    case Item::dangling:
        fs::create_directories(at.parent_path());
        fs::create_symlink(home / "gone", at);
        break;
    }
}

TEST(LibraryRelocation, ItemQueries) {
    testing::TempHome home;
    const fs::path pictures = LibraryRelocation::getiPhotoInPictureFolderPath();
    EXPECT_EQ(pictures, home.path() / "Pictures/iPhoto Library");
    EXPECT_EQ(fs::path(LibraryRelocation::getiPhotoInSiteFolderPath()),
              home.path() / "Sites/iPhoto Library");
    struct Case {
        const char* name;
        Item item;
        std::optional<std::string> type;
    };
    const Case cases[] = {
        {"nothing", Item::none, std::nullopt},
        {"folder", Item::directory, "NSFileTypeDirectory"},
        {"link to a folder", Item::link, "NSFileTypeSymbolicLink"},
        {"file", Item::file, "NSFileTypeRegular"},
        {"dangling link", Item::dangling, std::nullopt},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(home.path() / "Pictures");
        makeItem(pictures, row.item, home.path(), "x");
        EXPECT_EQ(LibraryRelocation::checkOriginalFolderConfiguration(), row.type);
    }
}

TEST(LibraryRelocation, NineLibraryStates) {
    struct Case {
        const char* name;
        Item pictures;
        Item sites;
        bool goOn;
        bool notFoundNotice;
        bool asked;
        bool moved;
        bool linkMade;
    };
    static constexpr Case cases[] = {
        {"none, none", Item::none, Item::none, false, true, false, false, false},
        {"none, directory", Item::none, Item::directory, true, false, false, false, true},
        {"none, other", Item::none, Item::file, false, true, false, false, false},
        {"directory, none", Item::directory, Item::none, true, false, true, true, true},
        {"directory, directory", Item::directory, Item::directory, false, false, false, false,
         false},
        {"directory, other", Item::directory, Item::file, false, true, false, false, false},
        {"other, none", Item::link, Item::none, true, false, false, false, false},
        {"other, directory", Item::file, Item::directory, true, false, false, false, false},
        {"other, other", Item::file, Item::file, false, true, false, false, false},
        // A link leading nowhere counts as nothing, but its name is never replaced.
        {"dangling, directory", Item::dangling, Item::directory, true, false, false, false, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        testing::TempHome home;
        const fs::path pictures = home.path() / "Pictures/iPhoto Library";
        const fs::path sites = home.path() / "Sites/iPhoto Library";
        fs::create_directories(home.path() / "Pictures");
        makeItem(pictures, row.pictures, home.path(), "pictures");
        makeItem(sites, row.sites, home.path(), "sites");
        ScriptedAsker asker;
        LibraryRelocation relocation(asker, "NoSuchPhotoApp-" + std::to_string(::getpid()));

        LibraryRelocation::Outcome outcome = relocation.prepareLibrary();
        EXPECT_EQ(outcome.goOn, row.goOn);
        EXPECT_FALSE(outcome.quitPhotoApplication);
        EXPECT_EQ(asker.notices, row.notFoundNotice ? std::vector<Notice>{Notice::iPhotoNotFound}
                                                    : std::vector<Notice>{});
        EXPECT_EQ(asker.questions, row.asked ? 1 : 0);
        if (row.moved) {
            EXPECT_EQ(testing::readFile(sites / "AlbumData.xml"), "pictures");
            EXPECT_EQ(testing::readFile(sites / "Originals/2004/a.jpg"), "jpeg of pictures");
        }
        EXPECT_EQ(fs::is_symlink(pictures) && fs::read_symlink(pictures) == sites, row.linkMade);
        if (row.pictures == Item::directory && !row.moved) {
            EXPECT_EQ(testing::readFile(pictures / "AlbumData.xml"), "pictures");
        }
        if (row.sites == Item::directory) {
            EXPECT_EQ(testing::readFile(sites / "AlbumData.xml"), "sites");
        }
    }
}

class PhotoApplicationTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::FakeApplications apps{home.path()};
    fs::path pictures = home.path() / "Pictures/iPhoto Library";
    fs::path sites = home.path() / "Sites/iPhoto Library";
    ScriptedAsker asker;

    void SetUp() override {
        makeItem(pictures, Item::directory, home.path(), "pictures");
        apps.addOnPath("iPhoto");
        apps.addDesktopEntry("iPhoto", "Exec=iPhoto\n");
        ASSERT_TRUE(FinderScripts::OpenApplication("iPhoto.app"));
        ASSERT_TRUE(apps.waitUntilRunning("iPhoto", true));
        asker.beforeAnswering = [this] {
            stillRunningWhenAsked = NSWorkspaceExtention::checkApplicationIsRunning("iPhoto");
        };
    }
    bool stillRunningWhenAsked = true;
};

TEST_F(PhotoApplicationTest, QuitWaitedForAndOpenedAgainAfterTheMove) {
    LibraryRelocation relocation(asker);
    LibraryRelocation::Outcome outcome = relocation.prepareLibrary();
    EXPECT_TRUE(outcome.goOn);
    EXPECT_TRUE(outcome.quitPhotoApplication);
    EXPECT_EQ(asker.questions, 1);
    EXPECT_FALSE(stillRunningWhenAsked);
    EXPECT_EQ(testing::readFile(sites / "AlbumData.xml"), "pictures");
    EXPECT_EQ(fs::read_symlink(pictures), sites);

    EXPECT_FALSE(NSWorkspaceExtention::checkApplicationIsRunning("iPhoto"));
    relocation.reopenPhotoApplication();
    EXPECT_TRUE(apps.waitUntilRunning("iPhoto", true));
}

TEST_F(PhotoApplicationTest, CancelOpensItAgainAndMovesNothing) {
    asker.answer = false;
    LibraryRelocation relocation(asker);
    LibraryRelocation::Outcome outcome = relocation.prepareLibrary();
    EXPECT_FALSE(outcome.goOn);
    EXPECT_FALSE(stillRunningWhenAsked);
    EXPECT_TRUE(apps.waitUntilRunning("iPhoto", true));
    EXPECT_EQ(testing::readFile(pictures / "AlbumData.xml"), "pictures");
    EXPECT_FALSE(fs::exists(fs::symlink_status(sites)));
}

// An application that ignores the request to quit: the start ends after the wait, and nothing
// moves under it.
TEST(LibraryRelocation, PhotoApplicationThatDoesNotQuit) {
    testing::TempHome home;
    testing::FakeApplications apps(home.path());
    const std::string name = "StubbornPhoto";
    fs::path program = home.path() / "fake bin" / name;
    // It says when its trap is set: a request to end that came before would still end it.
    testing::writeFile(program,
                       "#!/bin/sh\ntrap '' TERM\n: > \"$0.ready\"\nwhile :; do sleep 0.1; done\n");
    fs::permissions(program, fs::perms::owner_all);
    ASSERT_TRUE(FinderScripts::OpenApplication(name));
    ASSERT_TRUE(testing::waitUntil([&] { return fs::exists(program.string() + ".ready"); }));
    const fs::path pictures = home.path() / "Pictures/iPhoto Library";
    makeItem(pictures, Item::directory, home.path(), "pictures");

    ScriptedAsker asker;
    LibraryRelocation relocation(asker, name, std::chrono::milliseconds(600));
    EXPECT_FALSE(relocation.prepareLibrary().goOn);
    EXPECT_EQ(asker.notices, std::vector<Notice>{Notice::photoApplicationStillRuns});
    EXPECT_EQ(asker.questions, 0);
    EXPECT_GT(asker.waits, 0);
    EXPECT_EQ(testing::readFile(pictures / "AlbumData.xml"), "pictures");
    for (pid_t pid : NSWorkspaceExtention::processesOfApplication(name)) {
        ::kill(pid, SIGKILL);
    }
}

// The target's name is taken while the question is open: the move fails and loses nothing,
// whether it renames or copies.
TEST(LibraryRelocation, MoveThatCannotBeDoneLosesNothing) {
    for (auto way : {LibraryMover::Way::renameWherePossible, LibraryMover::Way::alwaysCopy}) {
        SCOPED_TRACE(way == LibraryMover::Way::alwaysCopy ? "copy" : "rename");
        testing::TempHome home;
        const fs::path pictures = home.path() / "Pictures/iPhoto Library";
        const fs::path sites = home.path() / "Sites/iPhoto Library";
        makeItem(pictures, Item::directory, home.path(), "pictures");
        ScriptedAsker asker;
        asker.beforeAnswering = [&] { fs::create_directories(sites); };
        LibraryRelocation relocation(asker, "NoSuchPhotoApp-" + std::to_string(::getpid()));
        relocation.setMoveWay(way);

        EXPECT_FALSE(relocation.prepareLibrary().goOn);
        EXPECT_EQ(asker.notices, std::vector<Notice>{Notice::libraryNotMoved});
        EXPECT_EQ(testing::readFile(pictures / "AlbumData.xml"), "pictures");
        EXPECT_EQ(testing::readFile(pictures / "Originals/2004/a.jpg"), "jpeg of pictures");
        EXPECT_TRUE(fs::is_empty(sites));
        EXPECT_EQ(
            std::distance(fs::directory_iterator(home.path() / "Sites"), fs::directory_iterator()),
            1);
    }
}

// Across file systems the library is copied, checked and only then removed.
TEST(LibraryMover, CopiesAcrossFileSystems) {
    testing::TempHome home;
    std::string pattern = "/dev/shm/tessaly-sites-XXXXXX";
    if (!fs::is_directory("/dev/shm") || !::mkdtemp(pattern.data())) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const fs::path otherDisk = pattern;
    struct stat a {
    }, b{};
    ::stat(home.path().c_str(), &a);
    ::stat(otherDisk.c_str(), &b);
    if (a.st_dev == b.st_dev) {
        fs::remove_all(otherDisk);
        GTEST_SKIP() << "/dev/shm is on the same file system";
    }
    fs::create_symlink(otherDisk, home.path() / "Sites");
    const fs::path pictures = home.path() / "Pictures/iPhoto Library";
    makeItem(pictures, Item::directory, home.path(), "pictures");
    fs::create_symlink("Originals/2004/a.jpg", pictures / "latest");
    testing::writeFile(pictures / "Data/big.bin", std::string(3 << 20, 'p'));

    ScriptedAsker asker;
    LibraryRelocation relocation(asker, "NoSuchPhotoApp-" + std::to_string(::getpid()));
    EXPECT_TRUE(relocation.prepareLibrary().goOn);
    const fs::path sites = otherDisk / "iPhoto Library";
    EXPECT_EQ(testing::readFile(sites / "Originals/2004/a.jpg"), "jpeg of pictures");
    EXPECT_EQ(testing::readFile(sites / "Data/big.bin"), std::string(3 << 20, 'p'));
    EXPECT_EQ(fs::read_symlink(sites / "latest"), "Originals/2004/a.jpg");
    EXPECT_EQ(asker.lastTotal, asker.lastDone);
    EXPECT_GT(asker.lastTotal, std::uintmax_t(3 << 20));
    EXPECT_EQ(fs::read_symlink(pictures), home.path() / "Sites/iPhoto Library");
    EXPECT_EQ(std::distance(fs::directory_iterator(otherDisk), fs::directory_iterator()), 1);
    fs::remove_all(otherDisk);
}

// Something the copy cannot carry (here a named pipe): the copy is dropped, the original stays.
TEST(LibraryMover, FailedCopyKeepsTheOriginal) {
    testing::TempHome home;
    const fs::path from = home.path() / "Pictures/iPhoto Library";
    const fs::path to = home.path() / "Sites/iPhoto Library";
    makeItem(from, Item::directory, home.path(), "pictures");
    ASSERT_EQ(::mkfifo((from / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(LibraryMover::movePath(from, to, {}, LibraryMover::Way::alwaysCopy));
    EXPECT_EQ(testing::readFile(from / "Originals/2004/a.jpg"), "jpeg of pictures");
    EXPECT_TRUE(fs::is_fifo(from / "pipe"));
    EXPECT_TRUE(fs::is_empty(home.path() / "Sites"));
}

} // namespace
} // namespace tessaly
