#include "platform/host/SqliteStatement.h"

namespace platform {

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql, SqliteFailure onFailure)
    : db_(db), onFailure_(onFailure), sql_(sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        onFailure_(db_, SqliteCall::Prepare, sql);
    }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

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

}  // namespace platform
