#include "Format.hxx"

#include <charconv>

namespace tessaly {

void FormatArg::appendTo(std::string& out) const {
    if (!isNumber_) {
        out.append(text_);
        return;
    }
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number_);
    out.append(buffer, end);
}

void appendFormat(std::string& out, std::string_view format,
                  std::initializer_list<FormatArg> args) {
    auto next = args.begin();
    std::size_t pos = 0;
    while (pos < format.size()) {
        std::size_t percent = format.find('%', pos);
        if (percent == std::string_view::npos || percent + 1 >= format.size()) {
            out.append(format.substr(pos));
            return;
        }
        out.append(format.substr(pos, percent - pos));
        char conversion = format[percent + 1];
        switch (conversion) {
        case '@':
        case 'd':
        case 'i':
            if (next != args.end()) {
                next->appendTo(out);
                ++next;
            }
            break;
        case '%':
            out.push_back('%');
            break;
        default:
            out.append(format.substr(percent, 2));
            break;
        }
        pos = percent + 2;
    }
}

std::string format(std::string_view format, std::initializer_list<FormatArg> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    appendFormat(out, format, args);
    return out;
}

} // namespace tessaly
