// bench_full_rebuild: how long the helper takes to rebuild the whole site of a large library, set
// against the least any reader built on expat could take to read that library's index.
//
// A large library (by default 100,000 pictures in 1,000 albums) is generated into a temporary home
// folder by the sample-library tool, without image files: the pages link to the pictures but never
// open them, as the index gives every picture's "Aspect Ratio". The helper's controller then
// builds the site several times, each build a full one (read the index, write the top page, the
// menu and every album page), and the index file is also streamed through expat with handlers
// that do nothing: no reader on that parser can be faster.
//
// After the timed builds it redoes one build step by step, through the functions buildSite() calls,
// and prints how long each step took, to show where the time goes.
//
// Then the same library once more as later versions of the photo application write it: without
// "Aspect Ratio", with a real thumbnail file per picture, whose header each page reads for the
// picture's proportions. A fresh controller's first build reads every header; later builds of the
// same controller find them kept and read none.
//
// Not a test: its figures depend on the machine. The last lines are meant to be read by people
// and scripts alike:
//   full rebuild: X.XXX s        best of the builds (their median on the line before)
//   expat floor: X.XXX s         best of the plain parses
//   ratio: X.XX
//   peak resident memory: N MB   of this process; the generator runs as a process of its own
//   without aspect ratios, first full rebuild: X.XXX s    every thumbnail's header read
//   without aspect ratios, later full rebuild: X.XXX s    best of the later builds
//   without aspect ratios, expat floor: X.XXX s
//   without aspect ratios, ratio: X.XX                    later rebuild to floor

#include "BenchSupport.hxx"
#include "Bundle.hxx"
#include "ExpatFeed.hxx"
#include "LibraryIndex.hxx"
#include "LumibayControler.hxx"
#include "LumibayPref.hxx"
#include "SitePageBuilder.hxx"
#include "SitePublisher.hxx"

#include <QCoreApplication>

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace tessaly::bench;

namespace {

struct Options {
    std::string sampleTool = TESSALY_SAMPLE_TOOL;
    std::string resources = TESSALY_HELPER_RESOURCES;
    int pictures = 100'000;
    int albums = 1'000;
    int runs = 3;
    bool keep = false;
    bool withRatios = true;    // the library whose index gives every aspect ratio
    bool withoutRatios = true; // the one whose pages read the thumbnails' headers
};

constexpr char kUsage[] =
    "Usage: bench_full_rebuild [--pictures N] [--albums N] [--runs N]\n"
    "                          [--sample-tool PATH] [--resources PATH] [--keep]\n"
    "                          [--only-with-ratios | --only-without-ratios]\n"
    "\n"
    "Generates a library of N pictures in N albums in a temporary home folder, times full\n"
    "rebuilds of its site and a plain expat pass over its index, and prints the figures; then\n"
    "the same for the library without aspect ratios and with a thumbnail file per picture.\n"
    "  --keep   leave the temporary home folders in place and print their paths\n";

void removeHomes();

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "bench_full_rebuild: %s\n", message.c_str());
    removeHomes();
    std::exit(1);
}

int positiveNumber(std::string_view text) {
    const std::optional<int> value = wholeNumber(text, 1);
    if (!value) {
        fail("not a positive number: " + std::string(text));
    }
    return *value;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) {
                fail(std::string(arg) + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--pictures") {
            options.pictures = positiveNumber(value());
        } else if (arg == "--albums") {
            options.albums = positiveNumber(value());
        } else if (arg == "--runs") {
            options.runs = positiveNumber(value());
        } else if (arg == "--sample-tool") {
            options.sampleTool = value();
        } else if (arg == "--resources") {
            options.resources = value();
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--only-with-ratios") {
            options.withoutRatios = false;
        } else if (arg == "--only-without-ratios") {
            options.withRatios = false;
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

double best(std::vector<double> times) { return *std::min_element(times.begin(), times.end()); }

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    const std::size_t middle = times.size() / 2;
    return times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
}

// Runs a program to its end and answers whether it succeeded.
bool run(const std::vector<std::string>& arguments) {
    const std::optional<pid_t> child = startProgram(arguments, false);
    return child && waitForSuccess(*child);
}

// --- the floor: the index through expat, doing nothing with what it reports -------------------

void XMLCALL ignoreStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL ignoreEnd(void*, const XML_Char*) {}
void XMLCALL ignoreText(void*, const XML_Char*, int) {}

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// Reads the file through the very feeding the helper's reader uses (blocks read straight into
// expat's buffer), with handlers that do nothing. Answers whether the document was well formed.
bool streamThroughExpat(const std::string& path) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        return false;
    }
    // Handlers are set, as any reader has to set them; expat does less for events nobody takes.
    XML_SetElementHandler(parser.get(), &ignoreStart, &ignoreEnd);
    XML_SetCharacterDataHandler(parser.get(), &ignoreText);
    return tessaly::parseFileWithExpat(parser.get(), path);
}

