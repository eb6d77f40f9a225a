// The interface files as shipped, and what the loader does with files that do not fit their owner.
#include "InterfaceLoader.hxx"

#include "ColorWell.hxx"
#include "HostWindow.hxx"
#include "PaneFixture.hxx"

#include <QDir>
#include <QMetaProperty>
#include <QProcess>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Every interface file in the bundle loads with each of its owner's outlets set and each action
// connected. A new sheet's file must be added here with its owner, or this test fails.
TEST(InterfaceFiles, EveryShippedFileResolvesItsOutletsAndActions) {
    TempHome home;
    const QStringList files =
        QDir(QStringLiteral(PANE_RESOURCES)).entryList({QStringLiteral("*.ui")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        // The sheets' files are loaded with their owners in SheetsTest.
        static const QStringList sheets = {
            QStringLiteral("AboutLumibay.ui"), QStringLiteral("BeforeStart.ui"),
            QStringLiteral("GetPath.ui"),      QStringLiteral("MessageSheet2.ui"),
            QStringLiteral("Notice.ui"),       QStringLiteral("iPhotoNotFound.ui")};
        if (sheets.contains(file)) {
            continue;
        }
        ASSERT_EQ(file, QStringLiteral("Tessaly.ui")) << "no owner known for this file";
        Tessaly pane(Bundle(PANE_RESOURCES));
        QString error;
        std::unique_ptr<QWidget> view(pane.loadMainView(&error));
        ASSERT_TRUE(view) << error.toStdString();
        EXPECT_TRUE(pane.loader().problems().isEmpty())
            << pane.loader().problems().join('\n').toStdString();
        const QMetaObject* meta = pane.metaObject();
        int outlets = 0;
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty outlet = meta->property(i);
            if (outlet.metaType().flags() & QMetaType::PointerToQObject) {
                ++outlets;
                EXPECT_TRUE(outlet.read(&pane).value<QObject*>()) << outlet.name();
            }
        }
        EXPECT_GE(outlets, 17);
        int actions = 0;
        for (QWidget* control : view->findChildren<QWidget*>()) {
            actions += control->property("action").isValid();
        }
        // Eight popups, the size, seven wells, the interval, start/stop, opening the site, the
        // about sheet, the three preset buttons, and the library choice with its folder button.
        EXPECT_EQ(actions, 25);
    }
}

TEST(InterfaceFiles, TagsAreFoundAmongDescendantsOnly) {
    TempHome home;
    Tessaly pane(Bundle(PANE_RESOURCES));
    std::unique_ptr<QWidget> view(pane.loadMainView(nullptr));
    ASSERT_TRUE(view);
    EXPECT_EQ(viewWithTag(view.get(), 4), pane.actionButton);
    for (int tag = 10; tag <= 16; ++tag) {
        QWidget* well = viewWithTag(pane.tabView, tag);
        ASSERT_TRUE(well) << tag;
        EXPECT_TRUE(qobject_cast<ColorWell*>(well)) << tag;
    }
    // The start/stop button is outside the tab view; untagged widgets never answer tag 0.
    EXPECT_EQ(viewWithTag(pane.tabView, 4), nullptr);
    EXPECT_EQ(viewWithTag(view.get(), 0), nullptr);
}

// A file with an object of the wrong class, a missing outlet and an action nobody answers: each is
// reported with the file and the object, and the rest still loads and works.
TEST(InterfaceFiles, ProblemsAreReportedNotFatal) {
    TempHome home;
    const fs::path resources = home.path() / "Resources";
    writeFile(resources / "Tessaly.ui", R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>Tessaly</class>
<widget class="QWidget" name="Tessaly"><layout class="QVBoxLayout" name="layout">
<item><widget class="QComboBox" name="numColomsMenu">
  <property name="action" stdset="0"><string>doChangeNumImageColums</string></property>
  <item><property name="text"><string>3</string></property></item></widget></item>
<item><widget class="QLabel" name="menwWidthMenu"/></item>
<item><widget class="QComboBox" name="imageSpaceingMenu">
  <property name="action" stdset="0"><string>doNoSuchThing</string></property></widget></item>
</layout></widget></ui>)");
    RecordingNotifier notifier(home.settingsFile());
    Tessaly pane(Bundle(resources.string()), &notifier);
    QString error;
    std::unique_ptr<QWidget> view(pane.loadMainView(&error));
    ASSERT_TRUE(view) << error.toStdString();
    const QString problems = pane.loader().problems().join('\n');
    for (const char* expected :
         {"Tessaly.ui: no object named actionButton",
          "Tessaly.ui: object menwWidthMenu is a QLabel",
          "Tessaly.ui: object imageSpaceingMenu names the action doNoSuchThing"}) {
        SCOPED_TRACE(expected);
        EXPECT_TRUE(problems.contains(QLatin1String(expected))) << problems.toStdString();
    }
    EXPECT_EQ(pane.menwWidthMenu, nullptr);
    pane.mainViewDidLoad();
    pane.didSelect();
    // The one action that resolved still stores, saves and posts.
    pane.numColomsMenu->setCurrentIndex(0);
    emit pane.numColomsMenu->activated(0);
    ASSERT_EQ(notifier.posts.size(), 1u);
    EXPECT_NE(
        notifier.posts[0].fileAtPost.find("<key>Num_Of_Col_Key</key>\n\t<integer>3</integer>"),
        std::string::npos)
        << notifier.posts[0].fileAtPost;
}

// The window's program, given a bundle whose interface file is missing or broken, says so and
// fails instead of opening an empty window or crashing.
TEST(InterfaceFiles, TheProgramRefusesAMissingOrBrokenFile) {
    struct Case {
        const char* name;
        const char* contents; // null: no file
        const char* message;
    };
    static constexpr Case cases[] = {
        {"missing", nullptr, "cannot open the interface file"},
        {"not xml", "this is not an interface", "is not a valid interface"},
        {"cut short", "<?xml version=\"1.0\"?><ui version=\"4.0\"><widget class=\"QWidget\"",
         "is not a valid interface"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TempHome home;
        const fs::path bundle = home.path() / "Tessaly.prefPane";
        fs::create_directories(bundle / "Resources");
        fs::copy_file(TESSALY_EXECUTABLE, bundle / "Tessaly");
        if (row.contents) {
            writeFile(bundle / "Resources/Tessaly.ui", row.contents);
        }
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", QString::fromStdString(home.path().string()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // Without a bus of its own the program would find no other window to raise.
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        program.setProcessEnvironment(environment);
        program.start(QString::fromStdString((bundle / "Tessaly").string()), {});
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 1);
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_TRUE(errors.contains(QLatin1String(row.message))) << errors.toStdString();
        EXPECT_TRUE(errors.contains(QString::fromStdString(bundle.string())))
            << errors.toStdString();
    }
}

} // namespace
} // namespace tessaly
