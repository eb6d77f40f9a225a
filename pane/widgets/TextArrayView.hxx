// A list of text lines, one per row, inside a QScrollArea: one line can be selected with the mouse
// or the keys, a delegate hears of every selection change, and the selected line can be
// dragged out as plain text. The settings window shows its presets with it.
//
// The view is never smaller than the scroll area's visible area, and otherwise as large as its
// widest line (plus 2) and all its rows. It paints no background of its own: the selected line is
// marked by the selection colours behind its text.
#pragma once

#include "TextArrayViewDelegate.hxx"

#include <QFont>
#include <QImage>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>

class QDrag;

namespace tessaly {

class TextArrayView : public QWidget, public TextArrayViewDelegate {
    Q_OBJECT

public:
    // Drag images are exactly this tall, with the text's baseline this far above the bottom.
    static constexpr int kDragImageHeight = 16;
    static constexpr int kDragImageBaseline = 3;

    explicit TextArrayView(QWidget* parent = nullptr);
    ~TextArrayView() override;

    // Not owned; null makes the view its own delegate again.
    void setDelegate(TextArrayViewDelegate* delegate);
    TextArrayViewDelegate* delegate() const { return delegate_; }

    // Replaces the lines (none: no lines at all), resizes the view and clears the selection,
    // telling the delegate when a line was selected.
    void setTextArray(std::optional<QStringList> lines);
    // Splits the text after each line terminator (LF, CR, CR LF, U+0085, U+2028, U+2029), every
    // line keeping its own; an empty text changes nothing.
    void setMultiLineStrings(const std::optional<QString>& text);
    static QStringList splitLines(const QString& text);

    const std::optional<QStringList>& getTextArray() const { return textArray_; }
    // The line at the index, or none when there is no such line (-1 included).
    std::optional<QString> getTextFromArray(std::int32_t index) const;
    // The widest line's width plus 2, or 0 without lines.
    qreal calcArrayWidth() const;
    std::int32_t getSelectLine() const { return selectLine_; }
    // Stores the index as given (a valid line or -1), tells nobody, and redraws.
    void setSelectLine(std::int32_t line);
    qreal lineHeight() const { return lineHeight_; }

    // With no name, the system font at the size (its standard size for 0). The row height follows
    // the font.
    void initFontbyName(const QString& name, qreal size);
    const QFont& currentFont() const { return currentFont_; }

    // The rows [first, last) that meet a rectangle to repaint.
    std::pair<int, int> rowsMeeting(const QRect& area) const;

    // What a drag of the selected line carries, and its picture: as wide as the text, 16 pixels
    // high, transparent, the text in opaque black with its baseline 3 pixels above the bottom.
    QString createDragStrings() const;
    QImage createDragStringImage(const QString& text) const;
    // A ready drag of the selected line, pressed at `pressPoint`; null without a selected line.
    QDrag* createDrag(const QPoint& pressPoint);

    // The view's own delegate messages, which do nothing.
    void lineSelected(std::int32_t) override {}
    void lineUnSelected(std::int32_t) override {}

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Up and Down move the selection, Home and End go to the first and last line, Escape clears
    // the selection.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Selects the line (-1: none) as a click does: unselected first, then selected.
    void doClickAction(std::int32_t line);
    void doDoubleClick(QMouseEvent* event);
    // Runs the drag's own event loop; tests replace it to look at the drag instead.
    virtual void runDrag(QDrag* drag);

private:
    QSize visibleSize() const;
    void fitToVisibleArea();
    void scrollToLine(std::int32_t line);
    // `previous` is the line that was selected before, or -1.
    void announceSelection(std::int32_t previous);
    int lineCount() const { return textArray_ ? static_cast<int>(textArray_->size()) : 0; }

    std::optional<QStringList> textArray_;
    std::int32_t selectLine_ = -1;
    TextArrayViewDelegate* delegate_ = this;
    QFont currentFont_;
    qreal lineHeight_ = 0;
    // A drag may start only from a press inside this view.
    std::optional<QPoint> pressPoint_;
};

} // namespace tessaly
