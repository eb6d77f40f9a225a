// The helper's controller: start-up, the build driver, the notification handlers and the quit
// path, each a thin caller over the three parts that do the work:
//   SitePublisher  (SitePublisher.hxx)   stages the new site beside the old one and swaps it in;
//   LibraryMonitor (LibraryMonitor.hxx)  its thread looks at the index and the site and reports;
//   HelperBus      (HelperBus.hxx)       the bus name, the observers and what they carry.
// Building is in BuildSiteCategory.cxx, closing in CloseSiteCategory.cxx.
//
// Threads: everything here runs on the main thread. The monitor's reports arrive as queued calls,
// and the main thread alone decides whether they need a build (RebuildPolicy), so builds never
// overlap and nothing of the controller is shared with the monitor's thread.
#pragma once

#include "Bundle.hxx"
#include "HelperBus.hxx"
#include "LibraryIndex.hxx"
#include "LibraryMonitor.hxx"
#include "LumibayPref.hxx"
#include "RebuildPolicy.hxx"
#include "SiteFiles.hxx"
#include "SitePublisher.hxx"
#include "ThumbnailSizes.hxx"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tessaly {

// Localized key of the closed-site page's second text.
inline constexpr char LumibayNotRunningMessage[] = "LumibayNotRunningMessage";

class SitePageBuilder;

class LumibayControler : public QObject {
    Q_OBJECT

public:
    explicit LumibayControler(Bundle bundle, QObject* parent = nullptr);
    ~LumibayControler() override;

    // Reads the settings; quits when publishing is off, otherwise starts observing and watching.
    void applicationDidFinishLaunching();
    // Reads the settings file into a fresh store (start-up and every settings change). Also lets
    // a benchmark or test drive buildSite() without the monitor and the notifications.
    void loadSettings();

    // --- building ---
    void buildSite();
    std::string getContentsFolderPath();
    std::string getTopPagePath();
    std::optional<std::string> makeMenuPageByDic(const LibraryIndex& index);
    // The album and event pages of a build: their names in Contents, and how each page is written
    // (with the settings' style and the album templates, which the writer keeps alive).
    struct AlbumPages {
        std::vector<std::string> names;
        SitePublisher::PageWriter write;
    };
    AlbumPages albumPages(const LibraryIndex& index);
    std::string topPageText();
    // The top page's name when it can safely be written inside the site folder.
    std::optional<std::string> safeTopPageName();

    // --- closing ---
    void closeSite();
    void deleteSite();
    void deleteContents();
    std::string setSiteCloseMessage(const std::string& templateText);
    void makeSiteCloseMessagePage();

    // --- watching: what the monitor sees, judged here on the main thread ---
    bool checkUpdate();
    std::optional<timespec> getTopPageDate();
    std::optional<timespec> getAlbumDate();

    // --- the notification handlers, fed by HelperBus with values it has checked ---
    void timerIntervalChanged(float minutes);
    void imageSizeChanged(std::int32_t size);
    void siteParamChange();

    // The quit path: stops observing and watching, closes the site and ends the event loop with
    // status 0. Nothing queued runs after it.
    void terminateApplication();

    bool isQuitting() const { return quitting_; }

    // The settings in memory changed (a new store, or a value set from a notification): the next
    // check asks for a build made from them, even after a failed one.
    void settingsChanged();

    // Writes one album page's text through `out`, answering false when `out` refused a piece.
    // Event pages are always written by the builder.
    using AlbumPageProducer = std::function<bool(
        const SitePageBuilder& builder, const AlbumRecord& album, const LibraryIndex& index,
        std::string_view head, std::string_view tail, const sitefiles::PageSink& out)>;
    // Replaces how album pages are produced; tests use it to make a page fail, or to change the
    // library at a chosen point of a build.
    void setAlbumPageProducer(AlbumPageProducer producer);

    // What the builds have read of the thumbnails' headers so far.
    const ThumbnailSizes& thumbnailSizes() const { return thumbnails_; }

private:
    // The interval the monitor uses: an interval from the file that would stop it following the
    // library (not a number, infinite, negative, absurdly long) is replaced by the default and
    // logged.
    static float usableCheckInterval(float minutes);
    void publishMonitorView();
    // A check's sighting, on the main thread.
    void siteObserved(SiteState site, RebuildPolicy::Clock::time_point seenAt);
    // Queues one build on the main thread; requests made while one is queued join it.
    void requestBuild();
    void runQueuedBuild();

    std::string templatePath(const char* name) const;
    std::string readTemplate(const char* name) const;
    // Runs a template's checksum gate; on a mismatch logs, quits and answers false.
    bool passesTemplateGate(const char* name, std::uint32_t expected, int step);
    std::optional<LibraryIndex> readIndexForBuild();
    // Builds the new site beside the old one and puts it in place; the reason when it could not.
    std::string publishSite(const LibraryIndex& index, const std::optional<std::string>& menu);
    // Removes Contents and any staging folder a cut-short build left behind.
    void removeGeneratedFolders(const sitefiles::Folder& site);
    void releaseInBackground(std::optional<LibraryIndex> index);
    void joinReleaser();

    Bundle bundle_;
    std::unique_ptr<LumibayPref> def_;
    HelperBus bus_;
    LibraryMonitor monitor_;
    // What the last builds were made from; the main thread's alone.
    RebuildPolicy policy_;
    RebuildPolicy::Clock::time_point lastBuildEnded_{};

    bool buildQueued_ = false;
    bool quitting_ = false;

    // A build that found the index unreadable tries again from here, so the event loop (and a
    // stop notification) keeps running while it waits.
    QTimer indexRetry_;
    struct FileSignature {
        timespec modified{};
        off_t size = -1;
    };
    std::optional<FileSignature> unreadableIndex_;
    int unchangedRetries_ = 0;
    bool unreadableLogged_ = false;

    // What the thumbnails' headers said, across builds.
    ThumbnailSizes thumbnails_;

    std::thread releaser_;
    AlbumPageProducer albumPageProducer_;
};

} // namespace tessaly
