// The one formatting facility: every page fragment, template, path and log line goes through it.
//
// Conversions: "%@" takes a text, "%d" (or "%i") a signed integer, "%%" is a percent sign.
// Templates are user-replaceable data, so a format whose conversions do not match its values must
// never crash: a conversion without a value writes nothing, surplus values are ignored, a text
// given to "%d" or a number given to "%@" is written as it is, and any other "%" sequence is
// copied literally.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tessaly {

class FormatArg {
public:
    FormatArg(std::string_view text) : text_(text), isNumber_(false) {}
    FormatArg(const std::string& text) : text_(text), isNumber_(false) {}
    FormatArg(const char* text) : text_(text ? text : ""), isNumber_(false) {}
    FormatArg(int number) : number_(number), isNumber_(true) {}
    FormatArg(long number) : number_(number), isNumber_(true) {}
    FormatArg(long long number) : number_(number), isNumber_(true) {}

    void appendTo(std::string& out) const;

private:
    std::string_view text_;
    std::int64_t number_ = 0;
    bool isNumber_;
};

void appendFormat(std::string& out, std::string_view format, std::initializer_list<FormatArg> args);
std::string format(std::string_view format, std::initializer_list<FormatArg> args);

} // namespace tessaly
