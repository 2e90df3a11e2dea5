#pragma once
// One prepared SQLite statement of the host's stores (registry, event log):
// binding, stepping and reading columns, with the store's own reaction to a
// failure. Each store passes the function that turns a failed call into its
// error (a registry result code, a run-time error); it must not return.
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class SqliteCall { Prepare, Step, Execute };
using SqliteFailure = void (*)(sqlite3* db, SqliteCall call, const char* sql);

// Statements a store keeps prepared between uses, by connection and SQL:
// preparing costs far more than running the short statements of the stores.
// A statement in use is not in the cache, so the same SQL may run nested.
class SqliteStatementCache {
public:
    SqliteStatementCache() = default;
    ~SqliteStatementCache();
    SqliteStatementCache(const SqliteStatementCache&) = delete;
    SqliteStatementCache& operator=(const SqliteStatementCache&) = delete;

    // A prepared statement of the SQL on db, or nullptr when none is kept.
    sqlite3_stmt* Take(sqlite3* db, const char* sql);
    // Kept for the next use; the caller has reset it.
    void Give(sqlite3* db, const char* sql, sqlite3_stmt* statement);
    // Finalizes the statements of db: before it is closed.
    void Finalize(sqlite3* db);
    // Lets go of every statement without touching it: a connection inherited
    // over fork() must not be used in the child.
    void Abandon();

private:
    using Key = std::pair<sqlite3*, std::string>;
    std::multimap<Key, sqlite3_stmt*> idle_;
};

class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql, SqliteFailure onFailure);
    SqliteStatement(sqlite3* db, const std::string& sql, SqliteFailure onFailure)
        : SqliteStatement(db, sql.c_str(), onFailure) {}
    // Taken from the cache, or prepared; back in the cache, reset, at the end.
    SqliteStatement(SqliteStatementCache& cache, sqlite3* db, const char* sql, SqliteFailure onFailure);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& Bind(int index, const std::string& text) { return Bind(index, std::string_view(text)); }
    SqliteStatement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
    SqliteStatement& Bind(int index, const std::vector<std::uint8_t>& blob);
    SqliteStatement& BindBlob(int index, std::string_view bytes);
    // True while a row is there.
    bool Step();
    // Ready to run again, bindings cleared.
    void Reset();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    // The column's bytes whatever its type (text or blob).
    std::string Bytes(int column) const;
    std::vector<std::uint8_t> Blob(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
    SqliteFailure onFailure_;
    const char* sql_;
    SqliteStatementCache* cache_ = nullptr;

    void Prepare();
};

// Runs SQL that returns no rows; a failure goes to onFailure.
void SqliteExecute(sqlite3* db, const char* sql, SqliteFailure onFailure);

// For a process that runs a few statements and ends, such as a console tool:
// connections get no lookaside memory and no page cache laid out in advance,
// memory whose setting up would cost such a process more than it saves.
// Called before the first connection is opened; later it changes nothing.
void UseSqliteForShortProcess();

}  // namespace platform
