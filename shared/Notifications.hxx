// The notifications that tell a running helper what changed, both sides of them: the settings
// window posts with the functions below, the helper reads what arrives with messageValue().
//
// Each is a D-Bus signal on the user's session bus (see Constants.hxx for the path and interface)
// whose member is the notification's name. Without user information it has no argument; with user
// information it has one a{sv} argument, whose entry under Lumibay_Message_Key is the value: an
// int32 for the picture size, a double (minutes) for the check interval. Posting is
// fire-and-forget; with no session bus it goes nowhere.
#pragma once

#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <optional>

class QDBusMessage;

namespace tessaly::notifications {

// Settings changed (the helper reloads the file) or stop.
bool post(const char* name);
// The image-size notification: the size travels as an int32 under Lumibay_Message_Key.
bool postImageSize(std::int32_t size);
// The interval notification: minutes as a double under Lumibay_Message_Key.
bool postCheckInterval(float minutes);
// Any user information, as given.
bool post(const char* name, const QVariantMap& userInfo);

// The value under Lumibay_Message_Key of a received notification: none when the notification
// carries no user information (no argument, or one that is not a dictionary); an invalid QVariant
// when the dictionary has no such entry.
std::optional<QVariant> messageValue(const QDBusMessage& notification);

} // namespace tessaly::notifications
