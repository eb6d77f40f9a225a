// The settings window as its own program (the Tessaly executable of the built bundle, offscreen)
// with the real helper beside it, on this test's private session bus and a home folder of its
// own. A probe that Qt loads as an input plugin reads the window and clicks in it as a person
// would (probe/WindowProbe.cxx); the program itself is the one that ships.
#include "Constants.hxx"
#include "LumibayPref.hxx"
#include "OtherDisk.hxx"
#include "TempHome.hxx"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/mount.h>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// A folder that stays readable and cannot be written, also by root: a read-only bind mount of
// itself. Without root, `made()` is false and the test skips.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(fs::path folder) : folder_(std::move(folder)) {
        fs::create_directories(folder_);
        made_ = ::geteuid() == 0 &&
                ::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) == 0;
        if (made_ && ::mount(nullptr, folder_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                             nullptr) != 0) {
            ::umount2(folder_.c_str(), MNT_DETACH);
            made_ = false;
        }
    }
    ~ReadOnlyFolder() {
        if (made_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool made() const { return made_; }

private:
    fs::path folder_;
    bool made_ = false;
};

// The window's program on the test's home, with the probe loaded.
class WindowProgram {
public:
    explicit WindowProgram(const fs::path& home,
                           const std::vector<std::pair<QString, QString>>& more = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", QString::fromStdString(home.string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("QT_PLUGIN_PATH", PROBE_PLUGIN_PATH);
        environment.insert("QT_QPA_GENERIC_PLUGINS", "tessalyprobe");
        for (const auto& [name, value] : more) {
            environment.insert(name, value);
        }
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(TESSALY_EXECUTABLE, {});
    }
    ~WindowProgram() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    // Waits until the window answers on the bus.
    bool ready() {
        return QTest::qWaitFor(
            [&] {
                QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
                return bus->isServiceRegistered(QLatin1String(kProbe)).value() &&
                       bus->isServiceRegistered(QStringLiteral("org.tessaly.Tessaly")).value();
            },
            30000);
    }
    template <typename T, typename... Args> T ask(const char* method, Args... args) {
        QDBusInterface probe(QLatin1String(kProbe), QStringLiteral("/probe"),
                             QLatin1String(kProbe));
        QDBusReply<T> reply = probe.call(QLatin1String(method), args...);
        return reply.isValid() ? reply.value() : T();
    }
    QString text(const char* objectName) { return ask<QString>("text", QString(objectName)); }
    bool press(const char* objectName) { return ask<bool>("press", QString(objectName)); }
    bool secondClick(const char* objectName) {
        return ask<bool>("secondClick", QString(objectName));
    }
    // Waits for a sheet to open and answers its texts.
    QString openSheet() {
        QString shown;
        if (!QTest::qWaitFor([&] { return !(shown = ask<QString>("sheet")).isEmpty(); }, 30000)) {
            ADD_FAILURE() << "no sheet opened";
        }
        return shown;
    }
    bool answer(const char* title) {
        return ask<bool>("answer", QString(title)) &&
               QTest::qWaitFor([&] { return ask<QString>("sheet").isEmpty(); }, 30000);
    }
    void quit() {
        QDBusInterface host(QStringLiteral("org.tessaly.Tessaly"),
                            QStringLiteral("/org/tessaly/Tessaly"),
                            QStringLiteral("org.tessaly.Tessaly"));
        host.asyncCall(QStringLiteral("Quit"));
    }
    // The exit status once the program has ended, or none when it ended by a signal or is still
    // running after a long while.
    std::optional<int> exitStatus() {
        if (!QTest::qWaitFor([&] { return process_.state() == QProcess::NotRunning; }, 60000) ||
            process_.exitStatus() != QProcess::NormalExit) {
            return std::nullopt;
        }
        return process_.exitCode();
    }
    std::string output() { return process_.readAll().toStdString(); }

private:
    static constexpr char kProbe[] = "org.tessaly.WindowProbe";
    QProcess process_;
};

// Every process whose program is `program`, run with `home` as its HOME: other tests may run the
// same program at the same time, each on a home of its own.
std::vector<pid_t> processesOf(const fs::path& program, const fs::path& home) {
    std::vector<pid_t> found;
    std::error_code error;
    const std::string homeEntry = "HOME=" + home.string();
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            fs::read_symlink(entry.path() / "exe", error) != program) {
            continue;
        }
        const std::string environment = readFile(entry.path() / "environ");
        for (std::size_t at = 0; at < environment.size();) {
            const std::size_t end = std::min(environment.find('\0', at), environment.size());
            if (environment.compare(at, end - at, homeEntry) == 0) {
                found.push_back(std::stoi(name));
                break;
            }
            at = end + 1;
        }
    }
    return found;
}

bool helperOnTheBus() {
    return QDBusConnection::sessionBus()
        .interface()
        ->isServiceRegistered(QLatin1String(kHelperServiceName))
        .value();
}

