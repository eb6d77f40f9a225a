// The build and the closing of the site, driven in-process through the controller: nothing is
// written outside the site, a failed build leaves the previous site whole and says why once, and
// the monitor asks for a build only when there is something new to publish.
#include "CapturedLog.hxx"
#include "Constants.hxx"
#include "IndexXml.hxx"
#include "LumibayControler.hxx"
#include "SitePageBuilder.hxx"
#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef HELPER_RESOURCES
#error HELPER_RESOURCES names the resource folder of the helper
#endif

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Every entry under a folder, links not followed: a file by its bytes, a link by its target.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(root, error))) {
        return entries;
    }
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path relative = fs::relative(it->path(), root);
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            entries[relative] = "link to " + fs::read_symlink(it->path()).string();
        } else if (fs::is_directory(status)) {
            entries[relative.string() + "/"] = "";
        } else {
            entries[relative] = readFile(it->path());
        }
    }
    return entries;
}

class Publish : public ::testing::Test {
public:
    void SetUp() override {
        writeSettings();
        writeIndex();
    }

    void writeSettings(const std::string& more = "") {
        writeFile(home_.settingsFile(),
                  plistDocument("<key>Active_Flag_Key</key><true/>\n"
                                "<key>Check_Interval_Key</key><real>0</real>\n" +
                                more));
    }
    // Albums at places 3 to 3 + count - 1, each with one picture whose caption is `caption`.
    void writeIndex(int albums = 1, const std::string& caption = "Boats") {
        const fs::path library = home_.libraryFolder();
        std::vector<std::string> list = libraryStart();
        for (int i = 0; i < albums; ++i) {
            list.push_back(albumXml("Album " + std::to_string(i), {"100"}));
        }
        writeFile(home_.indexFile(),
                  plistDocument(
                      albumListXml(list) + "<key>Master Image List</key><dict>\n" +
                      pictureXml("100", keyString("ThumbPath", (library / "t.jpg").string()) +
                                            keyString("ImagePath", (library / "i.jpg").string()) +
                                            keyString("Caption", caption)) +
                      "</dict>\n"));
    }
    std::unique_ptr<LumibayControler> controller(const std::string& resources = HELPER_RESOURCES) {
        auto made = std::make_unique<LumibayControler>(Bundle(resources));
        made->loadSettings();
        return made;
    }
    // Builds with a controller of its own and answers the lines it logged.
    std::vector<std::string> build(LumibayControler& controller) {
        CapturedLog log(home_.path() / "build.log");
        controller.buildSite();
        return log.lines();
    }

    fs::path site() const { return home_.siteFolder(); }
    fs::path topPage() const { return site() / "Tessaly.html"; }
    fs::path contents() const { return site() / "Contents"; }
    fs::path documents() const { return home_.path() / "Documents"; }

    void dateIndexInTheFuture() {
        timespec future{};
        ::clock_gettime(CLOCK_REALTIME, &future);
        future.tv_sec += 3600 * 24 * 365;
        const timespec times[2] = {future, future};
        ::utimensat(AT_FDCWD, home_.indexFile().c_str(), times, 0);
    }

    // A site as a build leaves it: the user's own file, the top page, and exactly the pages.
    void expectPublished(int albums = 1) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(topPage())));
        EXPECT_NE(readFile(topPage()).find("menu.html"), std::string::npos);
        ASSERT_TRUE(fs::is_directory(fs::symlink_status(contents())));
        std::set<std::string> expected{"Contents/", "Contents/menu.html", "Tessaly.html",
                                       "mine.txt"};
        for (int i = 0; i < albums; ++i) {
            expected.insert("Contents/" + std::to_string(3 + i) + ".html");
        }
        std::set<std::string> found;
        for (const auto& [name, bytes] : snapshot(site())) {
            found.insert(name);
        }
        EXPECT_EQ(found, expected);
        EXPECT_NE(readFile(contents() / "3.html").find("Album 0"), std::string::npos);
        EXPECT_NE(readFile(contents() / "menu.html").find("3.html"), std::string::npos);
        EXPECT_EQ(readFile(site() / "mine.txt"), "the user's own");
    }

    // Documents the user keeps outside the site, which no link may lead the helper into.
    void writeDocuments() {
        writeFile(documents() / "precious.txt", "precious words\n");
        writeFile(documents() / "menu.html", "the user's menu");
        writeFile(documents() / "3.html/letter.txt", "a folder of the user's at a page's name");
    }

    TempHome home_;
};

// --- never outside the site ---------------------------------------------------------------------

