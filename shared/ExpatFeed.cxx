#include "ExpatFeed.hxx"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace tessaly {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openForReading(const std::string& path, int* fileError) {
    File file(std::fopen(path.c_str(), "rb"));
    if (fileError) {
        *fileError = file ? 0 : errno;
    }
    return file;
}

// Large enough that the reading costs next to nothing beside the parsing, small enough to stay
// in the caches.
constexpr int kBlock = 1 << 18;

// An entity or character reference longer than this is taken for no reference at all: the five
// entities of XML and any character number are far shorter.
constexpr std::size_t kLongestReference = 256;

constexpr std::string_view kCdataStart = "<![CDATA[";
constexpr std::string_view kCdataEnd = "]]>";

bool isNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}
bool isNameChar(unsigned char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(unsigned char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Counts lines and characters up to an offset, a piece at a time.
class PositionCounter {
public:
    explicit PositionCounter(std::uint64_t offset) : left_(offset) {}
    // Answers true once the offset is reached.
    bool add(std::string_view piece) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(left_, piece.size()));
        for (std::size_t i = 0; i < take; ++i) {
            const auto c = static_cast<unsigned char>(piece[i]);
            if (c == '\n') {
                ++position_.line;
                position_.column = 1;
            } else if ((c & 0xC0) != 0x80) {
                ++position_.column;
            }
        }
        left_ -= take;
        return left_ == 0;
    }
    const TextPosition& position() const { return position_; }

private:
    std::uint64_t left_;
    TextPosition position_;
};

bool parsePiece(XML_Parser parser, std::string_view piece, bool last) {
    return XML_Parse(parser, piece.data(), static_cast<int>(piece.size()), last) == XML_STATUS_OK;
}

} // namespace

