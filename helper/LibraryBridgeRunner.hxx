// The helper's side of the library bridge: when the person publishes a Shotwell or digiKam library
// or a folder of pictures, ~/Sites/iPhoto Library is kept as an iPhoto-style copy of it (see
// bridge/BridgedLibrary.hxx), and the site is built from that copy as from any library.
//
// The monitor thread calls refresh() before it looks at the index, so a change in the source
// reaches the index first and the usual rule then finds the index changed. Asking the source
// whether it changed is cheap (a database file's time and size, a tree's folder times); only then
// is the source read and the copy updated, which takes long the first time and is given up as
// soon as the helper is told to stop.
#pragma once

#include "LibrarySources.hxx"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace tessaly {

class LibraryBridgeRunner {
public:
    // How often a long update says in the log how far it is.
    static constexpr std::chrono::seconds kProgressEvery{5};

    explicit LibraryBridgeRunner(std::string home);

    // Monitor thread only. `sourceSetting` and `folderSetting` are the settings' texts
    // (Library_Source_Key, Library_Folder_Key); with "iPhoto" nothing is done, as the library in
    // ~/Sites is then the photo application's own. Returns soon after `stop` is raised.
    void refresh(const std::string& sourceSetting, const std::string& folderSetting,
                 const std::atomic<bool>& stop);

private:
    void choose(const std::string& sourceSetting, const std::string& folderSetting);
    // Logs a problem once, until the bridge works again or the problem changes.
    void problem(const std::string& message);

    std::string home_;
    std::optional<std::string> sourceSetting_;
    std::string folderSetting_;
    std::optional<bridge::SourceKind> kind_;
    std::unique_ptr<bridge::LibrarySource> source_;
    std::string lastProblem_;
};

} // namespace tessaly
