#include "LibraryIndex.hxx"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <expat.h>
#include <memory>

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

bool isDictionary(Context context) {
    return context == Context::RootDict || context == Context::Album ||
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

    bool feed(const char* data, int length, bool last) {
        if (XML_Parse(parser_, data, length, last) != XML_STATUS_OK) {
            failed_ = true;
        }
        return !failed_;
    }

    std::optional<LibraryIndex> result() {
        if (failed_ || !rootClosed_) {
            return std::nullopt;
        }
        return std::move(index_);
    }

private:
    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char**) {
        static_cast<IndexParser*>(self)->start(name);
    }
    static void XMLCALL onEnd(void* self, const XML_Char*) { static_cast<IndexParser*>(self)->end(); }
    static void XMLCALL onText(void* self, const XML_Char* text, int length) {
        auto* parser = static_cast<IndexParser*>(self);
        if (parser->capture_) {
            parser->capture_->append(text, static_cast<std::size_t>(length));
        }
    }

    void fail() {
        failed_ = true;
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
            return fail();
        }
        Context context = stack_.back();
        const Tag tag = classify(name);
        if (tag == Tag::Key) {
            if (!isDictionary(context)) {
                return fail();
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
                return fail();
            }
            sawRoot_ = true;
            stack_.push_back(Context::RootDict);
            return;
        case Context::RootDict:
            if (key == "List of Albums"sv && isArray) {
                index_.albums.emplace();
                stack_.push_back(Context::Albums);
            } else if (key == "Master Image List"sv && isDict) {
                index_.masterImages.emplace();
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
        case Context::Album:
            if (isText && captureText(*album_, kAlbumTexts, key)) {
                break;
            }
            if (isArray && key == "KeyList"sv) {
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
                scratch_.clear();
                capture_ = &scratch_;
                endAction_ = EndAction::AspectRatio;
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
                char* stop = nullptr;
                double value = std::strtod(scratch_.c_str(), &stop);
                if (stop != scratch_.c_str()) {
                    picture_->aspectRatio = static_cast<float>(value);
                }
            }
            capture_ = nullptr;
            endAction_ = EndAction::None;
            return;
        }
        Context closing = stack_.back();
        stack_.pop_back();
        if (closing == Context::RootDict) {
            rootClosed_ = true;
        }
    }

    enum class EndAction { None, Key, Value, AspectRatio };

    XML_Parser parser_;
    LibraryIndex index_;
    std::vector<Context> stack_;
    std::string pendingKey_;
    std::string scratch_;
    std::string* capture_ = nullptr;
    EndAction endAction_ = EndAction::None;
    AlbumRecord* album_ = nullptr;
    PictureRecord* picture_ = nullptr;
    int skipDepth_ = 0;
    bool keyPending_ = false;
    bool sawRoot_ = false;
    bool rootClosed_ = false;
    bool failed_ = false;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::optional<LibraryIndex> parseLibraryIndex(std::string_view xml) {
    IndexParser parser;
    // expat takes int lengths; feed large inputs in pieces.
    constexpr std::size_t kPiece = 1 << 24;
    do {
        std::size_t length = std::min(xml.size(), kPiece);
        bool last = length == xml.size();
        if (!parser.feed(xml.data(), static_cast<int>(length), last)) {
            return std::nullopt;
        }
        xml.remove_prefix(length);
    } while (!xml.empty());
    return parser.result();
}

std::optional<LibraryIndex> readLibraryIndex(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    IndexParser parser;
    constexpr int kBlock = 1 << 18;
    for (;;) {
        void* buffer = XML_GetBuffer(parser.parser(), kBlock);
        if (!buffer) {
            return std::nullopt;
        }
        std::size_t length = std::fread(buffer, 1, kBlock, file.get());
        if (std::ferror(file.get())) {
            return std::nullopt;
        }
        bool last = length < static_cast<std::size_t>(kBlock);
        if (XML_ParseBuffer(parser.parser(), static_cast<int>(length), last) != XML_STATUS_OK) {
            return std::nullopt;
        }
        if (last) {
            break;
        }
    }
    return parser.result();
}

} // namespace tessaly
