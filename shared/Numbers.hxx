// Number conversions that answer the same in every locale and never overflow.
//
// The programs run with the user's numeric locale (Qt sets it), where "0.25" may read as 0 and
// 0.25 may print as "0,25"; numbers in our files must not change with it, so text is parsed
// here and never with strtod or scanf.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace tessaly {

// The value the way a 32-bit integer reader converts it: truncated toward zero, clamped to the
// int32 range, NaN giving 0.
constexpr std::int32_t clampToInt32(double value) {
    if (value != value) {
        return 0;
    }
    constexpr double low = std::numeric_limits<std::int32_t>::min();
    constexpr double high = std::numeric_limits<std::int32_t>::max();
    if (value <= low) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value >= high) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value); // the cast truncates toward zero
}

// The number the whole text spells with a '.' as decimal point ("2.5", "-1e3", "inf", "nan"),
// whatever the locale; nullopt when the text is empty, has anything before or after the number,
// or is out of the range of a double.
inline std::optional<double> parseDouble(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    // from_chars takes no leading '+', which people and other writers use.
    const char* begin = text.data();
    if (!text.empty() && text.front() == '+') {
        ++begin;
        if (begin != end && *begin == '-') {
            return std::nullopt;
        }
    }
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace tessaly
