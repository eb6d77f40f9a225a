#include "PlistWriter.hxx"

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace tessaly {

namespace {
// Large enough that the sink is called rarely, small enough not to matter next to the index.
constexpr std::size_t kFlushBytes = 64 * 1024;

constexpr char kDoctype[] = "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">";

template <typename Number> std::string_view formatNumber(char (&digits)[64], Number value) {
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    if (error != std::errc()) {
        throw std::logic_error("number does not fit the plist writer's buffer");
    }
    return std::string_view(digits, static_cast<std::size_t>(end - digits));
}

// Tag names made once: the writer is called a few million times for a large library.
const QString kKey = QStringLiteral("key");
const QString kString = QStringLiteral("string");
const QString kInteger = QStringLiteral("integer");
const QString kReal = QStringLiteral("real");
const QString kTrue = QStringLiteral("true");
const QString kFalse = QStringLiteral("false");
const QString kDict = QStringLiteral("dict");
const QString kArray = QStringLiteral("array");

// XML 1.0 cannot carry control characters other than tab and line feed, and a reader turns a
// carriage return into a line feed: such text would not come back as it went in.
QString checkedText(std::string_view text) {
    bool ascii = true;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n') {
            throw std::logic_error("plist text holds a control character XML cannot carry");
        }
        ascii = ascii && byte < 0x80;
    }
    // Most of an index is ASCII, which converts faster as Latin-1 and gives the same text.
    const auto size = static_cast<qsizetype>(text.size());
    return ascii ? QString::fromLatin1(text.data(), size) : QString::fromUtf8(text.data(), size);
}

} // namespace

// The XML writer writes into a string, which is handed to the sink as UTF-8 in large pieces: a
// device would be asked to encode and write every tag on its own, several times slower. A
// refusal of the sink is remembered, so that a later piece getting through cannot hide it.
struct PlistWriter::Output {
    explicit Output(Sink sink) : sink(std::move(sink)), xml(&text) {
        text.reserve(kFlushBytes + 4096);
        // Written to a string, the XML writer leaves the encoding out of the declaration; the
        // sink receives UTF-8, so it is said here.
        text += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    }
    void flush() {
        const QByteArray utf8 = text.toUtf8();
        if (!failed && !sink(std::string_view(utf8.constData(), std::size_t(utf8.size())))) {
            failed = true;
        }
        text.truncate(0);
    }

    Sink sink;
    QString text;
    QXmlStreamWriter xml;
    bool failed = false;
    std::vector<QString> lineBreaks; // a line feed and the tabs of each depth, made once
};

PlistWriter::PlistWriter(Sink sink) : out_(std::make_unique<Output>(std::move(sink))) {
    QXmlStreamWriter& xml = out_->xml;
    xml.writeDTD(QString::fromLatin1(kDoctype));
    breakLine(0);
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
}

PlistWriter::~PlistWriter() = default;

void PlistWriter::beginDict() {
    beforeValue();
    breakLine(levels_.size());
    levels_.push_back(Level{true, false, false, {}});
}

void PlistWriter::endDict() { endContainer(true); }

void PlistWriter::beginArray() {
    beforeValue();
    breakLine(levels_.size());
    levels_.push_back(Level{false, false, false, {}});
}

void PlistWriter::endArray() { endContainer(false); }

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
    const QString text = checkedText(name);
    openPending();
    top.lastKey.assign(name);
    top.keyPending = true;
    breakLine(levels_.size());
    out_->xml.writeTextElement(kKey, text);
    flushIfFull();
}

void PlistWriter::leaf(const QString& tag, std::string_view content) {
    const QString text = checkedText(content);
    beforeValue();
    breakLine(levels_.size());
    out_->xml.writeTextElement(tag, text);
    flushIfFull();
}

void PlistWriter::string(std::string_view text) { leaf(kString, text); }

void PlistWriter::integer(std::int64_t value) {
    char digits[64];
    leaf(kInteger, formatNumber(digits, value));
}

void PlistWriter::real(double value) { writeReal(value); }

void PlistWriter::real(float value) { writeReal(value); }

template <typename Real> void PlistWriter::writeReal(Real value) {
    if (!std::isfinite(value)) {
        throw std::logic_error("a plist real must be finite");
    }
    // to_chars writes the shortest round-trip form with a '.', whatever the locale.
    char digits[64];
    leaf(kReal, formatNumber(digits, value));
}

void PlistWriter::boolean(bool value) {
    beforeValue();
    breakLine(levels_.size());
    out_->xml.writeEmptyElement(value ? kTrue : kFalse);
    flushIfFull();
}

bool PlistWriter::finish() {
    if (finished_ || !rootWritten_ || !levels_.empty()) {
        throw std::logic_error("plist document finished twice, empty or with open containers");
    }
    finished_ = true;
    // Closes <plist> on a line of its own and ends that line.
    breakLine(0);
    out_->xml.writeEndDocument();
    out_->flush();
    return !out_->failed;
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
        out_->xml.writeStartElement(top.isDict ? kDict : kArray);
        top.opened = true;
    }
}

void PlistWriter::breakLine(std::size_t depth) {
    std::vector<QString>& breaks = out_->lineBreaks;
    while (breaks.size() <= depth) {
        breaks.push_back(u'\n' + QString(static_cast<qsizetype>(breaks.size()), u'\t'));
    }
    out_->xml.writeCharacters(breaks[depth]);
}

void PlistWriter::endContainer(bool isDict) {
    if (levels_.empty() || levels_.back().isDict != isDict || levels_.back().keyPending) {
        throw std::logic_error("unbalanced plist container or key without a value");
    }
    const Level& top = levels_.back();
    if (!top.opened) {
        // The line was begun by begin*(); the empty form stands on it.
        out_->xml.writeEmptyElement(isDict ? kDict : kArray);
    } else {
        breakLine(levels_.size() - 1);
        out_->xml.writeEndElement();
    }
    levels_.pop_back();
    flushIfFull();
}

void PlistWriter::flushIfFull() {
    if (std::size_t(out_->text.size()) >= kFlushBytes) {
        out_->flush();
    }
}

} // namespace tessaly
