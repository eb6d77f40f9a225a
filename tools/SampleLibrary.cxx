#include "SampleLibrary.hxx"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace tessaly::sample {

namespace {

// SplitMix64: fully specified, so a seed gives the same library with any compiler and library
// (the standard distributions are not specified bit for bit).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform enough for a sample; n > 0.
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    bool oneIn(std::uint32_t n) { return below(n) == 0; }

private:
    std::uint64_t state_;
};

constexpr std::int64_t kDay = 86'400;
// Ids from here on belong to the application's own albums.
constexpr std::int64_t kLibraryAlbumId = 999'000;
// Pictures are dated from 2004-01-01 to 2006-12-31; day 0 is 2001-01-01, the reference date of
// the index's time intervals.
constexpr std::int64_t kFirstDay = 3 * 365;
constexpr std::int64_t kSpanDays = 366 + 365 + 365;
constexpr std::uint32_t kMinRollSize = 5;
constexpr std::uint32_t kRollSizeRange = 16;

// The first pictures have one shape each, so that even a small library shows every layout case.
const std::array<float, 5> kFirstRatios = {4.0f / 3.0f, 0.75f, 1.5f, 1.0f, 2.0f / 3.0f};
// Later ones are drawn from what cameras produce, mostly landscape.
const std::array<float, 9> kRatios = {4.0f / 3.0f, 4.0f / 3.0f, 4.0f / 3.0f, 1.5f,       1.5f,
                                      0.75f,       0.75f,       1.0f,        2.0f / 3.0f};

// Texts a publisher must escape or carry as UTF-8, on the first pictures so every library has
// them. A null comment leaves the Comment key out, so a reader meets the key missing as well as
// empty.
struct NotablePicture {
    const char* caption;
    const char* comment;
};
constexpr std::array<NotablePicture, 3> kNotable = {{
    {"Café & <Friends>", "Ünïcödé: naïve façade & \"quotes\" > 'apostrophes'"},
    {"夏の海", "海辺で <花火> & かき氷"},
    {"Quiet morning", nullptr},
}};
// The movie comes right after them, or is the last picture of a smaller library.
constexpr std::size_t kMovieIndex = kNotable.size();

constexpr std::array<std::string_view, 6> kComments = {
    "Sunset from the pier", "Tom & Anna <3",     "Zoë's first steps",
    "Copies for Mum > Dad", "Grüße aus München", "Rain, rain, rain",
};

constexpr std::array<std::string_view, 16> kAlbumNames = {
    "Summer 2006",
    "Ski trip",
    "Café & Croissants",
    "Grandma's 80th birthday",
    "京都 2005",
    "Road trip <Route 66>",
    "Garden",
    "Pets",
    "Wedding",
    "Beach days",
    "Winter walks",
    "Family",
    "Concert night",
    "Hiking",
    "Christmas",
    "Été à Paris",
};

constexpr std::array<std::string_view, 3> kAlbumComments = {
    "Photos from the coast & the hills",
    "The whole family <and the dog>",
    "Ein schöner Tag am Meer",
};

