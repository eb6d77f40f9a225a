// A probe loaded into the real settings window for end-to-end tests, as an input plugin of Qt's
// (QT_QPA_GENERIC_PLUGINS=tessalyprobe): it answers on the session bus what the window shows and
// clicks what a test asks it to, the way a person would, through the window system's queue. The
// window's own code is untouched; only tests load this.
#include <QApplication>
#include <QDBusConnection>
#include <QDialog>
#include <QGenericPlugin>
#include <QLabel>
#include <QPushButton>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

namespace {

class WindowProbe : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tessaly.WindowProbe")

public:
    WindowProbe() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.registerObject(QStringLiteral("/probe"), this, QDBusConnection::ExportAllSlots);
        bus.registerService(QStringLiteral("org.tessaly.WindowProbe"));
    }

public slots:
    // The text of the button or label of that name in the main window; "" when there is none.
    QString text(const QString& objectName) {
        if (QWidget* widget = find(objectName)) {
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                return button->text();
            }
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                return label->text();
            }
        }
        return {};
    }
    // Clicks the widget of that name in the main window; false when there is none.
    bool press(const QString& objectName) {
        QWidget* widget = find(objectName);
        if (widget) {
            click(widget);
        }
        return widget;
    }
    // Clicks it again as the second click of a double-click: by the time stamps of the window
    // system, a moment after the last click, however long ago that was handled.
    bool secondClick(const QString& objectName) {
        QWidget* widget = find(objectName);
        if (widget) {
            click(widget, true);
        }
        return widget;
    }
    // The texts of the sheet that is open, one label a line; "" while none is.
    QString sheet() {
        QWidget* open = QApplication::activeModalWidget();
        if (!open || !open->isVisible()) {
            return {};
        }
        QStringList texts;
        for (const QLabel* label : open->findChildren<QLabel*>()) {
            texts << label->text();
        }
        return texts.join('\n');
    }
    // Clicks the button of that title on the open sheet; false when there is none.
    bool answer(const QString& title) {
        QWidget* open = QApplication::activeModalWidget();
        if (!open) {
            return false;
        }
        for (QPushButton* button : open->findChildren<QPushButton*>()) {
            if (button->text() == title) {
                click(button);
                return true;
            }
        }
        return false;
    }

private:
    static QWidget* find(const QString& objectName) {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog*>(top)) {
                continue;
            }
            if (auto* widget = top->findChild<QWidget*>(objectName)) {
                return widget;
            }
        }
        return nullptr;
    }
    void click(QWidget* widget, bool joined = false) {
        QWindow* window = widget->window()->windowHandle();
        const QPoint local = widget->mapTo(widget->window(), widget->rect().center());
        const QPoint global = widget->mapToGlobal(widget->rect().center());
        // Apart from any earlier click unless joined, so that no two join by chance.
        time_ += joined ? 0 : 10000;
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            time_ += 40;
            QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
                window, time_, local, global,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton,
                type);
        }
    }

    ulong time_ = 1000000;
};

class WindowProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "WindowProbe.json")

public:
    QObject* create(const QString& name, const QString&) override {
        return name.compare(QLatin1String("tessalyprobe"), Qt::CaseInsensitive) == 0
                   ? new WindowProbe
                   : nullptr;
    }
};

} // namespace

#include "WindowProbe.moc"
