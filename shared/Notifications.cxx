#include "Notifications.hxx"

#include "Constants.hxx"

#include <QDBusConnection>
#include <QDBusMessage>

namespace tessaly::notifications {

namespace {
bool send(const char* name, const QList<QVariant>& arguments) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(kNotificationPath),
                                   QLatin1String(kNotificationInterface), QLatin1String(name));
    signal.setArguments(arguments);
    return bus.send(signal);
}
} // namespace

bool post(const char* name) { return send(name, {}); }

bool post(const char* name, const QVariantMap& userInfo) {
    return send(name, {QVariant::fromValue(userInfo)});
}

bool postImageSize(std::int32_t size) {
    return post(TSY_ImageSizey_Changed_Notification,
                QVariantMap{{QLatin1String(Lumibay_Message_Key), QVariant::fromValue(size)}});
}

bool postCheckInterval(float minutes) {
    return post(Interval_Changed_Notification,
                QVariantMap{{QLatin1String(Lumibay_Message_Key),
                             QVariant::fromValue(static_cast<double>(minutes))}});
}

} // namespace tessaly::notifications
