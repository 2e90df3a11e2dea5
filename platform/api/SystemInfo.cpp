#include "platform/api/SystemInfo.h"

#include <time.h>

#include <algorithm>
#include <cstring>

#include "platform/host/HostFolder.h"

namespace platform {

namespace {
template <typename T>
T VersionNumber(const char* key, T defaultValue) {
    return static_cast<T>(HostSettingNumber("Version", key, static_cast<long>(defaultValue)));
}
}  // namespace

HostVersion ReadHostVersion() {
    const HostVersion defaults;
    HostVersion v;
    v.major = VersionNumber("Major", defaults.major);
    v.minor = VersionNumber("Minor", defaults.minor);
    v.build = VersionNumber("Build", defaults.build);
    v.platformId = VersionNumber("PlatformId", defaults.platformId);
    v.csdVersion = HostSetting("Version", "CSDVersion", defaults.csdVersion);
    v.servicePackMajor = VersionNumber("ServicePackMajor", defaults.servicePackMajor);
    v.servicePackMinor = VersionNumber("ServicePackMinor", defaults.servicePackMinor);
    v.suiteMask = VersionNumber("SuiteMask", defaults.suiteMask);
    v.productType = VersionNumber("ProductType", defaults.productType);
    v.sku = VersionNumber("SKU", defaults.sku);
    return v;
}

}  // namespace platform

namespace win {

namespace {
constexpr DWORD kErrorInsufficientBuffer = 122;

void FillShortRecord(OSVERSIONINFOA& info, const platform::HostVersion& v) {
    info.dwMajorVersion = v.major;
    info.dwMinorVersion = v.minor;
    info.dwBuildNumber = v.build;
    info.dwPlatformId = v.platformId;
    std::memset(info.szCSDVersion, 0, sizeof info.szCSDVersion);
    const std::size_t length = std::min(v.csdVersion.size(), sizeof info.szCSDVersion - 1);
    std::memcpy(info.szCSDVersion, v.csdVersion.data(), length);
}

BOOL RefuseSize() {
    SetLastError(kErrorInsufficientBuffer);
    return FALSE_;
}
}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return RefuseSize();
    FillShortRecord(*info, platform::ReadHostVersion());
    return TRUE_;
}

BOOL GetVersionExA(OSVERSIONINFOEXA* info) {
    if (!info) return RefuseSize();
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) return RefuseSize();
    const platform::HostVersion v = platform::ReadHostVersion();
    // The extended record came with Windows NT 4.0 SP6; the other platforms refuse its size.
    if (size == sizeof(OSVERSIONINFOEXA) && v.platformId != VER_PLATFORM_WIN32_NT) return RefuseSize();
    OSVERSIONINFOA shortRecord{};
    shortRecord.dwOSVersionInfoSize = size;
    FillShortRecord(shortRecord, v);
    // The short record is the leading part of the extended one; a caller that
    // asked for 148 bytes gets nothing written past them.
    std::memcpy(info, &shortRecord, sizeof shortRecord);
    if (size == sizeof(OSVERSIONINFOEXA)) {
        info->wServicePackMajor = v.servicePackMajor;
        info->wServicePackMinor = v.servicePackMinor;
        info->wSuiteMask = v.suiteMask;
        info->wProductType = v.productType;
        info->wReserved = 0;
    }
    return TRUE_;
}

DWORD GetVersion() {
    const platform::HostVersion v = platform::ReadHostVersion();
    DWORD result = (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | ((v.build & 0x7FFF) << 16);
    if (v.platformId != VER_PLATFORM_WIN32_NT) result |= 0x80000000u;
    return result;
}

int GetSystemMetrics(int index) {
    if (index != SM_CLEANBOOT) return 0;
    const long mode = platform::HostSettingNumber("Machine", "BootMode", 0);
    return (mode >= 0 && mode <= 2) ? static_cast<int>(mode) : 0;
}

ULONGLONG GetTickCount64() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

DWORD timeGetTime() { return GetTickCount(); }

}  // namespace win
