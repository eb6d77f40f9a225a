// Byte checksums of files and folders: the sum of the bytes taken as signed 8-bit values, in
// 32-bit arithmetic that wraps. Two shipped templates are checked with it before every build, so
// that a damaged installation closes the site instead of publishing broken pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly::NSFileManagerExtention {

// Modes: 1 sums the second half of a file (from offset floor(N/2), so an odd file's middle byte
// is included), 2 the first N - floor(N/2) bytes, anything else the whole file.
//
// A folder gives the wrapped sum over everything in it, sub-folders included; no path or nothing
// at the path gives 0.
std::uint32_t getChecksum(const std::optional<std::string>& path, int mode);

// Reads in blocks of at most 1024 bytes, so memory use does not grow with the file. A file that
// cannot be opened gives 0; bytes that could not be read are not counted.
std::uint32_t calcCheckSum(const std::string& path, std::uint64_t fileSize, int mode);

} // namespace tessaly::NSFileManagerExtention
