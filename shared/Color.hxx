// An RGB colour and its six-digit HTML text ("A3392C", no "#"): the form colours take in the
// settings file and in the pages. Widgets convert to their own colour type at the edge.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

struct RgbColor {
    float red = 0.0f;
    float green = 0.0f;
    float blue = 0.0f;
    float alpha = 1.0f;
};

namespace NSColorExtention {

// Components are scaled by 255 and truncated, not rounded; alpha is ignored.
std::string HTMLColor(const RgbColor& color);
// None unless the text is exactly six characters long. Pairs that are not upper-case hexadecimal
// give components outside 0..1, passed on as they are.
std::optional<RgbColor> colorWithHTMLString(std::string_view text);
bool sameColor(const RgbColor& color, const RgbColor& other);

} // namespace NSColorExtention
} // namespace tessaly
