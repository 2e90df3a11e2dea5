#include "SetPerm.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "CommonModule.h"
#include "modRegistry.h"
#include "platform/api/Environment.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"
#include "platform/api/SystemInfo.h"

namespace SetPerm {

namespace {

using CommonModule::DPrint;

constexpr win::SECURITY_DESCRIPTOR_CONTROL kCarriedControlBits = win::SE_DACL_PROTECTED | win::SE_DACL_AUTO_INHERITED;

[[noreturn]] void RaiseStepFailure(const std::string& step, long code) {
    throw RuntimeError(code, "SetPerm", step + " failed");
}

void Require(win::BOOL answer, const std::string& step) {
    if (!answer) RaiseStepFailure(step, static_cast<long>(win::GetLastError()));
}

// Null for a root text it does not know: the caller then leaves every key alone.
win::HKEY PermissionRootOf(const std::string& sTopKey) {
    const std::string root = vb::UCase(sTopKey);
    if (root == "HKCU") return win::HKEY_CURRENT_USER;
    if (root == "HKLM") return win::HKEY_LOCAL_MACHINE;
    if (root == "HKU") return win::HKEY_USERS;
    if (root == "HKCR") return win::HKEY_CLASSES_ROOT;
    DPrint("SetPerm\\RegSetKeyPermission - Bad skey passed:  " + sTopKey);
    return 0;
}

platform::SidBytes SidOfAccount(const std::string& accountName) {
    win::DWORD sidLength = 0;
    win::DWORD domainLength = 0;
    win::SID_NAME_USE use{};
    win::LookupAccountNameA(nullptr, accountName.c_str(), nullptr, &sidLength, nullptr, &domainLength, &use);
    if (sidLength == 0) RaiseStepFailure("LookupAccountName of " + accountName, static_cast<long>(win::GetLastError()));
    platform::SidBytes sid(sidLength, 0);
    std::string domain(std::max<win::DWORD>(domainLength, 1), '\0');
    Require(win::LookupAccountNameA(nullptr, accountName.c_str(), sid.data(), &sidLength, domain.data(), &domainLength,
                                    &use),
            "LookupAccountName of " + accountName);
    return sid;
}

bool IsWindows2000OrLater() {
    win::OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return win::GetVersionExA(&version) && version.dwMajorVersion >= 5;
}

// The entries of an access list, as pointers into it.
std::vector<win::ACE_HEADER*> EntriesOf(win::PACL acl) {
    std::vector<win::ACE_HEADER*> entries;
    if (!acl) return entries;
    win::ACL_SIZE_INFORMATION size{};
    Require(win::GetAclInformation(acl, &size, sizeof size, win::AclSizeInformation), "GetAclInformation");
    for (win::DWORD index = 0; index < size.AceCount; ++index) {
        void* ace = nullptr;
        Require(win::GetAce(acl, index, &ace), "GetAce");
        entries.push_back(static_cast<win::ACE_HEADER*>(ace));
    }
    return entries;
}

win::DWORD BytesInUse(win::PACL acl) {
    if (!acl) return sizeof(win::ACL);
    win::ACL_SIZE_INFORMATION size{};
    Require(win::GetAclInformation(acl, &size, sizeof size, win::AclSizeInformation), "GetAclInformation");
    return size.AclBytesInUse;
}

// The account SID of an allowing, denying, audit or alarm entry; null for other kinds.
win::PSID SidOfEntry(win::ACE_HEADER* ace) {
    if (ace->AceType > 3 || ace->AceSize < sizeof(win::ACCESS_ALLOWED_ACE)) return nullptr;
    return &reinterpret_cast<win::ACCESS_ALLOWED_ACE*>(ace)->SidStart;
}

void AddExistingEntry(win::PACL acl, win::ACE_HEADER* ace) {
    Require(win::AddAce(acl, win::ACL_REVISION, win::MAXDWORD, ace, ace->AceSize), "AddAce");
}

void AddRequestedEntries(win::PACL acl, std::vector<PermissionEntry>& entries, std::uint8_t deny) {
    for (PermissionEntry& entry : entries)
        if (entry.Deny == deny && !ConstructAndAddAce(acl, entry.Deny, entry.InheritanceFlags, entry.AccessMask,
                                                      entry.Sid.data()))
            RaiseStepFailure("AddAce for " + entry.AccountName, static_cast<long>(win::GetLastError()));
}

void FillCanonicalList(win::PACL acl, const std::vector<win::ACE_HEADER*>& oldEntries,
                       std::vector<PermissionEntry>& entries) {
    const auto firstInherited = std::find_if(oldEntries.begin(), oldEntries.end(),
                                             [](win::ACE_HEADER* ace) { return ace->AceFlags & win::INHERITED_ACE; });
    AddRequestedEntries(acl, entries, 1);
    for (auto ace = oldEntries.begin(); ace != firstInherited; ++ace) {
        const win::PSID sid = SidOfEntry(*ace);
        if (!sid || !win::IsValidSid(sid) || !IsEqual(entries, sid)) AddExistingEntry(acl, *ace);
    }
    AddRequestedEntries(acl, entries, 0);
    for (auto ace = firstInherited; ace != oldEntries.end(); ++ace) AddExistingEntry(acl, *ace);
}

}  // namespace

std::uint32_t AccessMaskOf(const std::string& sAccess) {
    if (sAccess == "R" || sAccess == "Read") return win::KEY_READ;
    if (sAccess == "W" || sAccess == "Write") return win::KEY_WRITE;
    if (sAccess == "X" || sAccess == "Execute") return win::KEY_EXECUTE;
    return win::KEY_ALL_ACCESS;
}

bool RegSetKeyPermission(const std::string& sTopKey, const std::string& sKeyPath, std::string& sAccount,
                         std::string& sAllowDeny, const std::string& sAccess) {
    const win::HKEY root = PermissionRootOf(sTopKey);
    if (!root) return false;
    if (sAccount.empty()) sAccount = vb::Environ("USERNAME");
    if (sAllowDeny.empty()) sAllowDeny = "Allow";
    // The view fDeleteValue opened the key in, so that the fix lands on the same key.
    const modRegistry::KeyView view = modRegistry::ReadingView(sKeyPath);
    win::HKEY key = 0;
    if (win::RegOpenKeyExA(root, view.path.c_str(), 0, win::READ_CONTROL | win::WRITE_DAC | view.viewFlag, &key) != 0)
        return false;
    std::vector<PermissionEntry> entries(1);
    entries[0].AccountName = sAccount;
    entries[0].AccessMask = AccessMaskOf(sAccess);
    entries[0].InheritanceFlags = win::CONTAINER_INHERIT_ACE;
    entries[0].Deny = sAllowDeny == "Deny" ? 1 : 0;
    const bool result = UpdatePermissionsOfRegistryKey(key, entries);
    win::RegCloseKey(key);
    return result;
}

bool GetRegKeyPermissions(const std::string& sTopKey, const std::string& sKeyPath) {
    bool anyFailed = false;
    for (const char* name : {"", "System", "Administrators", "Power Users", "Users"}) {
        std::string account = name;
        std::string allow = "Allow";
        if (!RegSetKeyPermission(sTopKey, sKeyPath, account, allow, "ALL")) anyFailed = true;
    }
    return anyFailed;
}

bool UpdatePermissionsOfRegistryKey(win::HKEY hKey, std::vector<PermissionEntry>& entries) {
    try {
        win::DWORD size = 0;
        const win::LONG sized = win::RegGetKeySecurity(hKey, win::DACL_SECURITY_INFORMATION, nullptr, &size);
        if (sized != static_cast<win::LONG>(win::ERROR_INSUFFICIENT_BUFFER) && sized != 0)
            RaiseStepFailure("RegGetKeySecurity", sized);
        std::vector<std::uint64_t> oldDescriptor((size + 7) / 8, 0);
        const win::LONG read = win::RegGetKeySecurity(hKey, win::DACL_SECURITY_INFORMATION, oldDescriptor.data(), &size);
        if (read != 0) RaiseStepFailure("RegGetKeySecurity", read);
        ObjectSecurityDescriptor newDescriptor;
        if (!CreateObjectSecurityDescriptor(oldDescriptor.data(), entries, newDescriptor))
            RaiseStepFailure("CreateObjectSecurityDescriptor", 0);
        const win::LONG set = win::RegSetKeySecurity(hKey, win::DACL_SECURITY_INFORMATION, &newDescriptor.Descriptor);
        if (set != 0) RaiseStepFailure("RegSetKeySecurity", set);
        return true;
    } catch (const RuntimeError& e) {
        CommonModule::LogError("SetPerm\\UpdatePermissionsOfRegistryKey - VB ERROR: ", e);
        return false;
    }
}

bool CreateObjectSecurityDescriptor(win::PSECURITY_DESCRIPTOR oldDescriptor, std::vector<PermissionEntry>& entries,
                                    ObjectSecurityDescriptor& newDescriptor) {
    try {
        const bool carryControl = IsWindows2000OrLater();
        newDescriptor = ObjectSecurityDescriptor{};
        Require(win::InitializeSecurityDescriptor(&newDescriptor.Descriptor, win::SECURITY_DESCRIPTOR_REVISION),
                "InitializeSecurityDescriptor");
        win::BOOL present = 0;
        win::BOOL defaulted = 0;
        win::PACL oldAcl = nullptr;
        Require(win::GetSecurityDescriptorDacl(oldDescriptor, &present, &oldAcl, &defaulted),
                "GetSecurityDescriptorDacl");
        if (!present) oldAcl = nullptr;
        win::DWORD aclSize = BytesInUse(oldAcl);
        for (PermissionEntry& entry : entries) {
            entry.Sid = SidOfAccount(entry.AccountName);
            aclSize += sizeof(win::ACCESS_ALLOWED_ACE) - sizeof(win::DWORD) + win::GetLengthSid(entry.Sid.data());
        }
        aclSize = (aclSize + 3) & ~3u;
        newDescriptor.AclStorage.assign(aclSize / 4, 0);
        Require(win::InitializeAcl(newDescriptor.Acl(), aclSize, win::ACL_REVISION), "InitializeAcl");
        FillCanonicalList(newDescriptor.Acl(), EntriesOf(oldAcl), entries);
        if (carryControl) {
            win::SECURITY_DESCRIPTOR_CONTROL control = 0;
            win::DWORD revision = 0;
            Require(win::GetSecurityDescriptorControl(oldDescriptor, &control, &revision),
                    "GetSecurityDescriptorControl");
            Require(win::SetSecurityDescriptorControl(&newDescriptor.Descriptor, kCarriedControlBits,
                                                      control & kCarriedControlBits),
                    "SetSecurityDescriptorControl");
        }
        Require(win::SetSecurityDescriptorDacl(&newDescriptor.Descriptor, 1, newDescriptor.Acl(), 0),
                "SetSecurityDescriptorDacl");
        return true;
    } catch (const RuntimeError& e) {
        CommonModule::LogError("SetPerm\\CreateObjectSecurityDescriptor - VB ERROR: ", e);
        return false;
    }
}

bool ConstructAndAddAce(win::PACL acl, std::uint8_t deny, std::uint8_t inheritanceFlags, std::uint32_t accessMask,
                        win::PSID sid) {
    const win::DWORD sidLength = win::GetLengthSid(sid);
    const win::DWORD size = sizeof(win::ACE_HEADER) + sizeof(win::ACCESS_MASK) + sidLength;
    std::vector<std::uint32_t> block((size + 3) / 4, 0);
    auto* ace = reinterpret_cast<win::ACCESS_ALLOWED_ACE*>(block.data());
    ace->Header.AceType = deny == 1 ? win::ACCESS_DENIED_ACE_TYPE : win::ACCESS_ALLOWED_ACE_TYPE;
    ace->Header.AceFlags = inheritanceFlags;
    ace->Header.AceSize = static_cast<win::WORD>(size);
    ace->Mask = accessMask;
    std::memcpy(&ace->SidStart, sid, sidLength);
    return win::AddAce(acl, win::ACL_REVISION, win::MAXDWORD, ace, size) != 0;
}

bool IsEqual(const std::vector<PermissionEntry>& entries, win::PSID sid) {
    return std::any_of(entries.begin(), entries.end(), [sid](const PermissionEntry& entry) {
        return !entry.Sid.empty() && win::EqualSid(const_cast<std::uint8_t*>(entry.Sid.data()), sid);
    });
}

}  // namespace SetPerm
