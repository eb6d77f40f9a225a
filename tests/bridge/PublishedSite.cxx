#include "PublishedSite.hxx"

#include "TempHome.hxx"

#include <gtest/gtest.h>

#include <cctype>
#include <regex>
#include <vips/vips.h>

namespace tessaly::testing {

namespace {

// Text of a page as the browser shows it: entities and percent escapes undone.
std::string pageText(std::string text, bool link) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : kEntities) {
        for (std::size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1)) {
            text.replace(at, std::string_view(entity).size(), character);
        }
    }
    if (link) {
        std::string decoded;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(text[i + 1]) &&
                std::isxdigit(text[i + 2])) {
                decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                decoded += text[i];
            }
        }
        text = decoded;
    }
    return text;
}

} // namespace

PublishedSite readPublishedSite(const std::filesystem::path& siteFolder) {
    PublishedSite site;
    const std::filesystem::path contents = siteFolder / "Contents";
    const std::string menu = readFile(contents / "menu.html");
    static const std::regex link("<a href=\"([0-9]+\\.html)\" target=\"picture\">([^<]*)</a>");
    std::vector<std::string> pages;
    for (std::sregex_iterator it(menu.begin(), menu.end(), link), end; it != end; ++it) {
        pages.push_back((*it)[1]);
        site.albums.push_back(pageText((*it)[2], false));
    }
    static const std::regex cell("<img src=\"([^\"]*)\" alt=\"([^\"]*)\" border=\"0\" "
                                 "width=\"([0-9]+)\" height=\"([0-9]+)\">[\\s\\S]*?"
                                 "<a href= \"([^\"]*)\" target = \"_blanc\">");
    for (const std::string& name : pages) {
        const std::string page = readFile(contents / name);
        for (std::sregex_iterator it(page.begin(), page.end(), cell), end; it != end; ++it) {
            SiteCell found;
            found.caption = pageText((*it)[2], false);
            found.thumb = (contents / pageText((*it)[1], true)).lexically_normal();
            found.width = std::stoi((*it)[3]);
            found.height = std::stoi((*it)[4]);
            found.download = (contents / pageText((*it)[5], true)).lexically_normal();
            site.cells[found.caption] = found;
        }
    }
    return site;
}

void expectSoundCells(const PublishedSite& site,
                      const std::map<std::string, ExpectedPicture>& expected) {
    for (const auto& [caption, picture] : expected) {
        SCOPED_TRACE(caption);
        const auto found = site.cells.find(caption);
        ASSERT_NE(found, site.cells.end());
        const SiteCell& cell = found->second;
        const std::string bytes = readFile(cell.thumb);
        ASSERT_GE(bytes.size(), 3u) << cell.thumb;
        EXPECT_EQ(bytes.substr(0, 3), "\xFF\xD8\xFF") << "not a JPEG: " << cell.thumb;
        VipsImage* thumb = vips_image_new_from_file(cell.thumb.c_str(), nullptr);
        ASSERT_NE(thumb, nullptr);
        EXPECT_STREQ(vips_foreign_find_load(cell.thumb.c_str()), "VipsForeignLoadJpegFile");
        EXPECT_NEAR(float(thumb->Xsize) / float(thumb->Ysize), picture.aspect, 0.02f);
        g_object_unref(thumb);
        EXPECT_NEAR(float(cell.width) / float(cell.height), picture.aspect, 0.02f);
        EXPECT_TRUE(std::filesystem::equivalent(cell.download, picture.original))
            << cell.download << " is not " << picture.original;
        EXPECT_EQ(readFile(cell.download), readFile(picture.original));
    }
    EXPECT_EQ(site.cells.size(), expected.size());
}

} // namespace tessaly::testing
