#include "TextArrayView.hxx"

#include "TempHome.hxx"

#include <QAccessible>
#include <QDrag>
#include <QFontMetricsF>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {
namespace {

// Records what the view tells its delegate, as "+1" (selected) and "-1" (unselected).
struct Recorder : TextArrayViewDelegate {
    void lineSelected(std::int32_t line) override { said.push_back("+" + std::to_string(line)); }
    void lineUnSelected(std::int32_t line) override { said.push_back("-" + std::to_string(line)); }
    std::vector<std::string> said;
};

// The view with its paints and drags recorded instead of shown.
class WatchedView : public TextArrayView {
public:
    using TextArrayView::TextArrayView;
    QRegion painted;
    int paints = 0;
    std::unique_ptr<QDrag> drag;

protected:
    void paintEvent(QPaintEvent* event) override {
        painted += event->region();
        ++paints;
        TextArrayView::paintEvent(event);
    }
    void runDrag(QDrag* started) override { drag.reset(started); }
};

std::vector<std::string> said(std::initializer_list<const char*> words) {
    return std::vector<std::string>(words.begin(), words.end());
}

// What a table row says the delegate hears: its words, leaving out the unused (null) places.
std::vector<std::string> said(const std::array<const char*, 2>& words) {
    std::vector<std::string> heard;
    for (const char* word : words) {
        if (word) {
            heard.push_back(word);
        }
    }
    return heard;
}

class TextArrayViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        area.resize(240, 160);
        view = new WatchedView;
        area.setWidget(view);
        view->setDelegate(&recorder);
        area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
        // Focus first: taking it on a click would repaint the view by itself.
        area.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&area));
        view->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->hasFocus(); }));
    }

    void setLines(std::initializer_list<const char*> lines) {
        QStringList list;
        for (const char* line : lines) {
            list << QString::fromUtf8(line);
        }
        view->setTextArray(list);
    }

    // The centre of row `row` (may be fractional, or past the lines) in view coordinates.
    QPoint pointOfRow(double row) const {
        return QPoint(10, static_cast<int>(row * view->lineHeight()));
    }

    // Whether the view repainted anything because of what `act` did. A one-pixel update after
    // the act makes the paint deterministic: anything else painted since came from the act.
    bool repaints(const std::function<void()>& act) {
        const QRect marker(view->width() - 1, view->height() - 1, 1, 1);
        settle(marker);
        act();
        return !(settle(marker) - QRegion(marker)).isEmpty();
    }
    QRegion settle(const QRect& marker) {
        view->painted = QRegion();
        view->update(marker);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->painted.contains(marker); }));
        return view->painted;
    }

    testing::TempHome home;
    QScrollArea area;
    WatchedView* view = nullptr;
    Recorder recorder;
};

TEST_F(TextArrayViewTest, ClicksSelectAndTellTheDelegate) {
    enum class Action { Click, DoubleClick, RightClick };
    static constexpr struct {
        const char* name;
        bool hasLines;
        int selectedBefore;
        Action action;
        double row;
        std::array<const char*, 2> said;
        int selectedAfter;
        bool repaints;
    } kRows[] = {
        {"a line, none selected", true, -1, Action::Click, 1.5, {"+1"}, 1, true},
        {"another line", true, 0, Action::Click, 2.5, {"-0", "+2"}, 2, true},
        {"the selected line", true, 1, Action::Click, 1.5, {"-1", "+1"}, 1, false},
        {"the top edge of a row", true, -1, Action::Click, 2.0, {"+2"}, 2, true},
        {"below the last line", true, 1, Action::Click, 3.5, {"-1"}, -1, true},
        {"below, none selected", true, -1, Action::Click, 3.5, {}, -1, false},
        {"double click", true, -1, Action::DoubleClick, 0.5, {"+0"}, 0, true},
        {"right button", true, 1, Action::RightClick, 0.5, {}, 1, false},
        {"empty view", false, -1, Action::Click, 0.5, {}, -1, false},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        if (row.hasLines) {
            setLines({"alpha", "beta", "gamma"});
        } else {
            view->setTextArray(std::nullopt);
        }
        view->setSelectLine(row.selectedBefore);
        recorder.said.clear();
        const QPoint point = pointOfRow(row.row);
        const bool repainted = repaints([&] {
            if (row.action == Action::RightClick) {
                QTest::mouseClick(view, Qt::RightButton, {}, point);
                return;
            }
            QTest::mouseClick(view, Qt::LeftButton, {}, point);
            if (row.action == Action::DoubleClick) {
                QTest::mouseDClick(view, Qt::LeftButton, {}, point);
            }
        });
        EXPECT_EQ(recorder.said, said(row.said));
        EXPECT_EQ(view->getSelectLine(), row.selectedAfter);
        EXPECT_EQ(repainted, row.repaints);
    }
}

