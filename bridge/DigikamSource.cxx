#include "DigikamSource.hxx"

#include "MediaFiles.hxx"
#include "SqliteDatabase.hxx"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

namespace tessaly::bridge {

namespace {

constexpr int kVisible = 1;
constexpr int kImageCategory = 1;
constexpr int kVideoCategory = 2;
constexpr int kCommentType = 1;
constexpr int kTitleType = 3;
// Tags digiKam keeps for itself (pick labels, colour labels, versions) hang below this one.
constexpr std::string_view kInternalTags = "_Digikam_Internal_Tags_";

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The value of `key` in `group` of a KDE configuration file, with KDE's escapes undone and, for
// a key marked "[$e]", $HOME expanded.
std::optional<std::string> configValue(const std::string& file, std::string_view group,
                                       std::string_view key) {
    std::ifstream in(file);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[') {
            inGroup = line == "[" + std::string(group) + "]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, equals);
        const bool expand = name.size() > key.size() && name.find("[$e]") != std::string::npos;
        if (const std::size_t bracket = name.find('['); bracket != std::string::npos) {
            name.erase(bracket);
        }
        while (!name.empty() && name.back() == ' ') {
            name.pop_back();
        }
        if (name != key) {
            continue;
        }
        std::string value;
        const std::string raw = line.substr(equals + 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\' || i + 1 == raw.size()) {
                value += raw[i];
                continue;
            }
            const char next = raw[++i];
            value += next == 's' ? ' ' : next == 't' ? '\t' : next == 'n' ? '\n' : next;
        }
        if (expand && value.rfind("$HOME", 0) == 0) {
            const char* home = std::getenv("HOME");
            value.replace(0, 5, home ? home : "");
        }
        return value;
    }
    return std::nullopt;
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(text[i + 1]) &&
            std::isxdigit(text[i + 2])) {
            decoded +=
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// Where the file system with this UUID is mounted, from the kernel's own table.
std::string mountPointOf(const std::string& uuid) {
    char device[PATH_MAX];
    if (!::realpath(("/dev/disk/by-uuid/" + uuid).c_str(), device)) {
        return {};
    }
    std::ifstream mounts("/proc/self/mounts");
    std::string source;
    std::string target;
    std::string rest;
    while (mounts >> source >> target && std::getline(mounts, rest)) {
        if (source == device) {
            // The table writes a space and other such bytes as three octal digits ("\040").
            std::string folder;
            for (std::size_t i = 0; i < target.size(); ++i) {
                if (target[i] == '\\' && i + 3 < target.size() + 1 && std::isdigit(target[i + 1])) {
                    folder += static_cast<char>(std::stoi(target.substr(i + 1, 3), nullptr, 8));
                    i += 3;
                } else {
                    folder += target[i];
                }
            }
            return folder;
        }
    }
    return {};
}

// The folder of an album root. digiKam names the volume by an identifier ("volumeid:?uuid=…" or
// "volumeid:?path=…") and the root's folder by a path within that volume.
std::string rootFolder(const std::string& identifier, const std::string& specificPath) {
    std::string base;
    if (const std::size_t at = identifier.find("path="); at != std::string::npos) {
        base = percentDecoded(identifier.substr(at + 5, identifier.find('&', at) - at - 5));
    } else if (const std::size_t at = identifier.find("uuid="); at != std::string::npos) {
        base = mountPointOf(identifier.substr(at + 5, identifier.find('&', at) - at - 5));
    }
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    const std::string joined = specificPath == "/" ? base : base + specificPath;
    if (!joined.empty() && isFolder(joined)) {
        return joined;
    }
    // A volume we cannot find by its identifier is most often the root file system.
    return isFolder(specificPath) ? specificPath : std::string();
}

// digiKam writes dates as "2024-05-01T12:30:00" (sometimes with milliseconds), in local time.
std::int64_t parseDate(const std::string& text) {
    std::tm local{};
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &local.tm_year, &local.tm_mon,
                    &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec) < 3) {
        return 0;
    }
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t time = std::mktime(&local);
    return time == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(time);
}

