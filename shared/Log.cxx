#include "Log.hxx"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

extern char* program_invocation_short_name;

namespace tessaly {

void logLine(std::string_view message) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(stamp) + "." + std::to_string(1000 + millis).substr(1) + " " +
                       program_invocation_short_name + "[" + std::to_string(getpid()) + "] " +
                       std::string(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void traceLine(std::string_view message) {
    static const bool tracing = [] {
        const char* value = std::getenv("TESSALY_TRACE");
        return value && *value && std::string_view(value) != "0";
    }();
    if (tracing) {
        logLine(message);
    }
}

} // namespace tessaly

namespace tessaly {

void systemBeep() {
    if (::isatty(STDERR_FILENO)) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
    }
}

} // namespace tessaly
