#include "platform/host/RegistryStore.h"

#include <chrono>
#include <thread>

#include "platform/host/HostFolder.h"

namespace platform {

namespace {

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " uname TEXT NOT NULL, sd BLOB, written INTEGER NOT NULL DEFAULT 0, UNIQUE(parent, uname));"
    "CREATE TABLE IF NOT EXISTS vals(seq INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " uname TEXT NOT NULL, type INTEGER NOT NULL, data BLOB, UNIQUE(key, uname));";

void Exec(sqlite3* db, const char* sql) { SqliteExecute(db, sql, RegistryStoreFailure); }

// Switching the journal mode does not wait on the busy handler while another
// process is creating the same new file, so it is retried here.
void UseWriteAheadLog(sqlite3* db) {
    for (int attempt = 0;; ++attempt) {
        const int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return;
        if ((rc & 0xFF) != SQLITE_BUSY || attempt >= 1200)
            throw RegistryStoreError{RegistryStoreError::Fault::IoFailed};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The base keys are written in the same transaction as the tables, after
// the switch to the write-ahead log.
// A file that is no store is left to the full preparation, which says what failed.
bool StorePrepared(SqliteStatementCache& statements, sqlite3* db) {
    try {
        RegistryStatement tables(statements, db,
                                 "SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name IN ('keys','vals')");
        if (!tables.Step() || tables.Int(0) != 2) return false;
        RegistryStatement roots(statements, db, "SELECT COUNT(*) FROM keys WHERE parent=0");
        return roots.Step() && roots.Int(0) >= 3;
    } catch (const RegistryStoreError&) {
        return false;
    }
}

}  // namespace

std::filesystem::path RegistryStoreFile() { return HostFolder() / "registry.db"; }

void RegistryStoreFailure(sqlite3*, SqliteCall call, const char*) {
    throw RegistryStoreError{call == SqliteCall::Prepare ? RegistryStoreError::Fault::Damaged
                                                         : RegistryStoreError::Fault::IoFailed};
}

sqlite3* OpenRegistryConnection(const std::filesystem::path& file, SqliteStatementCache& statements,
                                AddBaseKeys addBaseKeys) {
    std::filesystem::create_directories(file.parent_path());
    MakeStorePrivate(file);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw RegistryStoreError{RegistryStoreError::Fault::CannotOpen};
    }
    sqlite3_busy_timeout(db, 60000);
    // A short-lived tool closing the last connection leaves the log to the
    // store's own checkpoints instead of copying it back and syncing at exit.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    try {
        // A store made before is used as it is: its log mode, tables and base keys are there.
        if (!StorePrepared(statements, db)) {
            UseWriteAheadLog(db);
            RegistryStoreChange change(statements, db);
            Exec(db, kSchema);
            addBaseKeys(db);
            change.Commit();
        }
        Exec(db, "PRAGMA synchronous=NORMAL");
    } catch (...) {
        CloseRegistryConnection(db, statements);
        throw;
    }
    return db;
}

void CloseRegistryConnection(sqlite3* db, SqliteStatementCache& statements) {
    statements.Finalize(db);
    sqlite3_close(db);
}

RegistryStoreChange::RegistryStoreChange(SqliteStatementCache& statements, sqlite3* db)
    : statements_(statements), db_(db), nested_(sqlite3_get_autocommit(db) == 0) {
    RegistryStatement(statements_, db_, nested_ ? "SAVEPOINT change" : "BEGIN IMMEDIATE").Step();
}

RegistryStoreChange::~RegistryStoreChange() {
    if (done_) return;
    sqlite3_exec(db_, nested_ ? "ROLLBACK TO change; RELEASE change" : "ROLLBACK", nullptr, nullptr, nullptr);
}

void RegistryStoreChange::Commit() {
    RegistryStatement(statements_, db_, nested_ ? "RELEASE change" : "COMMIT").Step();
    done_ = true;
}

}  // namespace platform
