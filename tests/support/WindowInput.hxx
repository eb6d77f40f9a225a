// Clicks that arrive as a real display's do: queued by the window system and handed out by
// whichever event loop runs next. QTest's own clicks are delivered at once, past a loop that
// leaves input for later, so they cannot show what happens to clicks made during a wait.
#pragma once

#include <QGuiApplication>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

namespace tessaly::testing {

class WindowInput {
public:
    // Queues `count` clicks in the middle of `widget`, as fast as a double-click when more than
    // one. They come well after any earlier click unless `joined`: then, by the window system's
    // time stamps, the first of them follows the last click as the second click of a double-click
    // would, however long ago that was handled.
    void queueClicks(QWidget* widget, int count = 1, bool joined = false) {
        QWindow* window = widget->window()->windowHandle();
        const QPoint local = widget->mapTo(widget->window(), widget->rect().center());
        const QPoint global = widget->mapToGlobal(widget->rect().center());
        if (!joined) {
            time_ +=
                static_cast<ulong>(QGuiApplication::styleHints()->mouseDoubleClickInterval()) * 2;
        }
        for (int i = 0; i < count; ++i) {
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                time_ += 20;
                QWindowSystemInterface::handleMouseEvent<
                    QWindowSystemInterface::AsynchronousDelivery>(
                    window, time_, local, global,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                    Qt::LeftButton, type);
            }
        }
    }
    // Whether input is still waiting for an event loop to take it.
    static bool queued() { return QWindowSystemInterface::windowSystemEventsQueued() > 0; }

private:
    ulong time_ = 100000;
};

} // namespace tessaly::testing
