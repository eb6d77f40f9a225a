// Closing the site: the generated pages go, and a short page says the site is closed. Anything
// else the user keeps in the site folder is left alone. (A build does not clear the old site
// first: it exchanges the whole Contents folder, see SitePublisher.hxx.)
#include "Format.hxx"
#include "LumibayControler.hxx"
#include "SiteFiles.hxx"
#include "Templates.hxx"

#include <optional>

namespace tessaly {

namespace {
constexpr char kStringTable[] = "InfoPlist";
}

void LumibayControler::closeSite() {
    // The closed-site page takes the top page's place before the pages go, so a visitor never
    // finds a top page whose menu is missing.
    makeSiteCloseMessagePage();
    const sitefiles::Folder site = sitefiles::Folder::open(def_->getStdExportPath());
    if (site.isOpen()) {
        removeGeneratedFolders(site);
    }
}

void LumibayControler::deleteSite() { deleteContents(); }

void LumibayControler::deleteContents() {
    const sitefiles::Folder site = sitefiles::Folder::open(def_->getStdExportPath());
    if (!site.isOpen()) {
        return;
    }
    removeGeneratedFolders(site);
    if (const std::optional<std::string> name = safeTopPageName()) {
        sitefiles::removeTree(site, *name);
    }
}

void LumibayControler::removeGeneratedFolders(const sitefiles::Folder& site) {
    // Removed through the folder, links never followed: a link at Contents goes, whatever it
    // points at stays.
    sitefiles::removeTree(site, sitefiles::kContents);
    sitefiles::removeTreesStartingWith(site, {sitefiles::kStagingPrefix});
}

std::string LumibayControler::setSiteCloseMessage(const std::string& templateText) {
    return format(templateText, {bundle_.localizedString("SiteCloseMessage", kStringTable),
                                 bundle_.localizedString(LumibayNotRunningMessage, kStringTable),
                                 bundle_.localizedString("SiteCloseSubMessage", kStringTable)});
}

void LumibayControler::makeSiteCloseMessagePage() {
    const std::optional<std::string> name = safeTopPageName();
    const sitefiles::Folder site = sitefiles::Folder::open(def_->getStdExportPath());
    if (!name || !site.isOpen()) {
        return;
    }
    const std::string page = setSiteCloseMessage(readTemplate(templates::kClosedSite));
    sitefiles::replaceFile(site, *name, [&](const sitefiles::PageSink& out) { return out(page); });
}

} // namespace tessaly
