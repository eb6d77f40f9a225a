// The language the published pages declare. The pages hold the person's own texts (album names,
// comments, captions), so they are marked with the person's language, taken from the locale, for
// screen readers to pronounce them and browsers to hyphenate and translate them rightly.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::pagelanguage {

// The language element every shipped template opens with; it names English, the language of the
// templates' own texts, so that a template read on its own is still right.
inline constexpr std::string_view kTemplateElement = "<html lang=\"en\">";

// A BCP 47 tag for a locale name: "de_DE" gives "de-DE", "pt" gives "pt"; a name that is no
// language (empty, "C", anything but letters and digits around the underscore) gives "en".
std::string languageTag(std::string_view locale);

// The template with the language of its first kTemplateElement replaced by `tag`; a template
// without that element is answered unchanged.
std::string withLanguage(std::string text, std::string_view tag);

// withLanguage with the tag of the person's locale (messagesLocale).
std::string withPersonsLanguage(std::string text);

} // namespace tessaly::pagelanguage