TEST_F(Publish, LinksInTheSiteAreReplacedNeverFollowed) {
    enum class Link { AlbumPage, Contents, TopPage, ContentsDuringBuild };
    struct Row {
        const char* name;
        Link link;
    };
    static constexpr Row kRows[] = {
        {"a link at an album page's name", Link::AlbumPage},
        {"Contents a link to a folder outside", Link::Contents},
        {"a link at the top page's name", Link::TopPage},
        {"Contents replaced by a link while the pages are written", Link::ContentsDuringBuild},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(site());
        fs::remove_all(documents());
        writeDocuments();
        writeFile(site() / "mine.txt", "the user's own");
        // Left behind by a build that was cut short.
        writeFile(site() / ".Contents.new-AbCd1234/3.html", "stale");
        writeFile(site() / ".Tessaly.html.new-AbCd1234", "stale");
        fs::create_directories(contents());
        switch (row.link) {
        case Link::AlbumPage:
            fs::create_symlink(documents() / "precious.txt", contents() / "3.html");
            break;
        case Link::Contents:
            fs::remove(contents());
            fs::create_directory_symlink(documents(), contents());
            break;
        case Link::TopPage:
            fs::create_symlink(documents() / "precious.txt", topPage());
            break;
        case Link::ContentsDuringBuild:
            break;
        }
        const auto outside = snapshot(documents());

        auto helper = controller();
        if (row.link == Link::ContentsDuringBuild) {
            helper->setAlbumPageProducer([&](const SitePageBuilder& builder,
                                             const AlbumRecord& album, const LibraryIndex& index,
                                             std::string_view head, std::string_view tail,
                                             const sitefiles::PageSink& out) {
                fs::remove_all(contents());
                fs::create_directory_symlink(documents(), contents());
                return out(builder.makeAlbumPage(album, index, head, tail));
            });
        }
        EXPECT_TRUE(build(*helper).empty());
        EXPECT_EQ(snapshot(documents()), outside);
        expectPublished();

        // Closing goes through the same links untouched.
        fs::remove_all(contents());
        fs::create_directory_symlink(documents(), contents());
        helper->closeSite();
        EXPECT_EQ(snapshot(documents()), outside);
        EXPECT_FALSE(fs::exists(fs::symlink_status(contents())));
        EXPECT_NE(readFile(topPage()).find("This photo site is closed."), std::string::npos);
        EXPECT_EQ(readFile(site() / "mine.txt"), "the user's own");
    }
}

// --- a failed build leaves the previous site whole ----------------------------------------------

TEST_F(Publish, AFailingAlbumPageLeavesThePreviousSiteAndLogsOnce) {
    struct Row {
        const char* name;
        void (*fail)();
    };
    static constexpr Row kRows[] = {
        {"out of memory", [] { throw std::bad_alloc(); }},
        {"any other exception", [] { throw std::runtime_error("broken page"); }},
        {"the page refused, as a failed write does", nullptr},
    };
    writeIndex(6);
    writeFile(site() / "mine.txt", "the user's own");
    ASSERT_TRUE(build(*controller()).empty());
    const auto before = snapshot(site());
    writeIndex(6, "A new caption");
    dateIndexInTheFuture();
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        auto helper = controller();
        helper->setAlbumPageProducer([&](const SitePageBuilder& builder, const AlbumRecord& album,
                                         const LibraryIndex& index, std::string_view head,
                                         std::string_view tail, const sitefiles::PageSink& out) {
            if (album.name && *album.name == "Album 4") {
                if (row.fail) {
                    row.fail();
                }
                return false;
            }
            return out(builder.makeAlbumPage(album, index, head, tail));
        });
        const std::vector<std::string> log = build(*helper);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("Site not published"), std::string::npos) << log[0];
        EXPECT_EQ(snapshot(site()), before);
        // Not tried again at once, though the index is newer than the site.
        EXPECT_FALSE(helper->checkUpdate());
    }
}

TEST_F(Publish, AFullDiskLeavesThePreviousSiteAndTheBuildIsTriedAgainLater) {
    writeFile(site() / "mine.txt", "the user's own");
    auto helper = controller();
    ASSERT_TRUE(build(*helper).empty());
    const auto before = snapshot(site());

    // A page larger than the files this process may write: the kernel's own EFBIG, part way into
    // the page, as a full disk gives ENOSPC.
    writeIndex(1, std::string(20000, 'x'));
    dateIndexInTheFuture();
    std::vector<std::string> log;
    {
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 8192;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        log = build(*helper);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("File too large"), std::string::npos) << log[0];
    EXPECT_EQ(snapshot(site()), before);

    // Not at every check, but again after a while; then the new site is published.
    EXPECT_FALSE(helper->checkUpdate());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!helper->checkUpdate() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(helper->checkUpdate());
    EXPECT_TRUE(build(*helper).empty());
    EXPECT_NE(readFile(contents() / "3.html").find(std::string(20000, 'x')), std::string::npos);
    EXPECT_FALSE(helper->checkUpdate());
}

