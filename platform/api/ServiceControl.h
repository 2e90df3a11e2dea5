#pragma once
// The service manager of the emulated machine. A service is a subkey of
// HKLM\SYSTEM\CurrentControlSet\Services whose Type is a Win32 service (0x10
// or 0x20); its configuration lives there (Type, Start, ErrorControl,
// ImagePath, DisplayName, ObjectName, and whatever else the service keeps
// there, such as Description or a Parameters key) and its current state in
// the host folder's services.ini, so every process of one host sees the same
// states. Names compare without letter case. A service's key is written in
// one registry transaction: a process killed on the way leaves all or nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"

namespace win {

using SC_HANDLE = std::intptr_t;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

constexpr DWORD SERVICE_KERNEL_DRIVER = 0x01;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;

constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_CONTROL_STOP = 1;

constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;
constexpr DWORD SERVICE_ERROR_SEVERE = 2;
constexpr DWORD SERVICE_ERROR_CRITICAL = 3;

constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

// Only the local machine (null or empty name) and the default database.
SC_HANDLE OpenSCManagerW(const wchar_t* machineName, const wchar_t* databaseName, DWORD desiredAccess);
SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD desiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE manager, const wchar_t* serviceName, DWORD desiredAccess);
SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD desiredAccess);
// Needs SERVICE_QUERY_STATUS on the handle (5 otherwise).
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
BOOL CloseServiceHandle(SC_HANDLE handle);

// The wide text a caller passes to the W calls, from UTF-8.
std::wstring WideText(const std::string& utf8);

}  // namespace win

namespace platform {

struct ServiceRecord {
    std::string name;         // as registered
    std::string displayName;
    std::string imagePath;
    win::DWORD type = win::SERVICE_WIN32_OWN_PROCESS;
    win::DWORD startType = win::SERVICE_DEMAND_START;
    win::DWORD state = win::SERVICE_STOPPED;
    win::DWORD errorControl = win::SERVICE_ERROR_NORMAL;
    std::string objectName = "LocalSystem";  // the account it runs as
};

// What a configuration change sets; the rest of the service's key stays.
struct ServiceConfigChange {
    std::optional<win::DWORD> type;
    std::optional<win::DWORD> startType;
    std::optional<win::DWORD> errorControl;
    std::optional<std::string> imagePath;
    std::optional<std::string> displayName;
    std::optional<std::string> objectName;
};

// Every Win32 service in name order.
std::vector<ServiceRecord> ListServices();
// The service of a name in any letter case; nothing for "" or an unknown name.
std::optional<ServiceRecord> FindService(const std::string& name);
// Each returns 0 or the Windows error code (1060, 1073, 1056, 1058, 1062,
// 123, or the registry's).
win::DWORD CreateService(const ServiceRecord& record);
// The service's whole key goes, with its subkeys.
win::DWORD DeleteService(const std::string& name);
win::DWORD ChangeServiceConfig(const std::string& name, const ServiceConfigChange& change);
win::DWORD StartService(const std::string& name);
win::DWORD StopService(const std::string& name);
// Sets the current state, as a service reports it to the manager.
win::DWORD SetServiceStatus(const std::string& name, win::DWORD state);

}  // namespace platform
