#include "PlistFile.hxx"

#include "CNumericLocale.hxx"
#include "FileIO.hxx"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

// Elements may nest as deep as the containers allow, plus the <plist> root and one leaf.
constexpr std::size_t kMaxElementDepth = kMaxPlistNesting + 2;

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '/' || c == '>';
}

// Position just past the '>' that ends the markup starting at `from`, skipping quoted attribute
// values; npos when the document ends first.
std::size_t endOfTag(std::string_view xml, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < xml.size(); ++i) {
        const char c = xml[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// True when the elements of `xml` are balanced, matched by name, and hold no more than
// kMaxPlistNesting dictionaries and arrays inside one another (kMaxElementDepth elements of any
// kind). A loop over the text with a bounded stack of open names, so it needs no more
// stack for a hostile file than for ours. It is stricter than libplist where they differ (an
// internal DTD subset, a stray end tag): such a file is refused, never parsed deeper than
// checked.
bool nestingIsBounded(std::string_view xml) {
    std::vector<std::string_view> open;
    int containers = 0;
    std::size_t i = 0;
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = xml.substr(i);
        std::string_view closer;
        if (rest.starts_with("<!--")) {
            closer = "-->";
        } else if (rest.starts_with("<![CDATA[")) {
            closer = "]]>";
        } else if (rest.starts_with("<?")) {
            closer = "?>";
        }
        if (!closer.empty()) {
            const std::size_t end = xml.find(closer, i + 2);
            if (end == std::string_view::npos) {
                return false;
            }
            i = end + closer.size();
            continue;
        }
        const std::size_t end = endOfTag(xml, i + 1);
        if (end == std::string_view::npos) {
            return false;
        }
        const std::string_view tag = xml.substr(i, end - i);
        i = end;
        if (tag.starts_with("<!")) {
            // The DOCTYPE. An internal subset could hide markup from this scan; we never write one.
            if (tag.find('[') != std::string_view::npos) {
                return false;
            }
            continue;
        }
        const bool closing = tag.starts_with("</");
        std::size_t nameEnd = closing ? 2 : 1;
        while (nameEnd < tag.size() && !isNameEnd(tag[nameEnd])) {
            ++nameEnd;
        }
        const std::string_view name = tag.substr(closing ? 2 : 1, nameEnd - (closing ? 2 : 1));
        if (name.empty()) {
            return false;
        }
        const bool container = name == "dict" || name == "array";
        if (closing) {
            if (open.empty() || open.back() != name) {
                return false;
            }
            open.pop_back();
            containers -= container ? 1 : 0;
        } else if (!tag.ends_with("/>")) {
            containers += container ? 1 : 0;
            if (open.size() == kMaxElementDepth || containers > kMaxPlistNesting) {
                return false;
            }
            open.push_back(name);
        }
    }
    return open.empty();
}

// The path that a chain of symbolic links at `path` leads to (`path` itself when it is no
// link), whether or not a file is there; nullopt for a loop or a link that cannot be read.
std::optional<fs::path> followLinks(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            return errno == ENOENT ? std::optional<fs::path>(path) : std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) {
            return path;
        }
        std::error_code error;
        fs::path next = fs::read_symlink(path, error);
        if (error) {
            return std::nullopt;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}

// Creates a new, empty file beside `target` with a name of its own. The mode passed to open()
// goes through the umask, as for any file the user's programs create.
int createTemporary(const fs::path& target, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = (target.parent_path() /
                ("." + target.filename().string() + "." + std::to_string(random() % 1000000)))
                   .string();
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

} // namespace

PlistPtr parsePlistXml(std::string_view xml) {
    if (xml.empty() || xml.size() > UINT32_MAX || !nestingIsBounded(xml)) {
        return nullptr;
    }
    const CNumericLocale numbers;
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    return PlistPtr(root);
}

PlistPtr readPlistDictionary(const std::string& path) {
    const std::optional<std::string> bytes = readWholeFile(path, kMaxPlistBytes);
    if (!bytes) {
        return nullptr;
    }
    PlistPtr root = parsePlistXml(*bytes);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return nullptr;
    }
    return root;
}

bool writePlistDictionary(const std::string& path, plist_t dictionary) {
    if (!dictionary) {
        return false;
    }
    const std::optional<fs::path> found = followLinks(path);
    if (!found) {
        return false;
    }
    const fs::path& target = *found;
    std::optional<mode_t> keptMode;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        if (!readPlistDictionary(target)) {
            return false;
        }
        keptMode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    } else if (target == fs::path(path)) {
        // Our own path: make ~/Library/Preferences on a fresh account. The folder a link points
        // into is the user's to make.
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
    }

    char* xml = nullptr;
    std::uint32_t length = 0;
    {
        const CNumericLocale numbers;
        plist_to_xml(dictionary, &xml, &length);
    }
    if (!xml) {
        return false;
    }
    std::string temporary;
    int fd = createTemporary(target, temporary);
    bool ok = fd >= 0;
    if (ok) {
        ok = writeAll(fd, std::string_view(xml, length)) &&
             (!keptMode || ::fchmod(fd, *keptMode) == 0) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
        if (!ok) {
            ::unlink(temporary.c_str());
        }
    }
    plist_to_xml_free(xml);
    return ok;
}

} // namespace tessaly
