// Waiting in tests for something another process or thread does: poll, with a bound generous
// enough for a slow, loaded machine, never a fixed sleep.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tessaly::testing {

inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace tessaly::testing
