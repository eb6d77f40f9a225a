// One-character strings and the two-digit hexadecimal text of a byte. The quotation mark and the
// line feed fill the placeholders of every HTML fragment, so no fragment hides them in a literal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly::NSStringExtention {

std::string asciiString(std::int8_t byte);
std::string getLFString();
std::string getCRString();
std::string getTabString();
std::string getDoubleQautatioString();
std::string getDeleteString();
std::string getBackSpaceString();
std::string BOOLString(bool value);

// Two characters for 0..255: upper-case hexadecimal with a leading zero.
std::string hexString(std::int32_t value);
// Value of one or two upper-case hexadecimal digits; 0 for texts of four or more characters or
// with non-ASCII characters. Lower-case letters are not digits here (they give 42..47).
std::int32_t hexValue(std::string_view text);

// Number of characters (code points) of a UTF-8 text; a stray byte counts as one character.
std::size_t characterCount(std::string_view text);

// The length of the valid UTF-8 character at `at`, or 0 when there is none there (overlong forms,
// surrogates and values beyond U+10FFFF included).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

} // namespace tessaly::NSStringExtention
