// The whole window from the keyboard alone: every key goes where a keyboard sends it, to the
// widget with the focus (a sheet's or the colour dialog's while one is open), and nothing is
// clicked or called. The window is the real host on a copy of the pane's bundle whose helper only
// records that it was started.
#include "ColorWell.hxx"
#include "FakeApplication.hxx"
#include "HostWindow.hxx"
#include "LoginItems.hxx"
#include "PaneFixture.hxx"
#include "PlistFile.hxx"
#include "PresetFolder.hxx"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <deque>
#include <functional>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tessaly {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Where the keyboard's keys go: the focused widget, else the active window.
QWidget* keyTarget() {
    if (QWidget* focus = QApplication::focusWidget()) {
        return focus;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return QApplication::activeWindow();
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = keyTarget();
    ASSERT_TRUE(target) << "no window has the keyboard";
    QTest::keyClick(target, key, modifiers);
}

void type(const QString& text) {
    QWidget* target = keyTarget();
    ASSERT_TRUE(target) << "no window has the keyboard";
    QTest::keyClicks(target, text);
}

// A modal window (a sheet or the colour dialog) runs its own loop, so its keys are typed from a
// timer that fires inside that loop: each answer is typed into the next modal window that shows,
// once it has the keyboard. A modal window nobody expected is closed with Escape and counts as a
// failure, so that the test can never hang on it.
class ModalAnswers : public QObject {
public:
    struct Seen {
        QString title;
        QString text; // every label's text, one per line
        QString focused;
    };

    ModalAnswers() {
        connect(&timer_, &QTimer::timeout, this, &ModalAnswers::look);
        timer_.start(5);
    }
    void expect(std::function<void()> keys) { answers_.push_back(std::move(keys)); }
    bool allAnswered() const { return answers_.empty(); }
    std::vector<Seen> seen;

private:
    void look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == answered_ || !QApplication::focusWidget() ||
            QApplication::focusWidget()->window() != modal) {
            return;
        }
        answered_ = modal;
        Seen shown{modal->windowTitle(), {}, QApplication::focusWidget()->objectName()};
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            shown.text += label->text() + QLatin1Char('\n');
        }
        seen.push_back(shown);
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected window: " << shown.text.toStdString();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            return;
        }
        std::function<void()> keys = std::move(answers_.front());
        answers_.pop_front();
        keys();
    }

    QTimer timer_;
    std::deque<std::function<void()>> answers_;
    QPointer<QWidget> answered_;
};

// Catches what "Open in Browser" would open, instead of starting a browser.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() {
        for (const char* scheme : {"file", "http"}) {
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
        }
    }
    ~OpenedUrls() override {
        for (const char* scheme : {"file", "http"}) {
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        }
    }
    std::vector<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

class KeyboardOnly : public ::testing::Test {
protected:
    void SetUp() override {
        // The pane's resources, presets included, in the test's home: looks are saved and
        // removed there, and the helper is a script that notes each start.
        resources_ = home_.path() / "Tessaly.prefPane/Resources";
        fs::create_directories(resources_);
        for (const fs::directory_entry& entry : fs::directory_iterator(PANE_RESOURCES)) {
            if (entry.path().filename() != "LumibayHelper.app") {
                fs::copy(entry.path(), resources_ / entry.path().filename(),
                         fs::copy_options::recursive);
            }
        }
        helper_ = resources_ / "LumibayHelper.app/LumibayHelper";
        writeFile(helper_, "#!/bin/sh\necho started >> \"$0.launches\"\n");
        fs::permissions(helper_, fs::perms::owner_all);

        notifier_ = std::make_unique<RecordingNotifier>(home_.settingsFile());
        QString error;
        window_ = HostWindow::open(Bundle(resources_.string()), notifier_.get(), &error);
        ASSERT_TRUE(window_) << error.toStdString();
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        pane_ = window_->pane();
        pane_->setHelperHandOverWait(std::chrono::seconds(10));
    }
    void TearDown() override {
        EXPECT_TRUE(modals_.allAnswered()) << "a window that was to be answered never showed";
        window_.reset();
    }

