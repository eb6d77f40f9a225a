// The library's move on real file systems: a second disk as ~/Sites, a normal user, a kill at
// every point of a move, a full disk, files that cannot be removed. Every file of the library is
// compared before and after: content, mode, times, links, extended attributes.
#include "LibraryMover.hxx"

#include "OtherDisk.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <csignal>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace tessaly {
namespace {

using namespace testing;
using LibraryMover::Result;
using LibraryMover::Step;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// A child's exit code for a move's result; what went wrong is written where the test's log
// shows it.
int moveResult(const LibraryMover::Outcome& outcome) {
    if (!outcome.why.empty()) {
        std::fprintf(stderr, "move: %s: %s\n", outcome.where.c_str(), outcome.why.c_str());
    }
    return static_cast<int>(outcome.result);
}

void setTimes(const fs::path& path, std::int64_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 123456789}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// A small library with everything a careless copy loses: a 0666 file, a read-only folder, a
// hard link, a sparse file, links in and out of the library, an extended attribute, old times
// on files and folders.
void makeLibrary(const fs::path& root) {
    writeFile(root / "AlbumData.xml", "<plist/>");
    writeFile(root / "Originals/2004/a.jpg", "jpeg a");
    ::chmod((root / "Originals/2004/a.jpg").c_str(), 0666);
    ::setxattr((root / "Originals/2004/a.jpg").c_str(), "user.comment", "harbour", 7, 0);
    fs::create_directories(root / "Data");
    fs::create_hard_link(root / "Originals/2004/a.jpg", root / "Data/same-as-a.jpg");
    {
        int fd = ::open((root / "Data/sparse.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 16 << 20), 0);
        ASSERT_EQ(::pwrite(fd, "data", 4, 1 << 20), 4);
        ::close(fd);
    }
    fs::create_symlink("Originals/2004/a.jpg", root / "latest");
    fs::create_symlink("/nowhere/at/all", root / "Data/broken");
    writeFile(root / "Locked/b.jpg", "jpeg b");
    std::int64_t when = 1100000000;
    for (const char* item : {"Originals/2004/a.jpg", "Locked/b.jpg", "Data/sparse.bin", "latest",
                             "Originals/2004", "Originals", "Data", "Locked", "."}) {
        setTimes(root / item, when += 1000);
    }
    ::chmod((root / "Locked").c_str(), 0555);
}

bool keepsUserAttributes(const fs::path& disk) {
    const fs::path probe = disk / ".probe";
    writeFile(probe, "");
    const bool kept = ::setxattr(probe.c_str(), "user.comment", "x", 1, 0) == 0;
    fs::remove(probe);
    return kept;
}

// Hidden names a move uses; none may stay after a move or a recovery.
std::vector<std::string> hiddenNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".iPhoto Library")) {
            names.push_back(name);
        }
    }
    return names;
}

// A home whose ~/Sites is a fresh tmpfs, and a library in ~/Pictures; both handed to `owner`.
class MoveTest : public ::testing::Test {
protected:
    // Each row of a table starts afresh.
    void prepare(uid_t owner, const std::string& size = "96m") {
        std::error_code error;
        fs::remove_all(home.path() / "Pictures", error);
        // A link to the last row's disk, or a plain folder (remove_all does not follow links).
        fs::remove_all(home.path() / "Sites", error);
        disk.reset();
        disk = std::make_unique<OtherDisk>(size, owner);
        if (!disk->mounted()) {
            GTEST_SKIP() << "mounting a tmpfs needs root";
        }
        fs::create_symlink(disk->path(), home.path() / "Sites");
        makeLibrary(from);
        giveTo(home.path(), owner);
        before = recordTree(from, keepsUserAttributes(disk->path()));
    }
    TreeRecord recordAt(const fs::path& root) const {
        return recordTree(root, keepsUserAttributes(disk->path()));
    }

    TempHome home;
    std::unique_ptr<OtherDisk> disk;
    fs::path from = home.path() / "Pictures/iPhoto Library";
    fs::path to = home.path() / "Sites/iPhoto Library";
    TreeRecord before;
};

TEST_F(MoveTest, CopyAcrossDisksKeepsEverything) {
    struct Case {
        const char* name;
        uid_t user;
    };
    for (const Case& row : {Case{"as root", 0}, Case{"as a normal user", kNobody}}) {
        SCOPED_TRACE(row.name);
        prepare(row.user);
        if (IsSkipped()) {
            return;
        }
        const int result = inChild(
            [&] {
                LibraryMover::Options options;
                options.progress = [&](std::uintmax_t done, std::uintmax_t total) {
                    if (done > total) {
                        ::_exit(100);
                    }
                };
                return moveResult(LibraryMover::movePath(from, to, options));
            },
            row.user);
        ASSERT_EQ(result, static_cast<int>(Result::moved));
        EXPECT_EQ(recordAt(to), before);
        EXPECT_EQ(fs::read_symlink(from), to);
        struct stat sparse {};
        ASSERT_EQ(::stat((to / "Data/sparse.bin").c_str(), &sparse), 0);
        EXPECT_LT(sparse.st_blocks * 512, 1 << 20) << "the sparse file was filled in";
        EXPECT_TRUE(hiddenNames(home.path() / "Pictures").empty());
        EXPECT_TRUE(hiddenNames(disk->path()).empty());
    }
}

