#include "HtmlText.hxx"

#include <array>
#include <cstdint>

namespace tessaly::htmltext {

namespace {

// What a byte becomes; an empty replacement leaves it as it is. Looked up once per byte so that
// long runs of ordinary text are found quickly and copied whole.
using Replacements = std::array<std::string_view, 256>;

constexpr Replacements makeTable(bool link) {
    Replacements table{};
    table['&'] = "&amp;";
    table['<'] = "&lt;";
    table['>'] = "&gt;";
    table['"'] = "&quot;";
    if (link) {
        // The encoded forms hold none of the characters above, so one pass does both steps.
        table['%'] = "%25";
        table['#'] = "%23";
        table['?'] = "%3F";
    }
    return table;
}

constexpr Replacements kText = makeTable(false);
constexpr Replacements kLink = makeTable(true);

std::size_t nextSpecial(std::string_view text, std::size_t from, const Replacements& table) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (!table[static_cast<std::uint8_t>(text[i])].empty()) {
            return i;
        }
    }
    return text.size();
}

std::string_view replaced(std::string_view text, std::string& scratch, const Replacements& table) {
    std::size_t special = nextSpecial(text, 0, table);
    if (special == text.size()) {
        return text;
    }
    scratch.clear();
    std::size_t runStart = 0;
    while (special < text.size()) {
        scratch.append(text, runStart, special - runStart);
        scratch.append(table[static_cast<std::uint8_t>(text[special])]);
        runStart = special + 1;
        special = nextSpecial(text, runStart, table);
    }
    scratch.append(text, runStart, text.size() - runStart);
    return scratch;
}

} // namespace

std::string_view escaped(std::string_view text, std::string& scratch) {
    return replaced(text, scratch, kText);
}

std::string_view escapedLink(std::string_view path, std::string& scratch) {
    return replaced(path, scratch, kLink);
}

} // namespace tessaly::htmltext
