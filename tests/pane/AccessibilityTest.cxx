// The window as assistive technology reads it: through Qt's accessible interfaces, which are
// what the AT-SPI bridge hands to a screen reader.
#include "Accessibility.hxx"

#include "AccessibleText.hxx"
#include "ColorWell.hxx"
#include "PaneFixture.hxx"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QKeySequence>
#include <QStyleFactory>
#include <QTabBar>

#include <cstdio>
#include <optional>

QT_BEGIN_NAMESPACE
// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace tessaly {
namespace {

using namespace testing;

QString withoutMnemonic(QString text) {
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text.replace(QLatin1String("&&"), QLatin1String("&"));
}

class Accessibility : public PaneFixture {
protected:
    void openShown() {
        ASSERT_NO_FATAL_FAILURE(open());
        view_->show();
        view_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    }
    QAccessibleInterface* accessible(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget);
    }
    // The list's item a screen reader reads as the popup's value.
    QString selectedInPopupList(QComboBox* popup) {
        QAccessibleInterface* list = accessible(popup)->child(0);
        if (!list || !list->tableInterface()) {
            return QStringLiteral("<no list>");
        }
        const QList<QAccessibleInterface*> cells = list->tableInterface()->selectedCells();
        return cells.size() == 1 ? cells[0]->text(QAccessible::Name)
                                 : QStringLiteral("<%1 selected>").arg(cells.size());
    }
};

TEST_F(Accessibility, EveryControlSaysItsRoleNameAndValue) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    struct Case {
        const char* outlet;
        QAccessible::Role role;
        const char* name;
        const char* value; // null: not checked
    };
    static const Case cases[] = {
        {"siteFolderNameView", QAccessible::EditableText, "Site folder", "iPhotoPictureSite"},
        {"siteTopPageNameView", QAccessible::EditableText, "Top page", "Tessaly.html"},
        {"sitePathView", QAccessible::EditableText, "Published at", ""},
        {"openSiteButton", QAccessible::Button, "Open in Browser", nullptr},
        {"intervalSlider", QAccessible::Slider, "Check interval", "1 minute"},
        {"aboutButton", QAccessible::Button, "About", nullptr},
        {"actionButton", QAccessible::Button, "Start Publishing", nullptr},
        {"publishingStateLabel", QAccessible::StaticText, "Not publishing", nullptr},
        {"imageSizeControlView", QAccessible::SpinBox, "Picture size", "150 px"},
        {"numColomsMenu", QAccessible::ComboBox, "Columns", "4"},
        {"imageSpaceingMenu", QAccessible::ComboBox, "Picture spacing (pixels)", "10"},
        {"pictureTitleFontSizeMenu", QAccessible::ComboBox,
         "Picture title font size (steps from normal)", "-1"},
        {"pictureCommentFontSizeMenu", QAccessible::ComboBox,
         "Picture comment font size (steps from normal)", "-2"},
        {"pictureBkgndColorWell", QAccessible::Button, "Picture background colour", nullptr},
        {"menwWidthMenu", QAccessible::ComboBox, "Menu width (pixels)", nullptr},
        {"menuFontSizeMenu", QAccessible::ComboBox, "Menu font size (steps from normal)", "-2"},
        {"menuTextColorWell", QAccessible::Button, "Menu text colour", nullptr},
        {"albumTitleFontSizeMenu", QAccessible::ComboBox, "Album title heading size (1 largest)",
         nullptr},
        {"albumCommentColorWell", QAccessible::Button, "Album comment colour", nullptr},
        {"publishEventsCheckBox", QAccessible::CheckBox, "Publish events", nullptr},
        {"viewSetingListView", QAccessible::List, "Saved looks", nullptr},
        {"saveSettingButton", QAccessible::Button, "Save Look…", nullptr},
        {"useSelectedSettingButton", QAccessible::Button, "Use Selected Look", nullptr},
        {"deleteSelectedSettingButton", QAccessible::Button, "Delete Selected Look", nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.outlet);
        QWidget* widget = child<QWidget>(row.outlet);
        ASSERT_TRUE(widget);
        QAccessibleInterface* control = accessible(widget);
        ASSERT_TRUE(control);
        EXPECT_EQ(control->role(), row.role);
        EXPECT_EQ(control->text(QAccessible::Name), QString::fromUtf8(row.name));
        if (row.value) {
            EXPECT_EQ(control->text(QAccessible::Value), QString::fromUtf8(row.value));
        }
    }

    // A name is the visible text that names the control, so that a person who says what they see
    // reaches it: for every label, its control; for every button and tab, its title.
    for (QLabel* label : view_->findChildren<QLabel*>()) {
        if (label->buddy() && label->objectName() != QLatin1String("intervalLabel")) {
            SCOPED_TRACE(label->objectName().toStdString());
            EXPECT_EQ(accessibleText(label->buddy()), withoutMnemonic(label->text()));
        }
    }
    for (QAbstractButton* button : view_->findChildren<QAbstractButton*>()) {
        if (!qobject_cast<ColorWell*>(button) && !button->text().isEmpty()) {
            EXPECT_EQ(accessibleText(button), withoutMnemonic(button->text()));
        }
    }
    QAccessibleInterface* tabBar = accessible(pane_->tabView->tabBar());
    ASSERT_EQ(tabBar->childCount(), pane_->tabView->count() + 2); // the two scroll buttons
    for (int i = 0; i < pane_->tabView->count(); ++i) {
        EXPECT_EQ(tabBar->child(i)->text(QAccessible::Name),
                  withoutMnemonic(pane_->tabView->tabText(i)));
    }
}

