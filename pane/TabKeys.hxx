// Ctrl+Tab and Ctrl+Shift+Tab (and Ctrl+PageDown and Ctrl+PageUp) switch the window's tabs from
// whichever control has the focus. Qt's tab widget hears them only while the focus is inside it,
// and a popup takes Ctrl+PageDown as a change of its own value, which would store a setting the
// person never meant to change. These keys therefore never reach a control of the window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTabWidget>

namespace tessaly {

class TabKeys : public QObject {
    Q_OBJECT

public:
    // Watches every control inside `view`; `tabs` is the tab widget they switch.
    TabKeys(QWidget* view, QTabWidget* tabs);

    // -1, +1, or 0 for a key that does not switch tabs.
    static int tabStep(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QTabWidget> tabs_;
};

} // namespace tessaly
