// Property-list files whose root is a dictionary: the settings file and the string tables.
#pragma once

#include <plist/plist.h>

#include <memory>
#include <string>

namespace tessaly {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The dictionary in the file, or null when the file is missing, cannot be read, is not a property
// list or has another root.
PlistPtr readPlistDictionary(const std::string& path);

// Replaces the file by the dictionary in XML form. The bytes go to a temporary file in the same
// folder that is then renamed over the old file, so a reader in another process never meets a
// half-written file. A file that exists but is not a readable dictionary is left alone (it may
// be the user's, and we could not keep what it holds): the call then fails. A symbolic link is
// followed, so the file it names is replaced, not the link. Missing folders are created.
bool writePlistDictionary(const std::string& path, plist_t dictionary);

} // namespace tessaly
