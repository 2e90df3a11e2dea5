#include "platform/host/RegistryStore.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "platform/host/HostFolder.h"
#include "platform/host/SqliteStatement.h"
#include "platform/host/Text.h"

namespace platform {

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " uname TEXT NOT NULL, sd BLOB, written INTEGER NOT NULL DEFAULT 0, UNIQUE(parent, uname));"
    "CREATE TABLE IF NOT EXISTS vals(seq INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " uname TEXT NOT NULL, type INTEGER NOT NULL, data BLOB, UNIQUE(key, uname));";

// Raises the RegistryStoreError of a failed statement: a statement the store
// cannot even prepare finds it damaged.
[[noreturn]] void RegistryStoreFailure(sqlite3*, SqliteCall call, const char*) {
    throw RegistryStoreError{call == SqliteCall::Prepare ? RegistryStoreError::Fault::Damaged
                                                         : RegistryStoreError::Fault::IoFailed};
}

// A statement on the store, kept prepared in the connection's cache between uses.
class Statement : public SqliteStatement {
public:
    Statement(SqliteStatementCache& cache, sqlite3* db, const char* sql)
        : SqliteStatement(cache, db, sql, RegistryStoreFailure) {}
};

void Exec(sqlite3* db, const char* sql) { SqliteExecute(db, sql, RegistryStoreFailure); }

// Runs a statement of one id; true when it gave a row.
bool StepWithId(SqliteStatementCache& statements, sqlite3* db, const char* sql, std::int64_t id) {
    Statement statement(statements, db, sql);
    statement.Bind(1, id);
    return statement.Step();
}

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

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

