// Posting the notifications that tell a running helper what changed. Each is a D-Bus signal on the
// user's session bus (see Constants.hxx for the path and interface) whose member is the
// notification's name: without user information it has no argument, with user information one
// a{sv} argument. Posting is fire-and-forget; with no session bus it goes nowhere.
#pragma once

#include <QVariantMap>

#include <cstdint>

namespace tessaly::notifications {

// Settings changed (the helper reloads the file) or stop.
bool post(const char* name);
// The image-size notification: the size travels as an int32 under Lumibay_Message_Key.
bool postImageSize(std::int32_t size);
// The interval notification: minutes as a double under Lumibay_Message_Key.
bool postCheckInterval(float minutes);
// Any user information, as given.
bool post(const char* name, const QVariantMap& userInfo);

} // namespace tessaly::notifications
