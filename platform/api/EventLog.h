#pragma once
// The event log of the emulated machine: an SQLite store in the host folder
// (eventlog.db, WAL) whose records carry one sequence across the whole store
// and a record number that increases per log. Writers of any process wait on
// a busy store instead of failing, and after each commit touch a file in the
// doorbell folder, so that a subscription can sleep on that folder until a
// record arrives. The Windows writer calls sit on top: a source without a
// registry key under HKLM\SYSTEM\CurrentControlSet\Services\Eventlog\<log>
// writes to Application.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"

namespace win {

using WORD = std::uint16_t;

constexpr WORD EVENTLOG_SUCCESS = 0x0000;
constexpr WORD EVENTLOG_ERROR_TYPE = 0x0001;
constexpr WORD EVENTLOG_WARNING_TYPE = 0x0002;
constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x0004;
constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x0008;
constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x0010;

constexpr DWORD RPC_S_INVALID_NET_ADDR = 1707;

// A remote server name fails with RPC_S_INVALID_NET_ADDR; 0 on failure.
HANDLE RegisterEventSourceA(const char* serverName, const char* sourceName);
// The strings are ANSI texts (UTF-8 here); user SID is not kept.
BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, void* userSid, WORD numStrings,
                  DWORD dataSize, const char** strings, const void* rawData);
BOOL DeregisterEventSource(HANDLE eventLog);

}  // namespace win

namespace platform {

inline constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\Eventlog";

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

std::filesystem::path EventLogStoreFile();
std::filesystem::path EventLogDoorbellFolder();

// One connection to the store; the store and the doorbell folder are created
// when missing. Opening or a statement that fails raises a RuntimeError.
class EventLogStore {
public:
    // A connection of a process that writes a record and ends (eventcreate.exe)
    // keeps the write-ahead log short: whoever opens the store while no other
    // process has it open first reads the whole log.
    enum class Use { Lasting, OneRecord };
    explicit EventLogStore(Use use = Use::Lasting);
    ~EventLogStore();
    EventLogStore(const EventLogStore&) = delete;
    EventLogStore& operator=(const EventLogStore&) = delete;

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

// The log whose registry key holds the source, or nothing.
std::optional<std::string> RegisteredLogOfSource(const std::string& source);
// The log a source writes to: its registered log, or Application.
std::string LogOfSource(const std::string& source);
// The log's name as its registry key spells it, or nothing when no key exists.
std::optional<std::string> RegisteredLogName(const std::string& log);

// The file in the doorbell folder that writers ring.
inline constexpr const char* kEventLogDoorbellName = "ring";
void RingEventLogDoorbell();

// Appends through the process's own writing connection, opened once.
void AppendToEventLog(EventRecord& record);

}  // namespace platform
