// Closing the site: the generated pages go, and a short page says the site is closed. The same
// removal, without that page, clears the old site before every build. Anything else the user
// keeps in the site folder is left alone.
#include "LumibayControler.hxx"

#include "SiteFiles.hxx"
#include "Templates.hxx"

#include "Format.hxx"

namespace tessaly {

namespace {
constexpr char kStringTable[] = "InfoPlist";
}

void LumibayControler::closeSite() {
    deleteContents();
    makeSiteCloseMessagePage();
}

void LumibayControler::deleteSite() { deleteContents(); }

void LumibayControler::deleteContents() {
    for (const std::string& path : {getContentsFolderPath(), getTopPagePath()}) {
        if (sitefiles::exists(path) && sitefiles::isDeletable(path)) {
            sitefiles::removeItem(path);
        }
    }
}

std::string LumibayControler::setSiteCloseMessage(const std::string& templateText) {
    return format(templateText, {bundle_.localizedString("SiteCloseMessage", kStringTable),
                                 bundle_.localizedString(LumibayNotRunningMessage, kStringTable),
                                 bundle_.localizedString("SiteCloseSubMessage", kStringTable)});
}

void LumibayControler::makeSiteCloseMessagePage() {
    const std::string path = getTopPagePath();
    sitefiles::writeTextFile(path, setSiteCloseMessage(readTemplate(templates::kClosedSite)));
}

} // namespace tessaly
