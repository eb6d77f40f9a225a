// The library monitor: a thread of its own that looks at the library index and the site once per
// check interval and tells the main thread what it saw. It decides nothing: the main thread alone
// holds what the last build was made from and whether what was seen needs a new one (see
// RebuildPolicy). The one thing the two threads share is the hand-off of what to watch, replaced
// whole under a short lock; what was seen travels the other way by the report callbacks.
//
// When the library is another program's (Shotwell, digiKam, a folder), the thread first brings
// the bridged copy in ~/Sites up to date, before the run's first build and before each check (see
// LibraryBridgeRunner). That may take minutes the first time; stop() still ends it at once.
#pragma once

#include "LibraryBridgeRunner.hxx"
#include "RebuildPolicy.hxx"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tessaly {

// A week: the longest check interval we take as meant. Anything longer would leave the site
// behind the library without anyone noticing.
inline constexpr float kLongestCheckInterval = 7 * 24 * 60;

// What the monitor looks at.
struct MonitorWatch {
    float checkInterval = 0.0f; // minutes
    std::string sitePath;
    std::string contentsPath;
    std::string topPagePath;
    std::string indexPath;
    // The settings' texts for the library to publish and its folder.
    std::string librarySource;
    std::string libraryFolder;
};

class LibraryMonitor {
public:
    // Both are called on the monitor thread and must only hand over to the main thread (a queued
    // call), never wait for it: the quit path waits for the monitor.
    struct Reports {
        // The thread's first act: the run's first build.
        std::function<void()> started;
        // A check's sighting of the site and the index, and when it was taken.
        std::function<void(const SiteState&, RebuildPolicy::Clock::time_point)> checked;
    };

    explicit LibraryMonitor(Reports reports);
    ~LibraryMonitor();
    LibraryMonitor(const LibraryMonitor&) = delete;
    LibraryMonitor& operator=(const LibraryMonitor&) = delete;

    // Main thread: what the next passes look at, and how often.
    void watch(MonitorWatch what);
    MonitorWatch watched() const;

    void start();
    // Wakes the thread and waits for it to end: at most the check it is in.
    void stop();
    bool isRunning() const { return monitorThreadRunning_; }

    // What a check sees at the paths, on whichever thread calls it.
    static SiteState look(const MonitorWatch& what);

private:
    void runMonitorLoopThread();

    Reports reports_;
    mutable std::mutex watchMutex_;
    MonitorWatch watch_;

    std::atomic<bool> monitorThreadRunning_{false};
    std::atomic<bool> keepMonitorring_{false};
    // Raised by stop(): the bridge's cancel flag, which it reads the other way round.
    std::atomic<bool> stopping_{false};
    LibraryBridgeRunner bridge_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

} // namespace tessaly
