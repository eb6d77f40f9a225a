// Feeding documents to expat. The helper's index reader and the benchmark's bare-expat floor both
// read through these, so the floor measures exactly the reading the helper does; the settings
// reader checks a file's nesting through them too.
#pragma once

#include <expat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Reads the file at `path` into `parser` to its end, in blocks read straight into the parser's
// own buffer so that each byte is copied once. Answers whether the file could be read and expat
// took the whole document without error (a handler that stops the parser counts as an error).
// When the file itself could not be opened or read, `*fileError` (if given) is its errno value;
// otherwise it is 0 and the parser holds the reason.
bool parseFileWithExpat(XML_Parser parser, const std::string& path, int* fileError = nullptr);

// The same for a document already in memory, in pieces of a length expat's int can hold.
bool parseTextWithExpat(XML_Parser parser, std::string_view text);

// A document fed with every bare "&" (one that starts no entity or character reference) written
// as "&amp;", so that it reads as the character itself. The photo application writes the paths
// of a library whose folder names hold "&" without escaping them, and expat rightly refuses such
// a document; this is the second reading such an index gets. Everything else reaches expat
// unchanged, so any other fault is still refused; the text of CDATA sections, where "&" is
// already a character, is left alone.
class AmpersandRepair {
public:
    // Appends `in` to `out`, repaired. What cannot be judged before more bytes come (an "&" or a
    // "<" near the end of `in`) is held back for the next call; `last` releases it.
    void feed(std::string_view in, bool last, std::string& out);

    // The offset in the original document of the byte at `offset` of what was fed to expat.
    std::uint64_t originalOffset(std::uint64_t offset) const;
    std::size_t repairs() const { return inserted_.size(); }

private:
    enum class Judged { Reference, Bare, NeedMore };
    static Judged judgeAmpersand(std::string_view text, std::size_t at, bool last);

    std::string held_;
    std::string joined_;
    bool inCdata_ = false;
    std::uint64_t written_ = 0; // bytes appended to `out` so far, over all calls
    // Where each inserted "amp;" starts in what was fed, in order.
    std::vector<std::uint64_t> inserted_;
};

bool parseFileRepairingAmpersands(XML_Parser parser, const std::string& path,
                                  AmpersandRepair& repair, int* fileError = nullptr);
bool parseTextRepairingAmpersands(XML_Parser parser, std::string_view text,
                                  AmpersandRepair& repair);

// A place in a document, as editors count it: lines from 1, and columns from 1 in characters
// (UTF-8 sequences count once).
struct TextPosition {
    std::uint64_t line = 1;
    std::uint64_t column = 1;
};
TextPosition positionInText(std::string_view text, std::uint64_t offset);
// The same in a file; nothing when the file cannot be read that far.
bool positionInFile(const std::string& path, std::uint64_t offset, TextPosition& position);

} // namespace tessaly
