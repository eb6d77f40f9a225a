#include "PlistWriter.hxx"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace tessaly::sample {

namespace {
// Large enough that the sink is called rarely, small enough not to matter next to the index.
constexpr std::size_t kFlushBytes = 64 * 1024;

constexpr std::string_view kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                     "<plist version=\"1.0\">\n";

template <typename Number> void appendNumber(std::string& out, Number value) {
    char digits[64];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    if (error != std::errc()) {
        throw std::logic_error("number does not fit the plist writer's buffer");
    }
    out.append(digits, end);
}
} // namespace

PlistWriter::PlistWriter(Sink sink) : sink_(std::move(sink)) {
    buffer_.reserve(kFlushBytes + 4096);
    buffer_ += kHeader;
}

void PlistWriter::beginDict() {
    beforeValue();
    indent(levels_.size());
    levels_.push_back(Level{true, false, false, {}});
}

void PlistWriter::endDict() {
    endContainer(true);
}

void PlistWriter::beginArray() {
    beforeValue();
    indent(levels_.size());
    levels_.push_back(Level{false, false, false, {}});
}

void PlistWriter::endArray() {
    endContainer(false);
}

void PlistWriter::key(std::string_view name) {
    if (levels_.empty() || !levels_.back().isDict || levels_.back().keyPending) {
        throw std::logic_error("plist key outside a dictionary or without a value before it");
    }
    Level& top = levels_.back();
    // Empty first keys are legal, so "no key yet" is told by the start tag not being written.
    if (top.opened && name <= std::string_view(top.lastKey)) {
        throw std::logic_error("plist keys out of order: \"" + std::string(name) + "\" after \"" +
                               top.lastKey + "\"");
    }
    openPending();
    top.lastKey.assign(name);
    top.keyPending = true;
    indent(levels_.size());
    buffer_ += "<key>";
    appendEscaped(name);
    buffer_ += "</key>\n";
    flushIfFull();
}

template <typename Content>
void PlistWriter::leaf(std::string_view tag, const Content& writeContent) {
    beforeValue();
    indent(levels_.size());
    buffer_ += '<';
    buffer_ += tag;
    buffer_ += '>';
    writeContent();
    buffer_ += "</";
    buffer_ += tag;
    buffer_ += ">\n";
    flushIfFull();
}

void PlistWriter::string(std::string_view text) {
    leaf("string", [&] { appendEscaped(text); });
}

void PlistWriter::integer(std::int64_t value) {
    leaf("integer", [&] { appendNumber(buffer_, value); });
}

void PlistWriter::real(double value) { writeReal(value); }

void PlistWriter::real(float value) { writeReal(value); }

template <typename Real> void PlistWriter::writeReal(Real value) {
    if (!std::isfinite(value)) {
        throw std::logic_error("a plist real must be finite");
    }
    leaf("real", [&] { appendNumber(buffer_, value); });
}

void PlistWriter::boolean(bool value) {
    beforeValue();
    indent(levels_.size());
    buffer_ += value ? "<true/>\n" : "<false/>\n";
    flushIfFull();
}

bool PlistWriter::finish() {
    if (finished_ || !rootWritten_ || !levels_.empty()) {
        throw std::logic_error("plist document finished twice, empty or with open containers");
    }
    finished_ = true;
    buffer_ += "</plist>\n";
    if (!failed_ && !sink_(buffer_)) {
        failed_ = true;
    }
    buffer_.clear();
    return !failed_;
}

void PlistWriter::beforeValue() {
    if (finished_) {
        throw std::logic_error("plist value after the document was finished");
    }
    if (levels_.empty()) {
        if (rootWritten_) {
            throw std::logic_error("a plist document has one root value");
        }
        rootWritten_ = true;
        return;
    }
    Level& top = levels_.back();
    if (top.isDict) {
        if (!top.keyPending) {
            throw std::logic_error("plist dictionary value without a key");
        }
        top.keyPending = false;
    } else {
        openPending();
    }
}

void PlistWriter::openPending() {
    Level& top = levels_.back();
    if (!top.opened) {
        buffer_ += top.isDict ? "<dict>\n" : "<array>\n";
        top.opened = true;
    }
}

void PlistWriter::indent(std::size_t depth) {
    buffer_.append(depth, '\t');
}

void PlistWriter::endContainer(bool isDict) {
    if (levels_.empty() || levels_.back().isDict != isDict || levels_.back().keyPending) {
        throw std::logic_error("unbalanced plist container or key without a value");
    }
    const Level& top = levels_.back();
    if (!top.opened) {
        // The indentation was written by begin*(); the empty form stands on that line.
        buffer_ += isDict ? "<dict/>\n" : "<array/>\n";
    } else {
        indent(levels_.size() - 1);
        buffer_ += isDict ? "</dict>\n" : "</array>\n";
    }
    levels_.pop_back();
    flushIfFull();
}

void PlistWriter::appendEscaped(std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&':
            buffer_ += "&amp;";
            break;
        case '<':
            buffer_ += "&lt;";
            break;
        case '>':
            buffer_ += "&gt;";
            break;
        case '\t':
        case '\n':
            buffer_ += c;
            break;
        default:
            // XML 1.0 cannot carry other control characters, and a reader turns a carriage
            // return into a line feed: the text would not come back as it went in.
            if (static_cast<unsigned char>(c) < 0x20) {
                throw std::logic_error("plist text holds a control character XML cannot carry");
            }
            buffer_ += c;
        }
    }
}

void PlistWriter::flushIfFull() {
    if (buffer_.size() < kFlushBytes) {
        return;
    }
    if (!failed_ && !sink_(buffer_)) {
        failed_ = true;
    }
    buffer_.clear();
}

} // namespace tessaly::sample
