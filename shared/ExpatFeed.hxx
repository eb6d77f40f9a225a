// Feeding documents to expat. The helper's index reader and the benchmark's bare-expat floor both
// read through these, so the floor measures exactly the reading the helper does; the settings
// reader checks a file's nesting through them too.
#pragma once

#include <expat.h>

#include <string>
#include <string_view>

namespace tessaly {

// Reads the file at `path` into `parser` to its end, in blocks read straight into the parser's
// own buffer so that each byte is copied once. Answers whether the file could be read and expat
// took the whole document without error (a handler that stops the parser counts as an error).
bool parseFileWithExpat(XML_Parser parser, const std::string& path);

// The same for a document already in memory, in pieces of a length expat's int can hold.
bool parseTextWithExpat(XML_Parser parser, std::string_view text);

} // namespace tessaly
