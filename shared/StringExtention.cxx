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

} // namespace tessaly::NSStringExtention
