// A streaming writer of XML property lists, laid out as the photo application lays out its index:
// tab indentation, `<dict/>` and `<array/>` for empty containers, keys in ascending order.
//
// It exists because building a 100,000-picture index as a libplist tree before writing it took
// about 400 MB and over two seconds; streaming keeps memory flat whatever the library's size.
// Misuse (a value where a key is due, keys out of order, unbalanced containers, text that XML
// cannot carry) throws std::logic_error: the generator is ours, so these are our bugs, and a
// quietly wrong index would hide them from every test downstream.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::sample {

class PlistWriter {
  public:
    // Receives the document in pieces, in order; returns false when it could not take them.
    using Sink = std::function<bool(std::string_view)>;

    // Writes the XML declaration, the DOCTYPE and the opening `<plist>` element.
    explicit PlistWriter(Sink sink);

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

    void beforeValue();
    void openPending();
    void indent(std::size_t depth);
    void endContainer(bool isDict);
    void appendEscaped(std::string_view text);
    void flushIfFull();
    template <typename Real> void writeReal(Real value);
    // A value element: its start tag, what `writeContent` appends, its end tag.
    template <typename Content> void leaf(std::string_view tag, const Content& writeContent);

    Sink sink_;
    std::string buffer_;
    std::vector<Level> levels_;
    bool rootWritten_ = false;
    bool finished_ = false;
    bool failed_ = false;
};

} // namespace tessaly::sample
