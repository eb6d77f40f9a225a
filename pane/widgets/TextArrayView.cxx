#include "TextArrayView.hxx"

#include "TextArrayViewAccessible.hxx"

#include <QAccessible>
#include <QApplication>
#include <QDrag>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

bool isLineTerminator(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar(0x0085) || c == QChar(0x2028) ||
           c == QChar(0x2029);
}

// Lines keep their terminators (a drag carries them); they are not drawn or measured.
QString shownText(const QString& line) {
    qsizetype end = line.size();
    while (end > 0 && isLineTerminator(line[end - 1])) {
        --end;
    }
    return line.left(end);
}

} // namespace

TextArrayView::TextArrayView(QWidget* parent) : QWidget(parent) {
    installTextArrayViewAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    initFontbyName(QString(), 0);
    if (parent) {
        parent->installEventFilter(this);
    }
}

TextArrayView::~TextArrayView() = default;

void TextArrayView::setDelegate(TextArrayViewDelegate* delegate) {
    delegate_ = delegate ? delegate : this;
}

void TextArrayView::initFontbyName(const QString& name, qreal size) {
    QFont font = QApplication::font();
    if (!name.isEmpty()) {
        font.setFamily(name);
    }
    if (size > 0) {
        font.setPointSizeF(size);
    }
    font.setStyleStrategy(QFont::PreferAntialias);
    currentFont_ = font;
    setFont(font);
    // Rows sit at whole pixels, so a row's band never shares a pixel row with the next.
    lineHeight_ = std::ceil(QFontMetricsF(currentFont_).lineSpacing());
    update();
}

// --- lines ----------------------------------------------------------------------------------

void TextArrayView::setTextArray(std::optional<QStringList> lines) {
    if (textArray_) {
        textArray_.reset();
        if (selectLine_ >= 0) {
            delegate_->lineUnSelected(selectLine_);
        }
    }
    textArray_ = std::move(lines);
    selectLine_ = -1;
    fitToVisibleArea();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

QStringList TextArrayView::splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineTerminator(text[i])) {
            continue;
        }
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
        }
        lines.append(text.mid(start, i + 1 - start));
        start = i + 1;
    }
    if (start < text.size()) {
        lines.append(text.mid(start));
    }
    return lines;
}

void TextArrayView::setMultiLineStrings(const std::optional<QString>& text) {
    if (!text) {
        return;
    }
    QStringList lines = splitLines(*text);
    if (!lines.isEmpty()) {
        setTextArray(std::move(lines));
    }
}

std::optional<QString> TextArrayView::getTextFromArray(std::int32_t index) const {
    if (!textArray_ || index < 0 || index >= lineCount()) {
        return std::nullopt;
    }
    return textArray_->at(index);
}

qreal TextArrayView::calcArrayWidth() const {
    if (!textArray_ || textArray_->isEmpty()) {
        return 0.0;
    }
    QFontMetricsF metrics(currentFont_);
    qreal widest = 0.0;
    for (const QString& line : *textArray_) {
        widest = std::max(widest, metrics.horizontalAdvance(shownText(line)));
    }
    return widest + 2.0;
}

void TextArrayView::setSelectLine(std::int32_t line) {
    selectLine_ = line;
    update();
}

// --- size -----------------------------------------------------------------------------------

// Inside a QScrollArea the parent is its viewport, whose size is the visible area.
QSize TextArrayView::visibleSize() const {
    return parentWidget() ? parentWidget()->size() : QSize(0, 0);
}

void TextArrayView::fitToVisibleArea() {
    const QSize visible = visibleSize();
    QSize size = visible;
    if (textArray_) {
        size.setWidth(std::max(visible.width(), static_cast<int>(std::ceil(calcArrayWidth()))));
        size.setHeight(
            std::max(visible.height(), static_cast<int>(std::ceil(lineCount() * lineHeight_))));
    }
    // Only the size: inside a scroll area the area itself places the view as it scrolls.
    resize(size);
}

