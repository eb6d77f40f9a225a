// tessaly-sample-library: writes a photo library in the photo application's layout into a home
// folder, for trying the publisher by hand, for its tests and for benchmarks.

#include "SampleImages.hxx"
#include "SampleLibrary.hxx"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

using namespace tessaly::sample;
using tessaly::PlistWriter;

namespace {

constexpr int kExitFailure = 1; // could not write
constexpr int kExitUsage = 2;   // bad arguments

constexpr char kUsage[] =
    "Usage: tessaly-sample-library --home DIR [--albums N] [--pictures N] [--seed N]\n"
    "                              [--no-images | --plain-thumbnails] [--no-aspect-ratio]\n"
    "                              [--force]\n"
    "\n"
    "Writes a sample photo library to DIR/Sites/iPhoto Library: the index AlbumData.xml and,\n"
    "unless --no-images is given, a JPEG image and thumbnail for every picture.\n"
    "\n"
    "  --home DIR      home folder to write into; it must exist (required)\n"
    "  --albums N      regular albums, 0 to 100000 (default 6)\n"
    "  --pictures N    pictures in all, one of them a movie, 1 to 500000 (default 24)\n"
    "  --seed N        the same seed always gives the same library (default 2006)\n"
    "  --no-images     write only the index, for benchmarks\n"
    "  --plain-thumbnails  write only thumbnails, plain, of each picture's proportions,\n"
    "                  for benchmarks\n"
    "  --no-aspect-ratio   leave \"Aspect Ratio\" out of the index, as later versions of the\n"
    "                  photo application do\n"
    "  --force         replace an existing index; files of an earlier, larger library stay\n"
    "  --help          show this text\n";

struct Arguments {
    Options options;
    bool force = false;
    bool help = false;
};

void complain(const std::string& message) {
    std::fprintf(stderr, "tessaly-sample-library: %s\n", message.c_str());
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text, Number low, Number high) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

// Returns the arguments, or nullopt after saying what is wrong with them.
std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments parsed;
    std::optional<std::string> home;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::optional<std::string_view> inlineValue;
        if (const auto equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
            inlineValue = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        }
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        }
        if (arg == "--no-images" || arg == "--plain-thumbnails" || arg == "--no-aspect-ratio" ||
            arg == "--force") {
            if (inlineValue) {
                complain(std::string(arg) + " takes no value");
                return std::nullopt;
            }
            if (arg == "--force") {
                parsed.force = true;
            } else if (arg == "--no-aspect-ratio") {
                parsed.options.aspectRatios = false;
            } else {
                const ImageFiles images =
                    arg == "--no-images" ? ImageFiles::None : ImageFiles::PlainThumbnails;
                if (parsed.options.images != ImageFiles::Drawn && parsed.options.images != images) {
                    complain("--no-images and --plain-thumbnails exclude each other");
                    return std::nullopt;
                }
                parsed.options.images = images;
            }
            continue;
        }
        if (arg != "--home" && arg != "--albums" && arg != "--pictures" && arg != "--seed") {
            complain(arg.starts_with("-") ? "unknown option " + std::string(arg)
                                          : "unexpected argument \"" + std::string(arg) + "\"");
            return std::nullopt;
        }
        std::string_view value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            complain(std::string(arg) + " needs a value");
            return std::nullopt;
        }
        bool valid = true;
        if (arg == "--home") {
            home = std::string(value);
            valid = !value.empty();
        } else if (arg == "--albums") {
            const auto number = parseNumber(value, 0, kMaxAlbums);
            valid = number.has_value();
            parsed.options.albums = number.value_or(0);
        } else if (arg == "--pictures") {
            const auto number = parseNumber(value, 1, kMaxPictures);
            valid = number.has_value();
            parsed.options.pictures = number.value_or(0);
        } else {
            const auto number = parseNumber<std::uint64_t>(value, 0, UINT64_MAX);
            valid = number.has_value();
            parsed.options.seed = number.value_or(0);
        }
        if (!valid) {
            complain("invalid value \"" + std::string(value) + "\" for " + std::string(arg));
            return std::nullopt;
        }
    }
    if (!home) {
        complain("--home DIR is required");
        return std::nullopt;
    }
    parsed.options.home = *home;
    return parsed;
}

