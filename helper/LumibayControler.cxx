#include "LumibayControler.hxx"

#include "Constants.hxx"
#include "Format.hxx"
#include "Log.hxx"
#include "Numbers.hxx"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QVariantMap>

#include <charconv>
#include <cmath>
#include <limits>

namespace tessaly {

namespace {

// The value under Lumibay_Message_Key: none when the notification carries no user information
// (no argument, or one that is not a dictionary); an invalid QVariant when the key is missing.
std::optional<QVariant> messageValue(const QDBusMessage& notification) {
    const QList<QVariant> arguments = notification.arguments();
    if (arguments.isEmpty()) {
        return std::nullopt;
    }
    const QVariant& first = arguments.first();
    QVariantMap userInfo;
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

// A number as the payload's reader takes it; anything else (a text, nothing) counts as 0.
double numberOf(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Bool:
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
        return 0.0;
    }
}

std::int32_t integerOf(const QVariant& value) { return clampToInt32(numberOf(value)); }

// A week: the longest check interval we take as meant. Anything longer would leave the site
// behind the library without anyone noticing.
constexpr float kLongestCheckInterval = 7 * 24 * 60;

std::string numberText(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
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

} // namespace

LumibayControler::LumibayControler(Bundle bundle, QObject* parent)
    : QObject(parent), bundle_(std::move(bundle)) {
    indexRetry_.setSingleShot(true);
    indexRetry_.setInterval(100);
    connect(&indexRetry_, &QTimer::timeout, this, &LumibayControler::buildSite);
}

LumibayControler::~LumibayControler() {
    joinReleaser();
    stopMonitor();
    observeNotifications(false);
}

void LumibayControler::loadSettings() {
    // The window alone writes the settings file; the helper's defaults stay in memory.
    def_ = std::make_unique<LumibayPref>(LumibayPref::FileWrites::Never);
    settingsChanged();
    publishMonitorView();
}

void LumibayControler::applicationDidFinishLaunching() {
    // A second helper of the same user would build the same site at the same time; it leaves
    // everything to the first, site included.
    if (!claimHelperName()) {
        logLine("Another LumibayHelper is already publishing for this user; this one quits.");
        quitting_ = true;
        QCoreApplication::exit(0);
        return;
    }
    loadSettings();
    if (!def_->getActiveFlag()) {
        logLine(def_->hasDictionary()
                    ? "Publishing is switched off in the settings; LumibayHelper closes the site "
                      "and quits."
                    : "The settings file " + def_->getPrefPath() +
                          " cannot be read; LumibayHelper closes the site and quits.");
        terminateApplication();
        return;
    }
    observeNotifications(true);
    startMonitor();
}

void LumibayControler::observeNotifications(bool observe) {
    if (observe == observing_) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    for (const Observer& observer : kObservers) {
        const QString interface = QLatin1String(kNotificationInterface);
        const QString name = QLatin1String(observer.name);
        if (observe) {
            bus.connect(QString(), QString(), interface, name, this, observer.slot);
        } else {
            bus.disconnect(QString(), QString(), interface, name, this, observer.slot);
        }
    }
    observing_ = observe;
}

bool LumibayControler::claimHelperName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Without a session bus there is nobody to share the name with, and no notification either.
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

void LumibayControler::releaseHelperName() {
    if (holdsHelperName_) {
        QDBusConnection::sessionBus().unregisterService(QLatin1String(kHelperServiceName));
        holdsHelperName_ = false;
    }
}

// --- settings shared with the monitor thread ---------------------------------------------------

float LumibayControler::usableCheckInterval(float minutes) {
    if (std::isfinite(minutes) && minutes >= 0.0f && minutes <= kLongestCheckInterval) {
        return minutes;
    }
    const auto fallback = static_cast<float>(settingInfo(Setting::CheckInterval).number);
    logLine(format("Check interval of %@ minutes cannot be used; using the default, %@ minutes",
                   {numberText(minutes), numberText(fallback)}));
    return fallback;
}

void LumibayControler::publishMonitorView() {
    MonitorView view;
    view.checkInterval = usableCheckInterval(def_->getCheckInterval());
    view.sitePath = def_->getStdExportPath();
    view.contentsPath = getContentsFolderPath();
    view.topPagePath = getTopPagePath();
    view.indexPath = def_->getiPhotoLibPath();
    std::lock_guard lock(viewMutex_);
    view_ = std::move(view);
}

LumibayControler::MonitorView LumibayControler::monitorView() const {
    std::lock_guard lock(viewMutex_);
    return view_;
}

// --- notification handlers ---------------------------------------------------------------------

void LumibayControler::terminateApplication(const QDBusMessage&) { terminateApplication(); }

void LumibayControler::timerIntervalChanged(const QDBusMessage& notification) {
    if (quitting_) {
        return;
    }
    if (auto value = messageValue(notification)) {
        def_->setCheckInterval(usableCheckInterval(static_cast<float>(numberOf(*value))));
        publishMonitorView();
    }
}

void LumibayControler::imageSizeChanged(const QDBusMessage& notification) {
    if (quitting_) {
        return;
    }
    if (auto value = messageValue(notification)) {
        def_->setImageSize(integerOf(*value));
        settingsChanged();
        requestBuild();
    }
}

void LumibayControler::siteParamChange(const QDBusMessage&) {
    if (quitting_) {
        return;
    }
    loadSettings();
    requestBuild();
}

// Called from the monitor thread too. Requests that come while a build is queued are served by
// that build, so a burst of notifications gives one rebuild and a stop never waits behind a long
// queue of them. Settings notifications still reload the file each time, before the build runs.
void LumibayControler::requestBuild() {
    if (buildQueued_.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(this, &LumibayControler::runQueuedBuild, Qt::QueuedConnection);
}

void LumibayControler::runQueuedBuild() {
    buildQueued_ = false;
    buildSite();
}

// --- quit path ---------------------------------------------------------------------------------

void LumibayControler::terminateApplication() {
    if (quitting_) {
        return;
    }
    quitting_ = true;
    observeNotifications(false);
    indexRetry_.stop();
    stopMonitor();
    closeSite();
    // Only now may another helper take over: the site is closed and this one writes no more.
    releaseHelperName();
    QCoreApplication::exit(0);
}

} // namespace tessaly