// Relative links that lead out of the library would lead elsewhere from ~/Sites: they get the
// absolute path of the same target, whether the library is renamed or copied, also inside a
// read-only folder. Links within the library, and absolute ones, keep their text; nothing else
// of the library changes.
TEST_F(MoveTest, LinksLeavingTheLibraryKeepTheirTargets) {
    struct Link {
        const char* at;     // below the library
        const char* target; // as written
        const char* leads;  // below the home folder, where it leads; none when it stays as written
    };
    static constexpr Link kLinks[] = {
        {"beside", "../beside.jpg", "Pictures/beside.jpg"},
        {"Originals/2004/far", "../../../../Elsewhere/x.jpg", "Elsewhere/x.jpg"},
        {"Locked/out", "./../../../Elsewhere/x.jpg", "Elsewhere/x.jpg"},
        {"gone", "../nothing here.jpg", "Pictures/nothing here.jpg"},
        {"Data/inside", "../Originals/2004/a.jpg", nullptr},
        {"Data/absolute", "/nowhere/at/all", nullptr},
    };
    struct Way {
        const char* name;
        bool otherDisk;
        uid_t user;
    };
    static constexpr Way kWays[] = {
        {"renamed on one disk", false, 0},
        {"renamed by a normal user", false, kNobody},
        {"copied to another disk", true, 0},
        {"copied by a normal user", true, kNobody},
    };
    for (const Way& way : kWays) {
        SCOPED_TRACE(way.name);
        prepare(way.user);
        if (IsSkipped()) {
            return;
        }
        if (!way.otherDisk) {
            fs::remove(home.path() / "Sites");
            fs::create_directory(home.path() / "Sites");
        }
        writeFile(home.path() / "Elsewhere/x.jpg", "outside");
        writeFile(home.path() / "Pictures/beside.jpg", "beside");
        ::chmod((from / "Locked").c_str(), 0755);
        for (const Link& link : kLinks) {
            fs::create_symlink(link.target, from / link.at);
        }
        ::chmod((from / "Locked").c_str(), 0555);
        giveTo(home.path(), way.user);
        const fs::path realHome = fs::canonical(home.path());
        TreeRecord expected = recordAt(from);
        std::map<std::string, fs::path> ledTo;
        for (const Link& link : kLinks) {
            if (link.leads) {
                expected[link.at].linkTarget = (realHome / link.leads).string();
            }
            std::error_code error;
            ledTo[link.at] = fs::canonical(from / link.at, error);
        }

        const int result =
            inChild([&] { return moveResult(LibraryMover::movePath(from, to)); }, way.user);
        ASSERT_EQ(result, static_cast<int>(Result::moved));
        EXPECT_EQ(recordAt(to), expected);
        // The same files as before: outside the library where they were, inside it moved along.
        for (const Link& link : kLinks) {
            SCOPED_TRACE(link.at);
            std::error_code error;
            if (link.leads && !ledTo[link.at].empty()) {
                EXPECT_EQ(fs::canonical(to / link.at, error), ledTo[link.at]);
            }
        }
        EXPECT_EQ(readFile(to / "Data/inside"), "jpeg a");
        EXPECT_TRUE(hiddenNames(home.path() / "Pictures").empty());
    }
}

// A link leading out of the library in a folder the user may not change: renamed, the library
// would lose that link's target, so it stays where it was, its links as they were.
TEST_F(MoveTest, ALinkThatCannotBeChangedKeepsTheLibraryWhereItWas) {
    prepare(kNobody);
    if (IsSkipped()) {
        return;
    }
    fs::remove(home.path() / "Sites");
    fs::create_directory(home.path() / "Sites");
    fs::create_symlink("../beside.jpg", from / "beside");
    fs::create_directories(from / "z-root");
    fs::create_symlink("../../beside.jpg", from / "z-root/out");
    giveTo(home.path(), kNobody);
    giveTo(from / "z-root", 0);
    before = recordAt(from);
    const int result =
        inChild([&] { return moveResult(LibraryMover::movePath(from, to)); }, kNobody);
    EXPECT_EQ(result, static_cast<int>(Result::failed));
    EXPECT_EQ(recordAt(from), before);
    EXPECT_FALSE(fs::exists(fs::symlink_status(to)));
    EXPECT_TRUE(hiddenNames(home.path() / "Pictures").empty());
}

