#pragma once
// The registry's store on this host: an SQLite database in the host folder
// (registry.db, WAL) of keys (name as given, upper-cased name for lookups,
// security descriptor, time written) and their values. This file opens and
// closes connections, lays out a new store and runs one change as one
// transaction; what the keys mean is the registry calls' business.
#include <sqlite3.h>

#include <filesystem>

#include "platform/host/SqliteStatement.h"

namespace platform {

// A store call that failed: what the registry calls report for it.
struct RegistryStoreError {
    enum class Fault { CannotOpen, Damaged, IoFailed };
    Fault fault;
};

std::filesystem::path RegistryStoreFile();

// Raises the RegistryStoreError of a failed statement: a statement the store
// cannot even prepare finds it damaged.
[[noreturn]] void RegistryStoreFailure(sqlite3* db, SqliteCall call, const char* sql);

// A statement on the store, kept prepared in the cache between uses.
class RegistryStatement : public SqliteStatement {
public:
    RegistryStatement(SqliteStatementCache& cache, sqlite3* db, const char* sql)
        : SqliteStatement(cache, db, sql, RegistryStoreFailure) {}
};

// Lays out the keys every new store has, inside the transaction that makes
// the tables.
using AddBaseKeys = void (*)(sqlite3* db);

// A connection to the store file, made when missing (private to the user).
// A store made before is used as it is; a new one gets the write-ahead log,
// the tables and its base keys in one transaction.
sqlite3* OpenRegistryConnection(const std::filesystem::path& file, SqliteStatementCache& statements,
                                AddBaseKeys addBaseKeys);
void CloseRegistryConnection(sqlite3* db, SqliteStatementCache& statements);

// One change: its own SQLite transaction, or a savepoint inside the one a
// kernel transaction holds open, so that a failed change leaves that one
// whole. Rolled back unless committed.
class RegistryStoreChange {
public:
    RegistryStoreChange(SqliteStatementCache& statements, sqlite3* db);
    ~RegistryStoreChange();
    RegistryStoreChange(const RegistryStoreChange&) = delete;
    RegistryStoreChange& operator=(const RegistryStoreChange&) = delete;
    void Commit();

private:
    SqliteStatementCache& statements_;
    sqlite3* db_;
    bool nested_;
    bool done_ = false;
};

}  // namespace platform
