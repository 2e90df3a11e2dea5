#pragma once
// The event log's Windows writer calls over the host's store: a source
// without a registry key under
// HKLM\SYSTEM\CurrentControlSet\Services\Eventlog\<log> writes to Application.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"
#include "platform/host/EventLogStore.h"

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

// The host's store as the run time sees it: a failure raises a RuntimeError.
class EventLogStore {
public:
    using Use = HostEventLogStore::Use;
    explicit EventLogStore(Use use = Use::Lasting);
    EventLogStore(const EventLogStore&) = delete;
    EventLogStore& operator=(const EventLogStore&) = delete;

    // Fills in sequence, record number and (when 0) the times, then rings the doorbell.
    void Append(EventRecord& record);
    std::int64_t LastSequence();
    std::vector<EventRecord> RecordsAfter(std::int64_t sequence, int limit);
    std::vector<EventRecord> AllRecords();
    // False once the file the connection opened was removed or replaced.
    bool StillInPlace() const { return store_.StillInPlace(); }

private:
    HostEventLogStore store_;
};

// The log whose registry key holds the source, or nothing.
std::optional<std::string> RegisteredLogOfSource(const std::string& source);
// The log a source writes to: its registered log, or Application.
std::string LogOfSource(const std::string& source);
// The log's name as its registry key spells it, or nothing when no key exists.
std::optional<std::string> RegisteredLogName(const std::string& log);

// Appends through the process's own writing connection, opened once.
void AppendToEventLog(EventRecord& record);

// For a process that writes a record and ends (eventcreate.exe): its writing
// connection keeps the write-ahead log short. Called before the first record.
void UseEventLogForOneRecord();

// A source handle for ReportEventA that writes to the log given (its name as
// the registry spells it) whatever log the source is registered under, as
// eventcreate does; 0 with ERROR_INVALID_PARAMETER for an empty name.
win::HANDLE RegisterEventSourceForLog(const char* sourceName, const std::string& log);

}  // namespace platform
