#pragma once
// The event log's store on this host: an SQLite database in the host folder
// (eventlog.db, WAL) whose records carry one sequence across the whole store
// and a record number that increases per log. Writers of any process wait on
// a busy store instead of failing, and after each commit touch a file in the
// doorbell folder, so that a subscription can sleep on that folder until a
// record arrives.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

struct EventRecord {
    std::int64_t sequence = 0;       // across the whole store
    std::int64_t recordNumber = 0;   // per log
    std::string log;
    std::string source;
    int type = 0;
    int category = 0;
    std::uint32_t eventId = 0;
    std::vector<std::string> strings;
    std::string data;
    std::string userSid;
    std::string computerName;
    std::int64_t timeGenerated = 0;  // seconds since 1970, UTC
    std::int64_t timeWritten = 0;
};

// What failed and SQLite's word for it.
class EventLogStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::filesystem::path EventLogStoreFile();
std::filesystem::path EventLogDoorbellFolder();

// One connection to the store; the store and the doorbell folder are created
// when missing. Opening or a statement that fails raises an EventLogStoreError.
class HostEventLogStore {
public:
    // A connection of a process that writes a record and ends (eventcreate.exe)
    // keeps the write-ahead log short: whoever opens the store while no other
    // process has it open first reads the whole log.
    enum class Use { Lasting, OneRecord };
    explicit HostEventLogStore(Use use = Use::Lasting);
    ~HostEventLogStore();
    HostEventLogStore(const HostEventLogStore&) = delete;
    HostEventLogStore& operator=(const HostEventLogStore&) = delete;

    // Fills in sequence, record number and (when 0) the times, then rings the doorbell.
    void Append(EventRecord& record);
    std::int64_t LastSequence();
    std::vector<EventRecord> RecordsAfter(std::int64_t sequence, int limit);
    std::vector<EventRecord> AllRecords();
    // False once the file the connection opened was removed or replaced.
    bool StillInPlace() const;

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

// The file in the doorbell folder that writers ring.
inline constexpr const char* kEventLogDoorbellName = "ring";
void RingEventLogDoorbell();

}  // namespace platform
