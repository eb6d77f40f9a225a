// The helper's controller: start-up, the build driver, the library monitor, the notification
// handlers and the quit path. Its operations are spread over several sources: building in
// BuildSiteCategory.cxx, closing in CloseSiteCategory.cxx, watching in LibraryMonitor.cxx.
//
// Threads: everything runs on the main thread except the monitor loop, which only reads the
// snapshot the main thread publishes and asks for builds by queued calls, so builds never overlap.
#pragma once

#include "Bundle.hxx"
#include "LibraryIndex.hxx"
#include "LumibayPref.hxx"
#include "RebuildPolicy.hxx"
#include "SiteFiles.hxx"

#include <QDBusMessage>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

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
    void makeFolders(const std::string& path);
    void copyTopPage(const std::string& sitePath);
    void writePage(const std::optional<std::string>& page, const std::string& title);
    std::string getContentsFolderPath();
    std::string getTopPagePath();
    std::optional<std::string> makeMenuPageByDic(const LibraryIndex& index);
    void makeAlbumByDic(const LibraryIndex& index);

    // --- closing ---
    void closeSite();
    void deleteSite();
    void deleteContents();
    std::string setSiteCloseMessage(const std::string& templateText);
    void makeSiteCloseMessagePage();

    // --- watching (monitor thread) ---
    void runMonitorLoopThread();
    bool checkUpdate();
    std::optional<timespec> getTopPageDate();
    std::optional<timespec> getAlbumDate();

    // The quit path: stops observing and watching, closes the site and ends the event loop with
    // status 0. Nothing queued runs after it.
    void terminateApplication();

    bool isQuitting() const { return quitting_; }

public slots:
    void terminateApplication(const QDBusMessage& notification);
    void timerIntervalChanged(const QDBusMessage& notification);
    void imageSizeChanged(const QDBusMessage& notification);
    void siteParamChange(const QDBusMessage& notification);

private:
    // What the monitor thread reads; replaced whole by the main thread under a short lock.
    struct MonitorView {
        float checkInterval = 0.0f;
        std::string sitePath;
        std::string contentsPath;
        std::string topPagePath;
        std::string indexPath;
    };

    // --- build requests, the check interval and the one-helper rule ---
    // Queues one build on the main thread; requests made while one is queued join it.
    void runQueuedBuild();
    // The interval the monitor uses: an interval that would stop it following the library (not
    // a number, infinite, negative, absurdly long) is replaced by the default and logged.
    static float usableCheckInterval(float minutes);
    // Takes the helper's name on the session bus; false when another helper holds it.
    bool claimHelperName();
    void releaseHelperName();
    std::atomic<bool> buildQueued_{false};
    bool holdsHelperName_ = false;

    void publishMonitorView();
    MonitorView monitorView() const;
    void requestBuild();
    void startMonitor();
    void stopMonitor();
    void observeNotifications(bool observe);
    std::string templatePath(const char* name) const;
    std::string readTemplate(const char* name) const;
    // Runs a template's checksum gate; on a mismatch logs, quits and answers false.
    bool passesTemplateGate(const char* name, std::uint32_t expected, int step);
    std::optional<LibraryIndex> readIndexForBuild();

    Bundle bundle_;
    std::unique_ptr<LumibayPref> def_;

    std::atomic<bool> monitorThreadRunning_{false};
    std::atomic<bool> keepMonitorring_{false};
    std::thread monitorThread_;
    std::mutex monitorMutex_;
    std::condition_variable monitorWake_;
    mutable std::mutex viewMutex_;
    MonitorView view_;

    bool observing_ = false;
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

    // --- staged publishing, and what the monitor knows of the last build ------------------------
public:
    // The settings in memory changed (a new store, or a value set from a notification): the next
    // check asks for a build made from them, even after a failed one.
    void settingsChanged();

    // Writes one album page's text through `out`, answering false when `out` refused a piece.
    using AlbumPageProducer = std::function<bool(
        const SitePageBuilder& builder, const AlbumRecord& album, const LibraryIndex& index,
        std::string_view head, std::string_view tail, const sitefiles::PageSink& out)>;
    // Replaces how album pages are produced; tests use it to make a page fail.
    void setAlbumPageProducer(AlbumPageProducer producer);

private:
    // Builds the new site beside the old one and puts it in place; the reason when it could not.
    std::string publishSite(const LibraryIndex& index, const std::optional<std::string>& menu);
    // Writes the album pages into the folder: as new files into a fresh staging folder, or each
    // replacing its old page. The reason of the first failure, or nothing.
    std::string writeAlbumPages(const LibraryIndex& index, const sitefiles::Folder& contents,
                                bool fresh);
    std::string topPageText();
    // The site folder and the folders above it, created where missing.
    void makeSiteFolder(const std::string& path);
    static const AlbumPageProducer& defaultAlbumPageProducer();
    // Removes Contents and any staging folder a cut-short build left behind.
    void removeGeneratedFolders(const sitefiles::Folder& site);
    // The top page's name when it can safely be written inside the site folder.
    std::optional<std::string> safeTopPageName();
    std::uint64_t settingsGeneration() const;
    RebuildPolicy publishedPolicy() const;

    void releaseInBackground(std::optional<LibraryIndex> index);
    void joinReleaser();
    std::thread releaser_;

    AlbumPageProducer albumPageProducer_;
    // Published to the monitor thread under viewMutex_, beside the MonitorView.
    RebuildPolicy policy_;
};

} // namespace tessaly
