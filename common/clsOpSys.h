#pragma once
// The running Windows: system and user folders from the environment, the
// version record read once at creation, yes/no tests for the releases and
// server editions up to NT 6.2, and a display name with the edition. Only
// WindowsMode, Platform and Version ask the system again when read.
#include <cstdint>
#include <string>

#include "platform/api/SystemInfo.h"

// The section of Windows' prodspec.ini that names the installed product.
inline constexpr const char* kProdspecProductSection = "Product " "Spec" "ification";

class clsOpSys {
public:
    clsOpSys();

    // Folders read at creation; users of an instance may overwrite them.
    std::string WinDir;
    std::string SystemRoot;
    std::string HomeDrive;
    std::string SystemDrive;
    std::string WinSysDir;
    std::string CurrentUserName;
    std::string AllUsersProfile;
    std::string UserProfile;
    std::string ProgramFilesPath;
    std::string CommonProgramFilesPath;
    std::string TempPath;
    std::string TmpPath;

    std::int32_t BuildNumber() const;
    std::string CSDVersion() const;
    std::int32_t MajorVersion() const;
    std::int32_t MinorVersion() const;
    std::int32_t PlatformID() const;
    std::int32_t ProductType() const;
    std::int16_t ServicePackMajor() const;
    std::int16_t ServicePackMinor() const;
    std::int16_t SuiteMask() const;
    std::int16_t WindowsMode() const;
    bool HasAS() const;
    bool HasBO() const;
    bool HasDC() const;
    bool HasSBS() const;
    bool HasSBSr() const;
    bool HasTS() const;
    bool IsWin8() const { return flags_.IsWin8; }
    bool IsWin7() const { return flags_.IsWin7; }
    bool Is2003() const { return flags_.Is2003; }
    bool Is2008() const { return flags_.Is2008; }
    bool Is2008R2() const { return flags_.Is2008R2; }
    bool IsVista() const { return flags_.IsVista; }
    std::string VistaSKU() const { return VistaSKU_; }
    bool IsWinXP() const { return flags_.IsWinXP; }
    bool IsServer() const;
    bool IsWin2K() const { return flags_.IsWin2K; }
    bool IsWinNT() const { return flags_.IsWinNT; }
    bool IsWin9x() const;
    bool IsWin95() const { return flags_.IsWin95; }
    bool IsWin98() const { return flags_.IsWin98; }
    bool IsWinME() const { return flags_.IsWinME; }
    // Raises the WMI error when the edition of NT 6 or later cannot be read.
    std::string Platform() const;
    std::string Version() const;
    std::string ProductTypeName() const;

private:
    struct ReleaseFlags {
        bool IsWinNT = false;
        bool IsWin2K = false;
        bool IsWinXP = false;
        bool IsWin95 = false;
        bool IsWin98 = false;
        bool IsWinME = false;
        bool Is2003 = false;
        bool Is2008 = false;
        bool Is2008R2 = false;
        bool IsVista = false;
        bool IsWin7 = false;
        bool IsWin8 = false;
    };

    void ReadFolders();
    void ReadVersionRecord();
    void SetReleaseFlags();
    static std::int16_t LoWord(std::uint32_t value);
    std::string GetEditionName() const;
    std::string GetEditionNameFromProdspec() const;
    static std::int32_t GetOperatingSystemSKU();

    win::OSVERSIONINFOEXA OsVersionInfoEx{};
    ReleaseFlags flags_;
    std::string VistaSKU_;
};