bool byTime(const SnapshotItem& a, const SnapshotItem& b) {
    return a.time != b.time ? a.time < b.time : a.file < b.file;
}

} // namespace

DigikamSource::DigikamSource(std::string configFile) : config_(std::move(configFile)) {}

std::string DigikamSource::defaultConfig(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return (config && *config == '/' ? std::string(config) : home + "/.config") + "/digikamrc";
}

DigikamSource::Database DigikamSource::findDatabase() const {
    constexpr std::string_view kGroup = "Database Settings";
    struct stat info {};
    if (::stat(config_.c_str(), &info) != 0) {
        return {{}, "digiKam's settings " + config_ + " cannot be found: has digiKam been set up?"};
    }
    const std::string type = configValue(config_, kGroup, "Database Type").value_or("QSQLITE");
    if (type != "QSQLITE") {
        return {{},
                "digiKam keeps this library in a " + type + " database (set in " + config_ +
                    "); only SQLite libraries can be published."};
    }
    const std::optional<std::string> name = configValue(config_, kGroup, "Database Name");
    if (!name || name->empty()) {
        return {{},
                "digiKam's settings " + config_ +
                    " name no database (\"Database Name\" in [Database Settings])."};
    }
    // The setting names the folder that holds digiKam's databases.
    if (name->back() == '/' || isFolder(*name)) {
        return {(name->back() == '/' ? *name : *name + "/") + "digikam4.db", {}};
    }
    return {*name, {}};
}

std::string DigikamSource::location() const {
    const Database database = findDatabase();
    return database.path.empty() ? config_ : database.path;
}

std::string DigikamSource::stamp() const {
    const Database database = findDatabase();
    return databaseStamp(config_) + databaseStamp(database.path);
}

