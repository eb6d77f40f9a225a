// The window's controls bound to the settings table: every row finds a control that can show its
// setting, the binder's other kinds of control, and the "Publish events" check box on the Albums
// tab, which is bound by its row alone.
#include "AccessibleText.hxx"
#include "ColorWell.hxx"
#include "PaneFixture.hxx"
#include "PresetFolder.hxx"

#include <QApplication>
#include <QCheckBox>
#include <QKeySequence>

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

using SettingBinding = PaneFixture;

constexpr char kPublishEventsOff[] = "<key>Publish_Events_Key</key>\n\t<false/>";
constexpr char kPublishEventsOn[] = "<key>Publish_Events_Key</key>\n\t<true/>";

TEST_F(SettingBinding, EveryRowFindsAControlThatCanShowItsSetting) {
    ASSERT_NO_FATAL_FAILURE(open());
    SettingEdits edits(*pane_->pref(), *notifier_);
    const SettingBinder binder(view_.get(), *pane_->pref(), edits);
    EXPECT_TRUE(binder.problems().isEmpty()) << binder.problems().join('\n').toStdString();
    for (const SettingControl& row : kSettingControls) {
        SCOPED_TRACE(row.objectName);
        EXPECT_NE(binder.widget(row.setting), nullptr);
    }
}

// What the binder does with controls the window does not have yet: a popup whose items carry the
// stored text as their data (a choice titled in words), bound by its row alone; a control that
// names an action of its own, whose changes come through that action; a control that is missing,
// and one that cannot show its setting.
TEST(SettingBinder, BindsATextChoiceByItsRowAndReportsWhatItCannotBind) {
    TempHome home;
    writeFile(home.settingsFile(),
              plistDocument("<key>Library_Source_Key</key><string>Shotwell</string>"));
    RecordingNotifier notifier(home.settingsFile());
    LumibayPref pref;
    SettingEdits edits(pref, notifier);
    QWidget view;
    auto* choice = new QComboBox(&view);
    choice->setObjectName("librarySourceMenu");
    choice->addItem("iPhoto library", "iPhoto");
    choice->addItem("Shotwell's photos", "Shotwell");
    choice->addItem("digiKam", "digiKam");
    auto* named = new QCheckBox(&view);
    named->setObjectName("namedAction");
    named->setProperty("action", "doSomethingElse");
    auto* plain = new QWidget(&view);
    plain->setObjectName("plainWidget");
    static constexpr SettingControl table[] = {
        {Setting::NumOfCol, "noSuchControl"},
        {Setting::LibrarySource, "librarySourceMenu"},
        {Setting::PublishEvents, "namedAction"},
        {Setting::ImageSize, "plainWidget"},
        {Setting::LastUpdateDate, "librarySourceMenu"},
        // The interval's minutes are a slider's stops, not a popup's titles.
        {Setting::CheckInterval, "librarySourceMenu"},
    };
    SettingBinder binder(&view, pref, edits, table);
    ASSERT_EQ(binder.problems().size(), 4) << binder.problems().join('\n').toStdString();
    EXPECT_TRUE(binder.problems()[0].contains("noSuchControl"));
    EXPECT_TRUE(binder.problems()[1].contains("plainWidget"));
    EXPECT_TRUE(binder.problems()[2].contains(Last_Update_Date));
    EXPECT_TRUE(binder.problems()[3].contains(Check_Interval_Key));
    std::vector<std::optional<bool>> forwarded;
    binder.forwardUserChanges(
        &view, [&](QObject* control) { forwarded.push_back(binder.updateSetting(control)); });

    binder.updateWidgets();
    EXPECT_EQ(choice->currentIndex(), 1);
    EXPECT_TRUE(named->isChecked());
    EXPECT_TRUE(forwarded.empty());

    choice->setCurrentIndex(2);
    emit choice->activated(2);
    EXPECT_EQ(forwarded, std::vector<std::optional<bool>>{true});
    EXPECT_EQ(LumibayPref().getLibrarySource(), "digiKam");
    ASSERT_EQ(notifier.posts.size(), 1u);
    EXPECT_EQ(notifier.posts[0].name, TSY_SiteParamChange_Notification);
    EXPECT_NE(notifier.posts[0].fileAtPost.find("<string>digiKam</string>"), std::string::npos);

    named->click();
    EXPECT_EQ(forwarded.size(), 1u);
    // A control that shows no setting changes nothing and posts nothing.
    EXPECT_EQ(binder.updateSetting(plain), std::nullopt);
    EXPECT_EQ(binder.updateSetting(nullptr), std::nullopt);
    EXPECT_EQ(notifier.posts.size(), 1u);
}