// Killed at each point of a move: the library's name leads to the whole library at that very
// moment, the copy in progress is private, and the next start's recovery leaves the library
// whole in one place with nothing hidden beside it.
TEST_F(MoveTest, KilledAtEveryPointAndRecovered) {
    struct Case {
        const char* name;
        Step step;
        int nth;
        bool finished; // after the recovery: moved, or back where it was
    };
    static constexpr Case cases[] = {
        {"during the copy", Step::copying, 1, false},
        {"copy checked", Step::copied, 1, false},
        {"copy under the target's name", Step::placed, 1, false},
        {"names traded", Step::swapped, 1, true},
        {"removing the original", Step::removedEntry, 3, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        prepare(0);
        if (IsSkipped()) {
            return;
        }
        // The copier dies with the killed mover; it must be gone before the recovery looks.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        const int ended = inChild([&] {
            int seen = 0;
            LibraryMover::Options options;
            options.reached = [&](Step step) {
                if (step == row.step && ++seen == row.nth) {
                    ::raise(SIGKILL);
                }
            };
            return moveResult(LibraryMover::movePath(from, to, options));
        });
        while (::waitpid(-1, nullptr, 0) > 0) {
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        ASSERT_EQ(ended, 128 + SIGKILL);

        EXPECT_EQ(recordAt(from), before) << "the library's name leads to a partial library";
        for (const std::string& name : hiddenNames(disk->path())) {
            struct stat info {};
            ASSERT_EQ(::lstat((disk->path() / name).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0700u) << name;
        }

        EXPECT_TRUE(LibraryMover::recoverInterruptedMoves(to).empty());
        EXPECT_TRUE(hiddenNames(home.path() / "Pictures").empty());
        EXPECT_TRUE(hiddenNames(disk->path()).empty());
        if (row.finished) {
            EXPECT_EQ(fs::read_symlink(from), to);
            EXPECT_EQ(recordAt(to), before);
        } else {
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(from)));
            EXPECT_EQ(recordAt(from), before);
            EXPECT_FALSE(fs::exists(fs::symlink_status(to)));
        }
    }
}

void setImmutable(const fs::path& path, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}

void clearImmutable(const fs::path& root) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error)) {
            setImmutable(it->path(), false);
        }
    }
}

// Clears the immutable flags below a folder however the test ends, so the temporary home can
// always be removed.
struct ImmutableGuard {
    fs::path root;
    ~ImmutableGuard() { clearImmutable(root); }
};

// What cannot be removed of the original stays hidden beside the link, and is named; the
// library is whole at its new place. What cannot be read ends the move with nothing changed.
TEST_F(MoveTest, WhatCannotBeRemovedOrReadStaysAndIsNamed) {
    struct Case {
        const char* name;
        uid_t user;
        void (*spoil)(const fs::path& library);
        Result result;
    };
    static const Case cases[] = {
        {"an immutable file", 0,
         [](const fs::path& library) {
             writeFile(library / "Kept/c.jpg", "jpeg c");
             setImmutable(library / "Kept/c.jpg", true);
         },
         Result::movedWithLeftover},
        {"another user's folder", kNobody,
         [](const fs::path& library) {
             writeFile(library / "Imported/d.jpg", "jpeg d");
             giveTo(library / "Imported", 0);
         },
         Result::movedWithLeftover},
        {"a file the user may not read", kNobody,
         [](const fs::path& library) {
             writeFile(library / "Secret/e.jpg", "jpeg e");
             giveTo(library / "Secret", 0);
             ::chmod((library / "Secret/e.jpg").c_str(), 0600);
         },
         Result::failed},
    };
    ImmutableGuard guard{home.path()};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        clearImmutable(home.path());
        prepare(row.user);
        if (IsSkipped()) {
            return;
        }
        row.spoil(from);
        // A normal user's copy of a folder that is not theirs is theirs: owners are not compared.
        auto withoutOwners = [](TreeRecord tree) {
            for (auto& [name, item] : tree) {
                item.owner = 0;
            }
            return tree;
        };
        before = withoutOwners(recordAt(from));
        const int result =
            inChild([&] { return moveResult(LibraryMover::movePath(from, to)); }, row.user);
        ASSERT_EQ(result, static_cast<int>(row.result));
        if (row.result == Result::failed) {
            EXPECT_EQ(withoutOwners(recordAt(from)), before);
            EXPECT_FALSE(fs::exists(fs::symlink_status(to)));
        } else {
            EXPECT_EQ(withoutOwners(recordAt(to)), before);
            EXPECT_EQ(fs::read_symlink(from), to);
            const std::vector<std::string> aside = hiddenNames(home.path() / "Pictures");
            ASSERT_EQ(aside.size(), 1u);
            // Only what could not go is left.
            EXPECT_EQ(recordTree(home.path() / "Pictures" / aside[0]).size(), 3u);
        }
        EXPECT_TRUE(hiddenNames(disk->path()).empty());
    }
}

