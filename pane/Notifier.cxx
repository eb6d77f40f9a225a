#include "Notifier.hxx"

#include "Notifications.hxx"

namespace tessaly {

void DBusNotifier::post(const char* name) { notifications::post(name); }

void DBusNotifier::postImageSize(std::int32_t size) { notifications::postImageSize(size); }

void DBusNotifier::postCheckInterval(float minutes) { notifications::postCheckInterval(minutes); }

} // namespace tessaly
