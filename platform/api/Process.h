#pragma once
// Programs of the emulated machine. A Windows command line is started as a
// host process: the program part is found as Windows finds it, the Windows
// tools the system runs (cmd.exe /c, .cmd and .bat files, ping, tskill,
// taskkill) are carried out by our host tool, and our own programs receive the
// exact command-line text. One host folder is one machine: the process list
// and the ending of processes see only the processes of the caller's machine.
#include <filesystem>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"

namespace platform {

struct ProcessInfo {
    int pid = 0;
    std::string imageName;   // file name of the executable, e.g. "Quarnel.exe"
    std::string ownerName;   // login name of the owner
    std::string executablePath;  // Windows path of the executable, empty when unknown
    int parentPid = 0;
    int threadCount = 1;
    std::int64_t startMicroseconds = 0;  // start time, microseconds since 1970 (UTC), at the host's tick
};

// The running processes of this machine, in process-id order.
std::vector<ProcessInfo> ListProcesses();

// Ends a process of this machine; false for ids of 0 or below, a process of
// another machine, or one that is gone.
bool TerminateProcessById(int pid, unsigned exitCode);

// As TerminateProcessById, but only while the process still carries the image
// name given (letter case ignored). Without force the process is asked to end
// (the host's polite termination signal) instead of being killed.
bool EndProcessOfImage(int pid, const std::string& imageName, unsigned exitCode, bool force);

// What a command line's program part names.
struct ResolvedCommand {
    enum class Kind { HostProgram, BatchFile };
    Kind kind = Kind::HostProgram;
    std::filesystem::path hostPath;   // the host program or the batch file
    std::string windowsPath;          // Windows path of the program or batch file
    std::string arguments;            // the exact text after the program part
};
// The program part found as Windows finds it, or nothing when no reading of
// the command line names a program.
std::optional<ResolvedCommand> ResolveCommandLine(const std::string& commandLine);
std::optional<ResolvedCommand> ResolveProgramName(const std::string& program);

// A ".cmd" or ".bat" file name.
bool IsBatchFileName(const std::string& name);

// Exit codes are 32 bits on Windows and 8 bits on this host: every program
// started here gets a channel, and our tools (wintool, sc.exe) take it first
// thing in main and hand their full exit code over through it;
// HandOverExitCode returns the host exit status.
inline constexpr const char* kExitCodeChannelVariable = "QUARNEL_EXIT_CODE_FD";
int TakeExitCodeChannel();
int HandOverExitCode(int channel, win::DWORD exitCode);

// Where a started program's standard output goes: to ours, or, for a
// program run hidden, nowhere, as a hidden console's output goes nowhere
// anybody sees. Its standard error stays ours: the debug output.
enum class ChildOutput { Ours, Hidden };

// Starts a command line as vb::Shell does (error 53 when the program is not
// found) and returns the process id.
long StartCommandLine(const std::string& commandLine, ChildOutput output = ChildOutput::Ours);
// Waits for a process started here to end and returns its exit code;
// STILL_ACTIVE for an id this program did not start.
win::DWORD WaitForChildExit(long pid);

}  // namespace platform

namespace vb {
// Starts a Windows command line with a window style (0 hidden, 1 normal, ...)
// and returns its process id (the task number). A program that cannot be
// found raises run-time error 53 "File not found". What a program run hidden
// writes on its standard output is not seen.
long Shell(const std::string& commandLine, int windowStyle);
}  // namespace vb

namespace win {
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_ALL_ACCESS = 0x1F0FFF;

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);  // 0 on failure
DWORD GetCurrentProcessId();
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);   // STILL_ACTIVE while it runs
// WAIT_OBJECT_0 once the process has ended, WAIT_TIMEOUT when it still runs
// after `milliseconds`, WAIT_FAILED for a handle that is no process.
DWORD WaitForSingleObject(HANDLE process, DWORD milliseconds);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL CloseHandle(HANDLE handle);
}  // namespace win
