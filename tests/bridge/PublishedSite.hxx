// The published site as a visitor meets it: the menu's albums, and on each album page every
// picture's thumbnail (with the size the page gives it) and download link, followed to the files
// they lead to.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tessaly::testing {

struct SiteCell {
    std::string caption;
    std::filesystem::path thumb; // the file the thumbnail's address leads to
    int width = 0;               // as the page shows it
    int height = 0;
    std::filesystem::path download; // the file the download link leads to
};

struct PublishedSite {
    std::vector<std::string> albums;       // the menu's links, in order
    std::map<std::string, SiteCell> cells; // by caption, over all album pages
};

// The site in `siteFolder`; albums only when the menu page is there.
PublishedSite readPublishedSite(const std::filesystem::path& siteFolder);

// What a picture of the source should look like on the site.
struct ExpectedPicture {
    std::filesystem::path original;
    float aspect; // width / height as the picture stands upright
};

// Every cell's thumbnail is a JPEG at the picture's proportions, shown at them, and every download
// link leads to the original itself; the site shows no other picture.
void expectSoundCells(const PublishedSite& site,
                      const std::map<std::string, ExpectedPicture>& expected);

} // namespace tessaly::testing
