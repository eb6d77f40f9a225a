// Running applications, read from /proc: the user's own processes, matched by name.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tessaly::NSWorkspaceExtention {

// The user's own live processes (same real user, zombies left out, this process left out) that
// are the application `name`: the process name (/proc/<pid>/comm) equals it, or the last component
// of the executable's path does, or the executable lies in a bundle folder named "<name>.app"
// (`name` itself when it ends in ".app"). All comparisons are exact and case-sensitive.
std::vector<pid_t> processesOfApplication(std::string_view name);

bool checkApplicationIsRunning(std::string_view name);

} // namespace tessaly::NSWorkspaceExtention
