// Tells assistive technology what a TextArrayView shows: a list with one item per line, the
// selected line marked as selected.
#pragma once

namespace tessaly {

// Registers the interfaces with Qt's accessibility; safe to call any number of times.
void installTextArrayViewAccessibility();

} // namespace tessaly