QSize TextArrayView::sizeHint() const {
    return QSize(static_cast<int>(std::ceil(calcArrayWidth())),
                 static_cast<int>(std::ceil(lineCount() * lineHeight_)));
}

bool TextArrayView::event(QEvent* event) {
    // A scroll area takes the view into its viewport after creation: follow the new parent's size.
    if (event->type() == QEvent::ParentAboutToChange && parentWidget()) {
        parentWidget()->removeEventFilter(this);
    } else if (event->type() == QEvent::ParentChange && parentWidget()) {
        parentWidget()->installEventFilter(this);
        fitToVisibleArea();
    }
    return QWidget::event(event);
}

bool TextArrayView::eventFilter(QObject* watched, QEvent* event) {
    // The visible area grew or shrank: the view still covers it, and no more than its rows need.
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        fitToVisibleArea();
    }
    return QWidget::eventFilter(watched, event);
}

// --- drawing --------------------------------------------------------------------------------

std::pair<int, int> TextArrayView::rowsMeeting(const QRect& area) const {
    if (lineCount() == 0 || lineHeight_ <= 0) {
        return {0, 0};
    }
    const int first = std::max(0, static_cast<int>(area.y() / lineHeight_));
    // One past the row holding the area's last pixel, so a row cut by the edge is drawn.
    const int last =
        std::min(lineCount(), static_cast<int>((area.y() + area.height()) / lineHeight_ + 1.0));
    return {first, std::max(first, last)};
}

void TextArrayView::paintEvent(QPaintEvent* event) {
    auto [first, last] = rowsMeeting(event->rect());
    if (first >= last) {
        return;
    }
    QPainter painter(this);
    painter.setFont(currentFont_);
    QFontMetricsF metrics(currentFont_);
    for (int i = first; i < last; ++i) {
        const QString text = shownText(textArray_->at(i));
        const qreal top = i * lineHeight_;
        if (i == selectLine_) {
            painter.fillRect(QRectF(0, top, metrics.horizontalAdvance(text), lineHeight_),
                             palette().color(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(QPalette::Text));
        }
        painter.drawText(QPointF(0, top + metrics.ascent()), text);
    }
}

// --- mouse and keys -------------------------------------------------------------------------

void TextArrayView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || lineCount() == 0) {
        event->ignore();
        return;
    }
    const QPoint point = event->position().toPoint();
    pressPoint_ = point;
    std::int32_t line = -1;
    if (point.y() >= 0) {
        const auto row = static_cast<std::int64_t>(point.y() / lineHeight_);
        if (row < lineCount()) {
            line = static_cast<std::int32_t>(row);
        }
    }
    doClickAction(line);
}

// The second press of a double click arrives as its own event: it changes nothing, the first
// press has already selected.
void TextArrayView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || lineCount() == 0) {
        event->ignore();
        return;
    }
    pressPoint_ = event->position().toPoint();
    doDoubleClick(event);
}

void TextArrayView::doDoubleClick(QMouseEvent*) {}

void TextArrayView::doClickAction(std::int32_t line) {
    if (selectLine_ >= 0) {
        delegate_->lineUnSelected(selectLine_);
    }
    if (line != selectLine_) {
        const std::int32_t previous = selectLine_;
        selectLine_ = line;
        update();
        announceSelection(previous);
    }
    if (selectLine_ >= 0) {
        delegate_->lineSelected(line);
    }
}

// The drag starts with the first move after the press, without a distance to cross first.
void TextArrayView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressPoint_ || !(event->buttons() & Qt::LeftButton) || selectLine_ < 0) {
        return;
    }
    QDrag* drag = createDrag(*pressPoint_);
    pressPoint_.reset();
    if (drag) {
        runDrag(drag);
    }
}

void TextArrayView::mouseReleaseEvent(QMouseEvent*) { pressPoint_.reset(); }