std::string folderOf(std::int64_t date) {
    using namespace std::chrono;
    const year_month_day day{sys_days{year{2001} / January / 1} + days{date / kDay}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

std::string numbered(const char* prefix, std::size_t number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s_%04zu", prefix, number);
    return text;
}

Picture makePicture(std::size_t index, std::size_t count, std::int64_t key, std::int64_t roll,
                    std::int64_t date, Random& rng) {
    Picture picture;
    picture.key = key;
    picture.roll = roll;
    picture.date = date;
    picture.folder = folderOf(date);
    picture.movie = index == std::min(kMovieIndex, count - 1);
    picture.aspectRatio =
        index < kFirstRatios.size() ? kFirstRatios[index] : kRatios[rng.below(kRatios.size())];
    if (index < kNotable.size()) {
        picture.caption = kNotable[index].caption;
        if (kNotable[index].comment) {
            picture.comment = kNotable[index].comment;
        }
    } else {
        // The application names a picture after its file until someone gives it a title.
        picture.caption = numbered(picture.movie ? "MVI" : "IMG", 1000 + index);
        picture.comment =
            rng.oneIn(4) ? std::string(kComments[rng.below(kComments.size())]) : std::string();
    }
    picture.rating = static_cast<int>(rng.below(6));
    picture.modDate = rng.oneIn(8) ? date + (1 + rng.below(30)) * kDay : date;
    // Metadata changes are stamped to the microsecond; build the value from whole microseconds
    // so it prints as the application prints it, not with a binary tail.
    const std::int64_t metaSeconds = date + rng.below(4) * kDay + rng.below(7200);
    picture.metaModDate = static_cast<double>(metaSeconds * 1'000'000 + rng.below(1'000'000)) / 1e6;
    picture.hue = static_cast<int>(rng.below(360));
    return picture;
}

void planRollsAndPictures(SampleLibrary& library, const Options& options, Random& rng,
                          std::int64_t& nextId) {
    const auto count = static_cast<std::size_t>(options.pictures);
    std::vector<std::size_t> sizes;
    for (std::size_t left = count; left > 0;) {
        const std::size_t size =
            std::min<std::size_t>(left, kMinRollSize + rng.below(kRollSizeRange));
        sizes.push_back(size);
        left -= size;
    }
    // Rolls are spread evenly over the span, each on a day of its stretch, so dates only grow.
    const auto rollCount = static_cast<std::int64_t>(sizes.size());
    const auto stretch =
        static_cast<std::uint32_t>(std::max<std::int64_t>(1, kSpanDays / rollCount));
    library.pictures.reserve(count);
    library.rolls.reserve(sizes.size());
    for (std::int64_t r = 0; r < rollCount; ++r) {
        Roll roll;
        roll.id = nextId++;
        roll.name = "Roll " + std::to_string(r + 1);
        roll.first = library.pictures.size();
        roll.count = sizes[static_cast<std::size_t>(r)];
        const std::int64_t day = kFirstDay + r * kSpanDays / rollCount + rng.below(stretch);
        // An afternoon of shooting, starting between 08:00 and 18:00.
        std::int64_t date = day * kDay + 8 * 3600 + rng.below(600) * 60;
        for (std::size_t i = 0; i < roll.count; ++i) {
            const std::size_t index = library.pictures.size();
            library.pictures.push_back(makePicture(index, count, nextId++, roll.id, date, rng));
            date += 20 + rng.below(600);
        }
        library.rolls.push_back(std::move(roll));
    }
}

// Each regular album holds a stretch of consecutive pictures, like a trip, and a quarter of the
// pictures also go to a second album. Albums stay empty only when there are more albums than
// pictures.
std::vector<Album> planRegularAlbums(const SampleLibrary& library, int albumCount, Random& rng) {
    std::vector<Album> albums(static_cast<std::size_t>(albumCount));
    for (std::size_t j = 0; j < albums.size(); ++j) {
        Album& album = albums[j];
        album.kind = AlbumKind::Regular;
        album.name = kAlbumNames[j % kAlbumNames.size()];
        if (const std::size_t round = j / kAlbumNames.size(); round > 0) {
            album.name += " (" + std::to_string(round + 1) + ")";
        }
        if (j % 3 == 0) {
            album.comments = kAlbumComments[(j / 3) % kAlbumComments.size()];
        }
    }
    if (albums.empty()) {
        return albums;
    }
    const std::size_t count = library.pictures.size();
    const std::size_t n = albums.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t home = i * n / count;
        albums[home].pictures.push_back(static_cast<std::uint32_t>(i));
        // The first picture is always shared, so every library has one in two albums.
        std::size_t other = home;
        if (i == 0) {
            other = (home + 1) % n;
        } else if (rng.oneIn(4)) {
            other = rng.below(static_cast<std::uint32_t>(n));
        }
        if (other != home) {
            albums[other].pictures.push_back(static_cast<std::uint32_t>(i));
        }
    }
    return albums;
}

void planAlbums(SampleLibrary& library, const Options& options, Random& rng, std::int64_t& nextId) {
    const std::size_t count = library.pictures.size();

    Album whole{AlbumKind::Library, kLibraryAlbumId, "Library", std::nullopt, {}};
    whole.pictures.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        whole.pictures[i] = static_cast<std::uint32_t>(i);
    }
    library.albums.push_back(std::move(whole));

    Album lastRoll{AlbumKind::SpecialRoll, kLibraryAlbumId + 1, "Last Roll", std::nullopt, {}};
    const Roll& last = library.rolls.back();
    for (std::size_t i = last.first; i < last.first + last.count; ++i) {
        lastRoll.pictures.push_back(static_cast<std::uint32_t>(i));
    }
    library.albums.push_back(std::move(lastRoll));

    Album lastYear{
        AlbumKind::SpecialMonth, kLibraryAlbumId + 2, "Last 12 Months", std::nullopt, {}};
    const std::int64_t since = library.pictures.back().date - 365 * kDay;
    for (std::size_t i = 0; i < count; ++i) {
        if (library.pictures[i].date >= since) {
            lastYear.pictures.push_back(static_cast<std::uint32_t>(i));
        }
    }
    library.albums.push_back(std::move(lastYear));

    // Smart albums, books and slide shows sit among the regular albums in the user's order, so a
    // publisher that lists only regular albums meets gaps in their positions. One follows every
    // fourth regular album, as long as another regular album comes after it.
    std::vector<Album> regular = planRegularAlbums(library, options.albums, rng);
    std::size_t extras = 0;
    for (std::size_t j = 0; j < regular.size(); ++j) {
        library.albums.push_back(regular[j]);
        if (j % 4 != 0 || j + 1 == regular.size()) {
            continue;
        }
        Album extra;
        if (extras == 0) {
            extra.kind = AlbumKind::Smart;
            extra.name = "Five stars";
            for (std::size_t i = 0; i < count; ++i) {
                if (library.pictures[i].rating == 5) {
                    extra.pictures.push_back(static_cast<std::uint32_t>(i));
                }
            }
        } else {
            const bool book = extras % 2 == 1;
            extra.kind = book ? AlbumKind::Book : AlbumKind::Slideshow;
            extra.name = regular[j].name + (book ? " (Book)" : " (Slideshow)");
            for (std::size_t k = 0; k < regular[j].pictures.size(); k += 2) {
                extra.pictures.push_back(regular[j].pictures[k]);
            }
        }
        library.albums.push_back(std::move(extra));
        ++extras;
    }
    for (std::size_t a = 3; a < library.albums.size(); ++a) {
        library.albums[a].id = nextId++;
    }
}

