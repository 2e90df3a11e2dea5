#include "clsOpSys.h"

#include <cstring>
#include <map>

#include "CommonModule.h"
#include "platform/api/Environment.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"
#include "platform/api/Wmi.h"

namespace {

constexpr std::uint16_t VER_SUITE_SMALLBUSINESS = 0x0001;
constexpr std::uint16_t VER_SUITE_ENTERPRISE = 0x0002;
constexpr std::uint16_t VER_SUITE_BACKOFFICE = 0x0004;
constexpr std::uint16_t VER_SUITE_TERMINAL = 0x0010;
constexpr std::uint16_t VER_SUITE_SMALLBUSINESS_RESTRICTED = 0x0020;
constexpr std::uint16_t VER_SUITE_DATACENTER = 0x0080;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string SkuEditionName(std::int32_t sku) {
    static const std::map<std::int32_t, const char*> editions = {
        {0, " Undefined Edition "},  {1, " Ultimate "},           {2, " Home Basic "},
        {3, " Home Premium "},       {4, " Enterprise "},         {5, " Home Basic N "},
        {6, " Business "},           {7, " Standard "},           {8, " Datacenter "},
        {9, " SBS "},                {10, " Enterprise "},        {11, " Starter "},
        {12, " Datacenter Core "},   {13, " Standard Core "},     {14, " Enterprise Core "},
        {15, " Enterprise IA64 "},   {16, " Business N "},        {17, " Web Server "},
        {18, " Cluster "},           {19, " Home Server "},       {20, " Storage Express "},
        {21, " Storage Standard "},  {22, " Storage Workgroup "}, {23, " Storage Enterprise "},
        {24, " For Small Business "}, {25, " SBS Premium "},      {42, " Hyper-V "},
        {48, " Professional "},      {74, " Consumer Preview? "},
    };
    const auto found = editions.find(sku);
    if (found != editions.end()) return found->second;
    return " Unknown (SKU Bit " + std::to_string(sku) + ") ";
}

std::int32_t ToInt32(const vb::Variant& value) {
    const std::int64_t n = value.ToNumber();
    if (n < INT32_MIN || n > INT32_MAX) throw RuntimeError::Overflow();
    return static_cast<std::int32_t>(n);
}

}  // namespace

clsOpSys::clsOpSys() {
    ReadFolders();
    ReadVersionRecord();
    SetReleaseFlags();
}

void clsOpSys::ReadFolders() {
    SystemRoot = vb::Environ("systemroot");
    WinDir = vb::Environ("windir");
    SystemDrive = vb::Environ("systemdrive");
    HomeDrive = vb::Environ("homedrive");
    WinSysDir = WinDir + (vb::Environ("os") == "Windows_NT" ? "\\System32" : "\\System");
    CurrentUserName = vb::Environ("username");
    AllUsersProfile = vb::Environ("allusersprofile");
    UserProfile = vb::Environ("userprofile");
    ProgramFilesPath = vb::Environ("programfiles");
    CommonProgramFilesPath = vb::Environ("commonprogramfiles");
    TempPath = vb::Environ("temp");
    TmpPath = vb::Environ("tmp");
}

void clsOpSys::ReadVersionRecord() {
    OsVersionInfoEx.dwOSVersionInfoSize = sizeof(win::OSVERSIONINFOEXA);
    if (win::GetVersionExA(&OsVersionInfoEx)) return;
    OsVersionInfoEx.dwOSVersionInfoSize = sizeof(win::OSVERSIONINFOA);
    win::GetVersionExA(&OsVersionInfoEx);
}

void clsOpSys::SetReleaseFlags() {
    const std::uint32_t major = OsVersionInfoEx.dwMajorVersion;
    const std::uint32_t minor = OsVersionInfoEx.dwMinorVersion;
    switch (OsVersionInfoEx.dwPlatformId) {
        case win::VER_PLATFORM_WIN32_WINDOWS:
            flags_.IsWin95 = true;
            flags_.IsWin98 = minor >= 10;
            flags_.IsWinME = LoWord(OsVersionInfoEx.dwBuildNumber) >= 3000;
            break;
        case win::VER_PLATFORM_WIN32_NT:
            flags_.IsWinNT = true;
            flags_.IsWin2K = major >= 5;
            flags_.IsWinXP = major >= 5 && minor >= 1;
            flags_.Is2003 = major >= 5 && minor >= 2;
            flags_.IsVista = major >= 6;
            flags_.IsWin7 = major >= 6 && minor >= 1;
            flags_.IsWin8 = major >= 6 && minor >= 2;
            flags_.Is2008 = major >= 6 && OsVersionInfoEx.wProductType > 1;
            flags_.Is2008R2 = flags_.Is2008 && minor >= 1;
            break;
        default:
            break;
    }
    if (flags_.IsVista) flags_.IsWinXP = true;
}

std::int16_t clsOpSys::LoWord(std::uint32_t value) { return static_cast<std::int16_t>(value & 0xFFFFu); }

std::int32_t clsOpSys::BuildNumber() const { return LoWord(OsVersionInfoEx.dwBuildNumber); }