// The screen reader reads a popup's value from the selected item of its list: after a change by
// the keyboard it must be the new value.
TEST_F(Accessibility, PopupValuesReachTheScreenReaderWhenTheyChange) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    for (const PopupSetting& row : kPopupSettings) {
        SCOPED_TRACE(row.outlet);
        auto* popup = child<QComboBox>(row.outlet);
        ASSERT_TRUE(popup);
        pane_->tabView->setCurrentWidget(popup->parentWidget());
        popup->setFocus();
        EXPECT_EQ(selectedInPopupList(popup), popup->currentText());
        const int before = popup->currentIndex();
        QTest::keyClick(popup, before + 1 < popup->count() ? Qt::Key_Down : Qt::Key_Up);
        ASSERT_NE(popup->currentIndex(), before);
        EXPECT_EQ(accessible(popup)->text(QAccessible::Value), popup->currentText());
        // Also as its text, where a screen reader that finds no selected item reads it.
        ASSERT_TRUE(accessible(popup)->textInterface());
        EXPECT_EQ(accessible(popup)->textInterface()->text(0, -1), popup->currentText());
        EXPECT_EQ(selectedInPopupList(popup), popup->currentText());
        // The new value was stored, so the screen reader says what the site will show.
        EXPECT_EQ(pane_->pref()->integerSetting(row.setting), popup->currentText().toInt());
    }
}

TEST_F(Accessibility, ListItemsAndTheSelectedOne) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    pane_->tabView->setCurrentWidget(child<QWidget>("presetsTab"));
    TextArrayView* list = pane_->viewSetingListView;
    list->setFocus();
    QAccessibleInterface* items = accessible(list);
    const QStringList lines = *list->getTextArray();
    ASSERT_GE(lines.size(), 2);
    ASSERT_EQ(items->childCount(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(items->child(i)->role(), QAccessible::ListItem);
        EXPECT_EQ(items->child(i)->text(QAccessible::Name), lines[i]);
        EXPECT_FALSE(items->child(i)->state().selected);
    }
    // The list is labelled by the label above it.
    const auto labels = items->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->object(), child<QLabel>("presetListLabel"));

    struct Step {
        Qt::Key key;
        int selected;
    };
    const int last = static_cast<int>(lines.size()) - 1;
    const Step steps[] = {{Qt::Key_Down, 0},
                          {Qt::Key_End, last},
                          {Qt::Key_Up, last - 1},
                          {Qt::Key_Home, 0},
                          {Qt::Key_Escape, -1}};
    for (const Step& step : steps) {
        SCOPED_TRACE(QKeySequence(step.key).toString().toStdString());
        QTest::keyClick(list, step.key);
        ASSERT_EQ(list->getSelectLine(), step.selected);
        for (int i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(items->child(i)->state().selected, i == step.selected);
            EXPECT_EQ(items->child(i)->state().focused, i == step.selected);
        }
    }
}

