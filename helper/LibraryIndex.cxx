#include "LibraryIndex.hxx"

#include "ExpatFeed.hxx"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace tessaly {

using namespace std::string_view_literals;

const PictureRecord* LibraryIndex::findPicture(const std::string& key) const {
    if (!masterImages) {
        return nullptr;
    }
    auto found = masterImages->find(key);
    return found == masterImages->end() ? nullptr : &found->second;
}

namespace {

// Where the reader stands: the containers it walks into. Any other container is skipped whole.
enum class Context {
    Document,
    Plist,
    RootDict,
    Albums,
    Album,
    Rolls,
    Roll,
    KeyList,
    MasterImages,
    Picture,
};

// The element names a property list uses, told apart by a glance at their first letter: the
// reader meets millions of them in a large index.
enum class Tag { Key, Dict, Array, String, Number, Plist, Other };

Tag classify(const char* name) {
    switch (name[0]) {
    case 'k':
        return std::strcmp(name, "key") == 0 ? Tag::Key : Tag::Other;
    case 'd':
        return std::strcmp(name, "dict") == 0 ? Tag::Dict : Tag::Other;
    case 'a':
        return std::strcmp(name, "array") == 0 ? Tag::Array : Tag::Other;
    case 's':
        return std::strcmp(name, "string") == 0 ? Tag::String : Tag::Other;
    case 'r':
        return std::strcmp(name, "real") == 0 ? Tag::Number : Tag::Other;
    case 'i':
        return std::strcmp(name, "integer") == 0 ? Tag::Number : Tag::Other;
    case 'p':
        return std::strcmp(name, "plist") == 0 ? Tag::Plist : Tag::Other;
    default:
        return Tag::Other;
    }
}

// Whether the digits of a number (without sign and "0x"), with their exponent, are one or more:
// the place of the first digit that is not zero plus the exponent. Only needed for numbers no
// double holds, so it may be rough for anything near one.
bool isAboveOne(std::string_view number, bool hex) {
    const std::size_t exponentAt = number.find_first_of(hex ? "pP" : "eE");
    const std::string_view digits = number.substr(0, exponentAt);
    long long place = 0;
    const std::size_t point = digits.find('.');
    const std::string_view whole = digits.substr(0, point);
    const std::size_t firstWhole = whole.find_first_not_of('0');
    if (firstWhole != std::string_view::npos) {
        place = static_cast<long long>(whole.size() - firstWhole);
    } else if (point != std::string_view::npos) {
        const std::string_view fraction = digits.substr(point + 1);
        const std::size_t firstFraction = fraction.find_first_not_of('0');
        place = -static_cast<long long>(firstFraction == std::string_view::npos ? fraction.size()
                                                                                : firstFraction);
    }
    if (hex) {
        place *= 4; // the exponent counts binary places
    }
    if (exponentAt != std::string_view::npos) {
        std::string_view exponent = number.substr(exponentAt + 1);
        const bool minus = !exponent.empty() && exponent.front() == '-';
        if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) {
            exponent.remove_prefix(1);
        }
        // Kept far from overflowing; any exponent this large decides alone.
        long long size = 0;
        for (const char digit : exponent) {
            if (digit < '0' || digit > '9') {
                break;
            }
            size = std::min(size * 10 + (digit - '0'), 1'000'000'000'000LL);
        }
        place += minus ? -size : size;
    }
    return place > 0;
}