// Permission checks do not bind root, so as root the build runs in a child under another user.
TEST_F(Publish, AReadOnlySiteFolderLeavesThePreviousSite) {
    writeFile(site() / "mine.txt", "the user's own");
    ASSERT_TRUE(build(*controller()).empty());
    const auto before = snapshot(site());
    writeIndex(2);
    dateIndexInTheFuture();
    fs::permissions(site(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const fs::path logFile = home_.path() / "child.log";
    std::vector<std::string> log;
    if (::geteuid() != 0) {
        auto helper = controller();
        log = build(*helper);
        EXPECT_FALSE(helper->checkUpdate());
    } else {
        // The child needs to read the settings, the index and the templates; the templates are
        // copied into the home, as the checkout may lie in a folder only its owner can enter.
        fs::permissions(home_.path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        const fs::path resources = home_.path() / "HelperResources";
        fs::copy(HELPER_RESOURCES, resources, fs::copy_options::recursive);
        const int logFd = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(logFd, 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(77);
            }
            ::dup2(logFd, STDERR_FILENO);
            auto helper = controller(resources.string());
            helper->buildSite();
            ::_exit(helper->checkUpdate() ? 2 : 0);
        }
        ::close(logFd);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "the build crashed";
        if (WEXITSTATUS(status) == 77) {
            GTEST_SKIP() << "cannot become another user to make the folder read-only";
        }
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed build was asked for again at once";
        std::istringstream in(readFile(logFile));
        for (std::string line; std::getline(in, line);) {
            log.push_back(line);
        }
    }
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("Permission denied"), std::string::npos) << log[0];
    EXPECT_EQ(snapshot(site()), before);
    fs::permissions(site(), fs::perms::owner_write, fs::perm_options::add);
}

// --- no busy work ----------------------------------------------------------------------------

TEST_F(Publish, AFutureIndexIsBuiltOnceAndChangesAreBuiltAgain) {
    struct Row {
        const char* name;
        void (*change)(Publish& test, LumibayControler& helper);
    };
    static constexpr Row kRows[] = {
        {"the index rewritten",
         [](Publish& test, LumibayControler&) {
             test.writeIndex(2);
             test.dateIndexInTheFuture();
         }},
        {"the settings changed",
         [](Publish& test, LumibayControler& helper) {
             test.writeSettings("<key>Site_Image_Size</key><integer>300</integer>\n");
             helper.loadSettings();
             helper.settingsChanged();
         }},
        {"menu.html removed",
         [](Publish& test, LumibayControler&) { fs::remove(test.contents() / "menu.html"); }},
        {"the top page removed",
         [](Publish& test, LumibayControler&) { fs::remove(test.topPage()); }},
        {"Contents removed",
         [](Publish& test, LumibayControler&) { fs::remove_all(test.contents()); }},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        writeSettings();
        writeIndex();
        dateIndexInTheFuture();
        auto helper = controller();
        ASSERT_TRUE(build(*helper).empty());
        EXPECT_FALSE(helper->checkUpdate());
        EXPECT_FALSE(helper->checkUpdate());

        row.change(*this, *helper);
        EXPECT_TRUE(helper->checkUpdate());
        ASSERT_TRUE(build(*helper).empty());
        EXPECT_FALSE(helper->checkUpdate());
    }
}

// A build reads the index once, at its start. An index rewritten while the build runs is older
// than the top page the build writes last, and may even keep its old date; either way the next
// check builds again.
TEST_F(Publish, AnIndexRewrittenDuringABuildIsBuiltAgain) {
    struct Row {
        const char* name;
        bool keepDate;
    };
    static constexpr Row kRows[] = {
        {"dated when it was rewritten", false},
        {"its old date kept, as a copy keeps it", true},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        writeIndex(1, "Boats");
        auto helper = controller();
        std::once_flag rewrite;
        helper->setAlbumPageProducer([&](const SitePageBuilder& builder, const AlbumRecord& album,
                                         const LibraryIndex& index, std::string_view head,
                                         std::string_view tail, const sitefiles::PageSink& out) {
            std::call_once(rewrite, [&] {
                struct stat before {};
                ::stat(home_.indexFile().c_str(), &before);
                writeIndex(1, "Sailing boats");
                if (row.keepDate) {
                    const timespec times[2] = {before.st_atim, before.st_mtim};
                    ::utimensat(AT_FDCWD, home_.indexFile().c_str(), times, 0);
                }
            });
            return out(builder.makeAlbumPage(album, index, head, tail));
        });
        ASSERT_TRUE(build(*helper).empty());
        ASSERT_NE(readFile(contents() / "3.html").find("Boats"), std::string::npos);
        ASSERT_EQ(readFile(contents() / "3.html").find("Sailing boats"), std::string::npos);

        EXPECT_TRUE(helper->checkUpdate());
        ASSERT_TRUE(build(*helper).empty());
        EXPECT_NE(readFile(contents() / "3.html").find("Sailing boats"), std::string::npos);
        EXPECT_FALSE(helper->checkUpdate());
    }
}

TEST_F(Publish, AnIndexWithoutAlbumsIsNoDamagedSite) {
    writeFile(home_.indexFile(), plistDocument("<key>Master Image List</key><dict/>\n"));
    auto helper = controller();
    ASSERT_TRUE(build(*helper).empty());
    EXPECT_TRUE(fs::exists(topPage()));
    EXPECT_TRUE(fs::is_empty(contents()));
    EXPECT_FALSE(helper->checkUpdate());
}

} // namespace
} // namespace tessaly