TEST_F(Accessibility, TheCheckIntervalIsReadAndSetInMinutes) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    QSlider* slider = pane_->intervalSlider;
    QAccessibleInterface* control = accessible(slider);
    QAccessibleValueInterface* value = control->valueInterface();
    ASSERT_TRUE(value);
    EXPECT_EQ(value->minimumValue().toDouble(), 1.0);
    EXPECT_EQ(value->maximumValue().toDouble(), 60.0);
    // The label beside the slider says the same and is tied to it.
    bool labelled = false;
    for (const auto& relation : control->relations(QAccessible::Label)) {
        labelled = labelled || relation.first->object() == pane_->intervalLabel;
    }
    EXPECT_TRUE(labelled);

    slider->setFocus();
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(slider, Qt::Key_Right);
    }
    EXPECT_EQ(control->text(QAccessible::Value), "10 minutes");
    EXPECT_EQ(value->currentValue().toDouble(), 10.0);
    EXPECT_EQ(pane_->intervalLabel->text(), "10 minutes");

    // A screen reader that sets 28 minutes gets the nearest stop, stored like a move.
    value->setCurrentValue(28.0);
    EXPECT_EQ(slider->value(), 9);
    EXPECT_EQ(control->text(QAccessible::Value), "30 minutes");
    EXPECT_FLOAT_EQ(pane_->pref()->getCheckInterval(), 30.0f);
}

// A problem is announced the moment it appears: an alert the screen reader speaks unasked.
TEST_F(Accessibility, ProblemsAreAnnouncedAsAlerts) {
    struct Case {
        const char* name;
        bool unreadableAtOpening;
        const char* says;
    };
    static constexpr Case cases[] = {
        {"unreadable at opening", true, "could not be read. The window shows the default look"},
        {"unreadable since opening", false, "This change was not saved"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        writeSettings("<key>Num_Of_Col_Key</key><integer>4</integer>");
        if (row.unreadableAtOpening) {
            writeFile(home_.settingsFile(), "not a property list");
        }
        ASSERT_NO_FATAL_FAILURE(openShown());
        if (!row.unreadableAtOpening) {
            writeFile(home_.settingsFile(), "not a property list");
            QComboBox* columns = pane_->numColomsMenu;
            columns->setFocus();
            QTest::keyClick(columns, Qt::Key_Down);
        }
        QLabel* problem = pane_->saveProblemLabel;
        EXPECT_TRUE(problem->isVisible());
        QAccessibleInterface* alert = accessible(problem);
        EXPECT_EQ(alert->role(), QAccessible::Notification);
        EXPECT_TRUE(alert->text(QAccessible::Name).contains(QLatin1String(row.says)))
            << alert->text(QAccessible::Name).toStdString();
        // The unreadable file is never overwritten.
        EXPECT_EQ(readFile(home_.settingsFile()), "not a property list");
        TearDown();
    }
}

// The problem text keeps a contrast of at least 4.5:1 on the window, in light and dark styles.
TEST_F(Accessibility, ProblemTextIsReadableInLightAndDarkStyles) {
    ASSERT_NO_FATAL_FAILURE(openShown());
    const QPalette original = QApplication::palette();
    QPalette light = QStyleFactory::create(QStringLiteral("Fusion"))->standardPalette();
    QPalette dark = darkPalette();
    struct Case {
        const char* name;
        QPalette palette;
    };
    const Case cases[] = {{"light", light}, {"dark", dark}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        QApplication::setPalette(row.palette);
        QCoreApplication::processEvents();
        const QColor background = pane_->saveProblemLabel->palette().color(QPalette::Window);
        const QColor text = pane_->saveProblemLabel->palette().color(QPalette::WindowText);
        const double ratio = contrastRatio(text, background);
        std::printf("problem text %s on %s (%s style): contrast %.2f:1\n",
                    text.name().toLatin1().constData(), background.name().toLatin1().constData(),
                    row.name, ratio);
        EXPECT_GE(ratio, kMinimumTextContrast);
        // Read-only fields wear the window's colours, editable ones a field's.
        EXPECT_EQ(pane_->siteFolderNameView->palette().color(QPalette::Base), background);
        EXPECT_NE(pane_->imageSizeControlView->palette().color(QPalette::Base), background);
    }
    QApplication::setPalette(original);
    // The ratio itself, against the figures WCAG gives.
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(QColor(0xB0, 0x00, 0x20), QColor(0x35, 0x35, 0x35)), 1.67, 0.01);
}

} // namespace
} // namespace tessaly
