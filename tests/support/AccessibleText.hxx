// What assistive technology reads from a widget: Qt's accessible interface for it, as a screen
// reader's bridge asks it, rather than the widget's own properties.
#pragma once

#include <QAccessible>
#include <QString>
#include <QWidget>

namespace tessaly::testing {

inline QString accessibleText(QWidget* widget, QAccessible::Text kind = QAccessible::Name) {
    QAccessibleInterface* accessible =
        widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return accessible ? accessible->text(kind) : QString();
}

} // namespace tessaly::testing
