#include "PlainStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace plainstore {

namespace {

bool Run(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A busy store is waited on in short sleeps, as the store's writers wait:
// a lock is held for a fraction of a millisecond per record.
int ShortBusyWait(void*, int attempt) {
    if (attempt > 200000) return 0;
    ::usleep(50);
    return 1;
}

int CheckpointAndEmpty(void*, sqlite3* db, const char* name, int pages) {
    if (pages >= 64) sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    return SQLITE_OK;
}

}  // namespace

sqlite3* Open(const std::string& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_handler(db, ShortBusyWait, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    Run(db, "PRAGMA synchronous=NORMAL");
    // The log is copied back at about 4 MB, as the store's writers have it.
    sqlite3_wal_autocheckpoint(db, 960);
    return db;
}

sqlite3_int64 KeyId(sqlite3* db, const std::string& path) {
    sqlite3_stmt* find = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE parent=? AND uname=?", -1, &find, nullptr) != SQLITE_OK)
        return 0;
    sqlite3_int64 id = 0;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string name = Upper(path.substr(start, end - start));
        sqlite3_bind_int64(find, 1, id);
        sqlite3_bind_text(find, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        id = sqlite3_step(find) == SQLITE_ROW ? sqlite3_column_int64(find, 0) : 0;
        sqlite3_reset(find);
        if (id == 0) break;
        start = end + 1;
    }
    sqlite3_finalize(find);
    return id;
}

void EmptyLogAt64Pages(sqlite3* db) { sqlite3_wal_hook(db, CheckpointAndEmpty, nullptr); }

Writer::Writer(sqlite3* db) : db_(db) {
    sqlite3_prepare_v2(db, "BEGIN IMMEDIATE", -1, &begin_, nullptr);
    sqlite3_prepare_v2(db, "SELECT COALESCE(MAX(record_number), 0) FROM records WHERE log = ?1 COLLATE NOCASE", -1,
                       &last_, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO records (log, record_number, source, type, category, event_id, string_count,"
                       " strings, data, user_sid, computer, time_generated, time_written)"
                       " VALUES (?1, ?2, ?3, 4, 0, 1, 1, ?4, '', '', 'FLOOR', ?5, ?5)",
                       -1, &insert_, nullptr);
    sqlite3_prepare_v2(db, "COMMIT", -1, &commit_, nullptr);
    sqlite3_prepare_v2(db, "ROLLBACK", -1, &rollback_, nullptr);
}

Writer::~Writer() {
    for (sqlite3_stmt* statement : {begin_, last_, insert_, commit_, rollback_}) sqlite3_finalize(statement);
}

bool Writer::Step(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

sqlite3_int64 Writer::Append(const std::string& log, const std::string& source, const std::string& message) {
    if (!db_ || !Step(begin_)) return 0;
    sqlite3_bind_text(last_, 1, log.c_str(), -1, SQLITE_STATIC);
    const sqlite3_int64 number = sqlite3_step(last_) == SQLITE_ROW ? sqlite3_column_int64(last_, 0) + 1 : 1;
    sqlite3_reset(last_);
    sqlite3_bind_text(insert_, 1, log.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(insert_, 2, number);
    sqlite3_bind_text(insert_, 3, source.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_blob(insert_, 4, message.data(), static_cast<int>(message.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert_, 5, static_cast<sqlite3_int64>(std::time(nullptr)));
    if (!Step(insert_) || !Step(commit_)) {
        Step(rollback_);
        return 0;
    }
    return number;
}

void Ring(const std::string& hostFolder) {
    const int bell = ::open((hostFolder + "/eventlog.doorbell/ring").c_str(),
                            O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (bell >= 0) ::close(bell);
}

bool ReadRecord(sqlite3* db, const std::string& log, sqlite3_int64 number) {
    sqlite3_stmt* read = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT sequence, log, record_number, source, type, category, event_id, string_count, strings,"
                       " data, user_sid, computer, time_generated, time_written FROM records"
                       " WHERE log = ?1 COLLATE NOCASE AND record_number = ?2",
                       -1, &read, nullptr);
    sqlite3_bind_text(read, 1, log.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(read, 2, number);
    bool found = false;
    if (sqlite3_step(read) == SQLITE_ROW) {
        found = true;
        for (int column = 0; column < sqlite3_column_count(read); ++column) {
            volatile const void* keep = sqlite3_column_blob(read, column);
            (void)keep;
        }
    }
    sqlite3_finalize(read);
    return found;
}

bool CopyStore(const std::string& from, const std::string& to) {
    std::remove(to.c_str());
    sqlite3* source = nullptr;
    if (sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(source);
        return false;
    }
    sqlite3_busy_timeout(source, 60000);
    char* sql = sqlite3_mprintf("VACUUM INTO %Q", to.c_str());
    const bool copied = Run(source, sql);
    sqlite3_free(sql);
    sqlite3_close(source);
    sqlite3* copy = copied ? Open(to) : nullptr;
    const bool wal = copy && Run(copy, "PRAGMA journal_mode=WAL");
    sqlite3_close(copy);
    return wal;
}

}  // namespace plainstore
