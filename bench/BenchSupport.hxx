// What both benchmarks need around their measurements: reading their numeric arguments, timing,
// and starting the programs they compare against or generate their data with.
#pragma once

#include <charconv>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tessaly::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The whole text read as a decimal number of at least `least`; none for anything else.
inline std::optional<int> wholeNumber(std::string_view text, int least) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < least) {
        return std::nullopt;
    }
    return value;
}

// Starts a program without a shell (found on PATH when `searchPath`); its process, or none.
std::optional<pid_t> startProgram(const std::vector<std::string>& arguments, bool searchPath);
// Waits for `child` (-1: any child) to end; whether it ended with status 0.
bool waitForSuccess(pid_t child);

} // namespace tessaly::bench