void TextArrayView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || lineCount() == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Escape takes the selection away, as a click below the last line does; without a selection
    // it is left to the window.
    if (key == Qt::Key_Escape) {
        if (selectLine_ < 0) {
            QWidget::keyPressEvent(event);
            return;
        }
        doClickAction(-1);
        event->accept();
        return;
    }
    std::int32_t next = -1;
    switch (key) {
    case Qt::Key_Down:
        next = selectLine_ < 0 ? 0 : selectLine_ + 1;
        break;
    case Qt::Key_Up:
        next = selectLine_ < 0 ? lineCount() - 1 : selectLine_ - 1;
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = lineCount() - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    // At either end the selection stays where it is, and nobody is told anything.
    if (next >= 0 && next < lineCount() && next != selectLine_) {
        doClickAction(next);
        scrollToLine(next);
    }
    event->accept();
}

void TextArrayView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    // The list's own focus event is Qt's; the selected line is the item the focus is on.
    if (selectLine_ >= 0) {
        announceSelection(-1);
    }
}

void TextArrayView::scrollToLine(std::int32_t line) {
    QWidget* viewport = parentWidget();
    auto* area = viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
    if (area) {
        const int top = static_cast<int>(line * lineHeight_);
        const int half = static_cast<int>(std::ceil(lineHeight_ / 2));
        area->ensureVisible(0, top + half, 0, half);
    }
}

// A screen reader speaks a list's item when it hears that the selection changed and, while the
// list has the focus, that the focus and the active item moved to it. The line that lost the
// selection says so as well.
void TextArrayView::announceSelection(std::int32_t previous) {
    if (!QAccessible::isActive()) {
        return;
    }
    if (previous >= 0 && previous < lineCount()) {
        QAccessibleEvent removed(this, QAccessible::SelectionRemove);
        removed.setChild(previous);
        QAccessible::updateAccessibility(&removed);
    }
    QAccessibleEvent selection(this, QAccessible::Selection);
    selection.setChild(selectLine_);
    QAccessible::updateAccessibility(&selection);
    if (!hasFocus()) {
        return;
    }
    if (selectLine_ >= 0) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(selectLine_);
        QAccessible::updateAccessibility(&focus);
    }
    QAccessibleEvent active(this, QAccessible::ActiveDescendantChanged);
    active.setChild(selectLine_);
    QAccessible::updateAccessibility(&active);
}

// --- dragging -------------------------------------------------------------------------------

QString TextArrayView::createDragStrings() const {
    return getTextFromArray(selectLine_).value_or(QString());
}

QImage TextArrayView::createDragStringImage(const QString& text) const {
    const QString shown = shownText(text);
    const int width = static_cast<int>(QFontMetricsF(currentFont_).horizontalAdvance(shown));
    if (width <= 0) {
        return QImage();
    }
    QImage image(width, kDragImageHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setFont(currentFont_);
    painter.setPen(Qt::black);
    // Qt draws any script, falling back to other fonts for characters this one lacks.
    painter.drawText(QPointF(0, kDragImageHeight - kDragImageBaseline), shown);
    return image;
}

QDrag* TextArrayView::createDrag(const QPoint& pressPoint) {
    if (selectLine_ < 0 || selectLine_ >= lineCount()) {
        return nullptr;
    }
    const QString text = createDragStrings();
    auto* mime = new QMimeData;
    mime->setText(text);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const QImage image = createDragStringImage(text);
    if (!image.isNull()) {
        drag->setPixmap(QPixmap::fromImage(image));
    }
    // The picture lies over the top of the selected row, where the press grabbed it.
    drag->setHotSpot(pressPoint - QPoint(0, static_cast<int>(selectLine_ * lineHeight_)));
    return drag;
}

void TextArrayView::runDrag(QDrag* drag) { drag->exec(Qt::CopyAction); }

} // namespace tessaly
