// Feeds arbitrary bytes to the library index reader and, whenever they make an index, builds the
// menu page and every album page from it.
//
// The index is whatever the photo application (or a damaged disk, or a hand edit) left in the web
// folder, and the templates are user-replaceable, so neither may crash the helper or make it write
// a page that has lost pieces. The style the pages are built with is picked from the input too,
// including the values only a damaged settings file can give: no columns or a negative count,
// negative and extreme font and image sizes, colours that are not colours, and templates whose
// conversions do not match their values.
//
// Every album and event page is also written in small chunks, with a chunk size picked from the
// input, and must come out byte for byte as the whole page. No thumbnail file is read: the pages'
// sizes come from the index alone, as for a thumbnail that cannot be read.
#include "HtmlText.hxx"
#include "LibraryIndex.hxx"
#include "SitePageBuilder.hxx"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tessaly::AlbumRecord;
using tessaly::LibraryIndex;
using tessaly::PageStyle;
using tessaly::SitePage;
using tessaly::SitePageBuilder;

// Reports a broken promise of the builder as a crash, so libFuzzer keeps the input.
void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_library_index: %s\n", what);
        std::abort();
    }
}

std::size_t occurrences(std::string_view text, std::string_view piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos;
         at = text.find(piece, at + piece.size())) {
        ++count;
    }
    return count;
}

// The shipped templates, read once; a missing file leaves its variant empty.
struct ShippedTemplates {
    std::string menuHead, menuTail, albumHead, albumTail;
};
ShippedTemplates gShipped;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The selector must change when any part of the input changes: an index's first bytes are the XML
// declaration, which a mutation can hardly touch without making the input unreadable, so a hash
// of the whole input is used rather than its first bytes alone.
std::uint64_t selector(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 1099511628211ull;
    }
    return hash;
}

// Takes the next few bits of the selector as an index into `choices`.
template <typename T, std::size_t N> const T& pick(std::uint64_t& bits, const T (&choices)[N]) {
    const T& chosen = choices[bits % N];
    bits /= N;
    return chosen;
}

constexpr std::int32_t kColumns[] = {0, -1, 1, 3, 7, INT_MIN, INT_MAX};
constexpr std::int32_t kSizes[] = {0, -3, 4, 120, INT_MIN, INT_MAX};
constexpr std::int32_t kFontSizes[] = {-3, 0, 1, 4, INT_MIN, INT_MAX};
const char* const kColors[] = {"FFFFFF", "", "12", "<b>%@%d%%</b>"};
// Formats with too many and too few conversions, a lone percent sign at the end, and nothing.
const char* const kOddTemplates[] = {"%@ %d %@ %d %@ %%", "%", "%@", "", "%d%i%q%"};

PageStyle makeStyle(std::uint64_t& bits) {
    PageStyle style;
    style.numOfCol = pick(bits, kColumns);
    style.imageSize = pick(bits, kSizes);
    style.imageSpace = pick(bits, kSizes);
    style.menuWidth = pick(bits, kSizes);
    style.menuFontSize = pick(bits, kFontSizes);
    style.albumTitleFontSize = pick(bits, kFontSizes);
    style.albumCommentFontSize = pick(bits, kFontSizes);
    style.pictureTitleFontSize = pick(bits, kFontSizes);
    style.pictureCommentFontSize = pick(bits, kFontSizes);
    const std::string color = pick(bits, kColors);
    style.menuTextColor = color;
    style.menuBkgndColor = pick(bits, kColors);
    style.albumTitleColor = color;
    style.albumCommentColor = pick(bits, kColors);
    style.pictureBkgndColor = pick(bits, kColors);
    style.pictureTitleColor = color;
    style.pictureCommentColor = pick(bits, kColors);
    style.publishEvents = bits % 2 == 0;
    bits /= 2;
    return style;
}

