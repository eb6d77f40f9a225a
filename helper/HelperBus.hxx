// The helper's side of the session bus: its name there (one helper per user publishes), the
// observers of the four notifications, and what each notification carries. What arrives is
// checked before anything acts on it: any process of the user may post, so the helper takes only
// values the settings window can set and says once which it refused. The controller hears the
// result as typed signals.
#pragma once

#include <QDBusMessage>
#include <QObject>

#include <cstdint>
#include <optional>

namespace tessaly {

// The picture sizes the settings window offers.
inline constexpr std::int32_t kSmallestImageSize = 16;
inline constexpr std::int32_t kLargestImageSize = 4096;

class HelperBus : public QObject {
    Q_OBJECT

public:
    explicit HelperBus(QObject* parent = nullptr);
    ~HelperBus() override;

    // Takes the helper's name on the session bus; false when another helper holds it. Without a
    // session bus there is nobody to share the name with, and true.
    bool claimHelperName();
    void releaseHelperName();

    // Registers the observers (stop, interval, picture size, settings, in this order) or removes
    // them all.
    void observe(bool on);

    // What a notification's user information means. A value is taken, refused (not one the
    // window can set), or absent (no user information: the notification is ignored).
    template <typename T> struct Decoded {
        enum class Kind { Absent, Refused, Taken } kind = Kind::Absent;
        T value{};
    };
    static Decoded<std::int32_t> decodeImageSize(const QDBusMessage& notification);
    // Minutes: finite, above zero, at most a week (the window's slider offers 1 to 60).
    static Decoded<float> decodeCheckInterval(const QDBusMessage& notification);

signals:
    void stopAsked();
    void checkIntervalSet(float minutes);
    void imageSizeSet(std::int32_t size);
    void settingsChanged();

private slots:
    void terminateApplication(const QDBusMessage& notification);
    void timerIntervalChanged(const QDBusMessage& notification);
    void imageSizeChanged(const QDBusMessage& notification);
    void siteParamChange(const QDBusMessage& notification);

private:
    bool observing_ = false;
    bool holdsHelperName_ = false;
    // A refused value is logged the first time only, so a flood of them cannot fill the log.
    bool refusedImageSizeLogged_ = false;
    bool refusedIntervalLogged_ = false;
};

} // namespace tessaly