bool parseFileWithExpat(XML_Parser parser, const std::string& path, int* fileError) {
    const File file = openForReading(path, fileError);
    if (!file) {
        return false;
    }
    for (;;) {
        void* buffer = XML_GetBuffer(parser, kBlock);
        if (!buffer) {
            return false;
        }
        const std::size_t length = std::fread(buffer, 1, kBlock, file.get());
        if (std::ferror(file.get())) {
            if (fileError) {
                *fileError = errno ? errno : EIO;
            }
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
        if (!parsePiece(parser, text.substr(0, length), last)) {
            return false;
        }
        text.remove_prefix(length);
    } while (!text.empty());
    return true;
}

// --- bare ampersands ---------------------------------------------------------------------------

AmpersandRepair::Judged AmpersandRepair::judgeAmpersand(std::string_view text, std::size_t at,
                                                        bool last) {
    // What follows "&" in a reference: a name, "#" and decimal digits, or "#x" and hexadecimal
    // digits, then ";". Anything else makes the "&" a character of its own. Running out of bytes
    // leaves it open until more come, unless the text has ended.
    const std::size_t limit = at + 1 + kLongestReference;
    const Judged ranOut = last ? Judged::Bare : Judged::NeedMore;
    std::size_t i = at + 1;
    bool (*accepts)(unsigned char) = nullptr;
    if (i >= text.size()) {
        return ranOut;
    }
    if (text[i] == '#') {
        accepts = isDigit;
        if (++i >= text.size()) {
            return ranOut;
        }
        if (text[i] == 'x') {
            accepts = isHexDigit;
            ++i;
        }
    } else if (isNameStart(static_cast<unsigned char>(text[i]))) {
        accepts = isNameChar;
        ++i;
    } else {
        return Judged::Bare;
    }
    // A name has its first character already; a number needs at least one digit.
    const std::size_t first = accepts == isNameChar ? i - 1 : i;
    while (i < text.size() && i < limit && accepts(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    if (i >= limit) {
        return Judged::Bare;
    }
    if (i >= text.size()) {
        return ranOut;
    }
    return text[i] == ';' && i > first ? Judged::Reference : Judged::Bare;
}

void AmpersandRepair::feed(std::string_view in, bool last, std::string& out) {
    std::string_view text = in;
    if (!held_.empty()) {
        joined_.assign(held_);
        joined_.append(in);
        held_.clear();
        text = joined_;
    }
    const std::size_t startSize = out.size();
    std::size_t copied = 0; // text[0, copied) is in `out`
    std::size_t at = 0;
    auto holdFrom = [&](std::size_t from) {
        out.append(text, copied, from - copied);
        held_.assign(text.substr(from));
        copied = text.size();
    };
    while (at < text.size()) {
        if (inCdata_) {
            const std::size_t close = text.find(kCdataEnd, at);
            if (close == std::string_view::npos) {
                // The end marker may straddle this piece and the next.
                const std::size_t keep =
                    last ? 0 : std::min(text.size() - at, kCdataEnd.size() - 1);
                if (keep > 0) {
                    holdFrom(text.size() - keep);
                }
                break;
            }
            at = close + kCdataEnd.size();
            inCdata_ = false;
            continue;
        }
        const std::size_t special = text.find_first_of("&<", at);
        if (special == std::string_view::npos) {
            break;
        }
        if (text[special] == '<') {
            const std::string_view rest = text.substr(special);
            if (!last && rest.size() < kCdataStart.size() && kCdataStart.starts_with(rest)) {
                holdFrom(special);
                break;
            }
            if (rest.starts_with(kCdataStart)) {
                inCdata_ = true;
                at = special + kCdataStart.size();
            } else {
                at = special + 1;
            }
            continue;
        }
        const Judged judged = judgeAmpersand(text, special, last);
        if (judged == Judged::NeedMore) {
            holdFrom(special);
            break;
        }
        at = special + 1;
        if (judged == Judged::Bare) {
            out.append(text, copied, at - copied);
            copied = at;
            inserted_.push_back(written_ + (out.size() - startSize));
            out.append("amp;");
        }
    }
    if (copied < text.size()) {
        out.append(text, copied, text.size() - copied);
    }
    written_ += out.size() - startSize;
}

std::uint64_t AmpersandRepair::originalOffset(std::uint64_t offset) const {
    // Insertions that start before the offset each moved it on by four bytes; an offset inside an
    // inserted "amp;" belongs to the "&" before it.
    const auto after = std::lower_bound(inserted_.begin(), inserted_.end(), offset);
    std::uint64_t before = static_cast<std::uint64_t>(after - inserted_.begin());
    if (before > 0 && offset < inserted_[before - 1] + 4) {
        return inserted_[before - 1] - 4 * (before - 1) - 1;
    }
    return offset - 4 * before;
}

bool parseFileRepairingAmpersands(XML_Parser parser, const std::string& path,
                                  AmpersandRepair& repair, int* fileError) {
    const File file = openForReading(path, fileError);
    if (!file) {
        return false;
    }
    std::string block(kBlock, '\0');
    std::string repaired;
    for (;;) {
        const std::size_t length = std::fread(block.data(), 1, block.size(), file.get());
        if (std::ferror(file.get())) {
            if (fileError) {
                *fileError = errno ? errno : EIO;
            }
            return false;
        }
        const bool last = length < block.size();
        repaired.clear();
        repair.feed(std::string_view(block.data(), length), last, repaired);
        if (!parsePiece(parser, repaired, last)) {
            return false;
        }
        if (last) {
            return true;
        }
    }
}

bool parseTextRepairingAmpersands(XML_Parser parser, std::string_view text,
                                  AmpersandRepair& repair) {
    constexpr std::size_t kPiece = 1 << 20;
    std::string repaired;
    do {
        const std::size_t length = std::min(text.size(), kPiece);
        const bool last = length == text.size();
        repaired.clear();
        repair.feed(text.substr(0, length), last, repaired);
        if (!parsePiece(parser, repaired, last)) {
            return false;
        }
        text.remove_prefix(length);
    } while (!text.empty());
    return true;
}

// --- places in a document ----------------------------------------------------------------------

TextPosition positionInText(std::string_view text, std::uint64_t offset) {
    PositionCounter counter(offset);
    counter.add(text);
    return counter.position();
}

bool positionInFile(const std::string& path, std::uint64_t offset, TextPosition& position) {
    const File file = openForReading(path, nullptr);
    if (!file) {
        return false;
    }
    PositionCounter counter(offset);
    std::string block(kBlock, '\0');
    bool reached = offset == 0;
    while (!reached) {
        const std::size_t length = std::fread(block.data(), 1, block.size(), file.get());
        reached = counter.add(std::string_view(block.data(), length));
        if (length < block.size()) {
            break;
        }
    }
    position = counter.position();
    return true;
}

} // namespace tessaly
