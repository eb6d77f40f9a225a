#include "LumibayControler.hxx"

#include "Format.hxx"
#include "Log.hxx"
#include "SettingsTable.hxx"

#include <QCoreApplication>

#include <charconv>
#include <cmath>

namespace tessaly {

namespace {

std::string numberText(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace

LumibayControler::LumibayControler(Bundle bundle, QObject* parent)
    : QObject(parent), bundle_(std::move(bundle)),
      monitor_(LibraryMonitor::Reports{
          .started =
              [this] {
                  QMetaObject::invokeMethod(this, &LumibayControler::requestBuild,
                                            Qt::QueuedConnection);
              },
          .checked =
              [this](const SiteState& site, RebuildPolicy::Clock::time_point seenAt) {
                  QMetaObject::invokeMethod(
                      this, [this, site, seenAt] { siteObserved(site, seenAt); },
                      Qt::QueuedConnection);
              },
      }) {
    indexRetry_.setSingleShot(true);
    indexRetry_.setInterval(100);
    connect(&indexRetry_, &QTimer::timeout, this, &LumibayControler::buildSite);
    connect(&bus_, &HelperBus::stopAsked, this,
            qOverload<>(&LumibayControler::terminateApplication));
    connect(&bus_, &HelperBus::checkIntervalSet, this, &LumibayControler::timerIntervalChanged);
    connect(&bus_, &HelperBus::imageSizeSet, this, &LumibayControler::imageSizeChanged);
    connect(&bus_, &HelperBus::settingsChanged, this, &LumibayControler::siteParamChange);
}

LumibayControler::~LumibayControler() {
    // The monitor first: its reports are queued to this object.
    monitor_.stop();
    joinReleaser();
    bus_.observe(false);
}

void LumibayControler::loadSettings() {
    // The window alone writes the settings file; the helper's defaults stay in memory.
    def_ = std::make_unique<LumibayPref>(LumibayPref::FileWrites::Never);
    settingsChanged();
    publishMonitorView();
}

void LumibayControler::applicationDidFinishLaunching() {
    // A second helper of the same user would build the same site at the same time; it leaves
    // everything to the first, site included.
    if (!bus_.claimHelperName()) {
        logLine("Another LumibayHelper is already publishing for this user; this one quits.");
        quitting_ = true;
        QCoreApplication::exit(0);
        return;
    }
    // Listening before the settings are read: a change the window saves after the reading is
    // announced to this helper, never lost between the two.
    bus_.observe(true);
    loadSettings();
    if (!def_->getActiveFlag()) {
        logLine(def_->hasDictionary()
                    ? "Publishing is switched off in the settings; LumibayHelper closes the site "
                      "and quits."
                    : "The settings file " + def_->getPrefPath() +
                          " cannot be read; LumibayHelper closes the site and quits.");
        terminateApplication();
        return;
    }
    monitor_.start();
}

// --- what the monitor watches and sees ---------------------------------------------------------

float LumibayControler::usableCheckInterval(float minutes) {
    if (std::isfinite(minutes) && minutes >= 0.0f && minutes <= kLongestCheckInterval) {
        return minutes;
    }
    const auto fallback = static_cast<float>(settingInfo(Setting::CheckInterval).number);
    logLine(format("Check interval of %@ minutes cannot be used; using the default, %@ minutes",
                   {numberText(minutes), numberText(fallback)}));
    return fallback;
}

void LumibayControler::publishMonitorView() {
    monitor_.watch(MonitorWatch{
        .checkInterval = usableCheckInterval(def_->getCheckInterval()),
        .sitePath = def_->getStdExportPath(),
        .contentsPath = getContentsFolderPath(),
        .topPagePath = getTopPagePath(),
        .indexPath = def_->getiPhotoLibPath(),
        .librarySource = def_->getLibrarySource(),
        .libraryFolder = def_->getLibraryFolder(),
    });
}

void LumibayControler::siteObserved(SiteState site, RebuildPolicy::Clock::time_point seenAt) {
    if (quitting_) {
        return;
    }
    if (seenAt < lastBuildEnded_) {
        // Seen while a build was putting the site in place, which that build has since finished:
        // what it saw of the site is out of date. What it saw of the index still counts, as the
        // build may have read the index before it changed.
        site.siteFolder = site.contents = site.topPage = site.menu = true;
        if (!site.topPageDate) {
            site.topPageDate = timespec{};
        }
    }
    const bool wanted = policy_.wantsBuild(site, RebuildPolicy::Clock::now());
    traceLine(wanted ? "check: a build is wanted" : "check: the site is up to date");
    if (wanted) {
        requestBuild();
    }
}

bool LumibayControler::checkUpdate() {
    return policy_.wantsBuild(LibraryMonitor::look(monitor_.watched()),
                              RebuildPolicy::Clock::now());
}

std::optional<timespec> LumibayControler::getTopPageDate() {
    return sitefiles::modificationDate(monitor_.watched().topPagePath);
}

std::optional<timespec> LumibayControler::getAlbumDate() {
    return sitefiles::modificationDate(monitor_.watched().indexPath);
}

void LumibayControler::settingsChanged() { policy_.settingsChanged(); }

// --- notification handlers ---------------------------------------------------------------------

void LumibayControler::timerIntervalChanged(float minutes) {
    if (quitting_) {
        return;
    }
    def_->setCheckInterval(minutes);
    publishMonitorView();
}

void LumibayControler::imageSizeChanged(std::int32_t size) {
    if (quitting_) {
        return;
    }
    def_->setImageSize(size);
    settingsChanged();
    requestBuild();
}

void LumibayControler::siteParamChange() {
    if (quitting_) {
        return;
    }
    loadSettings();
    requestBuild();
}

// Requests that come while a build is queued are served by that build, so a burst of
// notifications gives one rebuild and a stop never waits behind a long queue of them. Settings
// notifications still reload the file each time, before the build runs.
void LumibayControler::requestBuild() {
    if (std::exchange(buildQueued_, true)) {
        return;
    }
    QMetaObject::invokeMethod(this, &LumibayControler::runQueuedBuild, Qt::QueuedConnection);
}

void LumibayControler::runQueuedBuild() {
    buildQueued_ = false;
    buildSite();
}

// --- quit path ---------------------------------------------------------------------------------

void LumibayControler::terminateApplication() {
    if (quitting_) {
        return;
    }
    quitting_ = true;
    bus_.observe(false);
    indexRetry_.stop();
    monitor_.stop();
    closeSite();
    // Only now may another helper take over: the site is closed and this one writes no more.
    bus_.releaseHelperName();
    QCoreApplication::exit(0);
}

} // namespace tessaly
