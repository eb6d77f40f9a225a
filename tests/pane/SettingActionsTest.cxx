// Every setting action: the value stored, the file saved before the post, and the signal a
// listener on the session bus hears, with its exact user information.
#include "ColorWell.hxx"
#include "PaneFixture.hxx"
#include "PlistFile.hxx"

#include <QDBusArgument>
#include <QDBusVariant>

#include <cmath>

namespace tessaly {
namespace {

using namespace testing;

enum class Payload { None, Int32, Double };

struct ActionCase {
    const char* name;
    const char* outlet;
    const char* input;  // the item title, size, slider position or colour chosen
    const char* key;    // the settings key it changes
    const char* stored; // the value's XML in the file
    const char* signal; // the notification heard
    Payload payload;
    double value; // the payload's value
};

static constexpr ActionCase kActions[] = {
    {"columns", "numColomsMenu", "3", Num_Of_Col_Key, "<integer>3</integer>",
     TSY_SiteParamChange_Notification, Payload::None, 0},
    {"spacing", "imageSpaceingMenu", "25", Picture_SPace_Key, "<integer>25</integer>",
     TSY_SiteParamChange_Notification, Payload::None, 0},
    {"menu width", "menwWidthMenu", "200", MenuWidth_Key, "<integer>200</integer>",
     TSY_SiteParamChange_Notification, Payload::None, 0},
    {"menu font size", "menuFontSizeMenu", "-3", MenuFontSize_Key, "<integer>-3</integer>",
     TSY_SiteParamChange_Notification, Payload::None, 0},
    {"album title font size", "albumTitleFontSizeMenu", "5", AlbumTitleFontSize_Key,
     "<integer>5</integer>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"album comment font size", "albumCommentFontSizeMenu", "6", AlbumCommentFontSize_Key,
     "<integer>6</integer>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"picture title font size", "pictureTitleFontSizeMenu", "4", PictureTitleFontSize_Key,
     "<integer>4</integer>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"picture comment font size", "pictureCommentFontSizeMenu", "0", PictureCommentFontSize_Key,
     "<integer>0</integer>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"image size", "imageSizeControlView", "300", Site_Image_Size, "<integer>300</integer>",
     TSY_ImageSizey_Changed_Notification, Payload::Int32, 300},
    {"interval", "intervalSlider", "5", Check_Interval_Key, "<real>10",
     Interval_Changed_Notification, Payload::Double, 10},
    {"menu text colour", "menuTextColorWell", "#0A1B2C", MenuStringColor_Key,
     "<string>0A1B2C</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"menu background colour", "menuBkgndColorWell", "#FFFFFF", MenuBkgndColor_Key,
     "<string>FFFFFF</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"album title colour", "albumTitleColorWell", "#010203", AlbumTitleColor_Key,
     "<string>010203</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"album comment colour", "albumCommentColorWell", "#000000", AlbumCommentColor_Key,
     "<string>000000</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"picture background colour", "pictureBkgndColorWell", "#808080", PictureBkgndColor_Key,
     "<string>808080</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"picture title colour", "pictureTitleColorWell", "#FE7F01", PictureTitleColor_Key,
     "<string>FE7F01</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
    {"picture comment colour", "pictureCommentColorWell", "#123456", PictureCommentColor_Key,
     "<string>123456</string>", TSY_SiteParamChange_Notification, Payload::None, 0},
};

using SettingActions = PaneFixture;

// Drives the control as the user would change it.
void change(QWidget* control, const char* input) {
    if (auto* menu = qobject_cast<QComboBox*>(control)) {
        const int index = menu->findText(QLatin1String(input));
        ASSERT_GE(index, 0) << input;
        menu->setCurrentIndex(index);
        emit menu->activated(index);
    } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
        spin->setValue(std::atoi(input));
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
        slider->setValue(std::atoi(input));
    } else if (auto* well = qobject_cast<ColorWell*>(control)) {
        well->chooseColor(QColor(QLatin1String(input)));
    } else {
        FAIL() << "no way to change " << control->objectName().toStdString();
    }
}

std::string entry(const char* key, const char* stored) {
    return std::string("<key>") + key + "</key>\n\t" + stored;
}

TEST_F(SettingActions, EachStoresSavesThenPosts) {
    for (const ActionCase& row : kActions) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(home_.settingsFile());
        BusListener listener;
        ASSERT_TRUE(listener.connected()) << "run under dbus-run-session";
        open();
        const std::string before = readFile(home_.settingsFile());

        change(child<QWidget>(row.outlet), row.input);

        // Stored in the file, and already there when the notification went out.
        ASSERT_EQ(notifier_->posts.size(), 1u);
        const Post& post = notifier_->posts[0];
        EXPECT_EQ(post.name, row.signal);
        EXPECT_NE(post.fileAtPost.find(entry(row.key, row.stored)), std::string::npos)
            << post.fileAtPost;
        EXPECT_EQ(readFile(home_.settingsFile()), post.fileAtPost);
        // Only this setting changed (the interval default joins with the first save).
        EXPECT_EQ(before.find(entry(row.key, row.stored)), std::string::npos);

        ASSERT_TRUE(listener.waitFor(1));
        const QDBusMessage& message = listener.messages[0];
        EXPECT_EQ(message.member().toStdString(), row.signal);
        EXPECT_EQ(message.path(), QLatin1String(kNotificationPath));
        if (row.payload == Payload::None) {
            EXPECT_TRUE(message.arguments().isEmpty());
        } else {
            ASSERT_EQ(message.arguments().size(), 1);
            EXPECT_EQ(message.signature(), "a{sv}");
            const QVariantMap info =
                qdbus_cast<QVariantMap>(message.arguments()[0].value<QDBusArgument>());
            ASSERT_EQ(info.size(), 1);
            const QVariant value = info.value(Lumibay_Message_Key);
            EXPECT_EQ(value.metaType(), row.payload == Payload::Int32
                                            ? QMetaType::fromType<qint32>()
                                            : QMetaType::fromType<double>());
            EXPECT_EQ(value.toDouble(), row.value);
        }
        TearDown();
    }
}

// Changing one colour leaves the other six as they were.
TEST_F(SettingActions, AColourChangesOnlyItsOwnKey) {
    open();
    qobject_cast<ColorWell*>(viewWithTag(pane_->tabView, 12))->chooseColor(QColor(1, 2, 3));
    const std::string file = readFile(home_.settingsFile());
    for (const ColorWellSetting& well : kColorWells) {
        const SettingInfo& info = settingInfo(well.setting);
        SCOPED_TRACE(info.key);
        const std::string expected = well.tag == 12 ? "010203" : info.text;
        EXPECT_NE(file.find(entry(info.key, ("<string>" + expected + "</string>").c_str())),
                  std::string::npos);
    }
}

// The edits without widgets: values the controls cannot produce, and the order store, save, post.
class Edits : public ::testing::Test {
protected:
    TempHome home_;
    RecordingNotifier notifier_{home_.settingsFile()};
};

TEST_F(Edits, ImageSizeTruncatesTowardZeroAndCarriesTheSameInteger) {
    struct Case {
        const char* name;
        float value;
        std::int32_t stored;
    };
    static constexpr Case cases[] = {
        {"fraction", 300.9f, 300}, {"just under", 199.7f, 199}, {"negative", -12.9f, -12}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        LumibayPref pref;
        SettingEdits edits(pref, notifier_);
        notifier_.posts.clear();
        EXPECT_TRUE(edits.changeImageSize(row.value));
        EXPECT_EQ(LumibayPref().getImageSize(), row.stored);
        ASSERT_EQ(notifier_.posts.size(), 1u);
        EXPECT_EQ(notifier_.posts[0].userInfo.value(Lumibay_Message_Key).toInt(), row.stored);
        EXPECT_NE(notifier_.posts[0].fileAtPost.find("<integer>" + std::to_string(row.stored)),
                  std::string::npos);
    }
}

TEST_F(Edits, AColourTagOutsideTheWellsOnlyPosts) {
    LumibayPref pref;
    SettingEdits edits(pref, notifier_);
    for (int tag : {0, 9, 17, 4}) {
        SCOPED_TRACE(tag);
        EXPECT_TRUE(edits.changeColor(tag, RgbColor{1, 0, 0, 1}));
    }
    EXPECT_FALSE(std::filesystem::exists(home_.settingsFile()));
    ASSERT_EQ(notifier_.posts.size(), 4u);
    EXPECT_EQ(notifier_.posts[3].name, TSY_SiteParamChange_Notification);
    EXPECT_FALSE(notifier_.posts[3].hasUserInfo);
}

TEST_F(Edits, ColumnsBelowOneAreRefusedButStillSavedAndPosted) {
    LumibayPref pref;
    SettingEdits edits(pref, notifier_);
    EXPECT_TRUE(edits.changePopupSetting(Setting::NumOfCol, "6"));
    EXPECT_TRUE(edits.changePopupSetting(Setting::NumOfCol, "none"));
    EXPECT_EQ(LumibayPref().getNumOfCol(), 6);
    EXPECT_EQ(notifier_.posts.size(), 2u);
}

TEST(IntervalControl, PositionsGiveMinutes) {
    struct Case {
        const char* name;
        float position;
        float minutes;
    };
    static constexpr Case cases[] = {
        {"first stop", 0, 1},         {"last of ones", 4, 5},         {"first of fives", 5, 10},
        {"last of fives", 9, 30},     {"first of tens", 10, 40},      {"last stop", 12, 60},
        {"between ones", 4.5f, 5.5f}, {"between fives", 5.5f, 12.5f}, {"between tens", 10.5f, 45},
        {"past the end", 13, 13},     {"below the start", -1, -1},    {"just below", -0.5f, 0.5f},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_FLOAT_EQ(intervalMinutes(row.position), row.minutes);
    }
}

TEST(IntervalControl, AStoredIntervalPlacesTheNearestStop) {
    struct Case {
        const char* name;
        float minutes;
        int stop;
    };
    static constexpr Case cases[] = {
        {"default", 1, 0},    {"half a minute", 0.5f, 0}, {"exact stop", 20, 7},
        {"between", 34, 9},   {"tie goes low", 35, 9},    {"beyond", 500, 12},
        {"unreadable", 0, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(intervalStopNearest(row.minutes), row.stop);
    }
}

TEST(PopupTitles, ReadAsLeadingDecimalIntegers) {
    struct Case {
        const char* title;
        std::int32_t value;
    };
    static constexpr Case cases[] = {
        {"4", 4},
        {"-2", -2},
        {"+7", 7},
        {"  12", 12},
        {"08", 8},
        {"120 px", 120},
        {"px", 0},
        {"", 0},
        {"-", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(popupTitleValue(row.title), row.value);
    }
}

// A colour chosen in a well is stored as the same six digits, at every level.
TEST(ColourWells, EveryLevelSurvivesTheWayToTheFileAndBack) {
    for (int level = 0; level < 256; ++level) {
        const QColor chosen(level, 255 - level, level / 2);
        const std::string text = NSColorExtention::HTMLColor(rgbColor(chosen));
        EXPECT_EQ(QString::fromStdString(text), chosen.name(QColor::HexRgb).mid(1).toUpper());
        EXPECT_EQ(qColor(NSColorExtention::colorWithHTMLString(text)), chosen);
    }
}

} // namespace
} // namespace tessaly