// --- checking that a build did the whole job ----------------------------------------------------

// The album pages a full build must write: one per published album (and event), by its name.
std::vector<std::string> expectedAlbumPages(const std::string& indexPath) {
    const std::optional<tessaly::LibraryIndex> index = tessaly::readLibraryIndex(indexPath);
    if (!index || !index->albums) {
        fail("the generated index cannot be read: " + indexPath);
    }
    tessaly::LumibayPref settings;
    const tessaly::SitePageBuilder builder(tessaly::PageStyle::fromSettings(settings));
    std::vector<std::string> pages;
    for (const tessaly::SitePage& page : builder.publishedPages(*index)) {
        pages.push_back(page.fileName());
    }
    return pages;
}

bool isNonEmptyFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && fs::file_size(path, error) > 0 && !error;
}

// Everything a full build writes is there: the top page, the menu and every album page.
void checkSite(const fs::path& site, const std::vector<std::string>& albumPages) {
    if (!isNonEmptyFile(site / "Tessaly.html")) {
        fail("the build wrote no top page");
    }
    if (!isNonEmptyFile(site / "Contents" / "menu.html")) {
        fail("the build wrote no menu page");
    }
    for (const std::string& page : albumPages) {
        if (!isNonEmptyFile(site / "Contents" / page)) {
            fail("the build did not write album page " + page);
        }
    }
}

// Where a build's time goes: the steps of buildSite() redone one by one, through the same
// functions a build calls (the controller's pages, the publisher's staging, page pool and swap),
// each timed on its own, best of `rounds`.
struct Breakdown {
    double readIndex = 1e9;    // readLibraryIndex: parse and keep the index
    double menu = 1e9;         // the menu page built (its template checked and read)
    double stage = 1e9;        // site folder opened, leftovers removed, staging folder made
    double writeMenu = 1e9;    // the menu page written
    double albums = 1e9;       // every album page built and written by the page pool
    double topPage = 1e9;      // the top page built and written
    double publish = 1e9;      // the new Contents and top page swapped in, the old ones removed
    double releaseIndex = 1e9; // the index's memory given back

    double sum() const {
        return readIndex + menu + stage + writeMenu + albums + topPage + publish + releaseIndex;
    }
};

Breakdown timeSteps(tessaly::LumibayControler& controller, const std::string& indexPath,
                    const fs::path& site, int rounds) {
    Breakdown steps;
    Clock::time_point start;
    auto keepBest = [&start](double& slot) {
        slot = std::min(slot, secondsSince(start));
        start = Clock::now();
    };
    auto require = [](const std::string& failure) {
        if (!failure.empty()) {
            fail("a step of the build failed: " + failure);
        }
    };
    const std::optional<std::string> topName = controller.safeTopPageName();
    if (!topName) {
        fail("the settings give no usable top page name");
    }

    for (int round = 0; round < rounds; ++round) {
        start = Clock::now();
        auto index = std::make_unique<std::optional<tessaly::LibraryIndex>>(
            tessaly::readLibraryIndex(indexPath));
        keepBest(steps.readIndex);
        if (!*index || !(*index)->albums) {
            fail("the index cannot be read");
        }
        const tessaly::LibraryIndex& library = **index;

        const std::optional<std::string> menu = controller.makeMenuPageByDic(library);
        keepBest(steps.menu);
        if (!menu) {
            fail("no menu page was built");
        }
        {
            tessaly::SitePublisher publisher(site.string(), *topName);
            require(publisher.stage());
            keepBest(steps.stage);
            require(publisher.writeMenu(*menu));
            keepBest(steps.writeMenu);
            const tessaly::LumibayControler::AlbumPages pages = controller.albumPages(library);
            require(publisher.writePages(pages.names, pages.write));
            keepBest(steps.albums);
            require(publisher.writeTopPage(controller.topPageText()));
            keepBest(steps.topPage);
            require(publisher.publish());
        }
        keepBest(steps.publish);

        index.reset();
        keepBest(steps.releaseIndex);
    }
    return steps;
}

