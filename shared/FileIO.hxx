// Small file operations that several parts of both programs need, in one place so that each
// gets its error handling right once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The whole content of the file at `path` (a link is followed), or nullopt when it is not a
// regular file, is larger than `maxBytes`, or cannot be read to its end. The size is checked
// on the open file and the read stops at `maxBytes`, so a file that grows meanwhile cannot make
// the caller hold more than it allowed.
std::optional<std::string> readWholeFile(const std::string& path, std::uintmax_t maxBytes);

// Writes all of `bytes` to `fd`, going on after short writes and interrupted calls. False on
// any other error; how much was written is then unknown.
bool writeAll(int fd, std::string_view bytes);

} // namespace tessaly