    // The keyboard reaches `outlet`: after the key, it has the focus.
    void reach(Qt::Key key, Qt::KeyboardModifiers modifiers, QWidget* outlet) {
        press(key, modifiers);
        ASSERT_EQ(QApplication::focusWidget(), outlet)
            << "focus is on "
            << (QApplication::focusWidget()
                    ? QApplication::focusWidget()->objectName().toStdString()
                    : std::string("nothing"));
    }
    // A button pressed by its mnemonic clicks a moment later, as if pressed down and let go.
    void pressButton(Qt::Key mnemonic, QPushButton* button, std::function<bool()> done) {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        press(mnemonic, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor(done, 30000)) << button->objectName().toStdString();
        ASSERT_NO_FATAL_FAILURE(modalClosed());
    }
    // Once a modal window has closed, the window manager gives the keyboard back to the window
    // (the offscreen platform has none); the window's focus is where it was.
    void modalClosed() {
        ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::activeModalWidget(); }, 10000));
        if (!window_->isActiveWindow()) {
            window_->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        }
    }
    std::size_t posts(const char* name) const {
        return static_cast<std::size_t>(
            std::count_if(notifier_->posts.begin(), notifier_->posts.end(),
                          [&](const Post& post) { return post.name == name; }));
    }
    QStringList lines() const {
        return pane_->viewSetingListView->getTextArray().value_or(QStringList());
    }

    TempHome home_;
    ScopedEnv config_{"XDG_CONFIG_HOME", (home_.path() / ".config").string()};
    fs::path resources_;
    fs::path helper_;
    std::unique_ptr<RecordingNotifier> notifier_;
    std::unique_ptr<HostWindow> window_;
    Tessaly* pane_ = nullptr;
    ModalAnswers modals_;
};