void printSteps(const Breakdown& steps, int rounds) {
    std::printf("steps of a build, best of %d:\n", rounds);
    std::printf("  index read            %.3f s\n", steps.readIndex);
    std::printf("  menu built            %.3f s\n", steps.menu);
    std::printf("  staging folder made   %.3f s\n", steps.stage);
    std::printf("  menu written          %.3f s\n", steps.writeMenu);
    std::printf("  album pages written   %.3f s (built and written by the page pool)\n",
                steps.albums);
    std::printf("  top page written      %.3f s\n", steps.topPage);
    std::printf("  new site swapped in   %.3f s (the old one removed)\n", steps.publish);
    std::printf("  index released        %.3f s\n", steps.releaseIndex);
    std::printf("  sum of the steps      %.3f s\n", steps.sum());
}

// The temporary homes made, removed on the way out unless --keep is given.
std::vector<fs::path> gHomes;
bool gKeepHomes = false;

void removeHomes() {
    if (gKeepHomes) {
        return;
    }
    for (const fs::path& home : gHomes) {
        std::error_code error;
        fs::remove_all(home, error);
    }
    gHomes.clear();
}

// A home of its own with a generated library in it: the helper finds the library, the settings and
// the site through $HOME. Answers the index's path.
std::string makeLibrary(const Options& options, const std::vector<std::string>& files,
                        const char* what) {
    std::string homeTemplate = (fs::temp_directory_path() / "tessaly-bench-XXXXXX").string();
    if (!mkdtemp(homeTemplate.data())) {
        fail("cannot make a temporary home folder");
    }
    const fs::path home = homeTemplate;
    gHomes.push_back(home);
    setenv("HOME", home.c_str(), 1);

    std::printf("library: %d pictures in %d albums, %s\n", options.pictures, options.albums, what);
    std::fflush(stdout); // the generator writes to the same stream
    const Clock::time_point generating = Clock::now();
    std::vector<std::string> arguments{options.sampleTool,
                                       "--home",
                                       home.string(),
                                       "--pictures",
                                       std::to_string(options.pictures),
                                       "--albums",
                                       std::to_string(options.albums)};
    arguments.insert(arguments.end(), files.begin(), files.end());
    if (!run(arguments)) {
        fail("the sample library tool failed: " + options.sampleTool);
    }
    const std::string indexPath = (home / "Sites" / "iPhoto Library" / "AlbumData.xml").string();
    std::error_code error;
    const auto indexSize = fs::file_size(indexPath, error);
    if (error) {
        fail("the sample library tool wrote no index");
    }
    std::printf("generated in %.3f s, index %.1f MB\n", secondsSince(generating),
                static_cast<double>(indexSize) / (1024.0 * 1024.0));
    // What the generator wrote goes to the disk before anything is timed, so that the builds do
    // not wait behind the writing back of a hundred thousand fresh thumbnails, which a real
    // library's have long been.
    const Clock::time_point syncing = Clock::now();
    if (const int fd = ::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
    std::printf("written to disk in %.3f s\n", secondsSince(syncing));

    // Publishing on, and a check interval long enough that nothing would watch during the run.
    tessaly::LumibayPref settings;
    settings.setActiveFlag(true);
    settings.setCheckInterval(1000.0f);
    settings.savePref();
    return indexPath;
}

struct Timings {
    std::vector<double> builds;
    std::vector<double> floors;
};

// Builds the site `runs` times with the controller, each build followed by an expat pass over the
// index: builds and parses alternate so that a slow spell of the machine (a virtual one is often
// shared) weighs on both figures rather than on one.
Timings timeBuilds(tessaly::LumibayControler& controller, const std::string& indexPath,
                   const std::vector<std::string>& albumPages, int runs, const char* label) {
    const fs::path site = fs::path(std::getenv("HOME")) / "Sites" / "iPhotoPictureSite";
    Timings timings;
    for (int round = 1; round <= runs; ++round) {
        Clock::time_point start = Clock::now();
        controller.buildSite();
        timings.builds.push_back(secondsSince(start));
        if (controller.isQuitting()) {
            fail("the helper quit during the build (see its log; a template check failed?)");
        }
        checkSite(site, albumPages);

        start = Clock::now();
        if (!streamThroughExpat(indexPath)) {
            fail("expat could not read the generated index");
        }
        timings.floors.push_back(secondsSince(start));
        std::printf("%sround %d: build %.3f s (%zu album pages), expat pass %.3f s\n", label, round,
                    timings.builds.back(), albumPages.size(), timings.floors.back());
    }
    return timings;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseArguments(argc, argv);
    QCoreApplication app(argc, argv);
    gKeepHomes = options.keep;

    std::vector<std::string> summary;
    auto line = [&summary](const char* format, double value) {
        char text[128];
        std::snprintf(text, sizeof text, format, value);
        summary.emplace_back(text);
    };

    if (options.withRatios) {
        const std::string indexPath = makeLibrary(options, {"--no-images"}, "no image files");
        const std::vector<std::string> albumPages = expectedAlbumPages(indexPath);
        const fs::path site = fs::path(std::getenv("HOME")) / "Sites" / "iPhotoPictureSite";

        // The controller without its monitor and notifications: settings loaded, then one build
        // per round. The first build writes into an empty site; later ones replace the previous
        // site, as every build of the helper does.
        Timings timings;
        long peakMegabytes = 0; // up to the end of the timed builds, before the breakdown
        {
            tessaly::LumibayControler controller{tessaly::Bundle(options.resources)};
            controller.loadSettings();
            timings = timeBuilds(controller, indexPath, albumPages, options.runs, "");

            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            peakMegabytes = usage.ru_maxrss / 1024; // Linux gives kilobytes

            printSteps(timeSteps(controller, indexPath, site, options.runs), options.runs);
            checkSite(site, albumPages);
        }
        const double rebuild = best(timings.builds);
        const double floor = best(timings.floors);
        line("full rebuild median: %.3f s", median(timings.builds));
        line("full rebuild: %.3f s", rebuild);
        line("expat floor: %.3f s", floor);
        line("ratio: %.2f", rebuild / floor);
        line("peak resident memory: %.0f MB", static_cast<double>(peakMegabytes));
    }

    if (options.withoutRatios) {
        const std::string indexPath =
            makeLibrary(options, {"--plain-thumbnails", "--no-aspect-ratio"},
                        "no aspect ratios, a thumbnail file per picture");
        const std::vector<std::string> albumPages = expectedAlbumPages(indexPath);
        // The first build of a fresh controller reads every thumbnail's header; the later ones,
        // of the same controller as a running helper, read none again.
        tessaly::LumibayControler controller{tessaly::Bundle(options.resources)};
        controller.loadSettings();
        const Timings first = timeBuilds(controller, indexPath, albumPages, 1, "first ");
        const std::uint64_t readFirst = controller.thumbnailSizes().headersRead();
        const Timings later =
            timeBuilds(controller, indexPath, albumPages, std::max(options.runs, 2), "later ");
        std::printf(
            "thumbnail headers read: %llu by the first build, %llu by the later ones\n",
            static_cast<unsigned long long>(readFirst),
            static_cast<unsigned long long>(controller.thumbnailSizes().headersRead() - readFirst));
        std::vector<double> floors = first.floors;
        floors.insert(floors.end(), later.floors.begin(), later.floors.end());
        const double floor = best(floors);
        const fs::path site = fs::path(std::getenv("HOME")) / "Sites" / "iPhotoPictureSite";
        printSteps(timeSteps(controller, indexPath, site, options.runs), options.runs);
        checkSite(site, albumPages);
        line("without aspect ratios, first full rebuild: %.3f s", first.builds.front());
        line("without aspect ratios, later full rebuild: %.3f s", best(later.builds));
        line("without aspect ratios, expat floor: %.3f s", floor);
        line("without aspect ratios, ratio: %.2f", best(later.builds) / floor);
    }

    if (options.keep) {
        for (const fs::path& home : gHomes) {
            std::printf("kept: %s\n", home.c_str());
        }
    }
    removeHomes();
    for (const std::string& text : summary) {
        std::printf("%s\n", text.c_str());
    }
    return 0;
}
