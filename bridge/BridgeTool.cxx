// tessaly-bridge: brings ~/Sites/iPhoto Library up to date with a Shotwell or digiKam library or
// a folder of pictures, once, then exits. Interrupting it (Ctrl-C, SIGTERM) stops it between two
// pictures, leaving the last complete library in place.

#include "BridgedLibrary.hxx"
#include "Home.hxx"
#include "LibrarySources.hxx"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace tessaly::bridge;

std::atomic<bool> stopRequested{false};

void requestStop(int) { stopRequested = true; }

int usage() {
    std::fprintf(stderr, "usage: tessaly-bridge --source shotwell|digikam|folder [--folder DIR] "
                         "[--home DIR]\n"
                         "Brings HOME/Sites/iPhoto Library up to date with the library, once.\n"
                         "  --folder DIR  the folder of pictures (default HOME/Pictures)\n"
                         "  --home DIR    whose library (default: $HOME)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string sourceName;
    std::string folder;
    std::string home;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            return usage();
        }
        if (option == "--source") {
            sourceName = argv[++i];
        } else if (option == "--folder") {
            // On a command line a relative folder means one below the working folder.
            folder = std::filesystem::absolute(argv[++i]).lexically_normal().string();
        } else if (option == "--home") {
            home = argv[++i];
        } else {
            return usage();
        }
    }
    if (home.empty()) {
        home = tessaly::homeDirectory();
    } else if (home != tessaly::homeDirectory()) {
        // The XDG folders named in the environment belong to the caller's home, not this one.
        ::unsetenv("XDG_DATA_HOME");
        ::unsetenv("XDG_CONFIG_HOME");
    }

    const std::optional<SourceKind> kind = sourceKindNamed(sourceName);
    std::unique_ptr<LibrarySource> source = kind ? makeSource(*kind, folder, home) : nullptr;
    if (!source) {
        return usage();
    }

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    BridgedLibrary library(BridgedLibrary::folderIn(home));
    UpdateOptions options;
    options.cancel = &stopRequested;
    // The helper then finds the library as its source holds it, and does not read it again.
    options.sourceStamp = sourceStamp(*kind, *source);
    options.progress = [](std::size_t done, std::size_t total) {
        if (done % 500 == 0 || done == total) {
            std::fprintf(stderr, "tessaly-bridge: %zu of %zu pictures\n", done, total);
        }
    };
    const UpdateResult result = bridgeLibrary(*source, library, options);
    switch (result.status) {
    case UpdateStatus::Updated:
        std::printf("%s: %zu pictures and movies, %zu thumbnails made, %zu skipped, %zu removed\n",
                    library.folder().c_str(), result.items, result.thumbnailsMade, result.skipped,
                    result.removed);
        return 0;
    case UpdateStatus::Unchanged:
        std::printf("%s: already up to date\n", library.folder().c_str());
        return 0;
    case UpdateStatus::Cancelled:
        std::fprintf(stderr, "tessaly-bridge: stopped; the library is as it was\n");
        return 3;
    case UpdateStatus::Failed:
        break;
    }
    std::fprintf(stderr, "tessaly-bridge: %s\n", result.message.c_str());
    return 1;
}
