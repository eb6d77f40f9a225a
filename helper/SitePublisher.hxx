// Publishing one build of the site: the new pages are written into a hidden folder beside the
// live site, and only when every one of them is written does the new Contents take the old one's
// place, in one step, with the top page after it. A visitor sees the old site or the new one,
// never a mixture, and a build that fails part way leaves the old site as it was.
//
// Plain C++ without Qt, so the helper, the benchmark and the fuzzer publish through the same code.
// One publisher serves one build; what it leaves behind unpublished is removed when it goes.
#pragma once

#include "SiteFiles.hxx"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tessaly {

class SitePublisher {
public:
    // Writes the page at place `i` of the names given to writePages through `out`, answering
    // false when `out` refused a piece. Called from several threads at once, each with its own
    // page.
    using PageWriter = std::function<bool(std::size_t i, const sitefiles::PageSink& out)>;

    // The site folder and the top page's name in it (a plain name the caller has checked).
    SitePublisher(std::string sitePath, std::string topPageName);
    ~SitePublisher();
    SitePublisher(const SitePublisher&) = delete;
    SitePublisher& operator=(const SitePublisher&) = delete;

    // Each step answers the reason it failed, or nothing. After a failure the later steps are not
    // to be taken; the publisher cleans up when it goes.

    // Makes the site folder (and the folders above it) where missing, removes what a build cut
    // short left behind, and makes the empty folder the new Contents is written into.
    std::string stage();
    std::string writeMenu(std::string_view page);
    // Writes the album and event pages, one per name, shared out over the cores: the pages are
    // independent of each other and the caller's data is only read while they are written. The
    // first failure stops the others; the call returns when every thread has finished.
    std::string writePages(std::span<const std::string> names, const PageWriter& write);
    // Written last, so that its date is the build's end.
    std::string writeTopPage(std::string_view page);
    // Puts the new Contents and then the new top page in place.
    std::string publish();

    // The site folder and the folders above it, created where missing; links are followed, as the
    // user may keep the site elsewhere. Failures show when the folder is opened.
    static void makeSiteFolder(const std::string& path);

private:
    std::string sitePath_;
    std::string topPageName_;
    sitefiles::Folder site_;
    sitefiles::Folder contents_;
    // The staging folder and the top page's temporary file while they are this build's to remove.
    std::string staging_;
    std::string topPageTemporary_;
};

} // namespace tessaly
