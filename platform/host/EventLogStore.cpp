#include "platform/host/EventLogStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "platform/host/HostFolder.h"
#include "platform/host/SqliteStatement.h"

namespace platform {

namespace {

constexpr int kBusyTimeoutMs = 60000;

EventLogStoreError StoreError(sqlite3* db, const std::string& what) {
    std::string detail = db ? sqlite3_errmsg(db) : "out of memory";
    return EventLogStoreError(what + ": " + detail);
}

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS records ("
    " sequence INTEGER PRIMARY KEY AUTOINCREMENT,"
    " log TEXT NOT NULL, record_number INTEGER NOT NULL, source TEXT NOT NULL,"
    " type INTEGER NOT NULL, category INTEGER NOT NULL, event_id INTEGER NOT NULL,"
    " string_count INTEGER NOT NULL, strings BLOB, data BLOB, user_sid TEXT, computer TEXT,"
    " time_generated INTEGER NOT NULL, time_written INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS records_by_log ON records(log COLLATE NOCASE, record_number);";
// The table and its index come into a store together, so that a store with the table has both.
const std::string kLayOut = std::string("BEGIN IMMEDIATE;") + kSchema + "COMMIT;";

// Insertion strings kept as one blob, each followed by a NUL.
std::string JoinStrings(const std::vector<std::string>& strings) {
    std::string blob;
    for (const std::string& s : strings) blob += s + '\0';
    return blob;
}

std::vector<std::string> SplitStrings(const std::string& blob, std::int64_t count) {
    std::vector<std::string> strings;
    std::size_t start = 0;
    for (std::int64_t i = 0; i < count && start <= blob.size(); ++i) {
        const std::size_t end = blob.find('\0', start);
        if (end == std::string::npos) break;
        strings.push_back(blob.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

[[noreturn]] void EventStoreFailure(sqlite3* db, SqliteCall call, const char* sql) {
    const char* what = call == SqliteCall::Prepare ? "prepare" : call == SqliteCall::Step ? "step" : nullptr;
    throw StoreError(db, what ? what : std::string(sql).substr(0, 40));
}

class Statement : public SqliteStatement {
public:
    Statement(sqlite3* db, const char* sql) : SqliteStatement(db, sql, EventStoreFailure) {}
    Statement(sqlite3* db, const std::string& sql) : SqliteStatement(db, sql, EventStoreFailure) {}
    // Kept prepared by the connection between uses, reset after each one, so
    // that it never holds the store open past its use.
    Statement(SqliteStatementCache& cache, sqlite3* db, const char* sql)
        : SqliteStatement(cache, db, sql, EventStoreFailure) {}
};

void Execute(sqlite3* db, const char* sql) { SqliteExecute(db, sql, EventStoreFailure); }

EventRecord ReadRecord(const SqliteStatement& s) {
    EventRecord r;
    r.sequence = s.Int(0);
    r.log = s.Bytes(1);
    r.recordNumber = s.Int(2);
    r.source = s.Bytes(3);
    r.type = static_cast<int>(s.Int(4));
    r.category = static_cast<int>(s.Int(5));
    r.eventId = static_cast<std::uint32_t>(s.Int(6));
    r.strings = SplitStrings(s.Bytes(8), s.Int(7));
    r.data = s.Bytes(9);
    r.userSid = s.Bytes(10);
    r.computerName = s.Bytes(11);
    r.timeGenerated = s.Int(12);
    r.timeWritten = s.Int(13);
    return r;
}

const char* const kRecordColumns =
    "SELECT sequence, log, record_number, source, type, category, event_id, string_count, strings, data,"
    " user_sid, computer, time_generated, time_written FROM records ";

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::filesystem::path EventLogStoreFile() { return HostFolder() / "eventlog.db"; }
std::filesystem::path EventLogDoorbellFolder() { return HostFolder() / "eventlog.doorbell"; }

namespace {

// Waits on a busy store in short steps (the lock is held for a fraction of
// a millisecond per record), up to the store's busy time-out.
int ShortBusyWait(void*, int attempt) {
    constexpr int kStepMicroseconds = 200;
    if (attempt * kStepMicroseconds / 1000 >= kBusyTimeoutMs) return 0;
    ::usleep(attempt < 10 ? 50 : kStepMicroseconds);
    return 1;
}

// The write-ahead log is copied back into the store once it holds about
// 4 MB, by the writer whose commit passes that mark; each such checkpoint
// syncs both files, so it comes seldom (once in some 250 records). The next
// writer then starts the log over, cut back to the limit, unless a reader
// still uses it; the checkpoint after the next commit tries again.
constexpr int kCheckpointPages = 960;
// Some 20 records of one-record writers: their checkpoint's syncs come
// seldom, and the log the next lone opener reads stays small.
constexpr int kOneRecordCheckpointPages = 64;

// A one-record writer is often the store's only connection, and then the log
// never starts over by itself: each process that opens the store alone reads
// the whole log and must take every page of it as not yet copied back. So
// its checkpoint also empties the log, unless another process still reads
// it; it does not wait for one.
int CheckpointAndEmpty(void*, sqlite3* db, const char* name, int pages) {
    if (pages < kOneRecordCheckpointPages) return SQLITE_OK;
    sqlite3_busy_handler(db, nullptr, nullptr);
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_handler(db, ShortBusyWait, nullptr);
    return SQLITE_OK;
}
constexpr const char* kWalLimit = "PRAGMA journal_size_limit=4194304";

const char* const kLastRecordNumber = "SELECT COALESCE(MAX(record_number), 0) FROM records WHERE log = ?1 COLLATE NOCASE";
const char* const kInsertRecord =
    "INSERT INTO records (log, record_number, source, type, category, event_id, string_count,"
    " strings, data, user_sid, computer, time_generated, time_written)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)";
const std::string kRecordsAfter = std::string(kRecordColumns) + "WHERE sequence > ?1 ORDER BY sequence LIMIT ?2";

}  // namespace

struct HostEventLogStore::Connection {
    sqlite3* db = nullptr;
    std::filesystem::path file;
    dev_t device = 0;
    ino_t inode = 0;
    SqliteStatementCache statements;
    ~Connection() {
        statements.Finalize(db);
        sqlite3_close(db);
    }
};

HostEventLogStore::HostEventLogStore(Use use) : connection_(std::make_unique<Connection>()) {
    std::error_code ignored;
    std::filesystem::create_directories(EventLogDoorbellFolder(), ignored);
    connection_->file = EventLogStoreFile();
    MakeStorePrivate(connection_->file);
    const int rc = sqlite3_open_v2(connection_->file.c_str(), &connection_->db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) throw StoreError(connection_->db, "open " + connection_->file.string());
    sqlite3_busy_handler(connection_->db, ShortBusyWait, nullptr);
    // A writer such as eventcreate closing the last connection leaves the
    // write-ahead log to the checkpoints below instead of syncing it at exit.
    sqlite3_db_config(connection_->db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    Execute(connection_->db, "PRAGMA journal_mode=WAL");
    Execute(connection_->db, kWalLimit);
    // With the write-ahead log a commit survives a crash of the program without a sync of its own.
    Execute(connection_->db, "PRAGMA synchronous=NORMAL");
    // A store made before is used as it is: looking for its table costs far less than parsing the layout.
    if (sqlite3_table_column_metadata(connection_->db, "main", "records", nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr) != SQLITE_OK)
        Execute(connection_->db, kLayOut.c_str());
    if (use == Use::OneRecord)
        sqlite3_wal_hook(connection_->db, CheckpointAndEmpty, nullptr);
    else
        sqlite3_wal_autocheckpoint(connection_->db, kCheckpointPages);
    struct stat info {};
    if (::stat(connection_->file.c_str(), &info) != 0) throw StoreError(nullptr, "stat");
    connection_->device = info.st_dev;
    connection_->inode = info.st_ino;
}

HostEventLogStore::~HostEventLogStore() = default;

bool HostEventLogStore::StillInPlace() const {
    struct stat info {};
    if (::stat(connection_->file.c_str(), &info) != 0) return false;
    return info.st_dev == connection_->device && info.st_ino == connection_->inode;
}

void HostEventLogStore::Append(EventRecord& record) {
    sqlite3* db = connection_->db;
    if (record.timeGenerated == 0) record.timeGenerated = NowSeconds();
    if (record.timeWritten == 0) record.timeWritten = NowSeconds();
    if (record.computerName.empty()) record.computerName = ComputerName();
    Connection& c = *connection_;
    Statement(c.statements, db, "BEGIN IMMEDIATE").Step();
    try {
        {
            // Finished before the commit: a statement still open over it keeps
            // the write-ahead log from ever being restarted.
            Statement last(c.statements, db, kLastRecordNumber);
            last.Bind(1, record.log);
            last.Step();
            record.recordNumber = last.Int(0) + 1;
        }
        {
            Statement insert(c.statements, db, kInsertRecord);
            insert.Bind(1, record.log);
            insert.Bind(2, record.recordNumber);
            insert.Bind(3, record.source);
            insert.Bind(4, static_cast<std::int64_t>(record.type));
            insert.Bind(5, static_cast<std::int64_t>(record.category));
            insert.Bind(6, static_cast<std::int64_t>(record.eventId));
            insert.Bind(7, static_cast<std::int64_t>(record.strings.size()));
            insert.BindBlob(8, JoinStrings(record.strings));
            insert.BindBlob(9, record.data);
            insert.Bind(10, record.userSid);
            insert.Bind(11, record.computerName);
            insert.Bind(12, record.timeGenerated);
            insert.Bind(13, record.timeWritten);
            insert.Step();
            record.sequence = sqlite3_last_insert_rowid(db);
        }
        Statement(c.statements, db, "COMMIT").Step();
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    RingEventLogDoorbell();
}

std::int64_t HostEventLogStore::LastSequence() {
    Statement last(connection_->db, "SELECT COALESCE(MAX(sequence), 0) FROM records");
    last.Step();
    return last.Int(0);
}

std::vector<EventRecord> HostEventLogStore::RecordsAfter(std::int64_t sequence, int limit) {
    Statement query(connection_->statements, connection_->db, kRecordsAfter.c_str());
    query.Bind(1, sequence);
    query.Bind(2, static_cast<std::int64_t>(limit));
    std::vector<EventRecord> records;
    while (query.Step()) records.push_back(ReadRecord(query));
    return records;
}

std::vector<EventRecord> HostEventLogStore::AllRecords() {
    Statement query(connection_->db, std::string(kRecordColumns) + "ORDER BY sequence");
    std::vector<EventRecord> records;
    while (query.Step()) records.push_back(ReadRecord(query));
    return records;
}

// Closing the bell after opening it for writing is the ring; nothing is
// written. A FIFO, a folder or a link in the bell's place (or in the
// folder's) fails the open at once instead of blocking the writer or leading
// it elsewhere; the subscription says why it cannot hear them.
void RingEventLogDoorbell() {
    const int folder = ::open(EventLogDoorbellFolder().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return;
    const int bell = ::openat(folder, kEventLogDoorbellName, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (bell >= 0) ::close(bell);
    ::close(folder);
}

}  // namespace platform
