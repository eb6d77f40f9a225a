// What the helper takes from a notification. Any process of the user can post on the session bus,
// so only values the settings window can set are taken; a notification without user information
// is ignored, as the window's own stop and settings notifications carry none.
#include "HelperBus.hxx"

#include "Constants.hxx"

#include <QDBusMessage>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tessaly {
namespace {

using Kind = HelperBus::Decoded<float>::Kind;

// A notification as it arrives: no argument, an argument that is no dictionary, or the user
// information with or without the value.
enum class Shape { NoArgument, NotADictionary, NoValue, Value };

QDBusMessage notification(const char* name, Shape shape, const QVariant& value = {}) {
    QDBusMessage message =
        QDBusMessage::createSignal(QLatin1String(kNotificationPath),
                                   QLatin1String(kNotificationInterface), QLatin1String(name));
    switch (shape) {
    case Shape::NoArgument:
        break;
    case Shape::NotADictionary:
        message.setArguments({QVariant(300)});
        break;
    case Shape::NoValue:
        message.setArguments({QVariant::fromValue(QVariantMap{{"Other_Key", 300}})});
        break;
    case Shape::Value:
        message.setArguments(
            {QVariant::fromValue(QVariantMap{{QLatin1String(Lumibay_Message_Key), value}})});
        break;
    }
    return message;
}

struct Row {
    const char* name;
    Shape shape;
    QVariant value;
    Kind kind;
    double taken; // the value taken, when it is
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

TEST(HelperBus, TakesOnlyPictureSizesTheWindowOffers) {
    const Row kRows[] = {
        // Taken.
        {"the window's default", Shape::Value, QVariant(std::int32_t{150}), Kind::Taken, 150},
        {"the smallest", Shape::Value, QVariant(std::int32_t{16}), Kind::Taken, 16},
        {"the largest", Shape::Value, QVariant(std::int32_t{4096}), Kind::Taken, 4096},
        {"a whole real", Shape::Value, QVariant(300.0), Kind::Taken, 300},
        // Refused.
        {"one below the smallest", Shape::Value, QVariant(std::int32_t{15}), Kind::Refused, 0},
        {"one above the largest", Shape::Value, QVariant(std::int32_t{4097}), Kind::Refused, 0},
        {"zero", Shape::Value, QVariant(std::int32_t{0}), Kind::Refused, 0},
        {"negative", Shape::Value, QVariant(std::int32_t{-150}), Kind::Refused, 0},
        {"the largest int32", Shape::Value, QVariant(kIntMax), Kind::Refused, 0},
        {"the smallest int32", Shape::Value, QVariant(kIntMin), Kind::Refused, 0},
        {"beyond int32 as a real", Shape::Value, QVariant(1e300), Kind::Refused, 0},
        {"not a number", Shape::Value, QVariant(std::nan("")), Kind::Refused, 0},
        {"a text", Shape::Value, QVariant(QStringLiteral("300")), Kind::Refused, 0},
        {"no value under the key", Shape::NoValue, {}, Kind::Refused, 0},
        // Ignored.
        {"no user information", Shape::NoArgument, {}, Kind::Absent, 0},
        {"an argument that is no dictionary", Shape::NotADictionary, {}, Kind::Absent, 0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const auto decoded = HelperBus::decodeImageSize(
            notification(TSY_ImageSizey_Changed_Notification, row.shape, row.value));
        EXPECT_EQ(static_cast<int>(decoded.kind), static_cast<int>(row.kind));
        if (row.kind == Kind::Taken) {
            EXPECT_EQ(decoded.value, row.taken);
        }
    }
}

TEST(HelperBus, TakesOnlyPositiveFiniteIntervalsUpToAWeek) {
    const Row kRows[] = {
        // Taken: the slider's stops, and any other positive interval up to a week.
        {"the slider's first stop", Shape::Value, QVariant(1.0), Kind::Taken, 1},
        {"the slider's last stop", Shape::Value, QVariant(60.0), Kind::Taken, 60},
        {"a quarter of a minute", Shape::Value, QVariant(0.25), Kind::Taken, 0.25},
        {"a week", Shape::Value, QVariant(7 * 24 * 60.0), Kind::Taken, 7 * 24 * 60},
        {"a whole number", Shape::Value, QVariant(std::int32_t{5}), Kind::Taken, 5},
        // Refused.
        {"zero", Shape::Value, QVariant(0.0), Kind::Refused, 0},
        {"negative", Shape::Value, QVariant(-0.5), Kind::Refused, 0},
        {"longer than a week", Shape::Value, QVariant(7 * 24 * 60.0 + 1), Kind::Refused, 0},
        {"infinite", Shape::Value, QVariant(kInf), Kind::Refused, 0},
        {"not a number", Shape::Value, QVariant(std::nan("")), Kind::Refused, 0},
        {"too large for a float", Shape::Value, QVariant(1e300), Kind::Refused, 0},
        {"a text", Shape::Value, QVariant(QStringLiteral("5")), Kind::Refused, 0},
        {"no value under the key", Shape::NoValue, {}, Kind::Refused, 0},
        // Ignored.
        {"no user information", Shape::NoArgument, {}, Kind::Absent, 0},
        {"an argument that is no dictionary", Shape::NotADictionary, {}, Kind::Absent, 0},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const auto decoded = HelperBus::decodeCheckInterval(
            notification(Interval_Changed_Notification, row.shape, row.value));
        EXPECT_EQ(decoded.kind, row.kind);
        if (row.kind == Kind::Taken) {
            EXPECT_FLOAT_EQ(decoded.value, static_cast<float>(row.taken));
        }
    }
}

} // namespace
} // namespace tessaly
