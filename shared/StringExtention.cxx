#include "StringExtention.hxx"

namespace tessaly::NSStringExtention {

std::string asciiString(std::int8_t byte) { return std::string(1, static_cast<char>(byte)); }
std::string getLFString() { return asciiString(10); }
std::string getCRString() { return asciiString(13); }
std::string getTabString() { return asciiString(9); }
std::string getDoubleQautatioString() { return asciiString(34); }
std::string getDeleteString() { return asciiString(127); }
std::string getBackSpaceString() { return asciiString(8); }
std::string BOOLString(bool value) { return value ? "TRUE" : "FALSE"; }

namespace {
char hexDigit(std::int32_t digit) {
    std::int32_t code = digit <= 9 ? 48 + digit : 55 + digit;
    return static_cast<char>(code & 0xFF);
}
} // namespace

std::string hexString(std::int32_t value) {
    std::int32_t high = value / 16;
    std::int32_t low = value - 16 * high;
    return {hexDigit(high), hexDigit(low)};
}

std::int32_t hexValue(std::string_view text) {
    if (text.size() > 3) {
        return 0;
    }
    unsigned char buffer[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            return 0;
        }
        buffer[i] = byte;
    }
    auto digitValue = [](unsigned char byte) -> std::int32_t {
        auto value = static_cast<std::int8_t>(byte - 48);
        if (value > 9) {
            value = static_cast<std::int8_t>(byte - 55);
        }
        return value;
    };
    std::int32_t first = digitValue(buffer[0]);
    if (text.size() == 2) {
        return 16 * first + digitValue(buffer[1]);
    }
    return first;
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (unsigned char byte : text) {
        // Continuation bytes (10xxxxxx) belong to the character before them.
        if ((byte & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        return 0;
    }
    return length;
}

} // namespace tessaly::NSStringExtention