// Moves that must not start: each ends before anything changes, and says why.
TEST_F(MoveTest, MovesThatCannotStartChangeNothing) {
    struct Case {
        const char* name;
        const char* size;
        void (*spoil)(const fs::path& home, const fs::path& library);
        Result result;
        const char* where; // relative to the home
    };
    static const Case cases[] = {
        {"a disk too small", "256k",
         [](const fs::path&, const fs::path& library) {
             writeFile(library / "big.jpg", std::string(1 << 20, 'b'));
         },
         Result::noSpace, "Sites"},
        {"a named pipe", "4m",
         [](const fs::path&, const fs::path& library) {
             ::mkfifo((library / "Data/pipe").c_str(), 0600);
         },
         Result::specialFile, "Pictures/iPhoto Library/Data/pipe"},
        {"a socket", "4m",
         [](const fs::path&, const fs::path& library) {
             int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string path = (library / "Data/socket").string();
             path.copy(address.sun_path, sizeof address.sun_path - 1);
             ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
             ::close(fd);
         },
         Result::specialFile, "Pictures/iPhoto Library/Data/socket"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        prepare(0, row.size);
        if (IsSkipped()) {
            return;
        }
        row.spoil(home.path(), from);
        before = recordAt(from);
        const LibraryMover::Outcome outcome = LibraryMover::movePath(from, to);
        EXPECT_EQ(outcome.result, row.result);
        EXPECT_EQ(outcome.where, home.path() / row.where);
        if (row.result == Result::noSpace) {
            EXPECT_GE(outcome.needed, std::uintmax_t(1) << 20);
            EXPECT_LT(outcome.available, outcome.needed);
        }
        EXPECT_EQ(recordAt(from), before);
        EXPECT_TRUE(fs::is_empty(disk->path()));
    }
}

// ~/Sites inside the library, through a link or a mount: copying the library into itself and
// then removing it would lose it.
TEST(LibraryMover, RefusesToMoveALibraryIntoItself) {
    struct Case {
        const char* name;
        bool mount;
    };
    for (const Case& row : {Case{"through a link", false}, Case{"through a mount", true}}) {
        SCOPED_TRACE(row.name);
        TempHome home;
        const fs::path from = home.path() / "Pictures/iPhoto Library";
        makeLibrary(from);
        fs::create_directories(from / "Web");
        const fs::path sites = home.path() / "Sites";
        if (row.mount) {
            fs::create_directories(sites);
            if (::geteuid() != 0 ||
                ::mount((from / "Web").c_str(), sites.c_str(), nullptr, MS_BIND, nullptr) != 0) {
                GTEST_SKIP() << "a bind mount needs root";
            }
        } else {
            fs::create_symlink(from / "Web", sites);
        }
        const TreeRecord before = recordTree(from);
        for (auto way : {LibraryMover::Way::renameWherePossible, LibraryMover::Way::alwaysCopy}) {
            LibraryMover::Options options;
            options.way = way;
            EXPECT_EQ(LibraryMover::movePath(from, sites / "iPhoto Library", options).result,
                      Result::insideItself);
        }
        if (row.mount) {
            ::umount2(sites.c_str(), MNT_DETACH);
        }
        EXPECT_EQ(recordTree(from), before);
    }
}

// A window closing during the copy stops it: the copy goes, the original stays as it was.
TEST_F(MoveTest, StopDuringTheCopyChangesNothing) {
    prepare(0);
    if (IsSkipped()) {
        return;
    }
    LibraryMover::Options options;
    options.stopRequested = [] { return true; };
    EXPECT_EQ(LibraryMover::movePath(from, to, options).result, Result::stopped);
    EXPECT_EQ(recordAt(from), before);
    EXPECT_TRUE(fs::is_empty(disk->path()));
}

// What older starts left: a copy without a journal, and the link a same-disk move puts at the
// target's name for an instant. Both go; a library folder of the user's beside them stays.
TEST(LibraryMover, RecoveryClearsWhatACutShortStartLeft) {
    TempHome home;
    const fs::path to = home.path() / "Sites/iPhoto Library";
    writeFile(home.path() / "Sites/.iPhoto Library.moving-abc123/AlbumData.xml", "half");
    writeFile(home.path() / "Sites/.iPhoto Library.photos/AlbumData.xml", "the user's");
    fs::create_symlink(to, to);
    EXPECT_TRUE(LibraryMover::recoverInterruptedMoves(to).empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(to)));
    EXPECT_EQ(hiddenNames(home.path() / "Sites"),
              std::vector<std::string>{".iPhoto Library.photos"});
}

} // namespace
} // namespace tessaly