const char* albumType(AlbumKind kind) {
    switch (kind) {
    case AlbumKind::Library:
        return nullptr;
    case AlbumKind::SpecialRoll:
        return "Special Roll";
    case AlbumKind::SpecialMonth:
        return "Special Month";
    case AlbumKind::Regular:
        return "Regular";
    case AlbumKind::Smart:
        return "Smart";
    case AlbumKind::Book:
        return "Book";
    case AlbumKind::Slideshow:
        return "Slideshow";
    }
    return nullptr;
}

class KeyText {
public:
    explicit KeyText(std::int64_t key) {
        end_ = std::to_chars(text_, text_ + sizeof text_, key).ptr;
    }
    std::string_view view() const { return {text_, static_cast<std::size_t>(end_ - text_)}; }

private:
    char text_[24];
    char* end_;
};

template <typename Indices>
void writeKeyList(const SampleLibrary& library, const Indices& indices, PlistWriter& writer) {
    writer.key("KeyList");
    writer.beginArray();
    for (const auto index : indices) {
        writer.string(KeyText(library.pictures[index].key).view());
    }
    writer.endArray();
}

// Every album of the application carries its slide-show settings.
void writeSlideShowSettings(PlistWriter& writer) {
    writer.key("PlayMusic");
    writer.string("YES");
    writer.key("RepeatSlideShow");
    writer.string("YES");
    writer.key("SecondsPerSlide");
    writer.integer(3);
    writer.key("SlideShowUseTitles");
    writer.boolean(false);
    writer.key("SongPath");
    writer.string("");
    writer.key("TransitionDirection");
    writer.integer(0);
    writer.key("TransitionName");
    writer.string("Dissolve");
    writer.key("TransitionSpeed");
    writer.real(1.0);
}

void writeFilters(AlbumKind kind, PlistWriter& writer) {
    writer.key("Filter Mode");
    writer.string("All");
    writer.key("Filters");
    writer.beginArray();
    if (kind == AlbumKind::SpecialRoll) {
        writer.beginDict();
        writer.key("Count");
        writer.integer(1);
        writer.key("Operation");
        writer.string("In Last");
        writer.key("Type");
        writer.string("Roll");
        writer.endDict();
    } else if (kind == AlbumKind::Smart) {
        writer.beginDict();
        writer.key("Operation");
        writer.string("Is");
        writer.key("Type");
        writer.string("Rating");
        writer.key("Value");
        writer.integer(5);
        writer.endDict();
    }
    writer.endArray();
}

void writeAlbum(const SampleLibrary& library, const Album& album, PlistWriter& writer) {
    writer.beginDict();
    if (const char* type = albumType(album.kind)) {
        writer.key("Album Type");
        writer.string(type);
    }
    writer.key("AlbumId");
    writer.integer(album.id);
    writer.key("AlbumName");
    writer.string(album.name);
    if (album.comments) {
        writer.key("Comments");
        writer.string(*album.comments);
    }
    if (album.kind == AlbumKind::SpecialRoll || album.kind == AlbumKind::SpecialMonth ||
        album.kind == AlbumKind::Smart) {
        writeFilters(album.kind, writer);
    }
    writeKeyList(library, album.pictures, writer);
    if (album.kind == AlbumKind::Library) {
        writer.key("Master");
        writer.boolean(true);
    }
    writer.key("PhotoCount");
    writer.integer(static_cast<std::int64_t>(album.pictures.size()));
    writeSlideShowSettings(writer);
    writer.endDict();
}

