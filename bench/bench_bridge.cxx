// bench_bridge: how fast the library bridge makes the iPhoto-style library of a large folder of
// pictures, first and then after a change, set beside libvips' own vipsthumbnail making
// thumbnails of the same files in the same run.
//
// A folder library of 10,000 JPEG pictures (by default; 100 to a folder) is generated with
// libvips into a temporary home folder: 64 different pictures, each file a copy of one of them,
// so that every file is a file of its own on disk. Then:
//   first build     the folder is read (names, times, descriptions) and every thumbnail made;
//   unchanged       the source's stamp alone, as the helper looks at every check;
//   incremental     100 pictures added and 100 removed, then read and brought up to date;
//   vipsthumbnail   the same 10,000 originals, at the same size and quality, in batches of 1,000.
// The bridge makes as many thumbnails at once as there are cores (at most four), so as many
// vipsthumbnail processes run at once, each on its own batches; each lets libvips use its own
// threads inside a picture.
//
// Not a test: its figures depend on the machine. The last lines are meant to be read by people
// and scripts alike:
//   first build: X.XX s, N thumbnails, R thumbnails/s
//   vipsthumbnail: X.XX s, N thumbnails, R thumbnails/s
//   bridge / vipsthumbnail: X.XX (wall clock), X.XX (processor time)
//   incremental: X.XX s (N new thumbnails, M removed)
//   unchanged: X.XXX s
//   peak resident memory: N MB

#include "BenchSupport.hxx"
#include "BridgedLibrary.hxx"
#include "FolderSource.hxx"
#include "LibrarySources.hxx"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>
#include <vips/vips.h>

namespace fs = std::filesystem;
using namespace tessaly::bridge;
using namespace tessaly::bench;

namespace {

constexpr char kUsage[] =
    "usage: bench_bridge [--pictures N] [--width W] [--height H] [--keep]\n"
    "\n"
    "Generates a folder library of N JPEG pictures (default 10000, 1600 x 1200) in a temporary\n"
    "home folder, times the bridge's first build and an incremental update of it, and\n"
    "vipsthumbnail on the same files, and prints the figures.\n"
    "  --keep   leave the temporary home folder in place and print its path\n";

constexpr int kDistinctPictures = 64;
constexpr int kPerFolder = 100;
constexpr int kChanged = 100;
constexpr int kBatch = 1000;
constexpr int kQuality = 85;

struct Options {
    int pictures = 10'000;
    int width = 1600;
    int height = 1200;
    bool keep = false;
};

fs::path gHome;
bool gKeep = false;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "bench_bridge: %s\n", message.c_str());
    if (!gHome.empty() && !gKeep) {
        std::error_code error;
        fs::remove_all(gHome, error);
    }
    std::exit(1);
}

int number(std::string_view text, int least) {
    const std::optional<int> value = wholeNumber(text, least);
    if (!value) {
        fail("not a number of at least " + std::to_string(least) + ": " + std::string(text));
    }
    return *value;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&] {
            if (i + 1 >= argc) {
                fail(std::string(arg) + " needs a value");
            }
            return std::string_view(argv[++i]);
        };
        if (arg == "--pictures") {
            options.pictures = number(value(), 2 * kChanged);
        } else if (arg == "--width") {
            options.width = number(value(), 16);
        } else if (arg == "--height") {
            options.height = number(value(), 16);
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else {
            std::fputs(kUsage, stderr);
            fail("unknown argument: " + std::string(arg));
        }
    }
    return options;
}

