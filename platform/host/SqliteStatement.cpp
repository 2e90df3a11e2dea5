#include "platform/host/SqliteStatement.h"

namespace platform {

SqliteStatementCache::~SqliteStatementCache() {
    for (const auto& [key, statement] : idle_) sqlite3_finalize(statement);
}

sqlite3_stmt* SqliteStatementCache::Take(sqlite3* db, const char* sql) {
    const auto found = idle_.find(Key(db, sql));
    if (found == idle_.end()) return nullptr;
    sqlite3_stmt* statement = found->second;
    idle_.erase(found);
    return statement;
}

void SqliteStatementCache::Give(sqlite3* db, const char* sql, sqlite3_stmt* statement) {
    idle_.emplace(Key(db, sql), statement);
}

void SqliteStatementCache::Finalize(sqlite3* db) {
    for (auto it = idle_.lower_bound(Key(db, std::string())); it != idle_.end() && it->first.first == db;) {
        sqlite3_finalize(it->second);
        it = idle_.erase(it);
    }
}

void SqliteStatementCache::Abandon() { idle_.clear(); }

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql, SqliteFailure onFailure)
    : db_(db), onFailure_(onFailure), sql_(sql) {
    Prepare();
}

SqliteStatement::SqliteStatement(SqliteStatementCache& cache, sqlite3* db, const char* sql, SqliteFailure onFailure)
    : db_(db), statement_(cache.Take(db, sql)), onFailure_(onFailure), sql_(sql), cache_(&cache) {
    if (statement_ == nullptr) Prepare();
}

void SqliteStatement::Prepare() {
    if (sqlite3_prepare_v3(db_, sql_, -1, cache_ ? SQLITE_PREPARE_PERSISTENT : 0, &statement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        onFailure_(db_, SqliteCall::Prepare, sql_);
    }
}

SqliteStatement::~SqliteStatement() {
    if (cache_ == nullptr || statement_ == nullptr) {
        sqlite3_finalize(statement_);
        return;
    }
    Reset();
    cache_->Give(db_, sql_, statement_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, const std::vector<std::uint8_t>& blob) {
    return BindBlob(index, std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()));
}

SqliteStatement& SqliteStatement::BindBlob(int index, std::string_view bytes) {
    // An empty blob is still a blob, not NULL.
    sqlite3_bind_blob(statement_, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

bool SqliteStatement::Step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    onFailure_(db_, SqliteCall::Step, sql_);
    return false;
}

void SqliteStatement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(statement_, column); }

std::string SqliteStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
}

std::string SqliteStatement::Bytes(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
}

std::vector<std::uint8_t> SqliteStatement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
    return data ? std::vector<std::uint8_t>(data, data + sqlite3_column_bytes(statement_, column))
                : std::vector<std::uint8_t>();
}

void SqliteExecute(sqlite3* db, const char* sql, SqliteFailure onFailure) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) onFailure(db, SqliteCall::Execute, sql);
}

void UseSqliteForShortProcess() {
    sqlite3_config(SQLITE_CONFIG_LOOKASIDE, 0, 0);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
}

}  // namespace platform