TEST_F(TextArrayViewTest, ArrowKeysMoveTheSelection) {
    static constexpr struct {
        const char* name;
        int selectedBefore;
        Qt::Key key;
        std::array<const char*, 2> said;
        int selectedAfter;
    } kRows[] = {
        {"down from none", -1, Qt::Key_Down, {"+0"}, 0},
        {"down", 0, Qt::Key_Down, {"-0", "+1"}, 1},
        {"up", 2, Qt::Key_Up, {"-2", "+1"}, 1},
        {"up from none", -1, Qt::Key_Up, {"+2"}, 2},
        {"down at the last line", 2, Qt::Key_Down, {}, 2},
        {"up at the first line", 0, Qt::Key_Up, {}, 0},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        setLines({"alpha", "beta", "gamma"});
        view->setSelectLine(row.selectedBefore);
        recorder.said.clear();
        QTest::keyClick(view, row.key);
        EXPECT_EQ(recorder.said, said(row.said));
        EXPECT_EQ(view->getSelectLine(), row.selectedAfter);
    }

    // Moving past the visible rows scrolls the selected line into view.
    QStringList many;
    for (int i = 0; i < 60; ++i) {
        many << QString("line %1").arg(i);
    }
    view->setTextArray(many);
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(view, Qt::Key_Down);
    }
    ASSERT_EQ(view->getSelectLine(), 39);
    const int top = area.verticalScrollBar()->value();
    EXPECT_GT(top, 0);
    EXPECT_LE(top, 39 * view->lineHeight());
    EXPECT_GE(top + area.viewport()->height(), 40 * view->lineHeight());
}

TEST_F(TextArrayViewTest, ReplacingTheLinesClearsTheSelection) {
    static constexpr struct {
        const char* name;
        bool heldLines;
        int selected;
        bool replaceWithNone;
        std::array<const char*, 1> said;
    } kRows[] = {
        {"nothing held before", false, -1, false, {}},
        {"a line selected", true, 1, false, {"-1"}},
        {"no line selected", true, -1, false, {}},
        {"replaced by none", true, 2, true, {"-2"}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        view->setTextArray(std::nullopt);
        if (row.heldLines) {
            setLines({"alpha", "beta", "gamma"});
        }
        view->setSelectLine(row.selected);
        recorder.said.clear();
        if (row.replaceWithNone) {
            view->setTextArray(std::nullopt);
        } else {
            setLines({"one", "two"});
        }
        EXPECT_EQ(recorder.said, row.said[0] ? said({row.said[0]}) : said({}));
        EXPECT_EQ(view->getSelectLine(), -1);
    }
    EXPECT_EQ(view->size(), area.viewport()->size());
    EXPECT_FALSE(view->getTextFromArray(0));
}

TEST_F(TextArrayViewTest, TheViewCoversTheVisibleAreaAndItsLines) {
    const QSize visible = area.viewport()->size();
    setLines({"a", "b", "c"});
    ASSERT_LT(3 * view->lineHeight(), visible.height());
    EXPECT_EQ(view->size(), visible);

    const QString wide(80, QChar('W'));
    QStringList lines{wide};
    for (int i = 0; i < 30; ++i) {
        lines << "x";
    }
    view->setTextArray(lines);
    const qreal widest = QFontMetricsF(view->currentFont()).horizontalAdvance(wide) + 2.0;
    EXPECT_EQ(view->calcArrayWidth(), widest);
    EXPECT_EQ(view->width(), static_cast<int>(std::ceil(widest)));
    EXPECT_EQ(view->height(), static_cast<int>(std::ceil(31 * view->lineHeight())));
    EXPECT_FALSE(view->getTextFromArray(-1));
    EXPECT_FALSE(view->getTextFromArray(31));
    EXPECT_EQ(view->getTextFromArray(0), wide);

    // A larger window: the short list grows with its visible area.
    setLines({"a"});
    area.resize(400, 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->size() == area.viewport()->size(); }));
}