// Settings that cannot be written: Start must not look successful. The helper would read
// publishing off and quit, so it is not launched, no login entry is written, the button still
// offers to start, and a notice says why.
TEST(WindowProgram, AStartWhoseSettingsCannotBeWrittenStartsNothing) {
    TempHome home;
    writeFile(home.indexFile(), plistDocument(""));
    writeFile(home.settingsFile(), plistDocument("<key>Check_Interval_Key</key><real>1</real>\n"));
    const std::string settings = readFile(home.settingsFile());
    ReadOnlyFolder preferences(home.settingsFile().parent_path());
    if (!preferences.made()) {
        GTEST_SKIP() << "a read-only bind mount needs root";
    }
    const fs::path helper = fs::path(PANE_RESOURCES) / "LumibayHelper.app/LumibayHelper";

    WindowProgram window(home.path());
    ASSERT_TRUE(window.ready()) << window.output();
    const QString start = window.text("actionButton");
    ASSERT_FALSE(start.isEmpty());
    ASSERT_TRUE(window.press("actionButton"));
    const QString notice = window.openSheet();
    EXPECT_TRUE(notice.contains("could not be written")) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QString::fromStdString(home.settingsFile().string())));
    ASSERT_TRUE(window.answer("OK"));

    EXPECT_EQ(window.text("actionButton"), start);
    EXPECT_EQ(window.text("publishingStateLabel"), "Not publishing");
    EXPECT_TRUE(processesOf(helper, home.path()).empty());
    EXPECT_FALSE(helperOnTheBus());
    std::error_code error;
    EXPECT_TRUE(fs::is_empty(home.path() / ".config/autostart", error) || error);
    EXPECT_EQ(readFile(home.settingsFile()), settings);

    window.quit();
    EXPECT_EQ(window.exitStatus(), 0);
    // The helper says why it quits; a helper that ran and found publishing off would have.
    EXPECT_EQ(window.output().find("LumibayHelper"), std::string::npos);
}

// A double-click on Start, with the library already in ~/Sites: the start is over before the
// second click comes, which must not stop it. Publishing stays on, and the real helper publishes.
TEST(WindowProgram, DoubleClickOnStartLeavesPublishingOn) {
    TempHome home;
    writeFile(home.indexFile(), plistDocument(""));
    writeFile(home.settingsFile(), plistDocument("<key>Check_Interval_Key</key><real>0</real>\n"));
    WindowProgram window(home.path());
    ASSERT_TRUE(window.ready()) << window.output();
    const QString start = window.text("actionButton");
    ASSERT_TRUE(window.press("actionButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.text("actionButton") != start; }, 30000));
    ASSERT_TRUE(window.secondClick("actionButton"));
    ASSERT_TRUE(QTest::qWaitFor([] { return helperOnTheBus(); }, 30000)) << window.output();
    // The window answers only once it has handled the click queued before the question.
    EXPECT_EQ(window.text("publishingStateLabel"), "Publishing");
    EXPECT_NE(window.text("actionButton"), start);
    EXPECT_TRUE(LumibayPref().getActiveFlag());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return fs::exists(home.siteFolder() / "Tessaly.html"); }, 30000));
    EXPECT_TRUE(helperOnTheBus());

    // A single click stops it again.
    ASSERT_TRUE(window.press("actionButton"));
    EXPECT_TRUE(QTest::qWaitFor([] { return !helperOnTheBus(); }, 30000));
    EXPECT_EQ(window.text("actionButton"), start);
    window.quit();
    EXPECT_EQ(window.exitStatus(), 0);
}

// Quit over the bus while Start copies the library to another disk: the copy stops at a safe
// point, the window ends with status 0, and the library is whole where it was.
TEST(WindowProgram, QuitDuringTheCopyEndsWithStatusZeroAndTheLibraryWhole) {
    TempHome home;
    OtherDisk disk("64m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs as ~/Sites needs root";
    }
    fs::create_symlink(disk.path(), home.path() / "Sites");
    const fs::path pictures = home.path() / "Pictures/iPhoto Library";
    writeFile(pictures / "AlbumData.xml", plistDocument(""));
    for (int i = 0; i < 8; ++i) {
        writeFile(pictures / "Originals" / (std::to_string(i) + ".jpg"),
                  std::string(1 << 20, static_cast<char>('a' + i)));
    }
    const TreeRecord before = recordTree(pictures, false);
    const fs::path hold = home.path() / "hold the copy";
    writeFile(hold, "");

    WindowProgram window(home.path(),
                         {{"TESSALY_TEST_HOLD_COPY", QString::fromStdString(hold.string())}});
    ASSERT_TRUE(window.ready()) << window.output();
    ASSERT_TRUE(window.press("actionButton"));
    const QString question = window.openSheet();
    EXPECT_TRUE(question.contains("Move your photo library")) << question.toStdString();
    ASSERT_TRUE(window.answer("OK"));
    auto copying = [&] {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(disk.path(), error)) {
            if (entry.path().filename().string().starts_with(".iPhoto Library.moving-")) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(copying, 30000)) << window.output();

    window.quit();
    EXPECT_EQ(window.exitStatus(), 0) << window.output();
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(pictures)));
    EXPECT_EQ(recordTree(pictures, false), before);
    EXPECT_FALSE(fs::exists(fs::symlink_status(home.path() / "Sites/iPhoto Library")));
    EXPECT_FALSE(copying());
    EXPECT_FALSE(helperOnTheBus());
}

} // namespace
} // namespace tessaly
