// The small program that hosts the pane, as the preferences application would: it makes the pane
// with its bundle, loads the main view, shows it in a main window, tells the pane each time the
// window comes to the front, and lets the pane go when the window closes.
#pragma once

#include "Tessaly.hxx"

#include <QMainWindow>

#include <memory>

namespace tessaly {

class HostWindow : public QMainWindow {
    Q_OBJECT

public:
    // The window with the pane's view in it, or null with `error` set when the view cannot be
    // loaded.
    static std::unique_ptr<HostWindow> open(const Bundle& bundle, Notifier* notifier,
                                            QString* error);

    // Null once the window has been closed.
    Tessaly* pane() const { return pane_.get(); }
    // Brings the window to the front, for a second start of the program.
    void raiseToFront();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    explicit HostWindow(std::unique_ptr<Tessaly> pane);

    std::unique_ptr<Tessaly> pane_;
    bool closeWhenIdle_ = false;
};

// The name a running window holds on the session bus, and the object that answers there: a second
// start asks it to Raise instead of opening another window; Quit closes the window.
inline constexpr char kHostServiceName[] = "org.tessaly.Tessaly";
inline constexpr char kHostObjectPath[] = "/org/tessaly/Tessaly";

class HostService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tessaly.Tessaly")

public:
    explicit HostService(HostWindow& window) : window_(window) {}

public slots:
    void Raise() { window_.raiseToFront(); }
    void Quit() { window_.close(); }

private:
    HostWindow& window_;
};

} // namespace tessaly
