// A streaming writer of XML property lists, laid out as the photo application lays out its index:
// tab indentation, `<dict/>` and `<array/>` for empty containers, keys in ascending order.
// QXmlStreamWriter writes the markup and escapes the text; this class keeps the property-list
// grammar and the layout, which an XML writer knows nothing of.
//
// It exists because building a 100,000-picture index as a libplist tree before writing it took
// about 400 MB and over two seconds; streaming keeps memory flat whatever the library's size.
// The sample-library tool and the library bridge both write indexes with it. Misuse (a value
// where a key is due, keys out of order, unbalanced containers, text that XML cannot carry)
// throws std::logic_error: the callers are ours, so these are our bugs, and a quietly wrong index
// would hide them from every test downstream. Callers clean text from outside before handing it
// over.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QString;

namespace tessaly {

class PlistWriter {
public:
    // Receives the document in pieces, in order; returns false when it could not take them.
    using Sink = std::function<bool(std::string_view)>;

    // Writes the XML declaration, the DOCTYPE and the opening `<plist>` element.
    explicit PlistWriter(Sink sink);
    ~PlistWriter();
    PlistWriter(const PlistWriter&) = delete;
    PlistWriter& operator=(const PlistWriter&) = delete;

    void beginDict();
    void endDict();
    void beginArray();
    void endArray();

    // Keys of one dictionary must come in strictly ascending byte order.
    void key(std::string_view name);

    void string(std::string_view text);
    void integer(std::int64_t value);
    // Both are written in their shortest round-trip form: a float as the application writes its
    // single-precision values (1.3333334), a double as it writes dates (158341439.728129).
    void real(double value);
    void real(float value);
    void boolean(bool value);

    // Closes the `<plist>` element and hands everything still buffered to the sink. Returns
    // false when the sink refused any piece.
    bool finish();

private:
    struct Level {
        bool isDict;
        bool opened;     // the start tag has been written (it waits for the first child)
        bool keyPending; // a dictionary key has been written and awaits its value
        std::string lastKey;
    };

    struct Output; // the XML writer and the buffer before the sink

    void beforeValue();
    void openPending();
    // Ends the line before and indents the next one: each element starts its own line.
    void breakLine(std::size_t depth);
    void endContainer(bool isDict);
    void flushIfFull();
    template <typename Real> void writeReal(Real value);
    // A value element holding `content`, on a line of its own.
    void leaf(const QString& tag, std::string_view content);

    std::unique_ptr<Output> out_;
    std::vector<Level> levels_;
    bool rootWritten_ = false;
    bool finished_ = false;
};

} // namespace tessaly
