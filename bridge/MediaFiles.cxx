#include "MediaFiles.hxx"

#include "StringExtention.hxx"

#include <algorithm>
#include <array>
#include <ctime>
#include <exiv2/exiv2.hpp>

namespace tessaly::bridge {

namespace {

struct Extension {
    std::string_view name;
    ItemKind kind;
};

// What libvips reads without extra loaders, and the containers ffmpeg reads for stills.
constexpr std::array kExtensions{
    Extension{"jpg", ItemKind::Picture},  Extension{"jpeg", ItemKind::Picture},
    Extension{"jpe", ItemKind::Picture},  Extension{"png", ItemKind::Picture},
    Extension{"tif", ItemKind::Picture},  Extension{"tiff", ItemKind::Picture},
    Extension{"webp", ItemKind::Picture}, Extension{"gif", ItemKind::Picture},
    Extension{"heic", ItemKind::Picture}, Extension{"heif", ItemKind::Picture},
    Extension{"avif", ItemKind::Picture}, Extension{"mp4", ItemKind::Movie},
    Extension{"m4v", ItemKind::Movie},    Extension{"mov", ItemKind::Movie},
    Extension{"avi", ItemKind::Movie},    Extension{"mkv", ItemKind::Movie},
    Extension{"webm", ItemKind::Movie},   Extension{"mpg", ItemKind::Movie},
    Extension{"mpeg", ItemKind::Movie},   Extension{"3gp", ItemKind::Movie},
    Extension{"mts", ItemKind::Movie},    Extension{"ogv", ItemKind::Movie},
};

} // namespace

std::optional<ItemKind> kindOfFile(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) {
        return std::nullopt;
    }
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Extension& known : kExtensions) {
        if (known.name == extension) {
            return known.kind;
        }
    }
    return std::nullopt;
}

bool isIndexablePath(std::string_view path) {
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t length = NSStringExtention::utf8SequenceLength(path, at);
        if (length == 0 || static_cast<unsigned char>(path[at]) < 0x20 || path[at] == 0x7F) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string cleanText(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = NSStringExtention::utf8SequenceLength(text, at);
        const char c = text[at];
        if (length == 0) {
            clean += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        if (c == '\r') {
            // A Windows line end is one line feed; a lone carriage return is one too.
            if (at + 1 >= text.size() || text[at + 1] != '\n') {
                clean += '\n';
            }
        } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            clean += ' ';
        } else {
            clean.append(text.substr(at, length));
        }
        at += length;
    }
    return clean;
}

std::string titleFromPath(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    // A name that is all extension (".jpg") keeps it, so the title is never empty.
    if (dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return cleanText(name);
}

std::string embeddedDescription(const std::string& path) {
    // Exiv2 writes its warnings about odd files to standard error; one log line per skipped file
    // is ours to write. Its XMP parser must be set up once before threads use it.
    static const bool initialized = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
        return true;
    }();
    (void)initialized;
    try {
        auto image = Exiv2::ImageFactory::open(path);
        if (image.get() == nullptr) {
            return {};
        }
        image->readMetadata();
        const Exiv2::XmpData& xmp = image->xmpData();
        const auto xmpDescription = xmp.findKey(Exiv2::XmpKey("Xmp.dc.description"));
        if (xmpDescription != xmp.end()) {
            std::string text = xmpDescription->toString(0);
            // A language alternative reads as 'lang="x-default" text'.
            if (text.rfind("lang=", 0) == 0) {
                const std::size_t space = text.find(' ');
                text = space == std::string::npos ? std::string() : text.substr(space + 1);
            }
            if (!text.empty()) {
                return cleanText(text);
            }
        }
        const Exiv2::ExifData& exif = image->exifData();
        const auto exifDescription = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageDescription"));
        if (exifDescription != exif.end()) {
            std::string text = exifDescription->toString();
            // Cameras fill the field with spaces when nobody wrote one.
            const std::size_t last = text.find_last_not_of(" \t\n");
            return last == std::string::npos ? std::string() : cleanText(text.substr(0, last + 1));
        }
    } catch (const std::exception&) {
        // A file whose metadata cannot be read has no description; its picture is still shown.
    }
    return {};
}

std::string dayName(std::int64_t time) {
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm local{};
    if (!::localtime_r(&seconds, &local)) {
        return {};
    }
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%a %b %-d, %Y", &local);
    return cleanText(std::string_view(text, length));
}

} // namespace tessaly::bridge
