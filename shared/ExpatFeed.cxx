#include "ExpatFeed.hxx"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace tessaly {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

bool parseFileWithExpat(XML_Parser parser, const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    // Large enough that the reading costs next to nothing beside the parsing, small enough to
    // stay in the caches.
    constexpr int kBlock = 1 << 18;
    for (;;) {
        void* buffer = XML_GetBuffer(parser, kBlock);
        if (!buffer) {
            return false;
        }
        const std::size_t length = std::fread(buffer, 1, kBlock, file.get());
        if (std::ferror(file.get())) {
            return false;
        }
        const bool last = length < static_cast<std::size_t>(kBlock);
        if (XML_ParseBuffer(parser, static_cast<int>(length), last) != XML_STATUS_OK) {
            return false;
        }
        if (last) {
            return true;
        }
    }
}

bool parseTextWithExpat(XML_Parser parser, std::string_view text) {
    constexpr std::size_t kPiece = 1 << 24;
    do {
        const std::size_t length = std::min(text.size(), kPiece);
        const bool last = length == text.size();
        if (XML_Parse(parser, text.data(), static_cast<int>(length), last) != XML_STATUS_OK) {
            return false;
        }
        text.remove_prefix(length);
    } while (!text.empty());
    return true;
}

} // namespace tessaly