// Every setting of the look and the check interval, each reached by its label's mnemonic and
// changed with the keys its control takes; every change is stored and announced.
TEST_F(KeyboardOnly, ChangesEverySetting) {
    // The picture size: typed, and taken with Return.
    ASSERT_NO_FATAL_FAILURE(reach(Qt::Key_S, Qt::AltModifier, pane_->imageSizeControlView));
    press(Qt::Key_A, Qt::ControlModifier);
    type(QStringLiteral("300"));
    press(Qt::Key_Return);
    EXPECT_EQ(pane_->pref()->getImageSize(), 300);
    EXPECT_EQ(posts(TSY_ImageSizey_Changed_Notification), 1u);

    // The popups. The arrow keys change a closed popup's value; F4 opens its list, where the
    // arrows move and Return chooses.
    struct PopupCase {
        const char* outlet;
        Qt::Key tab; // the tab's mnemonic
        Qt::Key label;
        bool openList;
    };
    static constexpr PopupCase popups[] = {
        {"numColomsMenu", Qt::Key_R, Qt::Key_C, false},
        {"imageSpaceingMenu", Qt::Key_R, Qt::Key_G, true},
        {"pictureTitleFontSizeMenu", Qt::Key_R, Qt::Key_T, false},
        {"pictureCommentFontSizeMenu", Qt::Key_R, Qt::Key_M, true},
        {"menwWidthMenu", Qt::Key_E, Qt::Key_W, false},
        {"menuFontSizeMenu", Qt::Key_E, Qt::Key_F, true},
        {"albumTitleFontSizeMenu", Qt::Key_L, Qt::Key_T, false},
        {"albumCommentFontSizeMenu", Qt::Key_L, Qt::Key_C, true},
    };
    for (const PopupCase& row : popups) {
        SCOPED_TRACE(row.outlet);
        auto* popup = pane_->property(row.outlet).value<QComboBox*>();
        ASSERT_TRUE(popup);
        press(row.tab, Qt::AltModifier);
        ASSERT_NO_FATAL_FAILURE(reach(row.label, Qt::AltModifier, popup));
        const int before = popup->currentIndex();
        const Qt::Key step = before + 1 < popup->count() ? Qt::Key_Down : Qt::Key_Up;
        const std::size_t changes = posts(TSY_SiteParamChange_Notification);
        if (row.openList) {
            press(Qt::Key_F4);
            ASSERT_TRUE(QTest::qWaitFor([&] { return popup->view()->isVisible(); }, 10000));
            press(step);
            press(Qt::Key_Return);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !popup->view()->isVisible(); }, 10000));
        } else {
            press(step);
        }
        ASSERT_NE(popup->currentIndex(), before);
        const Setting setting = [&] {
            for (const PopupSetting& known : kPopupSettings) {
                if (std::string(known.outlet) == row.outlet) {
                    return known.setting;
                }
            }
            return Setting::NumOfCol;
        }();
        EXPECT_EQ(pane_->pref()->integerSetting(setting), popup->currentText().toInt());
        EXPECT_EQ(posts(TSY_SiteParamChange_Notification), changes + 1);
    }

    // The colour wells: a well's mnemonic, like a button's, presses it, and so does Space on a
    // well that has the focus. Either opens the colour dialog, whose HTML field takes the colour,
    // and Return chooses it.
    struct WellCase {
        int tag;
        Qt::Key tab;
        Qt::Key label;
        const char* colour;
        bool space;
    };
    static constexpr WellCase wells[] = {
        {14, Qt::Key_R, Qt::Key_N, "#102030", false}, {15, Qt::Key_R, Qt::Key_O, "#203040", false},
        {16, Qt::Key_R, Qt::Key_U, "#304050", true},  {10, Qt::Key_E, Qt::Key_T, "#405060", false},
        {11, Qt::Key_E, Qt::Key_D, "#506070", false}, {12, Qt::Key_L, Qt::Key_O, "#607080", false},
        {13, Qt::Key_L, Qt::Key_U, "#708090", true},
    };
    const auto chooseColour = [](const char* colour) {
        return [colour] {
            press(Qt::Key_H, Qt::AltModifier);
            press(Qt::Key_A, Qt::ControlModifier);
            type(QLatin1String(colour));
            press(Qt::Key_Return);
        };
    };
    for (const WellCase& row : wells) {
        SCOPED_TRACE(row.colour);
        press(row.tab, Qt::AltModifier);
        auto* well = qobject_cast<ColorWell*>(viewWithTag(pane_->tabView, row.tag));
        ASSERT_TRUE(well);
        std::size_t shown = modals_.seen.size();
        // With Space the mnemonic's dialog is left with Escape, which keeps the colour.
        modals_.expect(row.space ? std::function<void()>([] { press(Qt::Key_Escape); })
                                 : chooseColour(row.colour));
        ASSERT_NO_FATAL_FAILURE(reach(row.label, Qt::AltModifier, well));
        ASSERT_TRUE(QTest::qWaitFor([&] { return modals_.seen.size() > shown; }, 10000));
        ASSERT_NO_FATAL_FAILURE(modalClosed());
        if (row.space) {
            shown = modals_.seen.size();
            modals_.expect(chooseColour(row.colour));
            press(Qt::Key_Space);
            ASSERT_TRUE(QTest::qWaitFor([&] { return modals_.seen.size() > shown; }, 10000));
            ASSERT_NO_FATAL_FAILURE(modalClosed());
        }
        // The dialog is titled as the well is named.
        EXPECT_EQ(modals_.seen.back().title,
                  QAccessible::queryAccessibleInterface(well)->text(QAccessible::Name));
        EXPECT_EQ(well->color(), QColor(QLatin1String(row.colour)));
        const Setting setting = [&] {
            for (const ColorWellSetting& known : kColorWells) {
                if (known.tag == row.tag) {
                    return known.setting;
                }
            }
            return Setting::MenuTextColor;
        }();
        ASSERT_TRUE(pane_->pref()->colorSetting(setting));
        EXPECT_EQ(qColor(pane_->pref()->colorSetting(setting)), QColor(QLatin1String(row.colour)));
        EXPECT_EQ(QApplication::focusWidget(), well);
    }

    // The check box's own mnemonic switches it, as a click would.
    press(Qt::Key_L, Qt::AltModifier);
    const bool publishEvents = pane_->pref()->getPublishEvents();
    const std::size_t changes = posts(TSY_SiteParamChange_Notification);
    auto* events = window_->findChild<QCheckBox*>(QStringLiteral("publishEventsCheckBox"));
    ASSERT_TRUE(events);
    press(Qt::Key_H, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events->isChecked() != publishEvents; }, 10000));
    EXPECT_EQ(QApplication::focusWidget(), events);
    EXPECT_NE(LumibayPref().getPublishEvents(), publishEvents);
    EXPECT_EQ(posts(TSY_SiteParamChange_Notification), changes + 1);
    press(Qt::Key_Space);
    EXPECT_EQ(events->isChecked(), publishEvents);
    EXPECT_EQ(LumibayPref().getPublishEvents(), publishEvents);

    // The check interval: Home and End reach either end, the arrows go stop by stop.
    ASSERT_NO_FATAL_FAILURE(reach(Qt::Key_I, Qt::AltModifier, pane_->intervalSlider));
    struct IntervalStep {
        Qt::Key key;
        float minutes;
    };
    static constexpr IntervalStep steps[] = {
        {Qt::Key_End, 60.0f}, {Qt::Key_Home, 1.0f}, {Qt::Key_Right, 2.0f}, {Qt::Key_PageUp, 3.0f}};
    for (const IntervalStep& step : steps) {
        press(step.key);
        EXPECT_FLOAT_EQ(pane_->pref()->getCheckInterval(), step.minutes);
        EXPECT_EQ(pane_->intervalLabel->text(), intervalText(step.minutes));
    }
    EXPECT_FLOAT_EQ(LumibayPref().getCheckInterval(), 3.0f);
}

