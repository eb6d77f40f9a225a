#include "TabKeys.hxx"

#include <QKeyEvent>

namespace tessaly {

TabKeys::TabKeys(QWidget* view, QTabWidget* tabs) : QObject(view), tabs_(tabs) {
    view->installEventFilter(this);
    for (QWidget* control : view->findChildren<QWidget*>()) {
        control->installEventFilter(this);
    }
}

int TabKeys::tabStep(int key, Qt::KeyboardModifiers modifiers) {
    // Keypad keys arrive with their own modifier; it changes nothing here.
    modifiers &= ~Qt::KeypadModifier;
    if (key == Qt::Key_Tab && modifiers == Qt::ControlModifier) {
        return 1;
    }
    // Shift+Tab arrives as Backtab, with Shift still held.
    if ((key == Qt::Key_Backtab || key == Qt::Key_Tab) &&
        modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
        return -1;
    }
    if (modifiers == Qt::ControlModifier && key == Qt::Key_PageDown) {
        return 1;
    }
    if (modifiers == Qt::ControlModifier && key == Qt::Key_PageUp) {
        return -1;
    }
    return 0;
}

bool TabKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride &&
        type != QEvent::KeyRelease) {
        return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const int step = tabStep(key->key(), key->modifiers());
    if (step == 0 || !tabs_ || tabs_->count() == 0) {
        return QObject::eventFilter(watched, event);
    }
    if (type == QEvent::ShortcutOverride) {
        // Claimed, so that the key press comes here instead of going to a shortcut.
        event->accept();
        return true;
    }
    if (type == QEvent::KeyPress) {
        const int count = tabs_->count();
        tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
    }
    return true;
}

} // namespace tessaly
