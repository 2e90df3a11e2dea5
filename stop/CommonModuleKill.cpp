#include "CommonModuleKill.h"
#include "common/ErrorTrap.h"

#include <charconv>
#include <cstring>
#include <optional>

#include "common/CommonModule.h"
#include "platform/api/Process.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Security.h"
#include "platform/api/Strings.h"
#include "platform/api/SystemInfo.h"
#include "platform/api/Toolhelp.h"
#include "platform/api/Wmi.h"

namespace CommonModule {

namespace {

constexpr const char* kQuote = "\"";

// The name as a whole number, as a process identifier is written; nothing
// for any other text.
std::optional<std::int32_t> ProcessIdOf(const std::string& name) {
    std::int32_t id = 0;
    const char* first = name.data();
    const char* last = first + name.size();
    const auto [end, error] = std::from_chars(first, last, id);
    if (first == last || error != std::errc() || end != last) return std::nullopt;
    return id;
}

// A name the tools can be given between quotes: no quote and no control
// character, neither of which a Windows file name can hold.
bool IsQuotableName(const std::string& name) {
    for (const char c : name)
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

bool IsNtFamily() { return (win::GetVersion() & 0x80000000u) == 0; }

bool SetDebugPrivilege(win::HANDLE token, win::DWORD attributes) {
    win::TOKEN_PRIVILEGES privileges{};
    if (!win::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = attributes;
    return win::AdjustTokenPrivileges(token, 0, &privileges, 0, nullptr, nullptr) != 0;
}

bool TerminateById(std::int32_t processId, std::int32_t exitCode) {
    const win::HANDLE process = win::OpenProcess(win::PROCESS_ALL_ACCESS, 0, static_cast<win::DWORD>(processId));
    if (!process) return false;
    const bool terminated = win::TerminateProcess(process, static_cast<win::UINT>(exitCode)) != 0;
    win::CloseHandle(process);
    return terminated;
}

// The entry's file-name field up to its first zero character.
std::string ImageNameOf(const win::PROCESSENTRY32& entry) {
    return std::string(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
}

void TerminateEntry(win::DWORD processId) {
    const win::HANDLE process = win::OpenProcess(win::PROCESS_TERMINATE, 0, processId);
    if (!process) return;
    win::TerminateProcess(process, 0);
    win::CloseHandle(process);
}

void EndIfNamed(const wmi::Object& process, const std::string& sProcessName) {
    const vb::Variant name = process.Property("Name");
    if (name.IsNull() || vb::StrComp(name.ToText(), sProcessName, vb::vbTextCompare) != 0) return;
    process.Terminate();
}

void RunTool(const std::string& arguments, bool bWait) {
    std::int32_t exitCode = 0;
    ShellX("cmd.exe", arguments, bWait, 0, exitCode);
}

using ErrorTrap::SkipErrors;

}  // namespace

void KillProcessAllMethods(const std::string& sProcessName, bool bWait) {
    const std::string name = StripPath(sProcessName);
    SkipErrors([&] { KillProcess(name); });
    if (const auto processId = ProcessIdOf(name)) SkipErrors([&] { KillProcess2(*processId, 0); });
    SkipErrors([&] { KillProcessViaWMI(name); });
    if (!IsQuotableName(name)) return;
    SkipErrors([&] { RunTool("/c tskill " + std::string(kQuote) + name + kQuote + " /a", bWait); });
    SkipErrors([&] { RunTool("/c taskkill /f /t /im " + std::string(kQuote) + name + kQuote, bWait); });
}

void KillProcess(const std::string& sProcessName) {
    try {
        const win::HANDLE snapshot = win::CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0);
        if (snapshot == win::INVALID_HANDLE_VALUE) return;
        win::PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (win::BOOL found = win::Process32First(snapshot, &entry); found;
             found = win::Process32Next(snapshot, &entry)) {
            if (vb::StrComp(ImageNameOf(entry), sProcessName, vb::vbTextCompare) == 0)
                TerminateEntry(entry.th32ProcessID);
        }
        win::CloseHandle(snapshot);
    } catch (const RuntimeError& e) {
        LogError("CommonModule\\KillProcess VB ERROR: ", e, {{"sProcessName", sProcessName}});
    }
}

bool KillProcess2(std::int32_t lProcessID, std::int32_t lExitCode) {
    bool terminated = false;
    const bool nt = IsNtFamily();
    win::HANDLE token = 0;
    try {
        if (nt) {
            const bool opened = win::OpenProcessToken(win::GetCurrentProcess(),
                                                      win::TOKEN_ADJUST_PRIVILEGES | win::TOKEN_QUERY, &token) != 0;
            if (!opened || !SetDebugPrivilege(token, win::SE_PRIVILEGE_ENABLED)) {
                if (token) win::CloseHandle(token);
                return false;
            }
        }
        terminated = TerminateById(lProcessID, lExitCode);
        if (nt) SetDebugPrivilege(token, 0);
    } catch (const RuntimeError& e) {
        LogError("CommonModule\\KillProcess2 VB ERROR: ", e);
    }
    if (token) win::CloseHandle(token);
    return terminated;
}

void KillProcessViaWMI(const std::string& sProcessName) {
    try {
        const wmi::Services services = wmi::GetObject("winmgmts://.");
        for (const wmi::Object& process : services.ExecQuery("Select * from win32_Process")) {
            // A process whose name cannot be read is left running; the scan goes on.
            try {
                EndIfNamed(process, sProcessName);
            } catch (const RuntimeError& e) {
                LogError("CommonModule\\KillProcessViaWMI VB ERROR: ", e, {{"sProcessName", sProcessName}});
            }
        }
    } catch (const RuntimeError& e) {
        LogError("CommonModule\\KillProcessViaWMI VB ERROR: ", e, {{"sProcessName", sProcessName}});
    }
}

}  // namespace CommonModule
