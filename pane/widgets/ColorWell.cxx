#include "ColorWell.hxx"

#include <QAccessible>
#include <QColorDialog>
#include <QPainter>
#include <QStyleOptionButton>

#include <algorithm>

namespace tessaly {

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, &ColorWell::openDialog);
}

void ColorWell::setColor(const QColor& color) {
    color_ = color;
    setToolTip(color.isValid() ? color.name(QColor::HexRgb).toUpper() : QString());
    update();
}

void ColorWell::chooseColor(const QColor& color) {
    setColor(color);
    emit colorChosen();
}

void ColorWell::openDialog() {
    // Titled as the well is named: by its label.
    QAccessibleInterface* named = QAccessible::queryAccessibleInterface(this);
    const QColor chosen =
        QColorDialog::getColor(color_.isValid() ? color_ : Qt::white, this,
                               named ? named->text(QAccessible::Name) : QString());
    if (chosen.isValid()) {
        chooseColor(chosen);
    }
}

QSize ColorWell::sizeHint() const {
    const QSize button = QPushButton::sizeHint();
    return {std::max(button.height() * 2, 48), button.height()};
}

void ColorWell::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const int margin = std::max(4, height() / 5);
    const QRect swatch = rect().adjusted(margin, margin, -margin, -margin);
    painter.setPen(palette().color(QPalette::WindowText));
    if (color_.isValid()) {
        painter.setBrush(color_);
        painter.drawRect(swatch);
    } else {
        // No colour: an empty box with a diagonal, as an empty well.
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(swatch);
        painter.drawLine(swatch.bottomLeft(), swatch.topRight());
    }
}

namespace {
float component(int level) {
    // level / 255 can land just below the level when multiplied back; nudge it inside the level.
    return (static_cast<float>(level) + 0.25f) / 255.0f;
}
int level(float value) { return std::clamp(static_cast<int>(value * 255.0f), 0, 255); }
} // namespace

RgbColor rgbColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return {component(rgb.red()), component(rgb.green()), component(rgb.blue()), 1.0f};
}

QColor qColor(const std::optional<RgbColor>& color) {
    if (!color) {
        return {};
    }
    return QColor(level(color->red), level(color->green), level(color->blue));
}

} // namespace tessaly