// Processor time, user and system, of this process (its threads included) or of its children
// that have ended: on a machine others share, it tells more than the wall clock.
double processorSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A picture that looks like one to a JPEG coder: a gradient that differs for each `seed`, with
// some grain over it.
void writePicture(const fs::path& path, int width, int height, int seed) {
    VipsImage* ramp = nullptr;
    VipsImage* rgb = nullptr;
    VipsImage* grain = nullptr;
    VipsImage* grainy = nullptr;
    VipsImage* picture = nullptr;
    const bool made = vips_xyz(&ramp, width, height, nullptr) == 0 &&
                      vips_bandjoin_const1(ramp, &rgb, (seed * 37) % 256, nullptr) == 0 &&
                      vips_gaussnoise(&grain, width, height, "sigma", 8.0, "mean",
                                      double(seed % 16), "seed", seed, nullptr) == 0 &&
                      vips_add(rgb, grain, &grainy, nullptr) == 0 &&
                      vips_cast(grainy, &picture, VIPS_FORMAT_UCHAR, nullptr) == 0 &&
                      vips_jpegsave(picture, path.c_str(), "Q", 90, nullptr) == 0;
    for (VipsImage* image : {ramp, rgb, grain, grainy, picture}) {
        if (image) {
            g_object_unref(image);
        }
    }
    if (!made) {
        fail("cannot write " + path.string() + ": " + vips_error_buffer());
    }
}

fs::path pictureName(const fs::path& pictures, int i) {
    char folder[32];
    char file[32];
    std::snprintf(folder, sizeof folder, "Roll %03d", i / kPerFolder);
    std::snprintf(file, sizeof file, "IMG_%05d.jpg", i);
    return pictures / folder / file;
}

// Makes and times one update, with the source read first and timed on its own.
struct Timed {
    UpdateResult result;
    double read = 0;
    double total = 0;
    double processor = 0;
};

