// A photo application's SQLite database, opened so that nothing of it is ever written.
//
// The application may be running and writing while we read. The file is opened read-only
// ("mode=ro") and every read happens in one transaction, so a snapshot is consistent. A
// write-ahead-log database that no program has open may have no shared-memory file, which a
// read-only connection cannot create: it is then opened "immutable", which is safe exactly
// because no writer is there (no log file holds unread changes).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace tessaly::bridge {

class SqliteDatabase {
public:
    // Opens the file. On failure `error()` says why, naming the file, and the object holds none.
    // While the application holds the file locked, reads wait a little for it, but not once
    // `cancel` is raised.
    explicit SqliteDatabase(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    const std::string& error() const { return error_; }

    // Starts and ends the read transaction that holds one snapshot. False with `error()` set.
    bool beginSnapshot();
    void endSnapshot();

    // Reads the application's schema version with `sql` (one integer) and checks it lies within
    // the versions a reader knows. The message when it does not, naming the application and file;
    // empty when it does.
    std::string checkSchema(const char* sql, std::string_view application, int oldest, int newest);

    class Query {
    public:
        Query(SqliteDatabase& db, const char* sql);
        ~Query();
        Query(const Query&) = delete;
        Query& operator=(const Query&) = delete;

        bool ok() const { return statement_ != nullptr && !failed_; }
        void bind(int index, std::int64_t value);
        // Steps to the next row; false at the end or on an error (then `ok()` is false).
        bool next();
        std::int64_t integer(int column) const;
        std::optional<std::int64_t> optionalInteger(int column) const;
        double real(int column) const;
        // The column as text; a NULL reads as empty.
        std::string text(int column) const;

    private:
        SqliteDatabase& db_;
        sqlite3_stmt* statement_ = nullptr;
        bool failed_ = false;
    };

private:
    bool open(const std::string& uri);
    void fail(std::string_view what);
    static int waitWhileLocked(void* self, int tries);

    std::string path_;
    const std::atomic<bool>* cancel_ = nullptr;
    sqlite3* db_ = nullptr;
    std::string error_;
};

// The modification time and size of the database and of its write-ahead log, as one text: a
// change in either means the application wrote.
std::string databaseStamp(const std::string& path);

} // namespace tessaly::bridge
