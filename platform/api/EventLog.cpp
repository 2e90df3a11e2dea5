#include "platform/api/EventLog.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/host/HostFolder.h"
#include "platform/api/Registry.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {

namespace {

// --- registry ---------------------------------------------------------------------
class RegistryKey {
public:
    explicit RegistryKey(const std::string& path) {
        if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, win::KEY_READ, &key_) != 0) key_ = 0;
    }
    ~RegistryKey() {
        if (key_) win::RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    bool IsOpen() const { return key_ != 0; }

    std::vector<std::string> SubkeyNames() const {
        std::vector<std::string> names;
        char name[256];
        for (win::DWORD i = 0; key_ && win::RegEnumKeyA(key_, i, name, sizeof name) == 0; ++i) names.push_back(name);
        return names;
    }

private:
    win::HKEY key_ = 0;
};

struct SourceHandle {
    std::string source;
    std::string log;  // looked up once, at registration
};

std::mutex handlesMutex;
std::map<win::HANDLE, SourceHandle> handles;
win::HANDLE nextHandle = 0x4000;

constexpr long kStoreError = -2147217407;  // WBEM_E_FAILED, as the event-log service reports through WMI

RuntimeError StoreError(const EventLogStoreError& e) { return RuntimeError(kStoreError, "EventLog", e.what()); }

}  // namespace

EventLogStore::EventLogStore(Use use) try : store_(use) {
} catch (const EventLogStoreError& e) {
    throw StoreError(e);
}

void EventLogStore::Append(EventRecord& record) {
    try {
        store_.Append(record);
    } catch (const EventLogStoreError& e) {
        throw StoreError(e);
    }
}

std::int64_t EventLogStore::LastSequence() {
    try {
        return store_.LastSequence();
    } catch (const EventLogStoreError& e) {
        throw StoreError(e);
    }
}

std::vector<EventRecord> EventLogStore::RecordsAfter(std::int64_t sequence, int limit) {
    try {
        return store_.RecordsAfter(sequence, limit);
    } catch (const EventLogStoreError& e) {
        throw StoreError(e);
    }
}

std::vector<EventRecord> EventLogStore::AllRecords() {
    try {
        return store_.AllRecords();
    } catch (const EventLogStoreError& e) {
        throw StoreError(e);
    }
}

// --- sources ------------------------------------------------------------------------------
std::optional<std::string> RegisteredLogName(const std::string& log) {
    RegistryKey logs(kEventLogKey);
    for (const std::string& name : logs.SubkeyNames())
        if (TextCompareEqual(name, log)) return name;
    return std::nullopt;
}

std::optional<std::string> RegisteredLogOfSource(const std::string& source) {
    RegistryKey logs(kEventLogKey);
    for (const std::string& log : logs.SubkeyNames())
        if (RegistryKey(std::string(kEventLogKey) + "\\" + log + "\\" + source).IsOpen()) return log;
    return std::nullopt;
}

std::string LogOfSource(const std::string& source) { return RegisteredLogOfSource(source).value_or("Application"); }

namespace {

// The writing connection of this process: opened on the first record and
// kept, unless the host folder changed, the store file was replaced or the
// process is a fork's child.
struct WriterConnection {
    std::mutex mutex;
    std::unique_ptr<EventLogStore> store;
    std::filesystem::path file;
    pid_t owner = 0;
    EventLogStore::Use use = EventLogStore::Use::Lasting;
};

WriterConnection& Writer() {
    static WriterConnection* writer = new WriterConnection;  // never destroyed: used until the process ends
    return *writer;
}

}  // namespace

void AppendToEventLog(EventRecord& record) {
    WriterConnection& writer = Writer();
    std::lock_guard lock(writer.mutex);
    const std::filesystem::path file = EventLogStoreFile();
    if (writer.owner != ::getpid()) (void)writer.store.release();  // SQLite must not be used through a parent's handle
    if (writer.store && (writer.file != file || !writer.store->StillInPlace())) writer.store.reset();
    if (!writer.store) {
        writer.store = std::make_unique<EventLogStore>(writer.use);
        writer.file = file;
        writer.owner = ::getpid();
    }
    try {
        writer.store->Append(record);
    } catch (const RuntimeError&) {
        writer.store.reset();
        throw;
    }
}

void UseEventLogForOneRecord() {
    WriterConnection& writer = Writer();
    std::lock_guard lock(writer.mutex);
    writer.use = EventLogStore::Use::OneRecord;
}

win::HANDLE RegisterEventSourceForLog(const char* sourceName, const std::string& log) {
    if (!sourceName || !*sourceName) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> lock(handlesMutex);
    const win::HANDLE handle = nextHandle++;
    handles[handle] = {sourceName, log};
    win::SetLastError(win::ERROR_SUCCESS);
    return handle;
}

}  // namespace platform

namespace win {

namespace {
bool IsLocalServer(const char* serverName) {
    if (!serverName || !*serverName) return true;
    std::string name = serverName;
    if (name.rfind("\\\\", 0) == 0) name.erase(0, 2);
    return name == "." || platform::TextCompareEqual(name, platform::ComputerName()) ||
           platform::TextCompareEqual(name, "localhost");
}
}  // namespace

HANDLE RegisterEventSourceA(const char* serverName, const char* sourceName) {
    if (!IsLocalServer(serverName)) {
        SetLastError(RPC_S_INVALID_NET_ADDR);
        return 0;
    }
    if (!sourceName || !*sourceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return platform::RegisterEventSourceForLog(sourceName, platform::LogOfSource(sourceName));
}

BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, void* /*userSid*/, WORD numStrings,
                  DWORD dataSize, const char** strings, const void* rawData) {
    platform::EventRecord record;
    {
        std::lock_guard<std::mutex> lock(platform::handlesMutex);
        const auto found = platform::handles.find(eventLog);
        if (found == platform::handles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE_;
        }
        record.source = found->second.source;
        record.log = found->second.log;
    }
    if ((numStrings > 0 && !strings) || (dataSize > 0 && !rawData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    record.type = type;
    record.category = category;
    record.eventId = eventId;
    for (WORD i = 0; i < numStrings; ++i) record.strings.emplace_back(strings[i] ? strings[i] : "");
    if (dataSize > 0) record.data.assign(static_cast<const char*>(rawData), dataSize);
    try {
        platform::AppendToEventLog(record);
    } catch (const RuntimeError&) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE_;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE_;
}

BOOL DeregisterEventSource(HANDLE eventLog) {
    std::lock_guard<std::mutex> lock(platform::handlesMutex);
    if (platform::handles.erase(eventLog) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    return TRUE_;
}

}  // namespace win