bool HasTable(sqlite3* db, const char* table) {
    return sqlite3_table_column_metadata(db, "main", table, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ==
           SQLITE_OK;
}

std::vector<RegistryChild> ReadRoots(SqliteStatementCache& statements, sqlite3* db) {
    std::vector<RegistryChild> roots;
    Statement list(statements, db, "SELECT id, name FROM keys WHERE parent=0");
    while (list.Step()) roots.push_back(RegistryChild{list.Int(0), list.Text(1)});
    return roots;
}

// The base keys are written in the same transaction as the tables, after
// the switch to the write-ahead log.
// A file that is no store is left to the full preparation, which says what failed.
bool StorePrepared(SqliteStatementCache& statements, sqlite3* db, std::vector<RegistryChild>& roots) {
    try {
        if (!HasTable(db, "keys") || !HasTable(db, "vals")) return false;
        roots = ReadRoots(statements, db);
        return roots.size() >= 3;
    } catch (const RegistryStoreError&) {
        return false;
    }
}

sqlite3* OpenFile(const std::filesystem::path& file) {
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
    return db;
}

// One read transaction for several statements, unless one is open already:
// each statement on its own would begin and end its own.
class ReadTransaction {
public:
    ReadTransaction(SqliteStatementCache& statements, sqlite3* db)
        : statements_(statements), db_(db), own_(sqlite3_get_autocommit(db) != 0) {
        if (own_) Statement(statements_, db_, "BEGIN").Step();
    }
    ~ReadTransaction() {
        if (!own_) return;
        try {
            Statement(statements_, db_, "COMMIT").Step();
        } catch (const RegistryStoreError&) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    SqliteStatementCache& statements_;
    sqlite3* db_;
    bool own_;
};

// One statement finds a child for both Child and KeyAtPath, which needs the descriptor too.
const char* const kFindChild = "SELECT id, name, sd FROM keys WHERE parent=? AND uname=?";

RegistryValue ValueOf(const Statement& row) {
    return RegistryValue{row.Text(0), static_cast<std::uint32_t>(row.Int(1)), row.Blob(2)};
}

}  // namespace

std::filesystem::path RegistryStoreFile() { return HostFolder() / "registry.db"; }

RegistryConnection::RegistryConnection(const std::filesystem::path& file, AddBaseKeys addBaseKeys)
    : db_(OpenFile(file)), statements_(std::make_unique<SqliteStatementCache>()) {
    try {
        // A store made before is used as it is: its log mode, tables and base keys are there.
        if (!StorePrepared(*statements_, db_, roots_)) {
            UseWriteAheadLog(db_);
            RegistryStoreChange change(*this);
            Exec(db_, kSchema);
            addBaseKeys(*this);
            change.Commit();
            roots_ = ReadRoots(*statements_, db_);
        }
        Exec(db_, "PRAGMA synchronous=NORMAL");
    } catch (...) {
        Close();
        throw;
    }
}

RegistryConnection::~RegistryConnection() { Close(); }

void RegistryConnection::Close() {
    if (db_ == nullptr) return;
    statements_->Finalize(db_);
    sqlite3_close(db_);
    db_ = nullptr;
}

void RegistryConnection::Abandon() {
    statements_->Abandon();
    db_ = nullptr;
}

std::optional<RegistryChild> RegistryConnection::Child(std::int64_t parent, const std::string& name) {
    Statement find(*statements_, db_, kFindChild);
    find.Bind(1, parent).Bind(2, TextUpper(name));
    if (!find.Step()) return std::nullopt;
    return RegistryChild{find.Int(0), find.Text(1)};
}

std::optional<RegistryPathEnd> RegistryConnection::KeyAtPath(std::int64_t from, const std::vector<std::string>& names) {
    RegistryPathEnd end{from, {}, {}};
    if (names.empty()) {
        auto descriptor = Descriptor(from);
        if (!descriptor) return std::nullopt;
        end.descriptor = std::move(*descriptor);
        return end;
    }
    const ReadTransaction walk(*statements_, db_);
    Statement find(*statements_, db_, kFindChild);
    for (const std::string& name : names) {
        find.Bind(1, end.id).Bind(2, TextUpper(name));
        if (!find.Step()) return std::nullopt;
        end.id = find.Int(0);
        end.names.push_back(find.Text(1));
        if (end.names.size() == names.size()) end.descriptor = find.Blob(2);
        find.Reset();
    }
    return end;
}

std::int64_t RegistryConnection::InsertKey(std::int64_t parent, const std::string& name, const Bytes& descriptor) {
    Statement insert(*statements_, db_, "INSERT INTO keys(parent, name, uname, sd, written) VALUES(?,?,?,?,?)");
    insert.Bind(1, parent).Bind(2, name).Bind(3, TextUpper(name)).Bind(4, descriptor).Bind(5, NowSeconds());
    insert.Step();
    return sqlite3_last_insert_rowid(db_);
}

bool RegistryConnection::KeyExists(std::int64_t id) {
    return StepWithId(*statements_, db_, "SELECT 1 FROM keys WHERE id=?", id);
}

std::optional<std::string> RegistryConnection::KeyName(std::int64_t id) {
    Statement read(*statements_, db_, "SELECT name FROM keys WHERE id=?");
    read.Bind(1, id);
    if (!read.Step()) return std::nullopt;
    return read.Text(0);
}

std::optional<Bytes> RegistryConnection::Descriptor(std::int64_t id) {
    Statement read(*statements_, db_, "SELECT sd FROM keys WHERE id=?");
    read.Bind(1, id);
    if (!read.Step()) return std::nullopt;
    return read.Blob(0);
}

void RegistryConnection::SetDescriptor(std::int64_t id, const Bytes& descriptor) {
    Statement write(*statements_, db_, "UPDATE keys SET sd=? WHERE id=?");
    write.Bind(1, descriptor).Bind(2, id);
    write.Step();
}

void RegistryConnection::Touch(std::int64_t id) {
    Statement touch(*statements_, db_, "UPDATE keys SET written=? WHERE id=?");
    touch.Bind(1, NowSeconds()).Bind(2, id);
    touch.Step();
}

std::vector<std::int64_t> RegistryConnection::ChildIds(std::int64_t parent) {
    std::vector<std::int64_t> children;
    Statement list(*statements_, db_, "SELECT id FROM keys WHERE parent=?");
    list.Bind(1, parent);
    while (list.Step()) children.push_back(list.Int(0));
    return children;
}

bool RegistryConnection::HasChildren(std::int64_t parent) {
    return StepWithId(*statements_, db_, "SELECT 1 FROM keys WHERE parent=? LIMIT 1", parent);
}

void RegistryConnection::DeleteKeyRow(std::int64_t id) {
    StepWithId(*statements_, db_, "DELETE FROM keys WHERE id=?", id);
}

std::optional<RegistrySubKey> RegistryConnection::NthChild(std::int64_t parent, std::int64_t index) {
    Statement list(*statements_, db_, "SELECT name, written FROM keys WHERE parent=? ORDER BY uname LIMIT 1 OFFSET ?");
    list.Bind(1, parent).Bind(2, index);
    if (!list.Step()) return std::nullopt;
    return RegistrySubKey{list.Text(0), list.Int(1)};
}

std::optional<RegistryKeyInfo> RegistryConnection::KeyInfo(std::int64_t id) {
    Statement self(*statements_, db_, "SELECT LENGTH(sd), written FROM keys WHERE id=?");
    self.Bind(1, id);
    if (!self.Step()) return std::nullopt;
    Statement keys(*statements_, db_,
                   "SELECT COUNT(*), IFNULL(MAX(LENGTH(CAST(name AS BLOB))),0) FROM keys WHERE parent=?");
    keys.Bind(1, id);
    keys.Step();
    Statement vals(*statements_, db_,
                   "SELECT COUNT(*), IFNULL(MAX(LENGTH(CAST(name AS BLOB))),0),"
                   " IFNULL(MAX(LENGTH(data)),0) FROM vals WHERE key=?");
    vals.Bind(1, id);
    vals.Step();
    return RegistryKeyInfo{keys.Int(0), keys.Int(1), vals.Int(0), vals.Int(1), vals.Int(2), self.Int(0), self.Int(1)};
}

std::optional<RegistryValue> RegistryConnection::Value(std::int64_t key, const std::string& name) {
    Statement read(*statements_, db_, "SELECT name, type, data FROM vals WHERE key=? AND uname=?");
    read.Bind(1, key).Bind(2, TextUpper(name));
    if (!read.Step()) return std::nullopt;
    return ValueOf(read);
}

void RegistryConnection::PutValue(std::int64_t key, const std::string& name, std::uint32_t type, const Bytes& data) {
    Statement write(*statements_, db_,
                    "INSERT INTO vals(key, name, uname, type, data) VALUES(?,?,?,?,?)"
                    " ON CONFLICT(key, uname) DO UPDATE SET name=excluded.name,"
                    " type=excluded.type, data=excluded.data");
    write.Bind(1, key).Bind(2, name).Bind(3, TextUpper(name)).Bind(4, static_cast<std::int64_t>(type)).Bind(5, data);
    write.Step();
}

bool RegistryConnection::DeleteValue(std::int64_t key, const std::string& name) {
    Statement erase(*statements_, db_, "DELETE FROM vals WHERE key=? AND uname=?");
    erase.Bind(1, key).Bind(2, TextUpper(name));
    erase.Step();
    return sqlite3_changes(db_) != 0;
}

void RegistryConnection::DeleteValues(std::int64_t key) {
    StepWithId(*statements_, db_, "DELETE FROM vals WHERE key=?", key);
}

std::optional<RegistryValue> RegistryConnection::NthValue(std::int64_t key, std::int64_t index) {
    Statement list(*statements_, db_, "SELECT name, type, data FROM vals WHERE key=? ORDER BY seq LIMIT 1 OFFSET ?");
    list.Bind(1, key).Bind(2, index);
    if (!list.Step()) return std::nullopt;
    return ValueOf(list);
}

std::int64_t RegistryConnection::DataVersion() {
    Statement version(*statements_, db_, "PRAGMA data_version");
    if (!version.Step()) throw RegistryStoreError{RegistryStoreError::Fault::IoFailed};
    return version.Int(0);
}

std::int64_t RegistryConnection::TotalChanges() { return sqlite3_total_changes64(db_); }

void RegistryConnection::BeginLongTransaction() { Exec(db_, "BEGIN IMMEDIATE"); }

bool RegistryConnection::CommitLongTransaction() {
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    RollBackLongTransaction();
    return false;
}

void RegistryConnection::RollBackLongTransaction() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

RegistryStoreChange::RegistryStoreChange(RegistryConnection& store)
    : store_(store), nested_(sqlite3_get_autocommit(store.db_) == 0) {
    Statement(*store_.statements_, store_.db_, nested_ ? "SAVEPOINT change" : "BEGIN IMMEDIATE").Step();
}

RegistryStoreChange::~RegistryStoreChange() {
    if (done_) return;
    sqlite3_exec(store_.db_, nested_ ? "ROLLBACK TO change; RELEASE change" : "ROLLBACK", nullptr, nullptr, nullptr);
}

void RegistryStoreChange::Commit() {
    Statement(*store_.statements_, store_.db_, nested_ ? "RELEASE change" : "COMMIT").Step();
    done_ = true;
}

}  // namespace platform
