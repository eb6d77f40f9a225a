#include "LibraryBridgeRunner.hxx"

#include "BridgedLibrary.hxx"
#include "Log.hxx"

namespace tessaly {

using bridge::BridgedLibrary;
using bridge::UpdateStatus;

LibraryBridgeRunner::LibraryBridgeRunner(std::string home) : home_(std::move(home)) {}

void LibraryBridgeRunner::choose(const std::string& sourceSetting,
                                 const std::string& folderSetting) {
    if (sourceSetting_ == sourceSetting && folderSetting_ == folderSetting) {
        return;
    }
    sourceSetting_ = sourceSetting;
    folderSetting_ = folderSetting;
    kind_ = bridge::sourceKindNamed(sourceSetting);
    source_ = kind_ ? bridge::makeSource(*kind_, folderSetting, home_) : nullptr;
    lastProblem_.clear();
    if (!kind_) {
        problem("The library source \"" + sourceSetting +
                "\" in the settings is not one Tessaly knows (iPhoto, Shotwell, digiKam, Folder); "
                "the library in ~/Sites is published as it is.");
    }
}

void LibraryBridgeRunner::problem(const std::string& message) {
    if (message != lastProblem_) {
        lastProblem_ = message;
        logLine("Library bridge: " + message);
    }
}

void LibraryBridgeRunner::refresh(const std::string& sourceSetting,
                                  const std::string& folderSetting, const std::atomic<bool>& stop) {
    choose(sourceSetting, folderSetting);
    if (!source_ || stop) {
        return;
    }
    BridgedLibrary library(BridgedLibrary::folderIn(home_));
    const bool first = library.state() == BridgedLibrary::FolderState::Missing;
    const std::string location = source_->location();
    auto lastLine = std::chrono::steady_clock::now();
    bridge::UpdateOptions options;
    options.cancel = &stop;
    // Taken before the source is read: a change while it is read shows at the next look.
    options.sourceStamp = bridge::sourceStamp(*kind_, *source_);
    options.progress = [&](std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (first && done == 1) {
            logLine("Library bridge: making " + library.folder() + " from " + location + ": " +
                    std::to_string(total) + " pictures and movies");
        } else if (now - lastLine >= kProgressEvery) {
            logLine("Library bridge: " + std::to_string(done) + " of " + std::to_string(total) +
                    " pictures and movies done");
        } else {
            return;
        }
        lastLine = now;
    };
    const bridge::UpdateResult result = bridge::bridgeLibrary(*source_, library, options);
    switch (result.status) {
    case UpdateStatus::Unchanged:
        traceLine("library bridge: the library is as its source");
        break;
    case UpdateStatus::Updated: {
        lastProblem_.clear();
        const std::string line = "Library bridge: " + library.folder() + " follows " + location +
                                 ": " + std::to_string(result.items) + " pictures and movies, " +
                                 std::to_string(result.thumbnailsMade) + " new thumbnails, " +
                                 std::to_string(result.skipped) + " skipped, " +
                                 std::to_string(result.removed) + " removed";
        // The source's program writes its database for much the site does not show.
        if (first || result.thumbnailsMade > 0 || result.removed > 0) {
            logLine(line);
        } else {
            traceLine(line);
        }
        break;
    }
    case UpdateStatus::Cancelled:
        logLine("Library bridge: stopped; " + library.folder() + " keeps its last complete index");
        break;
    case UpdateStatus::Failed:
        // Tried again at the next check: a locked database is soon free again.
        problem(result.problem == bridge::UpdateProblem::FolderTaken
                    ? result.message
                    : result.message + " The site stays as it was.");
        break;
    }
}

} // namespace tessaly
