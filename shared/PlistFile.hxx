// Property-list files whose root is a dictionary: the settings file and the string tables.
//
// Every read and write here is independent of the process's locale, so a real such as 0.25
// reads and writes as 0.25 under a decimal-comma locale too.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessaly {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Settings files and string tables are small; anything larger is not one of ours.
inline constexpr std::uintmax_t kMaxPlistBytes = 16 * 1024 * 1024;
// Dictionaries and arrays nested deeper than this are refused before libplist sees them: its
// parser recurses once per level and overflows the stack on a few thousand levels, and our own
// files never nest more than two.
inline constexpr int kMaxPlistNesting = 64;

// The property list in XML form, or null when it is not well-formed XML, nests deeper than
// kMaxPlistNesting, or libplist cannot read it. Binary property lists are refused: every file
// we read is written as XML.
PlistPtr parsePlistXml(std::string_view xml);

// The dictionary in the file, or null when the file is missing, cannot be read, is larger than
// kMaxPlistBytes, is not an XML property list (see parsePlistXml) or has another root.
PlistPtr readPlistDictionary(const std::string& path);

// Replaces the file by the dictionary in XML form. The bytes go to a temporary file in the same
// folder that is then renamed over the old file, so a reader in another process never meets a
// half-written file. A file that exists but is not a readable dictionary is left alone (it may
// be the user's, and we could not keep what it holds): the call then fails.
//
// A symbolic link is followed, so the file it names is replaced, not the link; a link to a file
// that does not exist yet creates that file when its folder exists (a user who links the file
// into a folder of dotfiles). An existing file keeps its permissions; a new one gets the usual
// permissions under the user's umask. Missing folders of the path itself are created.
bool writePlistDictionary(const std::string& path, plist_t dictionary);

} // namespace tessaly
