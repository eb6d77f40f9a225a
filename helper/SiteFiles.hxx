// File operations of the site writer. Results are reported but callers mostly go on regardless:
// a page that cannot be written is simply missing from the site.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::sitefiles {

// Whether anything (file, folder or link) stands at the path.
bool exists(const std::string& path);
// Removes whatever stands at the path, a folder with all it holds; a link is removed, not
// followed.
void removeItem(const std::string& path);
// Whether the folder holding the path lets us remove entries from it.
bool isDeletable(const std::string& path);
// Creates the folder unless something already stands at the path.
void makeFolder(const std::string& path);
// Writes the text straight to the file (created or truncated).
bool writeTextFile(const std::string& path, std::string_view text);
// Removes whatever stands at the path, writes the text there and dates the file now: a page never
// keeps stale text, and its date tells the monitor when the site was built.
bool replaceWithPage(const std::string& path, std::string_view text);
std::optional<std::string> readTextFile(const std::string& path);
// Sets the modification (and access) time to now; Linux keeps no settable creation date.
void setDatesToNow(const std::string& path);
// The modification time of whatever stands at the path, links not followed.
std::optional<timespec> modificationDate(const std::string& path);
bool isEarlier(const timespec& a, const timespec& b);

} // namespace tessaly::sitefiles