void writeRoll(const SampleLibrary& library, const Roll& roll, PlistWriter& writer) {
    writer.beginDict();
    writer.key("Album Type");
    writer.string("Regular");
    writer.key("AlbumId");
    writer.integer(roll.id);
    writer.key("AlbumName");
    writer.string(roll.name);
    std::vector<std::size_t> indices(roll.count);
    for (std::size_t i = 0; i < roll.count; ++i) {
        indices[i] = roll.first + i;
    }
    writeKeyList(library, indices, writer);
    writer.key("Parent");
    writer.integer(kLibraryAlbumId);
    writer.key("PhotoCount");
    writer.integer(static_cast<std::int64_t>(roll.count));
    writer.endDict();
}

void writePicture(const SampleLibrary& library, const Picture& picture, PlistWriter& writer) {
    writer.beginDict();
    if (library.aspectRatios) {
        writer.key("Aspect Ratio");
        writer.real(picture.aspectRatio);
    }
    writer.key("Caption");
    writer.string(picture.caption);
    if (picture.comment) {
        writer.key("Comment");
        writer.string(*picture.comment);
    }
    writer.key("DateAsTimerInterval");
    writer.real(static_cast<double>(picture.date));
    writer.key("ImagePath");
    writer.string(library.imagePath(picture));
    writer.key("MediaType");
    writer.string(picture.movie ? "Movie" : "Image");
    writer.key("MetaModDateAsTimerInterval");
    writer.real(picture.metaModDate);
    writer.key("ModDateAsTimerInterval");
    writer.real(static_cast<double>(picture.modDate));
    writer.key("Rating");
    writer.integer(picture.rating);
    writer.key("Roll");
    writer.integer(picture.roll);
    writer.key("ThumbPath");
    writer.string(library.thumbPath(picture));
    writer.endDict();
}

} // namespace

std::string SampleLibrary::imagePath(const Picture& picture) const {
    return libraryPath + '/' + picture.folder + '/' + std::string(KeyText(picture.key).view()) +
           (picture.movie ? ".mov" : ".jpg");
}

std::string SampleLibrary::thumbPath(const Picture& picture) const {
    return libraryPath + '/' + picture.folder + "/Thumbs/" +
           std::string(KeyText(picture.key).view()) + ".jpg";
}

int SampleLibrary::regularAlbumCount() const {
    return static_cast<int>(std::count_if(albums.begin(), albums.end(), [](const Album& album) {
        return album.kind == AlbumKind::Regular;
    }));
}

SampleLibrary planLibrary(const Options& options) {
    if (options.pictures < 1 || options.pictures > kMaxPictures || options.albums < 0 ||
        options.albums > kMaxAlbums) {
        throw std::invalid_argument("sample library size out of range");
    }
    SampleLibrary library;
    library.libraryPath = options.home + "/Sites/iPhoto Library";
    library.aspectRatios = options.aspectRatios;
    Random rng(options.seed);
    // Rolls, pictures and albums draw from one sequence, as in the application's libraries.
    std::int64_t nextId = 1;
    planRollsAndPictures(library, options, rng, nextId);
    planAlbums(library, options, rng, nextId);
    return library;
}

void writeIndex(const SampleLibrary& library, PlistWriter& writer) {
    writer.beginDict();
    writer.key("Application Version");
    writer.string("5.0.4 (263)");
    writer.key("Archive Path");
    writer.string(library.libraryPath);

    writer.key("List of Albums");
    writer.beginArray();
    for (const Album& album : library.albums) {
        writeAlbum(library, album, writer);
    }
    writer.endArray();

    writer.key("List of Keywords");
    writer.beginDict();
    writer.endDict();

    writer.key("List of Rolls");
    writer.beginArray();
    for (const Roll& roll : library.rolls) {
        writeRoll(library, roll, writer);
    }
    writer.endArray();

    writer.key("Major Version");
    writer.integer(2);

    // The application writes dictionary keys in string order, so "10" comes before "7".
    writer.key("Master Image List");
    std::vector<std::pair<std::string, std::uint32_t>> order;
    order.reserve(library.pictures.size());
    for (std::size_t i = 0; i < library.pictures.size(); ++i) {
        order.emplace_back(KeyText(library.pictures[i].key).view(), static_cast<std::uint32_t>(i));
    }
    std::sort(order.begin(), order.end());
    writer.beginDict();
    for (const auto& [key, index] : order) {
        writer.key(key);
        writePicture(library, library.pictures[index], writer);
    }
    writer.endDict();

    writer.key("Minor Version");
    writer.integer(0);
    writer.endDict();
}

} // namespace tessaly::sample
