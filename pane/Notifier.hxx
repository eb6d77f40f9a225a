// The one way the settings window tells a running helper what changed. The controller posts
// through this seam so that tests can see each post at the moment it happens.
#pragma once

#include <cstdint>

namespace tessaly {

class Notifier {
public:
    virtual ~Notifier() = default;
    // A notification without user information.
    virtual void post(const char* name) = 0;
    virtual void postImageSize(std::int32_t size) = 0;
    virtual void postCheckInterval(float minutes) = 0;
};

// Posts as D-Bus signals on the session bus; with no bus the posts go nowhere.
class DBusNotifier : public Notifier {
public:
    void post(const char* name) override;
    void postImageSize(std::int32_t size) override;
    void postCheckInterval(float minutes) override;
};

} // namespace tessaly
