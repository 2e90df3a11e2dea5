// The least a process can do to store one event-log record as eventcreate.exe
// stores it, in plain SQLite calls and no project code: find the source's key
// in the registry store, append the record to the event-log store (its next
// record number, the insert, the commit), ring the doorbell. Built as
// eventcreate.exe is, so that the two start alike.
//   quarnel_store_floor HOST-FOLDER LOG SOURCE
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

sqlite3* Open(const std::string& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return nullptr;
    sqlite3_busy_timeout(db, 60000);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return db;
}

bool Run(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The key's id, walked down from the root by upper-cased names; 0 when missing.
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

// As the one-record writer does: the log is emptied once it holds 64 pages.
int CheckpointAndEmpty(void*, sqlite3* db, const char* name, int pages) {
    if (pages >= 64) sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    return SQLITE_OK;
}

bool Append(sqlite3* db, const std::string& log, const std::string& source) {
    if (!Run(db, "PRAGMA synchronous=NORMAL") || !Run(db, "BEGIN IMMEDIATE")) return false;
    sqlite3_stmt* last = nullptr;
    sqlite3_prepare_v2(db, "SELECT COALESCE(MAX(record_number), 0) FROM records WHERE log = ?1 COLLATE NOCASE", -1,
                       &last, nullptr);
    sqlite3_bind_text(last, 1, log.c_str(), -1, SQLITE_STATIC);
    const sqlite3_int64 number = sqlite3_step(last) == SQLITE_ROW ? sqlite3_column_int64(last, 0) + 1 : 1;
    sqlite3_finalize(last);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO records (log, record_number, source, type, category, event_id, string_count,"
                       " strings, data, user_sid, computer, time_generated, time_written)"
                       " VALUES (?1, ?2, ?3, 4, 0, 1, 1, 'One record of the floor.', '', '', 'FLOOR', ?4, ?4)",
                       -1, &insert, nullptr);
    sqlite3_bind_text(insert, 1, log.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(insert, 2, number);
    sqlite3_bind_text(insert, 3, source.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int64(insert, 4, static_cast<sqlite3_int64>(std::time(nullptr)));
    const bool inserted = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_finalize(insert);
    return inserted && Run(db, "COMMIT");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string host = argv[1], log = argv[2], source = argv[3];
    sqlite3_config(SQLITE_CONFIG_LOOKASIDE, 0, 0);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    sqlite3* registry = Open(host + "/registry.db");
    const bool registered =
        registry && KeyId(registry, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + log + "\\" +
                                        source) != 0;
    sqlite3* events = registered ? Open(host + "/eventlog.db") : nullptr;
    if (events) sqlite3_wal_hook(events, CheckpointAndEmpty, nullptr);
    const bool stored = events && Append(events, log, source);
    if (stored) {
        const int bell = ::open((host + "/eventlog.doorbell/ring").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (bell >= 0) ::close(bell);
    }
    sqlite3_close(events);
    sqlite3_close(registry);
    return stored ? 0 : 1;
}
