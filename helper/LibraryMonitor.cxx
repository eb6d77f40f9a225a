// The monitor thread: checks the library once per interval and asks the main thread to rebuild
// when the index or the settings changed since the last build, or when part of the site has gone
// (see RebuildPolicy for the rules and the delays after a failure).
#include "LumibayControler.hxx"
#include "SiteFiles.hxx"

#include <chrono>
#include <sys/stat.h>

namespace tessaly {

using namespace std::chrono_literals;

void LumibayControler::startMonitor() {
    // Both flags are raised before the thread exists, so a quit that comes before the thread's
    // first pass still waits for it.
    keepMonitorring_ = true;
    monitorThreadRunning_ = true;
    monitorThread_ = std::thread(&LumibayControler::runMonitorLoopThread, this);
}

void LumibayControler::stopMonitor() {
    {
        std::lock_guard lock(monitorMutex_);
        keepMonitorring_ = false;
    }
    monitorWake_.notify_all();
    if (monitorThread_.joinable()) {
        monitorThread_.join();
    }
}

void LumibayControler::runMonitorLoopThread() {
    requestBuild();
    auto lastCheck = std::chrono::steady_clock::now();
    while (keepMonitorring_) {
        const auto now = std::chrono::steady_clock::now();
        const double elapsedMinutes = std::chrono::duration<double>(now - lastCheck).count() / 60.0;
        const double interval = monitorView().checkInterval;
        if (elapsedMinutes > interval) {
            if (checkUpdate()) {
                requestBuild();
            }
            lastCheck = std::chrono::steady_clock::now();
        }
        // Half a second between passes; the quit path wakes us at once.
        std::unique_lock lock(monitorMutex_);
        monitorWake_.wait_for(lock, 500ms, [this] { return !keepMonitorring_; });
    }
    monitorThreadRunning_ = false;
}

bool LumibayControler::checkUpdate() {
    const MonitorView view = monitorView();
    SiteState site;
    struct stat info {};
    // The site folder may be a link of the user's; what the helper made inside it may not.
    site.siteFolder = ::stat(view.sitePath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    site.contents = ::lstat(view.contentsPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    site.menu = site.contents && sitefiles::exists(view.contentsPath + "/" + sitefiles::kMenuPage);
    site.topPageDate = getTopPageDate();
    site.topPage = site.topPageDate.has_value();
    site.index = indexIdentity(view.indexPath);
    return publishedPolicy().wantsBuild(site, RebuildPolicy::Clock::now());
}

std::optional<timespec> LumibayControler::getTopPageDate() {
    return sitefiles::modificationDate(monitorView().topPagePath);
}

std::optional<timespec> LumibayControler::getAlbumDate() {
    return sitefiles::modificationDate(monitorView().indexPath);
}

} // namespace tessaly
