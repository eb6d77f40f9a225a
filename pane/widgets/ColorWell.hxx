// A button that shows a colour and lets the user choose another with the platform's colour dialog.
// Choosing is the well's action: `colorChosen` is emitted only for a colour the user picked, never
// for one set by the program.
#pragma once

#include "Color.hxx"

#include <QColor>
#include <QPushButton>

#include <optional>

namespace tessaly {

class ColorWell : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    explicit ColorWell(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    // An invalid colour shows an empty well.
    void setColor(const QColor& color);
    // What the dialog does when the user accepts a colour: show it and report it.
    void chooseColor(const QColor& color);

    QSize sizeHint() const override;

signals:
    void colorChosen();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openDialog();

    QColor color_;
};

// Colours cross between the store and the widgets here and nowhere else. Each component becomes
// the float whose six-digit text gives back the same 8-bit level.
RgbColor rgbColor(const QColor& color);
QColor qColor(const std::optional<RgbColor>& color);

} // namespace tessaly