// A number's text read as the C library reads it in the "C" locale: leading white space, one
// sign, decimal or hexadecimal ("0x") digits with an exponent, "inf" and "nan"; what follows the
// number is ignored. The index always writes a point, whereas the locale the program runs in
// (which Qt takes from the user's) may expect a comma and would read "0.75" as 0, so no
// locale-dependent function is used. Nothing when the text does not start with a number.
std::optional<double> parseNumber(std::string_view text) {
    std::size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(at);
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+') {
        text.remove_prefix(1);
    }
    // from_chars takes a minus sign of its own, which would let "+-1" through.
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    const char* const first = text.data();
    const char* const last = first + text.size();
    double value = 0.0;
    std::from_chars_result read{first, std::errc::invalid_argument};
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        read = std::from_chars(first + 2, last, value, std::chars_format::hex);
        if (read.ptr == first + 2) {
            // "0x" without hexadecimal digits after it: the number is the zero alone.
            read = {first + 1, std::errc()};
            value = 0.0;
        }
    } else {
        read = std::from_chars(first, last, value);
    }
    if (read.ec == std::errc::invalid_argument) {
        return std::nullopt;
    }
    if (read.ec == std::errc::result_out_of_range) {
        // Beyond a double either way: too large reads as infinity, too small as zero.
        const bool hex = read.ptr > first && first[0] == '0' && text.size() > 1 &&
                         (text[1] == 'x' || text[1] == 'X');
        const std::string_view number(first + (hex ? 2 : 0),
                                      static_cast<std::size_t>(read.ptr - first) - (hex ? 2 : 0));
        value = isAboveOne(number, hex) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

bool isDictionary(Context context) {
    return context == Context::RootDict || context == Context::Album || context == Context::Roll ||
           context == Context::MasterImages || context == Context::Picture;
}

// The texts kept of an album and of a picture, by their key in the index.
template <typename Record> struct TextField {
    std::string_view key;
    std::optional<std::string> Record::*field;
};
constexpr TextField<AlbumRecord> kAlbumTexts[] = {
    {"Album Type", &AlbumRecord::type},
    {"AlbumName", &AlbumRecord::name},
    {"Comments", &AlbumRecord::comments},
    {"GUID", &AlbumRecord::guid},
};
// An entry of "List of Rolls" is kept only as an event: by its "RollName" and its pictures. One
// with an "AlbumName" is a film roll of versions 4 to 6, and is kept empty.
constexpr TextField<AlbumRecord> kRollTexts[] = {
    {"RollName", &AlbumRecord::name},
};
constexpr TextField<PictureRecord> kPictureTexts[] = {
    {"ThumbPath", &PictureRecord::thumbPath},
    {"ImagePath", &PictureRecord::imagePath},
    {"Caption", &PictureRecord::caption},
    {"Comment", &PictureRecord::comment},
};

class IndexParser {
public:
    IndexParser() : parser_(XML_ParserCreate(nullptr)) {
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &IndexParser::onStart, &IndexParser::onEnd);
        XML_SetCharacterDataHandler(parser_, &IndexParser::onText);
        stack_.reserve(16);
        stack_.push_back(Context::Document);
    }
    ~IndexParser() { XML_ParserFree(parser_); }
    IndexParser(const IndexParser&) = delete;
    IndexParser& operator=(const IndexParser&) = delete;

    XML_Parser parser() const { return parser_; }

    std::optional<LibraryIndex> result() {
        if (failed_ || !rootClosed_) {
            return std::nullopt;
        }
        return std::move(index_);
    }

    // Why the document was refused by this reader rather than by expat, and at which byte of
    // what expat was fed; nothing when expat refused it, or when the document ended without a
    // dictionary at its root.
    const char* refusal() const { return failed_ ? refusal_ : nullptr; }
    std::uint64_t refusedAt() const { return refusedAt_; }

private:
    // What the end of the element whose text is captured does with it.
    enum class EndAction { None, Key, Value, AspectRatio, Modified };

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char**) {
        static_cast<IndexParser*>(self)->start(name);
    }
    static void XMLCALL onEnd(void* self, const XML_Char*) {
        static_cast<IndexParser*>(self)->end();
    }
    static void XMLCALL onText(void* self, const XML_Char* text, int length) {
        auto* parser = static_cast<IndexParser*>(self);
        if (parser->capture_) {
            parser->capture_->append(text, static_cast<std::size_t>(length));
        }
    }

    std::size_t largestKeyList() const {
        std::size_t largest = 0;
        if (index_.albums) {
            for (const AlbumRecord& album : *index_.albums) {
                largest = std::max(largest, album.keyList ? album.keyList->size() : 0);
            }
        }
        return largest;
    }

    void fail(const char* reason) {
        failed_ = true;
        refusal_ = reason;
        refusedAt_ =
            static_cast<std::uint64_t>(std::max<XML_Index>(0, XML_GetCurrentByteIndex(parser_)));
        XML_StopParser(parser_, XML_FALSE);
    }

    // Skips the element just opened and everything inside it.
    void skip() { skipDepth_ = 1; }

    void start(const char* name) {
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return;
        }
        // Keys and values are text: an element inside one makes the file no property list.
        if (capture_) {
            return fail("an element inside a key or a value");
        }
        Context context = stack_.back();
        const Tag tag = classify(name);
        if (tag == Tag::Key) {
            if (!isDictionary(context)) {
                return fail("a key outside a dictionary");
            }
            pendingKey_.clear();
            capture_ = &pendingKey_;
            endAction_ = EndAction::Key;
            return;
        }
        // In a dictionary every value needs the key before it; a stray value is skipped.
        if (isDictionary(context)) {
            if (!keyPending_) {
                return skip();
            }
            keyPending_ = false;
        }
        const bool isDict = tag == Tag::Dict;
        const bool isArray = tag == Tag::Array;
        const bool isText = tag == Tag::String;
        const bool isNumber = tag == Tag::Number;
        // Compared as a view, so that keys of another length are told apart at once.
        const std::string_view key = pendingKey_;
        switch (context) {
        case Context::Document:
            if (tag == Tag::Plist) {
                stack_.push_back(Context::Plist);
                return;
            }
            [[fallthrough]];
        case Context::Plist:
            if (!isDict || sawRoot_) {
                return fail(sawRoot_ ? "a second value at the root" : "no dictionary at the root");
            }
            sawRoot_ = true;
            stack_.push_back(Context::RootDict);
            return;
        case Context::RootDict:
            if (key == "List of Albums"sv && isArray) {
                index_.albums.emplace();
                stack_.push_back(Context::Albums);
            } else if (key == "List of Rolls"sv && isArray) {
                index_.rolls.emplace();
                stack_.push_back(Context::Rolls);
            } else if (key == "Archive Path"sv && isText) {
                captureInto(index_.archivePath);
            } else if (key == "Master Image List"sv && isDict) {
                index_.masterImages.emplace();
                // The library's own album, read before this list, names every picture: room for
                // them all at once spares a large library's map its repeated rehashing.
                index_.masterImages->reserve(largestKeyList());
                stack_.push_back(Context::MasterImages);
            } else {
                skip();
            }
            break;
        case Context::Albums:
            album_ = &index_.albums->emplace_back();
            if (isDict) {
                stack_.push_back(Context::Album);
            } else {
                skip();
            }
            return;
        case Context::Rolls:
            album_ = &index_.rolls->emplace_back();
            filmRoll_ = false;
            if (isDict) {
                stack_.push_back(Context::Roll);
            } else {
                skip();
            }
            return;
        case Context::Album:
        case Context::Roll:
            if (isText && (context == Context::Album ? captureText(*album_, kAlbumTexts, key)
                                                     : captureText(*album_, kRollTexts, key))) {
                break;
            }
            if (context == Context::Roll && key == "AlbumName"sv) {
                // A film roll of versions 4 to 6, which is never published. Its keys come in
                // order, the name before the pictures, so a large library's rolls cost nothing.
                filmRoll_ = true;
                album_->keyList.reset();
                skip();
            } else if (isArray && key == "KeyList"sv && !(context == Context::Roll && filmRoll_)) {
                album_->keyList.emplace();
                stack_.push_back(Context::KeyList);
            } else {
                skip();
            }
            break;
        case Context::KeyList: {
            auto& entry = album_->keyList->emplace_back();
            if (isText) {
                captureInto(entry);
            } else {
                skip();
            }
            return;
        }
        case Context::MasterImages:
            if (isDict) {
                picture_ = &(*index_.masterImages)[pendingKey_];
                *picture_ = PictureRecord{};
                stack_.push_back(Context::Picture);
            } else {
                // Not a picture: the key then names nothing.
                index_.masterImages->erase(pendingKey_);
                skip();
            }
            break;
        case Context::Picture:
            if (isText && captureText(*picture_, kPictureTexts, key)) {
                break;
            }
            if (isNumber && key == "Aspect Ratio"sv) {
                picture_->aspectRatio.reset();
                captureNumber(EndAction::AspectRatio);
            } else if (isNumber && key == "ModDateAsTimerInterval"sv && !picture_->aspectRatio) {
                // Only a picture whose proportions come from its thumbnail needs its date: the
                // index writes its keys in order, so any "Aspect Ratio" has come by now.
                picture_->modified.reset();
                captureNumber(EndAction::Modified);
            } else {
                skip();
            }
            break;
        }
    }

    // Captures the value into the record's field for the key, if the key names one.
    template <typename Record, std::size_t N>
    bool captureText(Record& record, const TextField<Record> (&fields)[N], std::string_view key) {
        for (const TextField<Record>& text : fields) {
            if (text.key == key) {
                captureInto(record.*text.field);
                return true;
            }
        }
        return false;
    }

    void captureNumber(EndAction action) {
        scratch_.clear();
        capture_ = &scratch_;
        endAction_ = action;
    }

    void captureInto(std::optional<std::string>& field) {
        field.emplace();
        capture_ = &*field;
        endAction_ = EndAction::Value;
    }

    void end() {
        if (skipDepth_ > 0) {
            --skipDepth_;
            return;
        }
        if (capture_) {
            if (endAction_ == EndAction::Key) {
                keyPending_ = true;
            } else if (endAction_ == EndAction::AspectRatio) {
                if (const std::optional<double> value = parseNumber(scratch_)) {
                    picture_->aspectRatio = static_cast<float>(*value);
                }
            } else if (endAction_ == EndAction::Modified) {
                picture_->modified = parseNumber(scratch_);
            }
            capture_ = nullptr;
            endAction_ = EndAction::None;
            return;
        }
        Context closing = stack_.back();
        stack_.pop_back();
        if (closing == Context::RootDict) {
            rootClosed_ = true;
        } else if (closing == Context::Roll && (filmRoll_ || !album_->name)) {
            // Not an event: nothing of it is published, so its pictures need no room.
            album_->name.reset();
            album_->keyList.reset();
        }
    }

    XML_Parser parser_;
    LibraryIndex index_;
    std::vector<Context> stack_;
    std::string pendingKey_;
    std::string scratch_;
    std::string* capture_ = nullptr;
    EndAction endAction_ = EndAction::None;
    AlbumRecord* album_ = nullptr;
    PictureRecord* picture_ = nullptr;
    const char* refusal_ = nullptr;
    std::uint64_t refusedAt_ = 0;
    int skipDepth_ = 0;
    bool keyPending_ = false;
    bool filmRoll_ = false; // the entry of "List of Rolls" being read has an "AlbumName"
    bool sawRoot_ = false;
    bool rootClosed_ = false;
    bool failed_ = false;
};