// Half the time the shipped template, otherwise one of the odd ones.
std::string_view pickTemplate(std::uint64_t& bits, const std::string& shipped) {
    const bool useShipped = bits % 2 == 0;
    bits /= 2;
    const std::string_view odd = pick(bits, kOddTemplates);
    return useShipped ? std::string_view(shipped) : odd;
}

constexpr std::size_t kChunkSizes[] = {1, 7, 64, 4096};

void buildPages(const LibraryIndex& index, std::uint64_t bits) {
    SitePageBuilder builder(makeStyle(bits));
    const std::string_view menuHead = pickTemplate(bits, gShipped.menuHead);
    const std::string_view menuTail = pickTemplate(bits, gShipped.menuTail);
    const std::string_view albumHead = pickTemplate(bits, gShipped.albumHead);
    const std::string_view albumTail = pickTemplate(bits, gShipped.albumTail);

    std::string scratch;
    const std::string menu = builder.makeMenuPage(index, menuHead, menuTail);
    require(menu.ends_with(menuTail), "the menu page lost its closing template");

    std::vector<std::string> names;
    for (const SitePage& target : builder.publishedPages(index)) {
        const bool isAlbum = target.kind == SitePage::Kind::Album;
        require(isAlbum || builder.style().publishEvents, "an event was published with events off");
        const AlbumRecord& album = (isAlbum ? *index.albums : *index.rolls)[target.position];
        // Every published page is linked from the menu under its own name, which no other page
        // shares, and its album's or event's name.
        const std::string link = "\"" + target.fileName() + "\"";
        require(menu.find(link) != std::string::npos, "a published page has no menu link");
        names.push_back(target.fileName());
        // Names are written escaped, so the escaped form is what the pages hold.
        const std::string_view name =
            album.name ? tessaly::htmltext::escaped(*album.name, scratch) : std::string_view();
        if (album.name) {
            require(menu.find(name) != std::string::npos,
                    "a published album's name is missing from the menu");
        }

        builder.setPageChunkSize(SitePageBuilder::kDefaultPageChunkSize);
        std::string page;
        require(builder.writePage(target, index, albumHead, albumTail,
                                  [&page](std::string_view chunk) {
                                      page.append(chunk);
                                      return true;
                                  }),
                "a page could not be written whole");
        require(page.ends_with(albumTail), "an album page lost its closing template");
        // One cell per entry of the key list, whether or not the key names a picture. Texts from
        // the library are escaped and no template or colour holds a cell's end, so there are
        // exactly as many.
        const std::size_t keys = album.keyList ? album.keyList->size() : 0;
        require(occurrences(page, "</td>") == keys, "an album page lost or gained picture cells");
        if (album.name) {
            require(page.find(name) != std::string::npos, "an album page lost its title");
        }

        builder.setPageChunkSize(pick(bits, kChunkSizes));
        std::string streamed;
        const bool written = builder.writePage(target, index, albumHead, albumTail,
                                               [&streamed](std::string_view chunk) {
                                                   streamed.append(chunk);
                                                   return true;
                                               });
        require(written && streamed == page, "a page written in chunks differs from the whole");
        // No thumbnail is ever shown with no size at all.
        require(page.find("width=\"0\"") == std::string::npos &&
                    page.find("height=\"0\"") == std::string::npos,
                "a thumbnail was given no width or height");
    }
    std::sort(names.begin(), names.end());
    require(std::adjacent_find(names.begin(), names.end()) == names.end(),
            "two pages share a name");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string folder = TESSALY_TEMPLATE_FOLDER;
    gShipped.menuHead = readFile(folder + "/menu1.txt");
    gShipped.menuTail = readFile(folder + "/menu2.txt");
    gShipped.albumHead = readFile(folder + "/picture1.txt");
    gShipped.albumTail = readFile(folder + "/picture2.txt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    const std::optional<LibraryIndex> index = tessaly::parseLibraryIndex(xml);
    if (!index) {
        return 0;
    }
    buildPages(*index, selector(data, size));
    return 0;
}