TEST_F(TextArrayViewTest, OnlyRowsMeetingTheRepaintAreaAreDrawn) {
    setLines({"a", "b", "c", "d", "e"});
    const double h = view->lineHeight();
    static constexpr struct {
        const char* name;
        double top, height; // in rows
        int first, last;
    } kRows[] = {
        {"the first row", 0, 1, 0, 2},    {"starts mid row", 1.5, 1, 1, 3},
        {"ends mid row", 0, 0.5, 0, 1},   {"past the last line", 3, 10, 3, 5},
        {"below every line", 7, 2, 7, 7},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const QRect area(0, static_cast<int>(row.top * h), 50, static_cast<int>(row.height * h));
        auto [first, last] = view->rowsMeeting(area);
        if (row.first >= row.last) {
            EXPECT_GE(first, last);
        } else {
            EXPECT_EQ(first, row.first);
            EXPECT_EQ(last, row.last);
        }
    }
}

// The selected line's background covers its text, in its row only.
TEST_F(TextArrayViewTest, TheSelectedLineIsMarkedBehindItsText) {
    QPalette palette = view->palette();
    palette.setColor(QPalette::Highlight, Qt::red);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    view->setPalette(palette);
    setLines({"alpha", "beta beta", "gamma"});
    view->setSelectLine(1);
    QImage image(view->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    const int top = static_cast<int>(view->lineHeight());
    const int bottom = static_cast<int>(2 * view->lineHeight());
    const int textWidth =
        static_cast<int>(QFontMetricsF(view->currentFont()).horizontalAdvance("beta beta"));
    int redInside = 0;
    int redOutside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 0, 0)) {
                continue;
            }
            (y >= top && y < bottom && x <= textWidth ? redInside : redOutside)++;
        }
    }
    EXPECT_GT(redInside, textWidth);
    EXPECT_EQ(redOutside, 0);
}

TEST_F(TextArrayViewTest, LinesAreSplitAfterEveryTerminator) {
    static constexpr struct {
        const char* name;
        const char16_t* text;
        std::array<const char16_t*, 3> lines;
    } kRows[] = {
        {"line feed", u"a\nb", {u"a\n", u"b"}},
        {"carriage return", u"a\rb", {u"a\r", u"b"}},
        {"CR LF is one end", u"a\r\nb", {u"a\r\n", u"b"}},
        {"LF CR is two", u"a\n\rb", {u"a\n", u"\r", u"b"}},
        {"next line", u"a\u0085b", {u"a\u0085", u"b"}},
        {"line separator", u"a\u2028b", {u"a\u2028", u"b"}},
        {"paragraph separator", u"a\u2029b", {u"a\u2029", u"b"}},
        {"ends with a line feed", u"a\n", {u"a\n"}},
        {"ends with a lone CR", u"a\r", {u"a\r"}},
        {"empty lines", u"\n\n", {u"\n", u"\n"}},
        {"form feed is no end", u"a\fb", {u"a\fb"}},
        {"no terminator", u"abc", {u"abc"}},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        QStringList expected;
        for (const char16_t* line : row.lines) {
            if (line) {
                expected << QString::fromUtf16(line);
            }
        }
        view->setMultiLineStrings(QString::fromUtf16(row.text));
        EXPECT_EQ(view->getTextArray(), expected);
    }
    // Nothing to split changes nothing.
    view->setMultiLineStrings(QString());
    view->setMultiLineStrings(std::nullopt);
    EXPECT_EQ(view->getTextArray(), QStringList{"abc"});
}

