// Moves the photo library folder without ever losing a picture: a rename where the file system
// allows one; across file systems, a copy beside the target that is checked complete before it
// takes the target's name and before the original is removed. A move that fails leaves the
// original where it was and never replaces anything at the target.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace tessaly::LibraryMover {

// Bytes copied so far and in all; called only when the move has to copy.
using Progress = std::function<void(std::uintmax_t done, std::uintmax_t total)>;

enum class Way { renameWherePossible, alwaysCopy };

bool movePath(const std::filesystem::path& from, const std::filesystem::path& to,
              const Progress& progress, Way way = Way::renameWherePossible);

} // namespace tessaly::LibraryMover
