#pragma once
// The version record, boot mode and tick counts of the emulated machine.
// The version and boot mode come from host.ini ([Version], [Machine] BootMode;
// a missing key keeps the Windows 7 Professional SP1 default); the tick counts
// come from the host's clock since boot, which keeps running while suspended.
#include <cstdint>
#include <string>

#include "platform/api/WinTypes.h"

namespace win {

using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using CHAR = char;
using ULONGLONG = std::uint64_t;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(OSVERSIONINFOEXA) == 156);

constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr int SM_CLEANBOOT = 67;

// Fills the record whose size field says 148 (short) or 156 (extended); any
// other size fails with ERROR_INSUFFICIENT_BUFFER and leaves the record as it was.
BOOL GetVersionExA(OSVERSIONINFOA* info);
BOOL GetVersionExA(OSVERSIONINFOEXA* info);
// Major version in the low byte, minor in the next; the build in the high
// word, whose top bit is set outside the NT family.
DWORD GetVersion();
// SM_CLEANBOOT: 0 normal start, 1 safe mode, 2 safe mode with networking;
// any other index gives 0.
int GetSystemMetrics(int index);
DWORD GetTickCount();
ULONGLONG GetTickCount64();
DWORD timeGetTime();

}  // namespace win

namespace platform {

// The operating system as host.ini describes it.
struct HostVersion {
    std::uint32_t major = 6;
    std::uint32_t minor = 1;
    std::uint32_t build = 7601;
    std::uint32_t platformId = 2;
    std::string csdVersion = "Service Pack 1";
    std::uint16_t servicePackMajor = 1;
    std::uint16_t servicePackMinor = 0;
    std::uint16_t suiteMask = 0x0100;  // VER_SUITE_SINGLEUSERTS, as a Windows 7 workstation reports
    std::uint8_t productType = 1;
    std::int32_t sku = 48;  // OperatingSystemSKU
};
HostVersion ReadHostVersion();

}  // namespace platform