TEST_F(TextArrayViewTest, DraggingCarriesTheSelectedLineAsPlainText) {
    view->setMultiLineStrings(QString("one\ntwo\nthree"));
    const QPoint onTwo = pointOfRow(1.5);

    QTest::mousePress(view, Qt::LeftButton, {}, onTwo);
    QTest::mouseMove(view, onTwo + QPoint(1, 0));
    QTest::mouseRelease(view, Qt::LeftButton, {}, onTwo + QPoint(1, 0));
    ASSERT_TRUE(view->drag);
    const QMimeData* mime = view->drag->mimeData();
    EXPECT_TRUE(mime->hasFormat("text/plain"));
    EXPECT_EQ(mime->text(), "two\n");
    const int width = static_cast<int>(QFontMetricsF(view->currentFont()).horizontalAdvance("two"));
    EXPECT_EQ(view->drag->pixmap().size(), QSize(width, TextArrayView::kDragImageHeight));
    // Grabbed where the press was, the image lying over the top of the row.
    EXPECT_EQ(view->drag->hotSpot(), onTwo - QPoint(0, static_cast<int>(view->lineHeight())));

    // No drag without a selected line, nor from a move with no press in the view.
    view->drag.reset();
    const QPoint below = pointOfRow(4.5);
    QTest::mousePress(view, Qt::LeftButton, {}, below);
    QTest::mouseMove(view, below + QPoint(5, 5));
    QTest::mouseRelease(view, Qt::LeftButton, {}, below + QPoint(5, 5));
    QTest::mouseClick(view, Qt::LeftButton, {}, onTwo);
    QTest::mouseMove(view, onTwo + QPoint(5, 0));
    EXPECT_FALSE(view->drag);
}

// The drag image: the text's width by 16, transparent, the text opaque black and antialiased,
// its baseline 3 pixels above the bottom, whatever the script.
TEST_F(TextArrayViewTest, TheDragImageShowsTheTextInBlackOnNothing) {
    static constexpr struct {
        const char* name;
        const char* text;
        bool descends;
    } kRows[] = {
        {"capitals", "HIHI", false},   {"Greek", "ΩΠΣΔ", false},
        {"Cyrillic", "ПРИВЕТ", false}, {"accents and a line end", "ÉÀÎ\n", false},
        {"descenders", "gjpq", true},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const QString text = QString::fromUtf8(row.text);
        const QImage image =
            view->createDragStringImage(text).convertToFormat(QImage::Format_ARGB32);
        const int width =
            static_cast<int>(QFontMetricsF(view->currentFont()).horizontalAdvance(text.trimmed()));
        ASSERT_EQ(image.size(), QSize(width, 16));

        int strongest = 0;
        int partial = 0;
        int lowestInked = -1;
        bool onlyBlack = true;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 0) {
                    continue;
                }
                onlyBlack =
                    onlyBlack && qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
                strongest = std::max(strongest, qAlpha(pixel));
                partial += qAlpha(pixel) < 255 ? 1 : 0;
                lowestInked = y;
            }
        }
        EXPECT_TRUE(onlyBlack);
        // Unhinted stems rarely cover a whole pixel; an opaque pen still gets close to it, where
        // a translucent one could not.
        EXPECT_GE(strongest, 224);
        EXPECT_GT(partial, 0);
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        if (row.descends) {
            EXPECT_GE(lowestInked, 14);
        } else {
            // Letters stand on the baseline at y = 13: their last inked row is just above it.
            EXPECT_GE(lowestInked, 12);
            EXPECT_LE(lowestInked, 13);
        }
    }
}

TEST_F(TextArrayViewTest, AssistiveTechnologyReadsTheLines) {
    view->setAccessibleName("Presets");
    setLines({"alpha", "beta", "gamma\n"});
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->role(), QAccessible::List);
    EXPECT_EQ(list->text(QAccessible::Name), "Presets");
    ASSERT_EQ(list->childCount(), 3);
    EXPECT_EQ(list->child(2)->text(QAccessible::Name), "gamma");
    EXPECT_EQ(list->child(1)->role(), QAccessible::ListItem);
    EXPECT_EQ(list->indexOfChild(list->child(1)), 1);
    EXPECT_EQ(list->child(1)->parent(), list);

    QTest::mouseClick(view, Qt::LeftButton, {}, pointOfRow(1.5));
    EXPECT_TRUE(list->child(1)->state().selected);
    EXPECT_FALSE(list->child(0)->state().selected);

    setLines({"one"});
    EXPECT_EQ(list->childCount(), 1);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), "one");
    EXPECT_FALSE(list->child(1));
}

} // namespace
} // namespace tessaly
