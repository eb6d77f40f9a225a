// File operations of the site writer.
//
// Everything the helper writes lies inside folders it holds open: a page is opened relative to its
// folder's descriptor, never by its path again, and no link inside the site folder is followed.
// A link (or anything else) at a page's name is replaced, never written through, so whatever a
// link points at outside the site stays as it was. Operations answer an errno value, 0 when they
// succeeded, so a build can say why it failed.
#pragma once

#include <ctime>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tessaly::sitefiles {

inline constexpr char kContents[] = "Contents";
inline constexpr char kMenuPage[] = "menu.html";
// A build's new Contents folder while it is written: hidden, and known by its start, so that one
// left behind by a crash is found and removed.
inline constexpr char kStagingPrefix[] = ".Contents.new-";

// Receives a page's text piece by piece; answers false to stop the page (a write failed).
using PageSink = std::function<bool(std::string_view)>;
// Produces a page's text into the sink; answers false when the sink refused a piece.
using PageWriter = std::function<bool(const PageSink& out)>;

// An open folder. Entries are looked up relative to it, so moving or replacing its path meanwhile
// cannot redirect what is done inside it.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The folder at a path; a link at the path itself is followed (the user may keep the site
    // folder elsewhere), links among the entries are never followed.
    static Folder open(const std::string& path, int* error = nullptr);
    // A folder inside this one; a link or a file at the name gives no folder.
    Folder child(const std::string& name, int* error = nullptr) const;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    explicit Folder(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Whether anything (file, folder or link) stands at the path.
bool exists(const std::string& path);
// Whether anything stands at the name inside the folder, a link not followed.
bool existsIn(const Folder& folder, const std::string& name);
// Creates the folder unless something already stands at the path.
void makeFolder(const std::string& path);

// Creates a new file at the name (failing when anything stands there) and writes the page into
// it; the file is dated now. A file left incomplete by a failure is removed again.
int writeNewFile(const Folder& folder, const std::string& name, const PageWriter& write);
// Writes the page to a fresh hidden file beside the name, then renames it over the name: a reader
// sees the old file or the whole new one, never a part. Whatever stood at the name goes (a folder
// with all it holds); a link there is replaced, not followed.
int replaceFile(const Folder& folder, const std::string& name, const PageWriter& write);
// Renames `from` over `to` in one step; a folder standing at `to` is swapped out and removed.
int moveOver(const Folder& folder, const std::string& from, const std::string& to);
// A new, empty folder inside this one named the prefix and a random suffix.
int makeUniqueFolder(const Folder& folder, const std::string& prefix, std::string& name);
// Puts the entry `from` at the name `to` in one step. Whatever stood at `to` (a file, a folder or a
// link) ends up at `from`, for the caller to remove; `*swapped` tells whether there was one.
int exchange(const Folder& folder, const std::string& from, const std::string& to, bool* swapped);
// Removes whatever stands at the name, a folder with all it holds. Links are removed, never
// followed; nothing missing is no failure.
int removeTree(const Folder& folder, const std::string& name);
// Removes every entry of the folder whose name starts with one of the prefixes.
void removeTreesStartingWith(const Folder& folder,
                             std::initializer_list<std::string_view> prefixes);
// Whether the text names an entry of a folder: not empty, no slash, neither "." nor "..".
bool isPlainName(std::string_view name);
// The system's text for an errno value, safe on any thread.
std::string errorText(int error);

// A short random text for the names of temporary entries.
std::string uniqueSuffix();

// The modification time of whatever stands at the path, links not followed.
std::optional<timespec> modificationDate(const std::string& path);
bool isEarlier(const timespec& a, const timespec& b);

} // namespace tessaly::sitefiles
