#pragma once

#include <string_view>

namespace tessaly {

// One line on standard error: local date and time, program name and pid, then the message.
void logLine(std::string_view message);

// A line of logLine's form, written only when the environment sets TESSALY_TRACE: what the
// program checked and handled, for tests to wait on instead of waiting a fixed time.
void traceLine(std::string_view message);

} // namespace tessaly

namespace tessaly {

// The system beep of a program without windows: the bell character, when standard error is a
// terminal that can ring it.
void systemBeep();

} // namespace tessaly
