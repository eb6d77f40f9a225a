#include "PageLanguage.hxx"

#include "Bundle.hxx"

#include <algorithm>
#include <cctype>

namespace tessaly::pagelanguage {

namespace {
bool isLettersOrDigits(std::string_view part, std::size_t shortest, std::size_t longest) {
    return part.size() >= shortest && part.size() <= longest &&
           std::all_of(part.begin(), part.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}
} // namespace

std::string languageTag(std::string_view locale) {
    const std::size_t underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    const std::string_view region =
        underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);
    // A language subtag is two or three letters; the tag goes into an attribute, so nothing that
    // is not a plain subtag may pass.
    if (!isLettersOrDigits(language, 2, 3) ||
        std::any_of(language.begin(), language.end(),
                    [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return "en";
    }
    std::string tag(language);
    if (isLettersOrDigits(region, 2, 8)) {
        tag += '-';
        tag += region;
    }
    return tag;
}

std::string withLanguage(std::string text, std::string_view tag) {
    const std::size_t at = text.find(kTemplateElement);
    if (at == std::string::npos) {
        return text;
    }
    std::string element = "<html lang=\"";
    element += tag;
    element += "\">";
    text.replace(at, kTemplateElement.size(), element);
    return text;
}

std::string withPersonsLanguage(std::string text) {
    return withLanguage(std::move(text), languageTag(messagesLocale()));
}

} // namespace tessaly::pagelanguage
