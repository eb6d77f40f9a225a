// What a TextArrayView tells about its selection. The view sends both messages without asking, so
// a delegate implements both; the view is its own delegate until another is set, and does nothing.
#pragma once

#include <cstdint>

namespace tessaly {

class TextArrayViewDelegate {
public:
    virtual ~TextArrayViewDelegate() = default;
    // A click (or an arrow key) made this line the selected one; also sent when it already was.
    virtual void lineSelected(std::int32_t line) = 0;
    // The line that was selected stops being so: before any new click is handled, and when the
    // view's lines are replaced.
    virtual void lineUnSelected(std::int32_t line) = 0;
};

} // namespace tessaly
