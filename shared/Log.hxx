#pragma once

#include <string_view>

namespace tessaly {

// One line on standard error: local date and time, program name and pid, then the message.
void logLine(std::string_view message);

} // namespace tessaly

namespace tessaly {

// The system beep of a program without windows: the bell character, when standard error is a
// terminal that can ring it.
void systemBeep();

} // namespace tessaly
