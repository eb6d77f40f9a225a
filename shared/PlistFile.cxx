#include "PlistFile.hxx"

#include "CNumericLocale.hxx"
#include "ExpatFeed.hxx"
#include "FileIO.hxx"

#include <expat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

// Elements may nest as deep as the containers allow, plus the <plist> root and one leaf.
constexpr std::size_t kMaxElementDepth = kMaxPlistNesting + 2;

// Counts how deep the elements nest while expat reads the document, and stops it past the limits.
struct NestingCount {
    XML_Parser parser = nullptr;
    std::size_t elements = 0;
    int containers = 0;

    static bool isContainer(const XML_Char* name) {
        return std::strcmp(name, "dict") == 0 || std::strcmp(name, "array") == 0;
    }
    static void XMLCALL start(void* data, const XML_Char* name, const XML_Char**) {
        auto* count = static_cast<NestingCount*>(data);
        ++count->elements;
        count->containers += isContainer(name) ? 1 : 0;
        if (count->elements > kMaxElementDepth || count->containers > kMaxPlistNesting) {
            XML_StopParser(count->parser, XML_FALSE);
        }
    }
    static void XMLCALL end(void* data, const XML_Char* name) {
        auto* count = static_cast<NestingCount*>(data);
        --count->elements;
        count->containers -= isContainer(name) ? 1 : 0;
    }
    // An internal subset of the DOCTYPE can declare entities that libplist, which never expands
    // them, would read differently from expat; we never write one.
    static void XMLCALL doctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                int hasInternalSubset) {
        if (hasInternalSubset) {
            XML_StopParser(static_cast<NestingCount*>(data)->parser, XML_FALSE);
        }
    }
};

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// True when `xml` is well-formed and holds no more than kMaxPlistNesting dictionaries and arrays
// inside one another (kMaxElementDepth elements of any kind). Expat keeps its open elements on
// the heap, so it needs no more stack for a hostile file than for ours, and what it refuses
// (a stray end tag, an internal DTD subset) is never parsed deeper than checked.
bool nestingIsBounded(std::string_view xml) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        return false;
    }
    NestingCount count;
    count.parser = parser.get();
    XML_SetUserData(parser.get(), &count);
    XML_SetElementHandler(parser.get(), &NestingCount::start, &NestingCount::end);
    XML_SetStartDoctypeDeclHandler(parser.get(), &NestingCount::doctype);
    return parseTextWithExpat(parser.get(), xml);
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

// The permissions a new file gets from open(…, 0666) under the process's umask. The umask is read
// from /proc, as setting it to read it would change it for every thread meanwhile.
mode_t newFileMode() {
    mode_t mask = 022;
    if (const std::optional<std::string> status = readWholeFile("/proc/self/status", 1 << 16)) {
        const std::size_t at = status->find("\nUmask:");
        if (at != std::string::npos) {
            mask = static_cast<mode_t>(std::strtoul(status->c_str() + at + 8, nullptr, 8)) & 0777;
        }
    }
    return 0666 & ~mask;
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
    const bool ok =
        replaceFile(target, std::string_view(xml, length), keptMode.value_or(newFileMode()));
    plist_to_xml_free(xml);
    return ok;
}

} // namespace tessaly