Timed timedUpdate(FolderSource& source, BridgedLibrary& library, int expected) {
    Timed timed;
    const double processorBefore = processorSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    const SnapshotResult read = source.read();
    timed.read = secondsSince(start);
    if (!read.snapshot) {
        fail(read.error);
    }
    UpdateOptions options;
    options.sourceStamp = sourceStamp(SourceKind::Folder, source);
    int lastTenth = 0;
    options.progress = [&](std::size_t done, std::size_t total) {
        const int tenth = static_cast<int>(done * 10 / total);
        if (tenth > lastTenth && expected > 0) {
            lastTenth = tenth;
            std::fprintf(stderr, "  %zu of %zu pictures\n", done, total);
        }
    };
    timed.result = library.update(*read.snapshot, options);
    timed.total = secondsSince(start);
    timed.processor = processorSeconds(RUSAGE_SELF) - processorBefore;
    if (timed.result.status != UpdateStatus::Updated) {
        fail("the update failed: " + timed.result.message);
    }
    return timed;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseArguments(argc, argv);
    if (VIPS_INIT(argv[0]) != 0) {
        fail("cannot start libvips");
    }
    std::string pattern = (fs::temp_directory_path() / "bench-bridge-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        fail("cannot make a temporary folder");
    }
    gHome = pattern;
    gKeep = options.keep;
    const fs::path pictures = gHome / "Pictures";

    std::printf("generating %d pictures of %d x %d in %s\n", options.pictures, options.width,
                options.height, pictures.c_str());
    const auto generating = Clock::now();
    const fs::path bases = gHome / "bases";
    fs::create_directories(bases);
    for (int i = 0; i < kDistinctPictures; ++i) {
        writePicture(bases / (std::to_string(i) + ".jpg"), options.width, options.height, i);
    }
    std::uintmax_t bytes = 0;
    for (int i = 0; i < options.pictures; ++i) {
        const fs::path target = pictureName(pictures, i);
        fs::create_directories(target.parent_path());
        fs::copy_file(bases / (std::to_string(i % kDistinctPictures) + ".jpg"), target);
        bytes += fs::file_size(target);
    }
    std::printf("  %.1f s, %.0f MB of pictures\n", secondsSince(generating), double(bytes) / 1e6);

    FolderSource source(pictures.string());
    BridgedLibrary library(BridgedLibrary::folderIn(gHome.string()));

    std::printf("first build\n");
    const Timed first = timedUpdate(source, library, options.pictures);
    const double firstRate = double(first.result.thumbnailsMade) / first.total;

    // As the helper looks at every check, with nothing changed.
    const auto looking = Clock::now();
    const bool unchanged = library.madeFrom() == sourceStamp(SourceKind::Folder, source);
    const double unchangedTime = secondsSince(looking);
    if (!unchanged) {
        fail("the library does not know it was made from this source");
    }

    std::printf("incremental update: %d pictures added, %d removed\n", kChanged, kChanged);
    for (int i = 0; i < kChanged; ++i) {
        fs::remove(pictureName(pictures, i));
        const fs::path added = pictureName(pictures, options.pictures + i);
        fs::create_directories(added.parent_path());
        fs::copy_file(bases / (std::to_string(i % kDistinctPictures) + ".jpg"), added);
    }
    const Timed incremental = timedUpdate(source, library, 0);

    std::printf("vipsthumbnail on the same %d files, %u processes at once\n", options.pictures,
                BridgedLibrary::thumbnailThreads());
    const fs::path out = gHome / "vipsthumbnail";
    fs::create_directories(out);
    const std::string side = std::to_string(BridgedLibrary::kThumbnailSide);
    const std::string output =
        (out / "%s.jpg").string() + "[Q=" + std::to_string(kQuality) + ",strip]";
    const double childrenBefore = processorSeconds(RUSAGE_CHILDREN);
    const auto thumbnailing = Clock::now();
    unsigned running = 0;
    bool failed = false;
    for (int first = 0; first < options.pictures; first += kBatch) {
        std::vector<std::string> arguments = {"vipsthumbnail", "--size", side + "x" + side, "-o",
                                              output};
        for (int i = first; i < std::min(first + kBatch, options.pictures); ++i) {
            // The originals of the first build: the ones removed since are made again from copies
            // of the same pictures.
            arguments.push_back(pictureName(pictures, i < kChanged ? options.pictures + i : i));
        }
        if (running == BridgedLibrary::thumbnailThreads()) {
            failed = !waitForSuccess(-1) || failed;
            --running;
        }
        failed = !startProgram(arguments, true) || failed;
        ++running;
    }
    for (; running > 0; --running) {
        failed = !waitForSuccess(-1) || failed;
    }
    if (failed) {
        fail("vipsthumbnail failed (is it installed? Debian's libvips-tools has it)");
    }
    const double vipsTime = secondsSince(thumbnailing);
    const double vipsProcessor = processorSeconds(RUSAGE_CHILDREN) - childrenBefore;
    const double vipsRate = double(options.pictures) / vipsTime;

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("first build: reading the folder %.2f s, thumbnails, links and index %.2f s, "
                "%zu skipped\n",
                first.read, first.total - first.read, first.result.skipped);
    std::printf("incremental: reading the folder %.2f s, the rest %.2f s\n", incremental.read,
                incremental.total - incremental.read);
    std::printf("processor time: first build %.2f s (%.1f thumbnails per processor second), "
                "vipsthumbnail %.2f s (%.1f)\n",
                first.processor, double(first.result.thumbnailsMade) / first.processor,
                vipsProcessor, double(options.pictures) / vipsProcessor);
    std::printf("first build: %.2f s, %zu thumbnails, %.1f thumbnails/s\n", first.total,
                first.result.thumbnailsMade, firstRate);
    std::printf("vipsthumbnail: %.2f s, %d thumbnails, %.1f thumbnails/s\n", vipsTime,
                options.pictures, vipsRate);
    std::printf("bridge / vipsthumbnail: %.2f (wall clock), %.2f (processor time)\n",
                firstRate / vipsRate, vipsProcessor / first.processor);
    std::printf("incremental: %.2f s (%zu new thumbnails, %zu removed)\n", incremental.total,
                incremental.result.thumbnailsMade, incremental.result.removed);
    std::printf("unchanged: %.3f s\n", unchangedTime);
    std::printf("peak resident memory: %ld MB\n", usage.ru_maxrss / 1024);

    if (options.keep) {
        std::printf("kept %s\n", gHome.c_str());
    } else {
        std::error_code error;
        fs::remove_all(gHome, error);
    }
    return 0;
}
