// What the sources share about files and texts: which files are pictures or movies, names that
// can go into the index, and the description a picture carries in its own metadata.
#pragma once

#include "LibrarySnapshot.hxx"

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::bridge {

// By the file name's extension, case aside; none for anything else.
std::optional<ItemKind> kindOfFile(std::string_view name);

// Whether a path can stand in the index as it is: valid UTF-8 without control characters. Other
// names are skipped, since the index and the pages could only carry them altered.
bool isIndexablePath(std::string_view path);

// Text from a database or a file's metadata made fit for the index: invalid UTF-8 becomes the
// replacement character, carriage returns become line feeds and other control characters spaces.
std::string cleanText(std::string_view text);

// The last component without its extension: "IMG_1234" for ".../IMG_1234.JPG".
std::string titleFromPath(std::string_view path);

// The picture's own description, XMP's before EXIF's; empty when it has none or cannot be read.
std::string embeddedDescription(const std::string& path);

// Local date of a time, as photo managers name a day: "Tue Mar 12, 2024".
std::string dayName(std::int64_t time);

} // namespace tessaly::bridge