// The window says it shows the default look when the settings file cannot be read: so do the
// colour wells, not only the popups.
TEST_F(SettingBinding, AnUnreadableFileShowsTheDefaultLookInEveryControl) {
    writeFile(home_.settingsFile(), "not a property list");
    ASSERT_NO_FATAL_FAILURE(open());
    for (const ColorWellSetting& row : kColorWells) {
        SCOPED_TRACE(row.tag);
        auto* well = qobject_cast<ColorWell*>(viewWithTag(pane_->tabView, row.tag));
        ASSERT_TRUE(well);
        EXPECT_EQ(well->color().name(QColor::HexRgb).mid(1).toUpper(),
                  QLatin1String(settingInfo(row.setting).text));
    }
    EXPECT_EQ(pane_->intervalLabel->text(), "1 minute");
    EXPECT_TRUE(child<QCheckBox>("publishEventsCheckBox")->isChecked());
}

TEST_F(SettingBinding, PublishEventsShowsTheStoredValue) {
    struct Case {
        const char* name;
        const char* settings; // null: no settings file
        bool checked;
    };
    static constexpr Case cases[] = {
        {"no settings file", nullptr, true},
        {"stored off", "<key>Publish_Events_Key</key><false/>", false},
        {"stored on", "<key>Publish_Events_Key</key><true/>", true},
        {"stored as the number 0", "<key>Publish_Events_Key</key><integer>0</integer>", false},
        {"a text where a flag belongs", "<key>Publish_Events_Key</key><string>no</string>", true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(home_.settingsFile());
        if (row.settings) {
            writeSettings(row.settings);
        }
        ASSERT_NO_FATAL_FAILURE(open());
        EXPECT_EQ(child<QCheckBox>("publishEventsCheckBox")->isChecked(), row.checked);
        // Showing the value posts nothing.
        EXPECT_TRUE(notifier_->posts.empty());
        TearDown();
    }
}

TEST_F(SettingBinding, PublishEventsIsSavedBeforeTheSettingsChangeIsAnnounced) {
    BusListener listener;
    ASSERT_TRUE(listener.connected()) << "run under dbus-run-session";
    ASSERT_NO_FATAL_FAILURE(open());
    auto* box = child<QCheckBox>("publishEventsCheckBox");
    ASSERT_TRUE(box);
    EXPECT_EQ(accessibleText(box), "Publish events");

    box->click();
    ASSERT_EQ(notifier_->posts.size(), 1u);
    EXPECT_EQ(notifier_->posts[0].name, TSY_SiteParamChange_Notification);
    EXPECT_FALSE(notifier_->posts[0].hasUserInfo);
    EXPECT_NE(notifier_->posts[0].fileAtPost.find(kPublishEventsOff), std::string::npos)
        << notifier_->posts[0].fileAtPost;
    EXPECT_EQ(readFile(home_.settingsFile()), notifier_->posts[0].fileAtPost);
    ASSERT_TRUE(listener.waitFor(1));
    EXPECT_EQ(listener.messages[0].member(), TSY_SiteParamChange_Notification);
    EXPECT_TRUE(listener.messages[0].arguments().isEmpty());

    box->click();
    ASSERT_EQ(notifier_->posts.size(), 2u);
    EXPECT_NE(notifier_->posts[1].fileAtPost.find(kPublishEventsOn), std::string::npos);
}

TEST_F(SettingBinding, AFailedSaveOfPublishEventsIsReportedAndStillAnnounced) {
    ASSERT_NO_FATAL_FAILURE(open());
    const fs::path folder = home_.settingsFile().parent_path();
    fs::remove_all(folder);
    writeFile(folder, "a file where the folder should be");
    child<QCheckBox>("publishEventsCheckBox")->click();
    EXPECT_FALSE(pane_->saveProblemLabel->isHidden());
    EXPECT_EQ(notifier_->posts.size(), 1u);
}

// The look a preset keeps is the look alone: saving one leaves the flag out, and applying one
// leaves the flag and its check box as they were.
TEST_F(SettingBinding, PresetsNeitherKeepNorChangePublishEvents) {
    writeSettings("<key>Publish_Events_Key</key><false/>");
    ASSERT_NO_FATAL_FAILURE(open());
    const PresetFolder mine(home_.path() / "looks");
    fs::create_directories(mine.path());
    ASSERT_FALSE(mine.save("Mine.plist", *pane_->pref()));
    const std::string saved = readFile(mine.path() / "Mine.plist");
    EXPECT_NE(saved.find(MenuWidth_Key), std::string::npos);
    EXPECT_EQ(saved.find(Publish_Events_Key), std::string::npos) << saved;

    struct NoQuestions : PresetQuestions {
        std::optional<QString> askPresetName() override { return std::nullopt; }
        bool confirmOverwrite(const QString&) override { return false; }
        bool confirmDelete(const QString&) override { return false; }
        void tellProblem(const QString& notice) override { ADD_FAILURE() << notice.toStdString(); }
    } questions;
    const std::string before = readFile(home_.settingsFile());
    ASSERT_TRUE(pane_->presets()->useSetting("Ocean.plist", questions,
                                             [this](bool) { pane_->viewSetUp(); }));
    EXPECT_NE(readFile(home_.settingsFile()), before);
    EXPECT_NE(readFile(home_.settingsFile()).find(kPublishEventsOff), std::string::npos);
    EXPECT_FALSE(child<QCheckBox>("publishEventsCheckBox")->isChecked());
}

// On the Albums tab the check box has a letter of its own, reached with Alt, and comes after the
// tab's last colour well with Tab.
TEST_F(SettingBinding, PublishEventsIsReachedWithTheKeyboard) {
    ASSERT_NO_FATAL_FAILURE(open());
    QWidget* window = view_.get();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    pane_->tabView->setCurrentWidget(window->findChild<QWidget*>("albumsTab"));
    auto* box = window->findChild<QCheckBox*>("publishEventsCheckBox");
    ASSERT_TRUE(box && box->isVisible());

    // Every text shown with a mnemonic: buttons, labels and tab titles.
    QList<QKeySequence> mnemonics;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible()) {
            continue;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            mnemonics << QKeySequence::mnemonic(button->text());
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            mnemonics << QKeySequence::mnemonic(label->text());
        }
    }
    for (int i = 0; i < pane_->tabView->count(); ++i) {
        mnemonics << QKeySequence::mnemonic(pane_->tabView->tabText(i));
    }
    const QKeySequence own = QKeySequence::mnemonic(box->text());
    ASSERT_FALSE(own.isEmpty());
    EXPECT_EQ(mnemonics.count(own), 1) << own.toString().toStdString();

    // The letter clicks the box as a press and a release a moment later.
    QTest::keyClick(window, own[0].key(), Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([box] { return !box->isChecked(); }, 10000));
    EXPECT_NE(readFile(home_.settingsFile()).find(kPublishEventsOff), std::string::npos);

    window->findChild<QWidget*>("albumCommentColorWell")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box);
}

} // namespace
} // namespace tessaly
