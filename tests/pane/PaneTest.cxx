// The pane filling its controls from the settings, its window, and its use by keyboard and
// assistive technology.
#include "AccessibleText.hxx"
#include "ColorWell.hxx"
#include "HostWindow.hxx"
#include "PaneFixture.hxx"

#include <QAccessible>
#include <QApplication>

namespace tessaly {
namespace {

using namespace testing;

using Pane = PaneFixture;

QString shownText(QComboBox* menu) {
    return menu->currentIndex() < 0 ? QString() : menu->currentText();
}

// What a user's choice of an item does to the popup.
void choose(QComboBox* menu, const char* title) {
    const int index = menu->findText(QLatin1String(title));
    ASSERT_GE(index, 0) << title;
    menu->setCurrentIndex(index);
    emit menu->activated(index);
}

TEST_F(Pane, WithoutSettingsShowsEveryDefaultAndTheIntervalReachesTheFileWithTheFirstEdit) {
    open();
    for (const PopupSetting& row : kPopupSettings) {
        SCOPED_TRACE(row.outlet);
        EXPECT_EQ(shownText(child<QComboBox>(row.outlet)),
                  QString::number(settingInfo(row.setting).number));
    }
    EXPECT_EQ(pane_->imageSizeControlView->value(), 150);
    EXPECT_EQ(pane_->siteFolderNameView->text(), "iPhotoPictureSite");
    EXPECT_EQ(pane_->siteTopPageNameView->text(), "Tessaly.html");
    // Nothing is published yet: no address, and nothing to open.
    EXPECT_EQ(pane_->sitePathView->text(), "");
    EXPECT_FALSE(pane_->openSiteButton->isEnabled());
    EXPECT_EQ(pane_->intervalSlider->value(), 0);
    EXPECT_EQ(pane_->intervalLabel->text(), "1 minute");
    for (const ColorWellSetting& row : kColorWells) {
        SCOPED_TRACE(row.tag);
        auto* well = qobject_cast<ColorWell*>(viewWithTag(pane_->tabView, row.tag));
        ASSERT_TRUE(well);
        EXPECT_EQ(well->color().name(QColor::HexRgb).toUpper().mid(1),
                  QLatin1String(settingInfo(row.setting).text));
    }

    choose(pane_->numColomsMenu, "3");
    const std::string file = readFile(home_.settingsFile());
    EXPECT_NE(file.find("<key>Check_Interval_Key</key>\n\t<real>1"), std::string::npos) << file;
    EXPECT_NE(file.find("<key>Num_Of_Col_Key</key>\n\t<integer>3</integer>"), std::string::npos);
}

// What a stored value shows: the item written exactly as "%d" writes it, nothing when no item has
// that title, the default for a value of the wrong type.
TEST_F(Pane, PopupsSelectTheItemTitledLikeTheStoredValue) {
    struct Case {
        const char* name;
        const char* settings;
        const char* outlet;
        const char* shown; // empty: no item selected
    };
    static constexpr Case cases[] = {
        {"four columns", "<key>Num_Of_Col_Key</key><integer>4</integer>", "numColomsMenu", "4"},
        {"seven columns", "<key>Num_Of_Col_Key</key><integer>7</integer>", "numColomsMenu", "7"},
        {"negative font size", "<key>MenuFontSize_Key</key><integer>-3</integer>",
         "menuFontSizeMenu", "-3"},
        {"a width no item has", "<key>MenuWidth_Key</key><integer>123</integer>", "menwWidthMenu",
         ""},
        {"stored as a real", "<key>Picture_SPace_Key</key><real>20</real>", "imageSpaceingMenu",
         "20"},
        {"a text where a number belongs", "<key>Num_Of_Col_Key</key><string>7</string>",
         "numColomsMenu", "4"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        writeSettings(row.settings);
        open();
        EXPECT_EQ(shownText(child<QComboBox>(row.outlet)), QLatin1String(row.shown));
        TearDown();
    }
}

TEST_F(Pane, ShowsStoredColoursIntervalAndFlag) {
    writeSettings("<key>PictureBkgndColor_Key</key><string>0A1B2C</string>"
                  "<key>MenuStringColor_Key</key><string>ABC</string>"
                  "<key>Check_Interval_Key</key><real>27</real>"
                  "<key>Active_Flag_Key</key><true/>");
    open();
    auto well = [&](int tag) { return qobject_cast<ColorWell*>(viewWithTag(pane_->tabView, tag)); };
    EXPECT_EQ(well(14)->color(), QColor(0x0A, 0x1B, 0x2C));
    // A colour text that is not six characters gives no colour: the well shows none.
    EXPECT_FALSE(well(10)->color().isValid());
    // 27 minutes is nearest the 25-minute stop; the label keeps the stored value.
    EXPECT_EQ(pane_->intervalSlider->value(), 8);
    EXPECT_EQ(pane_->intervalLabel->text(), "27 minutes");
    EXPECT_EQ(pane_->actionButton->text(), "Stop &Publishing");
    EXPECT_EQ(accessibleText(pane_->actionButton), "Stop Publishing");
}

// A settings file that cannot be read: the window shows the defaults, an edit leaves the file as
// it is and says so in the window.
TEST_F(Pane, AnUnreadableFileShowsDefaultsAndIsNeverOverwritten) {
    const std::string garbage = "not a property list at all";
    writeFile(home_.settingsFile(), garbage);
    open();
    EXPECT_EQ(pane_->numColomsMenu->currentText(), "4");
    EXPECT_EQ(pane_->siteFolderNameView->text(), "iPhotoPictureSite");
    EXPECT_EQ(pane_->intervalLabel->text(), "1 minute");
    EXPECT_EQ(pane_->actionButton->text(), "Start &Publishing");
    // Said at once, not only at the first change.
    EXPECT_FALSE(pane_->saveProblemLabel->isHidden());

    choose(pane_->numColomsMenu, "2");
    EXPECT_EQ(readFile(home_.settingsFile()), garbage);
    EXPECT_FALSE(pane_->saveProblemLabel->isHidden());
    EXPECT_TRUE(pane_->saveProblemLabel->text().contains(
        QString::fromStdString(home_.settingsFile().string())));
}

// A settings file that cannot be written (its folder gone, a file in its place): the edit says
// so in the window, and the next edit that is saved clears the notice.
TEST_F(Pane, AnEditThatCannotBeWrittenSaysSo) {
    writeSettings("<key>Num_Of_Col_Key</key><integer>4</integer>\n");
    open();
    const std::filesystem::path folder = home_.settingsFile().parent_path();
    std::filesystem::remove_all(folder);
    writeFile(folder, "a file where the folder should be");
    choose(pane_->numColomsMenu, "2");
    EXPECT_FALSE(pane_->saveProblemLabel->isHidden());
    EXPECT_TRUE(pane_->saveProblemLabel->text().contains("could not be written"));

    std::filesystem::remove(folder);
    choose(pane_->numColomsMenu, "3");
    EXPECT_TRUE(pane_->saveProblemLabel->isHidden());
    EXPECT_EQ(LumibayPref().getNumOfCol(), 3);
}

// The host: titled from the bundle's string table when activated, the pane gone once closed.
TEST_F(Pane, TheWindowIsTitledWhenActivatedAndLetsThePaneGoWhenClosed) {
    QString error;
    std::unique_ptr<HostWindow> window = HostWindow::open(Bundle(PANE_RESOURCES), nullptr, &error);
    ASSERT_TRUE(window) << error.toStdString();
    EXPECT_TRUE(window->windowTitle().isEmpty());
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->windowTitle(), "Tessaly");
    window->close();
    EXPECT_EQ(window->pane(), nullptr);
}

// The keyboard alone: a label's mnemonic reaches its popup, the arrow keys choose an item, and Tab
// walks through every control of the shown tab.
TEST_F(Pane, WorksWithTheKeyboardAlone) {
    QString error;
    notifier_ = std::make_unique<RecordingNotifier>(home_.settingsFile());
    std::unique_ptr<HostWindow> window =
        HostWindow::open(Bundle(PANE_RESOURCES), notifier_.get(), &error);
    ASSERT_TRUE(window) << error.toStdString();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    Tessaly& pane = *window->pane();

    QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), pane.numColomsMenu);
    QTest::keyClick(pane.numColomsMenu, Qt::Key_Down);
    EXPECT_EQ(pane.numColomsMenu->currentText(), "5");
    EXPECT_NE(readFile(home_.settingsFile()).find("<key>Num_Of_Col_Key</key>\n\t<integer>5"),
              std::string::npos);

    pane.intervalSlider->setFocus();
    QTest::keyClick(pane.intervalSlider, Qt::Key_Right);
    EXPECT_EQ(pane.intervalLabel->text(), "2 minutes");

    QStringList visited;
    QWidget* start = QApplication::focusWidget();
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == start) {
            break;
        }
        visited << QApplication::focusWidget()->objectName();
    }
    for (const char* control :
         {"actionButton", "qt_tabwidget_tabbar", "imageSizeControlView", "numColomsMenu",
          "imageSpaceingMenu", "pictureTitleFontSizeMenu", "pictureCommentFontSizeMenu",
          "pictureBkgndColorWell", "pictureTitleColorWell", "pictureCommentColorWell"}) {
        EXPECT_TRUE(visited.contains(QLatin1String(control)))
            << control << " not in " << visited.join(' ').toStdString();
    }
    EXPECT_LT(visited.indexOf("actionButton"), visited.indexOf("imageSizeControlView"));
    EXPECT_LT(visited.indexOf("imageSizeControlView"), visited.indexOf("pictureCommentColorWell"));
}

} // namespace
} // namespace tessaly
