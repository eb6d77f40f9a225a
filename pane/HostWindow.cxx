#include "HostWindow.hxx"

#include <QCloseEvent>
#include <QEvent>

namespace tessaly {

std::unique_ptr<HostWindow> HostWindow::open(const Bundle& bundle, Notifier* notifier,
                                             QString* error) {
    auto pane = std::make_unique<Tessaly>(bundle, notifier);
    QWidget* view = pane->loadMainView(error);
    if (!view) {
        return nullptr;
    }
    pane->mainViewDidLoad();
    std::unique_ptr<HostWindow> window(new HostWindow(std::move(pane)));
    window->setCentralWidget(view);
    if (QWidget* first = window->pane()->initialKeyView()) {
        first->setFocus(Qt::OtherFocusReason);
    }
    return window;
}

HostWindow::HostWindow(std::unique_ptr<Tessaly> pane) : pane_(std::move(pane)) {
    connect(
        pane_.get(), &Tessaly::switchingEnded, this,
        [this] {
            if (closeWhenIdle_) {
                close();
            }
        },
        Qt::QueuedConnection);
}

void HostWindow::raiseToFront() {
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

bool HostWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && pane_) {
        pane_->didSelect();
    }
    return QMainWindow::event(event);
}

void HostWindow::closeEvent(QCloseEvent* event) {
    // A start still running (a Quit over the bus during the library's copy) uses the pane: it is
    // asked to end at its next safe point, and the window closes once it has.
    if (pane_ && pane_->isSwitching()) {
        pane_->requestStop();
        closeWhenIdle_ = true;
        event->ignore();
        return;
    }
    // The pane goes before its view, which the window still holds until it is destroyed.
    pane_.reset();
    QMainWindow::closeEvent(event);
}

} // namespace tessaly