// One reading of a document, with or without its bare ampersands repaired.
struct Reading {
    std::optional<LibraryIndex> index;
    bool repairable = false; // expat refused a token that may be a bare "&"
    std::string reason;
    std::optional<std::uint64_t> byte; // where, in the fed bytes
};

template <typename Feed> Reading readOnce(const Feed& feed) {
    IndexParser parser;
    Reading reading;
    int fileError = 0;
    const bool parsed = feed(parser.parser(), fileError);
    if (fileError != 0) {
        reading.reason = std::error_code(fileError, std::generic_category()).message();
        return reading;
    }
    if (parsed) {
        reading.index = parser.result();
        if (!reading.index) {
            reading.reason = "no dictionary at the root";
        }
        return reading;
    }
    if (const char* refusal = parser.refusal()) {
        reading.reason = refusal;
        reading.byte = parser.refusedAt();
        return reading;
    }
    const XML_Error code = XML_GetErrorCode(parser.parser());
    reading.repairable = code == XML_ERROR_INVALID_TOKEN;
    reading.reason = XML_ErrorString(code) ? XML_ErrorString(code) : "not XML";
    reading.byte = static_cast<std::uint64_t>(
        std::max<XML_Index>(0, XML_GetCurrentByteIndex(parser.parser())));
    return reading;
}

