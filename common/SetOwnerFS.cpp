#include "SetOwnerFS.h"

#include <cstdint>
#include <vector>

#include "CommonModule.h"
#include "platform/api/Environment.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Security.h"

namespace SetOwnerFS {

namespace {

using CommonModule::DPrint;

constexpr const char* kRestorePrivilege = "SeRestorePrivilege";

void LogFailure(const std::string& step, win::DWORD code) {
    DPrint(step + " failed with error code " + std::to_string(code));
}

// Sets the owner; false after logging the step that failed.
bool ApplyOwner(const std::string& sPath, const std::string& account) {
    std::vector<std::uint32_t> sidBuffer(255 / 4 + 1, 0);
    win::DWORD sidLength = 255;
    std::string domain(255, '\0');
    win::DWORD domainLength = 255;
    win::SID_NAME_USE use{};
    if (!win::LookupAccountNameA(nullptr, account.c_str(), sidBuffer.data(), &sidLength, domain.data(), &domainLength,
                                 &use)) {
        LogFailure("LookupAccountName", win::GetLastError());
        return false;
    }
    win::SECURITY_DESCRIPTOR descriptor{};
    if (!win::InitializeSecurityDescriptor(&descriptor, win::SECURITY_DESCRIPTOR_REVISION)) {
        LogFailure("InitializeSecurityDescriptor", win::GetLastError());
        return false;
    }
    if (!win::SetSecurityDescriptorOwner(&descriptor, sidBuffer.data(), 0)) {
        LogFailure("SetSecurityDescriptorOwner", win::GetLastError());
        return false;
    }
    win::BOOL applied = 0;
    win::DWORD code = 0;
    {
        const CommonModule::FSRedirectionOff redirectionOff;
        applied = win::SetFileSecurityA(sPath.c_str(), win::OWNER_SECURITY_INFORMATION, &descriptor);
        code = win::GetLastError();
    }
    if (!applied) {
        LogFailure("SetFileSecurity", code);
        return false;
    }
    return true;
}

}  // namespace

void ChangeOwnerOfFile(const std::string& sPath, const std::string& sOwnerAccountName) {
    DPrint("SetOwnerFS\\ChangeOwnerOfFile:");
    DPrint("\t- Passed: " + sPath);
    DPrint("\t- Optional Parm OwnerAccountName=" + sOwnerAccountName);
    try {
        const std::string account = sOwnerAccountName.empty() ? vb::Environ("USERNAME") : sOwnerAccountName;
        const bool privilegeOn = Enable_Privilege(kRestorePrivilege);
        const bool changed = ApplyOwner(sPath, account);
        if (changed) DPrint("Owner of " + sPath + " changed to " + account);
        // Switched off on every way out, so that the privilege never outlives the call.
        if (privilegeOn) Disable_Privilege(kRestorePrivilege);
    } catch (const RuntimeError& e) {
        CommonModule::LogError("SetOwnerFS\\ChangeOwnerOfFile - VB ERROR: ", e,
                               {{"sPath", sPath}, {"sOwnerAccountName", sOwnerAccountName}});
    }
}

bool Enable_Privilege(const std::string& privilegeName) { return ModifyState(privilegeName, true); }

bool Disable_Privilege(const std::string& privilegeName) { return ModifyState(privilegeName, false); }

bool ModifyState(const std::string& privilegeName, bool enable) {
    win::HANDLE token = 0;
    if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES, &token)) {
        LogFailure("OpenProcessToken", win::GetLastError());
        return false;
    }
    win::TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    if (!win::LookupPrivilegeValueA(nullptr, privilegeName.c_str(), &privileges.Privileges[0].Luid)) {
        LogFailure("LookupPrivilegeValue", win::GetLastError());
        win::CloseTokenHandle(token);
        return false;
    }
    privileges.Privileges[0].Attributes = enable ? win::SE_PRIVILEGE_ENABLED : 0;
    const win::BOOL adjusted =
        win::AdjustTokenPrivileges(token, 0, &privileges, sizeof privileges, nullptr, nullptr);
    const win::DWORD code = win::GetLastError();
    win::CloseTokenHandle(token);
    if (adjusted && code == 0) return true;
    LogFailure("AdjustTokenPrivileges", code);
    return false;
}

}  // namespace SetOwnerFS
