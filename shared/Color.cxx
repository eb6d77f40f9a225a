#include "Color.hxx"

#include "StringExtention.hxx"

namespace tessaly::NSColorExtention {

std::string HTMLColor(const RgbColor& color) {
    std::string text;
    for (float component : {color.red, color.green, color.blue}) {
        text += NSStringExtention::hexString(static_cast<std::int32_t>(component * 255.0f));
    }
    return text;
}

namespace {
// The pair of characters starting at character index `first`, taken from UTF-8 text.
std::string_view characterPair(std::string_view text, std::size_t first) {
    std::size_t character = 0;
    std::size_t begin = std::string_view::npos;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        bool boundary = i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (!boundary) {
            continue;
        }
        if (character == first) {
            begin = i;
        } else if (character == first + 2) {
            return text.substr(begin, i - begin);
        }
        ++character;
    }
    return text.substr(begin == std::string_view::npos ? text.size() : begin);
}
} // namespace

std::optional<RgbColor> colorWithHTMLString(std::string_view text) {
    if (NSStringExtention::characterCount(text) != 6) {
        return std::nullopt;
    }
    auto component = [&](std::size_t first) {
        return static_cast<float>(NSStringExtention::hexValue(characterPair(text, first))) / 255.0f;
    };
    return RgbColor{component(0), component(2), component(4), 1.0f};
}

bool sameColor(const RgbColor&, const RgbColor&) { return false; }

} // namespace tessaly::NSColorExtention