// Ctrl+Tab and Ctrl+PageDown (with Shift or PageUp backwards) switch tabs from wherever the focus
// is, the Publishing box and a popup included, and change no setting on the way.
TEST_F(KeyboardOnly, SwitchesTabsFromAnyControlWithoutChangingASetting) {
    struct Case {
        const char* from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int step;
    };
    static const Case cases[] = {
        {"actionButton", Qt::Key_Tab, Qt::ControlModifier, 1},
        {"intervalSlider", Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, -1},
        {"numColomsMenu", Qt::Key_PageDown, Qt::ControlModifier, 1},
        {"imageSizeControlView", Qt::Key_PageUp, Qt::ControlModifier, -1},
        {"numColomsMenu", Qt::Key_Tab, Qt::ControlModifier, 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.from);
        pane_->tabView->setCurrentIndex(0);
        auto* control = window_->findChild<QWidget*>(QLatin1String(row.from));
        ASSERT_TRUE(control);
        control->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), control);
        const std::string file = readFile(home_.settingsFile());
        const std::size_t postsBefore = notifier_->posts.size();
        press(row.key, row.modifiers);
        const int count = pane_->tabView->count();
        EXPECT_EQ(pane_->tabView->currentIndex(), (row.step + count) % count);
        EXPECT_EQ(readFile(home_.settingsFile()), file);
        EXPECT_EQ(notifier_->posts.size(), postsBefore);
    }
}

