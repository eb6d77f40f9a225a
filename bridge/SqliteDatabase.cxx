#include "SqliteDatabase.hxx"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tessaly::bridge {

namespace {

// Long enough to wait out the application's own short write transactions, looking in between
// whether the wait is still wanted.
constexpr int kBusyMilliseconds = 3000;
constexpr int kBusyStepMilliseconds = 20;

// A file name as an SQLite URI path: every byte but the plain ones percent-encoded, so that "?",
// "#" and "%" in a folder's name cannot be read as parameters.
std::string uriFor(const std::string& path, std::string_view parameters) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || std::strchr("/-._~", c) != nullptr) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    uri += '?';
    uri += parameters;
    return uri;
}

bool hasUnreadLog(const std::string& path) {
    struct stat info {};
    return ::stat((path + "-wal").c_str(), &info) == 0 && info.st_size > 0;
}

bool isReadOnlyRefusal(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY;
}

} // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, const std::atomic<bool>* cancel)
    : path_(path), cancel_(cancel) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error_ = "The database " + path + " cannot be found (" + std::strerror(errno) + ").";
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        error_ = "The database " + path + " is not a file.";
        return;
    }
    if (!open(uriFor(path, "mode=ro"))) {
        return;
    }
    // The first read is where a write-ahead-log database fails without its shared memory.
    const int code =
        sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
        return;
    }
    if (isReadOnlyRefusal(code) && !hasUnreadLog(path)) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        if (open(uriFor(path, "mode=ro&immutable=1")) &&
            sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
                SQLITE_OK) {
            return;
        }
    }
    fail("cannot be read");
}

SqliteDatabase::~SqliteDatabase() {
    if (db_) {
        sqlite3_close_v2(db_);
    }
}

bool SqliteDatabase::open(const std::string& uri) {
    const int code = sqlite3_open_v2(
        uri.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        fail("cannot be opened");
        return false;
    }
    sqlite3_busy_handler(db_, &SqliteDatabase::waitWhileLocked, this);
    return true;
}

int SqliteDatabase::waitWhileLocked(void* self, int tries) {
    const auto* database = static_cast<const SqliteDatabase*>(self);
    if ((database->cancel_ && database->cancel_->load()) ||
        tries * kBusyStepMilliseconds >= kBusyMilliseconds) {
        return 0;
    }
    sqlite3_sleep(kBusyStepMilliseconds);
    return 1;
}

void SqliteDatabase::fail(std::string_view what) {
    const int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN;
    const int primary = code & 0xFF;
    error_ = "The database " + path_ + " " + std::string(what);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        error_ += ": another program holds it locked.";
    } else if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
        error_ += ": it is not a readable SQLite database.";
    } else {
        error_ += std::string(": ") + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code)) + ".";
    }
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

bool SqliteDatabase::beginSnapshot() {
    if (!db_) {
        return false;
    }
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail("cannot be read");
        return false;
    }
    return true;
}

void SqliteDatabase::endSnapshot() {
    if (db_) {
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    }
}

std::string SqliteDatabase::checkSchema(const char* sql, std::string_view application, int oldest,
                                        int newest) {
    std::optional<std::int64_t> version;
    {
        Query query(*this, sql);
        if (query.next()) {
            version = query.integer(0);
        }
    }
    const std::string name(application);
    if (!version) {
        return "The file " + path_ + " is not a " + name + " database.";
    }
    if (*version < oldest || *version > newest) {
        return "The " + name + " database " + path_ + " has schema version " +
               std::to_string(*version) + ", which this version does not know (" +
               std::to_string(oldest) + " to " + std::to_string(newest) + ").";
    }
    return {};
}

SqliteDatabase::Query::Query(SqliteDatabase& db, const char* sql) : db_(db) {
    if (!db.db_ || sqlite3_prepare_v2(db.db_, sql, -1, &statement_, nullptr) != SQLITE_OK) {
        statement_ = nullptr;
        if (db.db_ && db.error_.empty()) {
            db.error_ =
                "The database " + db.path_ + " cannot be read: " + sqlite3_errmsg(db.db_) + ".";
        }
    }
}

SqliteDatabase::Query::~Query() { sqlite3_finalize(statement_); }

void SqliteDatabase::Query::bind(int index, std::int64_t value) {
    if (statement_) {
        sqlite3_reset(statement_);
        sqlite3_bind_int64(statement_, index, value);
    }
}

bool SqliteDatabase::Query::next() {
    if (!ok()) {
        return false;
    }
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code != SQLITE_DONE) {
        failed_ = true;
        if (db_.error_.empty()) {
            db_.error_ =
                "The database " + db_.path_ + " cannot be read: " + sqlite3_errmsg(db_.db_) + ".";
        }
    }
    return false;
}

std::int64_t SqliteDatabase::Query::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::optional<std::int64_t> SqliteDatabase::Query::optionalInteger(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int64(statement_, column);
}

double SqliteDatabase::Query::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::string SqliteDatabase::Query::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    if (!bytes) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

std::string databaseStamp(const std::string& path) {
    std::string stamp;
    for (const std::string& file : {path, path + "-wal"}) {
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0) {
            stamp += std::to_string(info.st_mtim.tv_sec) + "." +
                     std::to_string(info.st_mtim.tv_nsec) + ":" + std::to_string(info.st_size);
        }
        stamp += ';';
    }
    return stamp;
}

} // namespace tessaly::bridge