// The home folder as an absolute path without a trailing slash ("" for the root), or nullopt
// after saying why it cannot be used. It must exist: a mistyped path should not quietly grow a
// new tree somewhere.
std::optional<std::string> resolveHome(const std::string& home) {
    const QFileInfo info(QString::fromLocal8Bit(home.data(), qsizetype(home.size())));
    if (!info.exists()) {
        complain("home folder " + home + " does not exist");
        return std::nullopt;
    }
    if (!info.isDir()) {
        complain("home folder " + home + " is not a folder");
        return std::nullopt;
    }
    std::string absolute = QDir::cleanPath(info.absoluteFilePath()).toStdString();
    if (absolute == "/") {
        absolute.clear();
    }
    return absolute;
}

bool writeIndexFile(const SampleLibrary& library) {
    QSaveFile file(QString::fromStdString(library.indexPath()));
    if (!file.open(QIODevice::WriteOnly)) {
        complain("cannot write " + library.indexPath() + ": " + file.errorString().toStdString());
        return false;
    }
    PlistWriter writer([&file](std::string_view bytes) {
        return file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
    });
    writeIndex(library, writer);
    // QSaveFile renames only on commit, so a failed run never leaves a truncated index behind.
    if (!writer.finish() || !file.commit()) {
        complain("cannot write " + library.indexPath() + ": " + file.errorString().toStdString());
        return false;
    }
    return true;
}

int run(int argc, char** argv) {
    const std::optional<Arguments> arguments = parseArguments(argc, argv);
    if (!arguments) {
        std::fputs("Try 'tessaly-sample-library --help'.\n", stderr);
        return kExitUsage;
    }
    if (arguments->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options options = arguments->options;
    const std::optional<std::string> home = resolveHome(options.home);
    if (!home) {
        return kExitUsage;
    }
    options.home = *home;

    const SampleLibrary library = planLibrary(options);
    const QString libraryFolder = QString::fromStdString(library.libraryPath);
    // The home may hold someone's real library; replacing its index must be asked for.
    if (QFileInfo::exists(QString::fromStdString(library.indexPath())) && !arguments->force) {
        complain(library.indexPath() + " already exists; pass --force to replace it");
        return kExitFailure;
    }
    if (!QDir().mkpath(libraryFolder)) {
        complain("cannot create folder " + library.libraryPath);
        return kExitFailure;
    }

    if (options.images == ImageFiles::PlainThumbnails) {
        PlainThumbnails thumbnails;
        for (const Picture& picture : library.pictures) {
            const std::string error = thumbnails.write(library, picture);
            if (!error.empty()) {
                complain(error);
                return kExitFailure;
            }
        }
    } else if (options.images == ImageFiles::Drawn) {
        // Text needs Qt's font database, which needs a GUI application; nothing is shown, so
        // run without a display unless the caller chose a platform. Qt is given only the program
        // name: our options are not its.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QGuiApplication app(qtArgc, qtArgv);
        for (std::size_t i = 0; i < library.pictures.size(); ++i) {
            const std::string error = writePictureFiles(library, library.pictures[i], i + 1);
            if (!error.empty()) {
                complain(error);
                return kExitFailure;
            }
        }
    }
    // The index goes last, so it exists only when every file it names does.
    if (!writeIndexFile(library)) {
        return kExitFailure;
    }
    const char* files = options.images == ImageFiles::Drawn ? "images included"
                        : options.images == ImageFiles::PlainThumbnails
                            ? "plain thumbnails only (--plain-thumbnails)"
                            : "index only (--no-images)";
    std::printf("Wrote %s with %d albums and %zu pictures, %s%s\n", library.indexPath().c_str(),
                library.regularAlbumCount(), library.pictures.size(), files,
                options.aspectRatios ? "" : ", no aspect ratios");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        complain(std::string("internal error: ") + error.what());
        return kExitFailure;
    }
}