// Tab walks the window from top to bottom, and every control of the window is on the way.
TEST_F(KeyboardOnly, TabWalksTheWindowFromTopToBottom) {
    // It opens on the first control that changes something, not on a field that only shows.
    EXPECT_EQ(QApplication::focusWidget(), pane_->intervalSlider);
    fs::create_directories(home_.siteFolder());
    writeFile(home_.siteFolder() / "Tessaly.html", "<html></html>");
    pane_->didSelect(); // the window comes to the front and looks for the site
    ASSERT_TRUE(pane_->openSiteButton->isEnabled());
    QWidget* top = pane_->libraryChoice()->menu();
    top->setFocus(Qt::TabFocusReason);
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 30; ++i) {
        press(Qt::Key_Tab);
        if (QApplication::focusWidget() == top) {
            break;
        }
        visited << QApplication::focusWidget()->objectName();
    }
    // The library's folder and its button show only for a folder library.
    const QStringList expected = {"libraryMenu",
                                  "siteFolderNameView",
                                  "siteTopPageNameView",
                                  "sitePathView",
                                  "openSiteButton",
                                  "intervalSlider",
                                  "aboutButton",
                                  "actionButton",
                                  "qt_tabwidget_tabbar",
                                  "imageSizeControlView",
                                  "numColomsMenu",
                                  "imageSpaceingMenu",
                                  "pictureTitleFontSizeMenu",
                                  "pictureCommentFontSizeMenu",
                                  "pictureBkgndColorWell",
                                  "pictureTitleColorWell",
                                  "pictureCommentColorWell"};
    EXPECT_EQ(visited, expected);
}

// Start and stop, the about sheet and "Open in Browser", each by its mnemonic; the question before
// the library moves is answered with Return.
TEST_F(KeyboardOnly, StartsAndStopsPublishingAndOpensTheSite) {
    writeFile(home_.path() / "Pictures/iPhoto Library/AlbumData.xml", "index");
    modals_.expect([] { press(Qt::Key_Return); });
    pressButton(Qt::Key_P, pane_->actionButton,
                [&] { return fs::exists(helper_.string() + ".launches"); });
    ASSERT_EQ(modals_.seen.size(), 1u);
    EXPECT_TRUE(fs::is_directory(home_.libraryFolder()));
    EXPECT_TRUE(LumibayPref().getActiveFlag());
    EXPECT_EQ(pane_->actionButton->text(), "Stop &Publishing");
    EXPECT_EQ(pane_->publishingStateLabel->text(), "Publishing");
    EXPECT_TRUE(fs::exists(home_.path() / ".config/autostart"));

    // The helper builds the site; the window finds it and can open it.
    writeFile(home_.siteFolder() / "Tessaly.html", "<html></html>");
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane_->openSiteButton->isEnabled(); }, 10000));
    OpenedUrls urls;
    pressButton(Qt::Key_B, pane_->openSiteButton, [&] { return !urls.opened.empty(); });
    EXPECT_EQ(urls.opened.front(), pane_->siteAddress());

    pressButton(Qt::Key_P, pane_->actionButton,
                [&] { return posts(Stop_Lumibay_Helper_Notification) == 1; });
    EXPECT_FALSE(LumibayPref().getActiveFlag());
    EXPECT_EQ(pane_->actionButton->text(), "Start &Publishing");
    EXPECT_EQ(pane_->publishingStateLabel->text(), "Not publishing");

    // The about sheet opens on its closing button; Escape closes it.
    modals_.expect([] { press(Qt::Key_Escape); });
    const std::size_t shown = modals_.seen.size();
    pressButton(Qt::Key_A, qobject_cast<QPushButton*>(window_->findChild<QWidget*>("aboutButton")),
                [&] { return modals_.seen.size() > shown && !QApplication::activeModalWidget(); });
    EXPECT_EQ(modals_.seen.back().focused, "okButton");
}

