#include "ShotwellSource.hxx"

#include "MediaFiles.hxx"
#include "SqliteDatabase.hxx"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <unordered_map>

namespace tessaly::bridge {

namespace {

// Hidden, in the trash, offline.
constexpr int kLeftOutFlags = 0x1 | 0x4 | 0x8;
constexpr int kRejected = -1;

// Both tables answer the same columns, so one loop reads them. A picture without a time taken
// falls back on its file's time, as Shotwell sorts it.
constexpr char kPhotos[] =
    "SELECT id, filename, title, comment, COALESCE(NULLIF(exposure_time, 0), timestamp, 0), "
    "rating, event_id, flags FROM PhotoTable";
constexpr char kVideos[] =
    "SELECT id, filename, title, comment, COALESCE(NULLIF(exposure_time, 0), timestamp, 0), "
    "rating, event_id, flags FROM VideoTable";

struct Row {
    SnapshotItem item;
    std::int64_t event = -1;
};

// Shotwell names items in a tag's list as "thumb" or "video-" followed by 16 hex digits.
std::optional<std::pair<ItemKind, std::int64_t>> parseSourceId(std::string_view text) {
    ItemKind kind = ItemKind::Picture;
    if (text.rfind("thumb", 0) == 0) {
        text.remove_prefix(5);
    } else if (text.rfind("video-", 0) == 0) {
        text.remove_prefix(6);
        kind = ItemKind::Movie;
    } else {
        return std::nullopt;
    }
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id, 16);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return std::pair{kind, id};
}

bool earlier(const SnapshotItem& a, const SnapshotItem& b) {
    return a.time != b.time ? a.time < b.time : a.file < b.file;
}

} // namespace

ShotwellSource::ShotwellSource(std::string databasePath) : path_(std::move(databasePath)) {}

std::string ShotwellSource::defaultDatabase(const std::string& home) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string base = data && *data == '/' ? data : home + "/.local/share";
    return base + "/shotwell/data/photo.db";
}

std::string ShotwellSource::stamp() const { return databaseStamp(path_); }

SnapshotResult ShotwellSource::read() {
    SqliteDatabase db(path_, cancelFlag());
    if (!db.beginSnapshot()) {
        return {std::nullopt, db.error()};
    }
    if (std::string wrong = db.checkSchema("SELECT schema_version FROM VersionTable ORDER BY id",
                                           "Shotwell", kOldestSchema, kNewestSchema);
        !wrong.empty()) {
        return {std::nullopt, std::move(wrong)};
    }

    // Every visible item, by kind and id, so that tags can name them.
    std::map<std::pair<ItemKind, std::int64_t>, Row> rows;
    for (const auto& [sql, kind] :
         {std::pair{kPhotos, ItemKind::Picture}, std::pair{kVideos, ItemKind::Movie}}) {
        SqliteDatabase::Query query(db, sql);
        while (query.next()) {
            const std::int64_t flags = query.integer(7);
            const std::optional<std::int64_t> rating = query.optionalInteger(5);
            if ((flags & kLeftOutFlags) != 0 || rating == kRejected) {
                continue;
            }
            Row row;
            row.item.file = query.text(1);
            row.item.kind = kind;
            row.item.title = cleanText(query.text(2));
            if (row.item.title.empty()) {
                row.item.title = titleFromPath(row.item.file);
            }
            row.item.comment = cleanText(query.text(3));
            row.item.time = query.integer(4);
            if (rating) {
                row.item.rating = static_cast<int>(*rating);
            }
            row.event = query.optionalInteger(6).value_or(-1);
            rows.emplace(std::pair{kind, query.integer(0)}, std::move(row));
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }

    struct Event {
        std::string name;
        std::string comment;
        std::vector<SnapshotItem> items;
    };
    std::unordered_map<std::int64_t, Event> events;
    {
        SqliteDatabase::Query query(db, "SELECT id, name, comment FROM EventTable");
        while (query.next()) {
            events[query.integer(0)] =
                Event{cleanText(query.text(1)), cleanText(query.text(2)), {}};
        }
        if (!query.ok()) {
            return {std::nullopt, db.error()};
        }
    }
    // Items outside any event are shown by Shotwell under "No Event"; they get that album last.
    Event noEvent{"No Event", {}, {}};
    for (const auto& [id, row] : rows) {
        auto found = events.find(row.event);
        (found == events.end() ? noEvent : found->second).items.push_back(row.item);
    }

    LibrarySnapshot snapshot;
    std::vector<Event*> ordered;
    for (auto& [id, event] : events) {
        if (!event.items.empty()) {
            std::sort(event.items.begin(), event.items.end(), earlier);
            ordered.push_back(&event);
        }
    }
    // Oldest event first, as a reader goes through the years.
    std::sort(ordered.begin(), ordered.end(),
              [](const Event* a, const Event* b) { return earlier(a->items[0], b->items[0]); });
    if (!noEvent.items.empty()) {
        std::sort(noEvent.items.begin(), noEvent.items.end(), earlier);
        ordered.push_back(&noEvent);
    }
    for (Event* event : ordered) {
        std::string name = event->name.empty() ? dayName(event->items[0].time) : event->name;
        snapshot.albums.push_back({std::move(name), event->comment, std::move(event->items)});
    }

    // Tags after the events, in name order; a nested tag is shown by its path.
    SqliteDatabase::Query tags(db, "SELECT name, photo_id_list FROM TagTable ORDER BY name");
    while (tags.next()) {
        std::string name = cleanText(tags.text(0));
        if (name.size() > 1 && name.front() == '/') {
            name.erase(0, 1);
        }
        SnapshotAlbum album{std::move(name), {}, {}};
        const std::string list = tags.text(1);
        for (std::size_t at = 0; at < list.size();) {
            std::size_t comma = list.find(',', at);
            if (comma == std::string::npos) {
                comma = list.size();
            }
            if (const auto id = parseSourceId(std::string_view(list).substr(at, comma - at))) {
                if (auto found = rows.find(*id); found != rows.end()) {
                    album.items.push_back(found->second.item);
                }
            }
            at = comma + 1;
        }
        if (!album.items.empty()) {
            std::sort(album.items.begin(), album.items.end(), earlier);
            snapshot.albums.push_back(std::move(album));
        }
    }
    if (!tags.ok()) {
        return {std::nullopt, db.error()};
    }
    db.endSnapshot();
    return {std::move(snapshot), {}};
}

} // namespace tessaly::bridge
