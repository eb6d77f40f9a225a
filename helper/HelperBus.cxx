#include "HelperBus.hxx"

#include "Constants.hxx"
#include "Format.hxx"
#include "LibraryMonitor.hxx"
#include "Log.hxx"
#include "Notifications.hxx"
#include "Numbers.hxx"
#include "SettingsTable.hxx"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>

#include <charconv>
#include <cmath>

namespace tessaly {

namespace {

// A number as the payload's reader takes it; a text or nothing is none.
std::optional<double> numberOf(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toDouble();
    default:
        return std::nullopt;
    }
}

std::string numberText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// What a refused value is logged as: the number, or what stood in its place.
std::string receivedText(const std::optional<QVariant>& value) {
    if (const std::optional<double> number = numberOf(*value)) {
        return numberText(*number);
    }
    return value->isValid() ? std::string("a value that is no number") : std::string("no value");
}

struct Observer {
    const char* name;
    const char* slot;
};

// Registered in this order; removed together by the quit path.
const Observer kObservers[] = {
    {Stop_Lumibay_Helper_Notification, SLOT(terminateApplication(QDBusMessage))},
    {Interval_Changed_Notification, SLOT(timerIntervalChanged(QDBusMessage))},
    {TSY_ImageSizey_Changed_Notification, SLOT(imageSizeChanged(QDBusMessage))},
    {TSY_SiteParamChange_Notification, SLOT(siteParamChange(QDBusMessage))},
};

void acknowledge(const char* name, std::string_view outcome) {
    traceLine(format("handled %@: %@", {name, outcome}));
}

} // namespace

HelperBus::HelperBus(QObject* parent) : QObject(parent) {}

HelperBus::~HelperBus() { observe(false); }

bool HelperBus::claimHelperName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return true;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(QLatin1String(kHelperServiceName),
                                         QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    holdsHelperName_ =
        reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    return holdsHelperName_;
}

void HelperBus::releaseHelperName() {
    if (holdsHelperName_) {
        QDBusConnection::sessionBus().unregisterService(QLatin1String(kHelperServiceName));
        holdsHelperName_ = false;
    }
}

void HelperBus::observe(bool on) {
    if (on == observing_) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    const QString interface = QLatin1String(kNotificationInterface);
    for (const Observer& observer : kObservers) {
        const QString name = QLatin1String(observer.name);
        if (on) {
            bus.connect(QString(), QString(), interface, name, this, observer.slot);
        } else {
            bus.disconnect(QString(), QString(), interface, name, this, observer.slot);
        }
    }
    observing_ = on;
}

HelperBus::Decoded<std::int32_t> HelperBus::decodeImageSize(const QDBusMessage& notification) {
    Decoded<std::int32_t> decoded;
    const std::optional<QVariant> value = notifications::messageValue(notification);
    if (!value) {
        return decoded;
    }
    const std::optional<double> number = numberOf(*value);
    // Read as a 32-bit integer reader reads it, then held to the window's range.
    const std::int32_t size = number ? clampToInt32(*number) : 0;
    if (number && size >= kSmallestImageSize && size <= kLargestImageSize) {
        decoded.kind = Decoded<std::int32_t>::Kind::Taken;
        decoded.value = size;
    } else {
        decoded.kind = Decoded<std::int32_t>::Kind::Refused;
    }
    return decoded;
}

HelperBus::Decoded<float> HelperBus::decodeCheckInterval(const QDBusMessage& notification) {
    Decoded<float> decoded;
    const std::optional<QVariant> value = notifications::messageValue(notification);
    if (!value) {
        return decoded;
    }
    const std::optional<double> number = numberOf(*value);
    const auto minutes = static_cast<float>(number.value_or(0));
    if (number && std::isfinite(minutes) && minutes > 0.0f && minutes <= kLongestCheckInterval) {
        decoded.kind = Decoded<float>::Kind::Taken;
        decoded.value = minutes;
    } else {
        decoded.kind = Decoded<float>::Kind::Refused;
    }
    return decoded;
}

// --- the observers ---------------------------------------------------------------------------

void HelperBus::terminateApplication(const QDBusMessage&) {
    acknowledge(Stop_Lumibay_Helper_Notification, "stopping");
    emit stopAsked();
}

void HelperBus::timerIntervalChanged(const QDBusMessage& notification) {
    const Decoded<float> decoded = decodeCheckInterval(notification);
    switch (decoded.kind) {
    case Decoded<float>::Kind::Absent:
        acknowledge(Interval_Changed_Notification, "no user information, ignored");
        return;
    case Decoded<float>::Kind::Taken:
        emit checkIntervalSet(decoded.value);
        acknowledge(Interval_Changed_Notification,
                    format("interval %@ minutes", {numberText(decoded.value)}));
        return;
    case Decoded<float>::Kind::Refused: {
        // Left as it was, an interval from the file could be one that makes the helper check all
        // the time; the default is always one a person would choose.
        const double fallback = settingInfo(Setting::CheckInterval).number;
        emit checkIntervalSet(static_cast<float>(fallback));
        if (!std::exchange(refusedIntervalLogged_, true)) {
            logLine(format(
                "Check interval of %@ minutes cannot be used; using the default, %@ "
                "minutes (further such notifications are not logged)",
                {receivedText(notifications::messageValue(notification)), numberText(fallback)}));
        }
        acknowledge(Interval_Changed_Notification, "refused, the default taken");
        return;
    }
    }
}

void HelperBus::imageSizeChanged(const QDBusMessage& notification) {
    const Decoded<std::int32_t> decoded = decodeImageSize(notification);
    switch (decoded.kind) {
    case Decoded<std::int32_t>::Kind::Absent:
        acknowledge(TSY_ImageSizey_Changed_Notification, "no user information, ignored");
        return;
    case Decoded<std::int32_t>::Kind::Taken:
        emit imageSizeSet(decoded.value);
        acknowledge(TSY_ImageSizey_Changed_Notification,
                    format("picture size %d", {static_cast<long long>(decoded.value)}));
        return;
    case Decoded<std::int32_t>::Kind::Refused:
        if (!std::exchange(refusedImageSizeLogged_, true)) {
            logLine(format("Picture size of %@ from a notification cannot be used (the window "
                           "offers %d to %d); it is ignored, and further such notifications are "
                           "not logged",
                           {receivedText(notifications::messageValue(notification)),
                            kSmallestImageSize, kLargestImageSize}));
        }
        acknowledge(TSY_ImageSizey_Changed_Notification, "refused, ignored");
        return;
    }
}

void HelperBus::siteParamChange(const QDBusMessage&) {
    emit settingsChanged();
    acknowledge(TSY_SiteParamChange_Notification, "settings read again");
}

} // namespace tessaly
