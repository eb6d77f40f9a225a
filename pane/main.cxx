// Tessaly: the settings window. One window per user session: a second start raises the first.
#include "HostWindow.hxx"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setDesktopFileName(QStringLiteral("tessaly"));

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && !bus.registerService(QLatin1String(tessaly::kHostServiceName))) {
        QDBusMessage raise = QDBusMessage::createMethodCall(
            QLatin1String(tessaly::kHostServiceName), QLatin1String(tessaly::kHostObjectPath),
            QLatin1String(tessaly::kHostServiceName), QStringLiteral("Raise"));
        bus.call(raise);
        return 0;
    }

    QString error;
    std::unique_ptr<tessaly::HostWindow> window =
        tessaly::HostWindow::open(tessaly::Bundle::mainBundle(), nullptr, &error);
    if (!window) {
        std::fprintf(stderr, "Tessaly: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    tessaly::HostService service(*window);
    if (bus.isConnected()) {
        bus.registerObject(QLatin1String(tessaly::kHostObjectPath), &service,
                           QDBusConnection::ExportAllSlots);
    }
    window->show();
    return app.exec();
}
