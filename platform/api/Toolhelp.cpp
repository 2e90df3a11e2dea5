#include "platform/api/Toolhelp.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/api/Process.h"

namespace win {

namespace {

constexpr LONG kNormalPriority = 8;

struct Snapshot {
    std::vector<platform::ProcessInfo> processes;
    std::size_t next = 0;
};

struct SnapshotTable {
    std::mutex mutex;
    std::map<HANDLE, Snapshot> snapshots;
    HANDLE next = 0x7D000000;
};

SnapshotTable& Snapshots() {
    static SnapshotTable table;
    return table;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE_;
}

void Fill(PROCESSENTRY32& entry, const platform::ProcessInfo& process) {
    const DWORD size = entry.dwSize;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = size;
    entry.th32ProcessID = static_cast<DWORD>(process.pid);
    entry.cntThreads = static_cast<DWORD>(process.threadCount);
    entry.th32ParentProcessID = static_cast<DWORD>(process.parentPid);
    entry.pcPriClassBase = kNormalPriority;
    const std::size_t length = std::min(process.imageName.size(), sizeof entry.szExeFile - 1);
    std::memcpy(entry.szExeFile, process.imageName.data(), length);
}

BOOL Walk(HANDLE snapshot, PROCESSENTRY32* entry, bool fromStart) {
    std::lock_guard lock(Snapshots().mutex);
    auto found = Snapshots().snapshots.find(snapshot);
    if (found == Snapshots().snapshots.end()) return Fail(ERROR_INVALID_HANDLE);
    if (!entry || entry->dwSize < sizeof(PROCESSENTRY32)) return Fail(ERROR_BAD_LENGTH);
    Snapshot& walk = found->second;
    if (fromStart) walk.next = 0;
    if (walk.next >= walk.processes.size()) return Fail(ERROR_NO_MORE_FILES);
    Fill(*entry, walk.processes[walk.next++]);
    return TRUE_;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    (void)processId;
    Snapshot snapshot;
    if (flags & TH32CS_SNAPPROCESS) snapshot.processes = platform::ListProcesses();
    std::lock_guard lock(Snapshots().mutex);
    const HANDLE handle = Snapshots().next;
    Snapshots().next += 4;
    Snapshots().snapshots.emplace(handle, std::move(snapshot));
    return handle;
}

BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry) { return Walk(snapshot, entry, true); }

BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry) { return Walk(snapshot, entry, false); }

BOOL CloseSnapshotHandle(HANDLE snapshot) {
    std::lock_guard lock(Snapshots().mutex);
    return Snapshots().snapshots.erase(snapshot) > 0 ? TRUE_ : Fail(ERROR_INVALID_HANDLE);
}

}  // namespace win