SnapshotResult DigikamSource::read() {
    const Database database = findDatabase();
    if (database.path.empty()) {
        return {std::nullopt, database.error};
    }
    SqliteDatabase db(database.path, cancelFlag());
    if (!db.beginSnapshot()) {
        return {std::nullopt, db.error()};
    }
    if (std::string wrong = db.checkSchema("SELECT value FROM Settings WHERE keyword = 'DBVersion'",
                                           "digiKam", kOldestSchema, kNewestSchema);
        !wrong.empty()) {
        return {std::nullopt, std::move(wrong)};
    }

    std::unordered_map<std::int64_t, std::pair<std::string, std::string>> roots; // folder, label
    {
        SqliteDatabase::Query query(db,
                                    "SELECT id, label, identifier, specificPath FROM AlbumRoots");
        while (query.next()) {
            roots[query.integer(0)] = {rootFolder(query.text(2), query.text(3)),
                                       cleanText(query.text(1))};
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }

    struct Album {
        std::string folder;
        std::vector<std::string> sortKey; // root label, then the path's components
        SnapshotAlbum album;
    };
    std::unordered_map<std::int64_t, Album> albums;
    {
        SqliteDatabase::Query query(db, "SELECT id, albumRoot, relativePath, caption FROM Albums");
        while (query.next()) {
            const auto root = roots.find(query.integer(1));
            if (root == roots.end() || root->second.first.empty()) {
                continue;
            }
            const std::string relative = query.text(2);
            Album album;
            album.folder = relative == "/" ? root->second.first : root->second.first + relative;
            album.album.name =
                relative == "/" ? root->second.second : cleanText(relative.substr(1));
            album.album.comment = cleanText(query.text(3));
            album.sortKey.push_back(root->second.second);
            for (std::size_t at = 1; at < relative.size();) {
                const std::size_t slash = std::min(relative.find('/', at), relative.size());
                album.sortKey.push_back(relative.substr(at, slash - at));
                at = slash + 1;
            }
            albums.emplace(query.integer(0), std::move(album));
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }

    // Titles and comments: the default language's when there are several.
    std::unordered_map<std::int64_t, std::pair<std::string, std::string>> texts;
    {
        SqliteDatabase::Query query(
            db, "SELECT imageid, type, comment FROM ImageComments WHERE type IN (1, 3) "
                "ORDER BY language = 'x-default', id");
        while (query.next()) {
            auto& [title, comment] = texts[query.integer(0)];
            (query.integer(1) == kTitleType ? title : comment) = cleanText(query.text(2));
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }
    static_assert(kCommentType != kTitleType);

    std::unordered_map<std::int64_t, SnapshotItem> items;
    {
        SqliteDatabase::Query query(
            db, "SELECT i.id, i.album, i.name, i.category, ii.rating, ii.creationDate, "
                "i.modificationDate FROM Images i LEFT JOIN ImageInformation ii ON ii.imageid = "
                "i.id WHERE i.status = 1 AND i.category IN (1, 2) AND i.album IS NOT NULL "
                "ORDER BY i.name");
        while (query.next()) {
            const auto album = albums.find(query.integer(1));
            if (album == albums.end()) {
                continue;
            }
            SnapshotItem item;
            item.file = album->second.folder + "/" + query.text(2);
            item.kind = query.integer(3) == kVideoCategory ? ItemKind::Movie : ItemKind::Picture;
            const auto& [title, comment] = texts[query.integer(0)];
            item.title = title.empty() ? titleFromPath(item.file) : title;
            item.comment = comment;
            // digiKam writes -1 for "no rating".
            if (const auto rating = query.optionalInteger(4); rating && *rating >= 0) {
                item.rating = static_cast<int>(*rating);
            }
            item.time = parseDate(query.text(5));
            if (item.time == 0) {
                item.time = parseDate(query.text(6));
            }
            album->second.album.items.push_back(item);
            items.emplace(query.integer(0), std::move(item));
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }
    static_assert(kVisible == 1 && kImageCategory == 1 && kVideoCategory == 2,
                  "the values the query above is written with");

    LibrarySnapshot snapshot;
    std::vector<Album*> ordered;
    for (auto& [id, album] : albums) {
        if (!album.album.items.empty()) {
            ordered.push_back(&album);
        }
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const Album* a, const Album* b) { return a->sortKey < b->sortKey; });
    for (Album* album : ordered) {
        snapshot.albums.push_back(std::move(album->album));
    }

    // Tags after the albums, by their path; digiKam's own tags are left out.
    struct Tag {
        std::int64_t parent = 0;
        std::string name;
    };
    std::unordered_map<std::int64_t, Tag> tags;
    {
        SqliteDatabase::Query query(db, "SELECT id, pid, name FROM Tags");
        while (query.next()) {
            tags[query.integer(0)] = Tag{query.integer(1), cleanText(query.text(2))};
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }
    std::map<std::string, std::vector<SnapshotItem>> tagged;
    {
        SqliteDatabase::Query query(db, "SELECT imageid, tagid FROM ImageTags");
        while (query.next()) {
            const auto item = items.find(query.integer(0));
            if (item == items.end()) {
                continue;
            }
            std::string path;
            bool internal = false;
            // Bounded, since a damaged table could make the parents a loop.
            std::int64_t id = query.integer(1);
            for (int depth = 0; depth < 64 && id > 0; ++depth) {
                const auto tag = tags.find(id);
                if (tag == tags.end()) {
                    break;
                }
                internal = internal || tag->second.name == kInternalTags;
                path = path.empty() ? tag->second.name : tag->second.name + "/" + path;
                id = tag->second.parent;
            }
            if (!internal && !path.empty()) {
                tagged[path].push_back(item->second);
            }
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }
    for (auto& [name, list] : tagged) {
        std::sort(list.begin(), list.end(), byTime);
        snapshot.albums.push_back({name, {}, std::move(list)});
    }
    db.endSnapshot();
    return {std::move(snapshot), {}};
}

} // namespace tessaly::bridge
