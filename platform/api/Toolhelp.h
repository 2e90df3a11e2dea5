#pragma once
// The tool-help process snapshot: a copy of this machine's process list taken
// at one moment and walked entry by entry, with the ANSI process entry of a
// 32-bit program (296 bytes). CloseHandle (Process.h) ends a snapshot.
#include <cstddef>

#include "platform/api/WinTypes.h"

namespace win {

constexpr DWORD TH32CS_SNAPHEAPLIST = 0x00000001;
constexpr DWORD TH32CS_SNAPPROCESS = 0x00000002;
constexpr DWORD TH32CS_SNAPTHREAD = 0x00000004;
constexpr DWORD TH32CS_SNAPMODULE = 0x00000008;

constexpr std::size_t kProcessEntryNameLength = 260;

struct PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    DWORD th32DefaultHeapID;  // a pointer-sized field of the 32-bit layout
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    char szExeFile[kProcessEntryNameLength];  // image name, e.g. "Quarnel.exe", ending in a zero
};
static_assert(sizeof(PROCESSENTRY32) == 296, "the ANSI process entry of a 32-bit program");

// A snapshot of the processes when the flags ask for them (another flag alone
// gives a snapshot without processes); the process id argument is ignored for
// processes, as on Windows. INVALID_HANDLE_VALUE on failure.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
// The first entry of the snapshot, or the next one. FALSE with
// ERROR_NO_MORE_FILES past the last, ERROR_BAD_LENGTH when dwSize is smaller
// than the entry, ERROR_INVALID_HANDLE for a handle that is no snapshot.
BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry);
BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry);

// Ends a snapshot handle; FALSE for any other handle.
BOOL CloseSnapshotHandle(HANDLE snapshot);

}  // namespace win