// The saved looks: a look is selected with the arrows, applied, deleted after its question, and
// a new look is saved after a selection was cleared with Escape.
TEST_F(KeyboardOnly, SavesAppliesAndDeletesLooks) {
    const fs::path folder = resources_ / "ViewSettings";
    press(Qt::Key_K, Qt::AltModifier);
    ASSERT_NO_FATAL_FAILURE(reach(Qt::Key_V, Qt::AltModifier, pane_->viewSetingListView));
    TextArrayView& list = *pane_->viewSetingListView;
    const auto select = [&](const QString& name) {
        press(Qt::Key_V, Qt::AltModifier);
        press(Qt::Key_Home);
        for (int i = 0; i < lines().size() && list.getTextFromArray(list.getSelectLine()) != name;
             ++i) {
            press(Qt::Key_Down);
        }
        ASSERT_EQ(list.getTextFromArray(list.getSelectLine()), name);
    };

    // Saved under a typed name.
    modals_.expect([] {
        type(QStringLiteral("Mine"));
        press(Qt::Key_Return);
    });
    pressButton(Qt::Key_S, pane_->saveSettingButton,
                [&] { return lines().contains("Mine.plist"); });
    EXPECT_TRUE(fs::exists(folder / "Mine.plist"));

    // Applied: the settings take the look's values.
    ASSERT_NO_FATAL_FAILURE(select(QStringLiteral("Print.plist")));
    EXPECT_FALSE(pane_->saveSettingButton->isEnabled());
    const std::size_t changes = posts(TSY_SiteParamChange_Notification);
    pressButton(Qt::Key_U, pane_->useSelectedSettingButton,
                [&] { return posts(TSY_SiteParamChange_Notification) > changes; });
    const PresetResult<Preset> print = PresetFolder(folder).load("Print.plist");
    ASSERT_TRUE(print.ok());
    EXPECT_EQ(LumibayPref().getNumOfCol(), print.value().integer(Setting::NumOfCol));
    EXPECT_EQ(pane_->numColomsMenu->currentText().toInt(),
              print.value().integer(Setting::NumOfCol));
    EXPECT_EQ(list.getSelectLine(), -1);

    // Deleted after a question that names it. The question opens on Cancel, the safe answer;
    // Tab reaches OK, which Return then presses.
    ASSERT_NO_FATAL_FAILURE(select(QStringLiteral("Mine.plist")));
    modals_.expect([] {
        for (int i = 0; i < 5 && QApplication::focusWidget()->objectName() != "okButton"; ++i) {
            press(Qt::Key_Tab);
        }
        press(Qt::Key_Return);
    });
    pressButton(Qt::Key_D, pane_->deleteSelectedSettingButton,
                [&] { return !lines().contains("Mine.plist"); });
    EXPECT_TRUE(modals_.seen.back().text.contains("Mine"))
        << modals_.seen.back().text.toStdString();
    EXPECT_EQ(modals_.seen.back().focused, "cancelButton");
    EXPECT_FALSE(fs::exists(folder / "Mine.plist"));

    // A new look after a selection: Escape lets go of the selected line, and the current look,
    // not the selected one, is saved.
    ASSERT_NO_FATAL_FAILURE(select(QStringLiteral("Ocean.plist")));
    EXPECT_FALSE(pane_->saveSettingButton->isEnabled());
    press(Qt::Key_Escape);
    EXPECT_EQ(list.getSelectLine(), -1);
    EXPECT_TRUE(pane_->saveSettingButton->isEnabled());
    modals_.expect([] {
        type(QStringLiteral("After Print"));
        press(Qt::Key_Return);
    });
    pressButton(Qt::Key_S, pane_->saveSettingButton,
                [&] { return lines().contains("After Print.plist"); });
    const PresetResult<Preset> saved = PresetFolder(folder).load("After Print.plist");
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(saved.value().integer(Setting::NumOfCol), print.value().integer(Setting::NumOfCol));
    ASSERT_TRUE(saved.value().color(Setting::MenuBkgndColor));
    EXPECT_EQ(NSColorExtention::HTMLColor(*saved.value().color(Setting::MenuBkgndColor)),
              NSColorExtention::HTMLColor(*print.value().color(Setting::MenuBkgndColor)));
}

} // namespace
} // namespace tessaly

#include "KeyboardTest.moc"
