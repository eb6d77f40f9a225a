// Small file operations that several parts of both programs need, in one place so that each
// gets its error handling right once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tessaly {

// The whole content of the file at `path` (a link is followed), or nullopt when it is not a
// regular file, is larger than `maxBytes`, or cannot be read to its end. The size is checked
// on the open file and the read stops at `maxBytes`, so a file that grows meanwhile cannot make
// the caller hold more than it allowed.
std::optional<std::string> readWholeFile(const std::string& path, std::uintmax_t maxBytes);

// Writes all of `bytes` to `fd`, going on after short writes and interrupted calls. False on
// any other error; how much was written is then unknown.
bool writeAll(int fd, std::string_view bytes);

// Replaces the file at `path` whole: `bytes` go to a new file beside it with the permissions
// `mode`, reach the disk, and the new file is renamed over `path`. A reader meets the old file or
// the new one, never a part of either; on any failure `path` is as it was and nothing is left
// beside it. A link at `path` is itself replaced, not the file it names.
bool replaceFile(const std::string& path, std::string_view bytes, mode_t mode);

} // namespace tessaly
