// What the settings window tells assistive technology beyond what Qt's own widgets say: the value
// a popup shows, the check interval in minutes, and problems announced the moment they
// appear. Also the colour problems are written in, chosen from the palette so that they stay
// readable in light and dark styles.
#pragma once

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QPalette>

namespace tessaly {

// Registers the window's own accessible interfaces with Qt; safe to call any number of times.
// - A label with the dynamic property `announce` is a notification: a screen reader speaks it
//   when it appears.
// - A slider with the dynamic property `valueInMinutes` reports the check interval its position
//   stands for ("10 minutes"), not the position.
void installWindowAccessibility();
// Gives the controls of `view` that carry those properties their interfaces. The properties are
// set after a control is made, and Qt may have made a plain interface in between.
void adoptWindowInterfaces(QWidget* view);

// Keeps the popup list's current and selected item on the popup's value. Screen readers read a
// popup's value from that list's selected item, which Qt otherwise moves only while the list is
// open: a value changed with the arrow keys would be announced as the old one, or not at all.
void keepPopupListInStep(QComboBox* popup);

// Shows the label with its text and announces it.
void announceProblem(QLabel* label, const QString& text);

// The contrast ratio of two colours as WCAG defines it, from 1 (none) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);
// A red for problem texts with a contrast of at least 4.5:1 to the palette's window colour: the
// usual dark red on light windows, lightened as far as needed on dark ones.
QColor problemTextColor(const QPalette& palette);
inline constexpr double kMinimumTextContrast = 4.5;

// A dark style of the kind desktops offer, on Qt's Fusion look: the window is checked and
// pictured in it as well as in the light one.
QPalette darkPalette();

} // namespace tessaly
