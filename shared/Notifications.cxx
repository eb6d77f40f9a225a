#include "Notifications.hxx"

#include "Constants.hxx"

#include <QDBusArgument>
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

std::optional<QVariant> messageValue(const QDBusMessage& notification) {
    const QList<QVariant> arguments = notification.arguments();
    if (arguments.isEmpty()) {
        return std::nullopt;
    }
    const QVariant& first = arguments.first();
    QVariantMap userInfo;
    // Off the bus the dictionary is still marshalled; a message made in this process holds it as
    // it was given.
    if (first.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const auto argument = first.value<QDBusArgument>();
        if (argument.currentSignature() != QLatin1String("a{sv}")) {
            return std::nullopt;
        }
        argument >> userInfo;
    } else if (first.metaType() == QMetaType::fromType<QVariantMap>()) {
        userInfo = first.toMap();
    } else {
        return std::nullopt;
    }
    return userInfo.value(QLatin1String(Lumibay_Message_Key));
}

} // namespace tessaly::notifications
