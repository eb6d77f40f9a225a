#include "LibraryIndex.hxx"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <expat.h>
#include <memory>

namespace tessaly {

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

bool isDictionary(Context context) {
    return context == Context::RootDict || context == Context::Album ||
           context == Context::MasterImages || context == Context::Picture;
}

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
        if (std::strcmp(name, "key") == 0) {
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
        const bool isDict = std::strcmp(name, "dict") == 0;
        const bool isArray = std::strcmp(name, "array") == 0;
        const bool isText = std::strcmp(name, "string") == 0;
        const bool isNumber = std::strcmp(name, "real") == 0 || std::strcmp(name, "integer") == 0;
        switch (context) {
        case Context::Document:
            if (std::strcmp(name, "plist") == 0) {
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
            if (pendingKey_ == "List of Albums" && isArray) {
                index_.albums.emplace();
                stack_.push_back(Context::Albums);
            } else if (pendingKey_ == "Master Image List" && isDict) {
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
            if (isText && pendingKey_ == "Album Type") {
                captureInto(album_->type);
            } else if (isText && pendingKey_ == "AlbumName") {
                captureInto(album_->name);
            } else if (isText && pendingKey_ == "Comments") {
                captureInto(album_->comments);
            } else if (isArray && pendingKey_ == "KeyList") {
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
            if (isText && pendingKey_ == "ThumbPath") {
                captureInto(picture_->thumbPath);
            } else if (isText && pendingKey_ == "ImagePath") {
                captureInto(picture_->imagePath);
            } else if (isText && pendingKey_ == "Caption") {
                captureInto(picture_->caption);
            } else if (isText && pendingKey_ == "Comment") {
                captureInto(picture_->comment);
            } else if (isNumber && pendingKey_ == "Aspect Ratio") {
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
