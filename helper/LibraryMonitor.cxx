#include "LibraryMonitor.hxx"

#include "Home.hxx"
#include "Log.hxx"
#include "SiteFiles.hxx"

#include <chrono>
#include <sys/stat.h>
#include <utility>

namespace tessaly {

using namespace std::chrono_literals;

LibraryMonitor::LibraryMonitor(Reports reports)
    : reports_(std::move(reports)), bridge_(homeDirectory()) {}

LibraryMonitor::~LibraryMonitor() { stop(); }

void LibraryMonitor::watch(MonitorWatch what) {
    std::lock_guard lock(watchMutex_);
    watch_ = std::move(what);
}

MonitorWatch LibraryMonitor::watched() const {
    std::lock_guard lock(watchMutex_);
    return watch_;
}

void LibraryMonitor::start() {
    // Both flags are raised before the thread exists, so a quit that comes before the thread's
    // first pass still waits for it.
    keepMonitorring_ = true;
    stopping_ = false;
    monitorThreadRunning_ = true;
    thread_ = std::thread(&LibraryMonitor::runMonitorLoopThread, this);
}

void LibraryMonitor::stop() {
    {
        std::lock_guard lock(wakeMutex_);
        keepMonitorring_ = false;
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LibraryMonitor::runMonitorLoopThread() {
    // The first build is made from the library as its source holds it now.
    const MonitorWatch first = watched();
    bridge_.refresh(first.librarySource, first.libraryFolder, stopping_);
    if (keepMonitorring_) {
        reports_.started();
    }
    auto lastCheck = std::chrono::steady_clock::now();
    while (keepMonitorring_) {
        const MonitorWatch what = watched();
        const auto now = std::chrono::steady_clock::now();
        const double elapsedMinutes = std::chrono::duration<double>(now - lastCheck).count() / 60.0;
        if (elapsedMinutes > what.checkInterval) {
            bridge_.refresh(what.librarySource, what.libraryFolder, stopping_);
            if (!keepMonitorring_) {
                break;
            }
            const auto seenAt = RebuildPolicy::Clock::now();
            reports_.checked(look(what), seenAt);
            lastCheck = std::chrono::steady_clock::now();
        } else {
            traceLine("monitor pass: no check due");
        }
        // Half a second between passes; the quit path wakes us at once.
        std::unique_lock lock(wakeMutex_);
        wake_.wait_for(lock, 500ms, [this] { return !keepMonitorring_; });
    }
    monitorThreadRunning_ = false;
}

SiteState LibraryMonitor::look(const MonitorWatch& what) {
    SiteState site;
    struct stat info {};
    // The site folder may be a link of the user's; what the helper made inside it may not.
    site.siteFolder = ::stat(what.sitePath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    site.contents = ::lstat(what.contentsPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    site.menu = site.contents && sitefiles::exists(what.contentsPath + "/" + sitefiles::kMenuPage);
    site.topPageDate = sitefiles::modificationDate(what.topPagePath);
    site.topPage = site.topPageDate.has_value();
    site.index = indexIdentity(what.indexPath);
    return site;
}

} // namespace tessaly