std::string clsOpSys::CSDVersion() const {
    const char* text = OsVersionInfoEx.szCSDVersion;
    return vb::Trim(std::string(text, strnlen(text, sizeof OsVersionInfoEx.szCSDVersion)));
}

std::int32_t clsOpSys::MajorVersion() const { return static_cast<std::int32_t>(OsVersionInfoEx.dwMajorVersion); }
std::int32_t clsOpSys::MinorVersion() const { return static_cast<std::int32_t>(OsVersionInfoEx.dwMinorVersion); }
std::int32_t clsOpSys::PlatformID() const { return static_cast<std::int32_t>(OsVersionInfoEx.dwPlatformId); }
std::int32_t clsOpSys::ProductType() const { return OsVersionInfoEx.wProductType; }
std::int16_t clsOpSys::ServicePackMajor() const { return static_cast<std::int16_t>(OsVersionInfoEx.wServicePackMajor); }
std::int16_t clsOpSys::ServicePackMinor() const { return static_cast<std::int16_t>(OsVersionInfoEx.wServicePackMinor); }
std::int16_t clsOpSys::SuiteMask() const { return static_cast<std::int16_t>(OsVersionInfoEx.wSuiteMask); }

std::int16_t clsOpSys::WindowsMode() const {
    return static_cast<std::int16_t>(win::GetSystemMetrics(win::SM_CLEANBOOT));
}

bool clsOpSys::HasAS() const { return OsVersionInfoEx.wSuiteMask & VER_SUITE_ENTERPRISE; }
bool clsOpSys::HasBO() const { return OsVersionInfoEx.wSuiteMask & VER_SUITE_BACKOFFICE; }
bool clsOpSys::HasDC() const { return OsVersionInfoEx.wSuiteMask & VER_SUITE_DATACENTER; }
bool clsOpSys::HasSBS() const { return OsVersionInfoEx.wSuiteMask & VER_SUITE_SMALLBUSINESS; }
bool clsOpSys::HasSBSr() const { return OsVersionInfoEx.wSuiteMask & VER_SUITE_SMALLBUSINESS_RESTRICTED; }
bool clsOpSys::HasTS() const { return OsVersionInfoEx.wSuiteMask & VER_SUITE_TERMINAL; }

bool clsOpSys::IsServer() const { return OsVersionInfoEx.wProductType > 1; }
bool clsOpSys::IsWin9x() const { return flags_.IsWin95 || flags_.IsWin98 || flags_.IsWinME; }

std::string clsOpSys::Platform() const {
    if (flags_.IsWinME) return "Windows Me";
    if (flags_.IsWin98) return "Windows 98";
    if (flags_.IsWin95) return "Windows 95";
    if (flags_.Is2008R2) return "Windows Server 2008 R2" + GetEditionName();
    if (flags_.IsWin8) return "Windows 8" + GetEditionName();
    if (flags_.IsWin7) return "Windows 7" + GetEditionName();
    if (flags_.Is2008) return "Windows Server 2008" + GetEditionName();
    if (flags_.IsVista) return "Windows Vista" + GetEditionName();
    if (flags_.Is2003) return "Windows Server 2003";
    if (flags_.IsWinXP) return "Windows XP" + GetEditionName();
    if (flags_.IsWin2K) return "Windows 2000";
    if (flags_.IsWinNT) return "Windows NT";
    return "";
}

std::string clsOpSys::Version() const {
    return Platform() + " " + CSDVersion() + " (Version " + std::to_string(MajorVersion()) + "." +
           std::to_string(MinorVersion()) + ", Build " + std::to_string(BuildNumber()) + ")";
}

std::string clsOpSys::ProductTypeName() const {
    switch (OsVersionInfoEx.wProductType) {
        case 0: return "Unknown";
        case 1: return "NT Workstation";
        case 2: return "Domain Controller";
        case 3: return "NT Server";
        default: return "";
    }
}

std::string clsOpSys::GetEditionName() const {
    if (OsVersionInfoEx.dwMajorVersion >= 6) return SkuEditionName(GetOperatingSystemSKU());
    return GetEditionNameFromProdspec();
}

std::string clsOpSys::GetEditionNameFromProdspec() const {
    const std::string prodspec = WinSysDir + "\\prodspec.ini";
    if (!CommonModule::DoesFileExist(prodspec)) return " Undefined Edition ";
    const std::string product =
        vb::LCase(CommonModule::ReadIniString(prodspec, kProdspecProductSection, "Product"));
    std::string edition;
    if (Contains(product, "home")) edition = " Home ";
    if (Contains(product, "media")) edition = " Media Center ";
    if (Contains(product, "professional"))
        edition = CommonModule::DoesFileExist(WinDir + "\\ehome\\ehtray.exe") ? " Media Center " : " Professional ";
    return edition;
}

std::int32_t clsOpSys::GetOperatingSystemSKU() {
    std::int32_t sku = 0;
    for (const wmi::Object& os : wmi::GetObject("winmgmts:").InstancesOf("Win32_OperatingSystem"))
        sku = ToInt32(os.Property("OperatingSystemSKU"));
    return sku;
}
