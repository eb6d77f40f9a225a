// Texts from the library written into the pages. Album names, comments and captions are whatever
// anyone who can edit the library typed, and file paths may hold any byte a file name may: written
// as they stand, a "<" or "&" would be read as markup (a caption could run script in a visitor's
// browser) and a quotation mark would end the attribute a path stands in.
//
// Both functions answer the text itself when nothing in it needs changing, which is nearly always,
// so a page costs no copy per inserted text; otherwise they write the changed text into `scratch`
// (which the caller keeps for the next text, so its memory is reused) and answer that.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::htmltext {

// `&`, `<`, `>` and `"` as the entities `&amp;`, `&lt;`, `&gt;`, `&quot;`; every other byte,
// UTF-8 included, unchanged. Fit for element text and quoted attribute values.
std::string_view escaped(std::string_view text, std::string& scratch);

// A relative path for a link's `src` or `href`: `%`, `#` and `?` percent-encoded first (a browser
// would otherwise read them as an escape, the fragment or the query), then escaped as above.
std::string_view escapedLink(std::string_view path, std::string& scratch);

} // namespace tessaly::htmltext