// Reads the document plainly and, only when expat refused a token there, once more with its bare
// ampersands repaired; `locate` turns a byte of the original into a line and column.
template <typename Plain, typename Repaired, typename Locate>
std::optional<LibraryIndex> readDocument(const Plain& plain, const Repaired& repaired,
                                         const Locate& locate, IndexProblem* problem) {
    Reading reading = readOnce(plain);
    if (reading.repairable) {
        AmpersandRepair repair;
        reading = readOnce(
            [&](XML_Parser parser, int& fileError) { return repaired(parser, repair, fileError); });
        if (reading.byte) {
            reading.byte = repair.originalOffset(*reading.byte);
        }
    }
    if (!reading.index && problem) {
        problem->reason = reading.reason;
        TextPosition position;
        if (reading.byte && locate(*reading.byte, position)) {
            problem->line = position.line;
            problem->column = position.column;
        } else {
            problem->line = problem->column = 0;
        }
    }
    return std::move(reading.index);
}

} // namespace

std::optional<LibraryIndex> parseLibraryIndex(std::string_view xml, IndexProblem* problem) {
    return readDocument([xml](XML_Parser parser, int&) { return parseTextWithExpat(parser, xml); },
                        [xml](XML_Parser parser, AmpersandRepair& repair, int&) {
                            return parseTextRepairingAmpersands(parser, xml, repair);
                        },
                        [xml](std::uint64_t byte, TextPosition& position) {
                            position = positionInText(xml, byte);
                            return true;
                        },
                        problem);
}

std::optional<LibraryIndex> readLibraryIndex(const std::string& path, IndexProblem* problem) {
    return readDocument(
        [&path](XML_Parser parser, int& fileError) {
            return parseFileWithExpat(parser, path, &fileError);
        },
        [&path](XML_Parser parser, AmpersandRepair& repair, int& fileError) {
            return parseFileRepairingAmpersands(parser, path, repair, &fileError);
        },
        [&path](std::uint64_t byte, TextPosition& position) {
            return positionInFile(path, byte, position);
        },
        problem);
}

} // namespace tessaly
