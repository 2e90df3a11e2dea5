#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/host/HostFolder.h"
#include "platform/api/Security.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;
using namespace win;
using Bytes = std::vector<std::uint8_t>;

struct Lookup {
    BOOL ok = FALSE_;
    DWORD error = 0;
    Bytes sid;
    std::string domain;
    SID_NAME_USE use = SidTypeInvalid;
};

// The two-call pattern: sizes first, then buffers of those sizes.
Lookup LookupName(const std::string& name) {
    Lookup result;
    DWORD sidLength = 0;
    DWORD domainLength = 0;
    if (LookupAccountNameA(nullptr, name.c_str(), nullptr, &sidLength, nullptr, &domainLength, &result.use)) return result;
    result.error = GetLastError();
    if (result.error != ERROR_INSUFFICIENT_BUFFER) return result;
    result.sid.assign(sidLength, 0);
    std::vector<char> domain(domainLength, '\0');
    result.ok = LookupAccountNameA(nullptr, name.c_str(), result.sid.data(), &sidLength, domain.data(), &domainLength,
                                   &result.use);
    result.error = GetLastError();
    EXPECT_EQ(domainLength, std::strlen(domain.data()));  // the count without the NUL after success
    result.domain = domain.data();
    return result;
}

std::string LoginName() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? entry->pw_name : "";
}

TEST(Accounts, WellKnownAccountsHaveTheirWindowsSidsAndDomains) {
    TempHost host;
    struct Case {
        const char* name;
        const char* sid;
        const char* domain;
        SID_NAME_USE use;
    };
    const std::vector<Case> cases = {
        {"System", "S-1-5-18", "NT AUTHORITY", SidTypeWellKnownGroup},
        {"NT AUTHORITY\\SYSTEM", "S-1-5-18", "NT AUTHORITY", SidTypeWellKnownGroup},
        {"Administrators", "S-1-5-32-544", "BUILTIN", SidTypeAlias},
        {"builtin\\administrators", "S-1-5-32-544", "BUILTIN", SidTypeAlias},
        {"Power Users", "S-1-5-32-547", "BUILTIN", SidTypeAlias},
        {"Users", "S-1-5-32-545", "BUILTIN", SidTypeAlias},
        {"Everyone", "S-1-1-0", "", SidTypeWellKnownGroup},
    };
    for (const Case& c : cases) {
        const Lookup found = LookupName(c.name);
        ASSERT_TRUE(found.ok) << c.name;
        EXPECT_EQ(platform::SidToString(found.sid.data()), c.sid) << c.name;
        EXPECT_EQ(found.domain, c.domain) << c.name;
        EXPECT_EQ(found.use, c.use) << c.name;
        EXPECT_EQ(GetLengthSid(const_cast<BYTE*>(found.sid.data())), found.sid.size());
    }
    for (const char* unknown : {"Nobody Like This", "", "BUILTIN\\Everyone", "\\"}) {
        const Lookup found = LookupName(unknown);
        EXPECT_FALSE(found.ok) << unknown;
        EXPECT_EQ(found.error, ERROR_NONE_MAPPED) << unknown;
    }
}

TEST(Accounts, HostUsersMapToMachineSidsBothWays) {
    TempHost host;
    const std::string login = LoginName();
    ASSERT_FALSE(login.empty());
    const Lookup found = LookupName(login);
    ASSERT_TRUE(found.ok);
    EXPECT_EQ(found.use, SidTypeUser);
    EXPECT_EQ(found.domain, platform::ComputerName());
    const std::string text = platform::SidToString(found.sid.data());
    EXPECT_EQ(text.rfind("S-1-5-21-", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.rfind('-') + 1), std::to_string(1000 + geteuid()));
    EXPECT_EQ(found.sid, platform::CallingUserSid());
    EXPECT_TRUE(LookupName(platform::ComputerName() + "\\" + login).ok);

    char name[64];
    char domain[64];
    DWORD nameLength = 2;
    DWORD domainLength = sizeof domain;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidA(nullptr, const_cast<BYTE*>(found.sid.data()), name, &nameLength, domain, &domainLength, &use));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(nameLength, login.size() + 1);
    nameLength = sizeof name;
    domainLength = sizeof domain;
    ASSERT_TRUE(LookupAccountSidA(nullptr, const_cast<BYTE*>(found.sid.data()), name, &nameLength, domain, &domainLength, &use));
    EXPECT_EQ(std::string(name), login);
    EXPECT_EQ(nameLength, login.size());

    // A SID of this machine without a host user, and one of another machine.
    Bytes orphan = platform::SidOfHostUser(4000000000u - 1000u);
    nameLength = sizeof name;
    domainLength = sizeof domain;
    EXPECT_FALSE(LookupAccountSidA(nullptr, orphan.data(), name, &nameLength, domain, &domainLength, &use));
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
    const Bytes foreign = platform::SidFromString("S-1-5-21-1-2-3-1000");
    EXPECT_FALSE(platform::HostUidOfSid(foreign.data()).has_value());
}

TEST(Sids, ValidityLengthEqualityAndCopyCheckTheirBytes) {
    Bytes system = platform::SidFromString("S-1-5-18");
    Bytes admins = platform::SidFromString("S-1-5-32-544");
    EXPECT_EQ(system, (Bytes{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}));
    EXPECT_TRUE(IsValidSid(system.data()));
    EXPECT_EQ(GetLengthSid(admins.data()), 16u);
    EXPECT_TRUE(EqualSid(system.data(), platform::WellKnownSid("SYSTEM").data()));
    EXPECT_FALSE(EqualSid(system.data(), admins.data()));

    Bytes copy(16, 0xEE);
    EXPECT_FALSE(CopySid(15, copy.data(), admins.data()));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(CopySid(16, copy.data(), admins.data()));
    EXPECT_EQ(copy, admins);

    Bytes badRevision = system;
    badRevision[0] = 2;
    Bytes tooManyParts = system;
    tooManyParts[1] = 16;
    for (Bytes* bad : {&badRevision, &tooManyParts}) {
        EXPECT_FALSE(IsValidSid(bad->data()));
        EXPECT_EQ(GetLengthSid(bad->data()), 0u);
        EXPECT_FALSE(EqualSid(bad->data(), bad->data()));
        EXPECT_FALSE(platform::SidIsValidIn(bad->data(), bad->size()));
    }
    EXPECT_FALSE(IsValidSid(nullptr));
    EXPECT_FALSE(platform::SidIsValidIn(admins.data(), 15));  // a sub-authority cut off
    for (const char* text : {"S-1", "S-2-5-18", "X-1-5-18", "S-1-5-", "S-1-5-x", "S-1-5-99999999999"})
        EXPECT_TRUE(platform::SidFromString(text).empty()) << text;
}

TEST(Acls, EntriesAreAppendedInsertedAndReadBackInTheWindowsLayout) {
    alignas(4) BYTE buffer[128];
    auto* acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    Bytes system = platform::WellKnownSid("System");
    Bytes everyone = platform::WellKnownSid("Everyone");
    Bytes users = platform::WellKnownSid("Users");
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, 0xF003F, system.data()));
    ASSERT_TRUE(AddAccessDeniedAceEx(acl, ACL_REVISION, 0, 0x20006, everyone.data()));

    // A hand-made entry, as the permission code builds them: header, mask, SID.
    Bytes ace(8 + users.size(), 0);
    ace[0] = ACCESS_ALLOWED_ACE_TYPE;
    ace[1] = INHERITED_ACE;
    ace[2] = static_cast<BYTE>(ace.size());
    const DWORD mask = 0x20019;
    std::memcpy(ace.data() + 4, &mask, 4);
    std::memcpy(ace.data() + 8, users.data(), users.size());
    ASSERT_TRUE(AddAce(acl, ACL_REVISION, 0, ace.data(), static_cast<DWORD>(ace.size())));  // at the front

    ACL_SIZE_INFORMATION info{};
    ASSERT_TRUE(GetAclInformation(acl, &info, sizeof info, AclSizeInformation));
    EXPECT_EQ(info.AceCount, 3u);
    EXPECT_EQ(info.AclBytesInUse, 8u + 20u + 20u + 24u);
    EXPECT_EQ(info.AclBytesFree, sizeof buffer - info.AclBytesInUse);
    EXPECT_FALSE(GetAclInformation(acl, &info, sizeof info - 1, AclSizeInformation));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    struct Expected {
        BYTE type, flags;
        WORD size;
        DWORD mask;
        Bytes sid;
    };
    const std::vector<Expected> expected = {{0, INHERITED_ACE, 24, 0x20019, users},
                                            {0, CONTAINER_INHERIT_ACE, 20, 0xF003F, system},
                                            {1, 0, 20, 0x20006, everyone}};
    for (DWORD i = 0; i < expected.size(); ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &entry));
        const auto* header = static_cast<ACE_HEADER*>(entry);
        EXPECT_EQ(header->AceType, expected[i].type);
        EXPECT_EQ(header->AceFlags, expected[i].flags);
        EXPECT_EQ(header->AceSize, expected[i].size);
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(allowed->Mask, expected[i].mask);
        EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart), const_cast<BYTE*>(expected[i].sid.data())));
    }
    void* entry = nullptr;
    EXPECT_FALSE(GetAce(acl, 3, &entry));
}

TEST(Acls, FullListsAndBrokenBytesAreRefused) {
    alignas(4) BYTE buffer[40];
    auto* acl = reinterpret_cast<PACL>(buffer);
    Bytes admins = platform::WellKnownSid("Administrators");
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0, 0xF003F, admins.data()));
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0, 1, admins.data()));
    EXPECT_EQ(GetLastError(), ERROR_ALLOTTED_SPACE_EXCEEDED);
    EXPECT_EQ(acl->AceCount, 1);
    EXPECT_FALSE(AddAccessAllowedAceEx(acl, ACL_REVISION, 0x80, 1, admins.data()));  // not an entry flag

    EXPECT_FALSE(InitializeAcl(acl, 4, ACL_REVISION));
    EXPECT_FALSE(InitializeAcl(acl, sizeof buffer, 7));

    // An entry whose size runs past the list, and a list claiming an extra entry.
    Bytes broken(buffer, buffer + sizeof buffer);
    broken[8 + 2] = 200;
    EXPECT_FALSE(IsValidAcl(reinterpret_cast<PACL>(broken.data())));
    void* entry = nullptr;
    EXPECT_FALSE(GetAce(reinterpret_cast<PACL>(broken.data()), 0, &entry));
    Bytes extra(buffer, buffer + sizeof buffer);
    extra[4] = 2;
    EXPECT_FALSE(IsValidAcl(reinterpret_cast<PACL>(extra.data())));
    EXPECT_FALSE(platform::AclIsValidIn(buffer, 12));  // cut shorter than its size
    // A block of entries with a bad size is not added.
    Bytes block{0, 0, 2, 0};
    alignas(4) BYTE room[64];
    ASSERT_TRUE(InitializeAcl(reinterpret_cast<PACL>(room), sizeof room, ACL_REVISION));
    EXPECT_FALSE(AddAce(reinterpret_cast<PACL>(room), ACL_REVISION, MAXDWORD, block.data(), 4));
    // An allowing entry whose SID claims more sub-authorities than its size holds.
    Bytes shortSid{ACCESS_ALLOWED_ACE_TYPE, 0, 16, 0, 0x3F, 0, 0x0F, 0, 1, 5, 0, 0, 0, 0, 0, 5};
    EXPECT_FALSE(AddAce(reinterpret_cast<PACL>(room), ACL_REVISION, MAXDWORD, shortSid.data(), 16));
    EXPECT_FALSE(AddAce(reinterpret_cast<PACL>(room), ACL_REVISION, MAXDWORD, shortSid.data(), 15));
    EXPECT_EQ(reinterpret_cast<PACL>(room)->AceCount, 0);
}

TEST(Descriptors, AbsoluteDescriptorBecomesSelfRelativeWithItsOwnerListAndFlags) {
    Bytes owner = platform::CallingUserSid();
    alignas(4) BYTE aclBuffer[64];
    auto* acl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
    Bytes everyone = platform::WellKnownSid("Everyone");
    ASSERT_TRUE(AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, 0x20019, everyone.data()));

    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&sd, owner.data(), FALSE_));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE_, acl, FALSE_));
    ASSERT_TRUE(SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED, SE_DACL_PROTECTED));
    EXPECT_FALSE(SetSecurityDescriptorControl(&sd, SE_SELF_RELATIVE, SE_SELF_RELATIVE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(IsValidSecurityDescriptor(&sd));

    DWORD size = 0;
    EXPECT_FALSE(MakeSelfRelativeSD(&sd, nullptr, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    const DWORD aclSize = acl->AclSize;
    EXPECT_EQ(size, 20u + owner.size() + aclSize);
    Bytes relative(size);
    ASSERT_TRUE(MakeSelfRelativeSD(&sd, relative.data(), &size));

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(relative.data(), &control, &revision));
    EXPECT_EQ(control, SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT);
    EXPECT_EQ(revision, 1u);
    EXPECT_EQ(GetSecurityDescriptorLength(relative.data()), size);
    EXPECT_TRUE(IsValidRelativeSecurityDescriptor(relative.data(), size, OWNER_SECURITY_INFORMATION));
    EXPECT_FALSE(IsValidRelativeSecurityDescriptor(relative.data(), size - 1, 0));
    EXPECT_FALSE(IsValidRelativeSecurityDescriptor(relative.data(), size, GROUP_SECURITY_INFORMATION));

    PSID foundOwner = nullptr;
    BOOL defaulted = TRUE_;
    ASSERT_TRUE(GetSecurityDescriptorOwner(relative.data(), &foundOwner, &defaulted));
    EXPECT_TRUE(EqualSid(foundOwner, owner.data()));
    EXPECT_GE(static_cast<BYTE*>(foundOwner), relative.data() + 20);
    BOOL present = FALSE_;
    PACL foundAcl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(relative.data(), &present, &foundAcl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    ASSERT_NE(foundAcl, nullptr);
    EXPECT_EQ(std::memcmp(foundAcl, acl, aclSize), 0);

    // Self-relative descriptors are read-only for the setters, as on Windows.
    EXPECT_FALSE(SetSecurityDescriptorOwner(relative.data(), owner.data(), FALSE_));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SECURITY_DESCR);

    // Without a list: not present, and no pointer.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, FALSE_, nullptr, FALSE_));
    ASSERT_TRUE(GetSecurityDescriptorDacl(&sd, &present, &foundAcl, &defaulted));
    EXPECT_FALSE(present);
    EXPECT_EQ(foundAcl, nullptr);
}

TEST(Privileges, HeldByAnAdministratorAndNotAssignedWhenHostIniTakesThemAway) {
    TempHost host;
    LUID restore{};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &restore));
    EXPECT_EQ(restore.LowPart, 18u);
    LUID debug{};
    ASSERT_TRUE(LookupPrivilegeValueA("", "sedebugprivilege", &debug));
    EXPECT_EQ(debug.LowPart, 20u);
    LUID unknown{};
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeMadeUpPrivilege", &unknown));
    EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_PRIVILEGE);

    auto adjust = [](const LUID& luid, DWORD attributes) {
        HANDLE token = 0;
        EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
        TOKEN_PRIVILEGES state{1, {{luid, attributes}}};
        SetLastError(12345);
        const BOOL ok = AdjustTokenPrivileges(token, FALSE_, &state, sizeof state, nullptr, nullptr);
        const DWORD error = GetLastError();
        EXPECT_TRUE(CloseTokenHandle(token));
        return std::make_pair(ok, error);
    };
    // The test owns its host folder, so it counts as an administrator.
    EXPECT_EQ(adjust(restore, SE_PRIVILEGE_ENABLED), std::make_pair(TRUE_, ERROR_SUCCESS));
    EXPECT_EQ(adjust(restore, 0), std::make_pair(TRUE_, ERROR_SUCCESS));
    EXPECT_TRUE(platform::CallerIsAdministrator());

    host.WriteHostIni("Machine", "Administrator", "0");
    EXPECT_FALSE(platform::CallerIsAdministrator());
    EXPECT_EQ(adjust(restore, SE_PRIVILEGE_ENABLED), std::make_pair(TRUE_, ERROR_NOT_ALL_ASSIGNED));
    EXPECT_EQ(adjust(debug, SE_PRIVILEGE_ENABLED), std::make_pair(TRUE_, ERROR_NOT_ALL_ASSIGNED));
    LUID changeNotify{};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeChangeNotifyPrivilege", &changeNotify));
    EXPECT_EQ(adjust(changeNotify, SE_PRIVILEGE_ENABLED), std::make_pair(TRUE_, ERROR_SUCCESS));
    EXPECT_EQ(adjust(LUID{9999, 0}, SE_PRIVILEGE_ENABLED), std::make_pair(TRUE_, ERROR_NOT_ALL_ASSIGNED));
}

TEST(Privileges, TokensNeedTheAdjustRightAndAValidHandle) {
    TempHost host;
    HANDLE token = 0;
    EXPECT_FALSE(OpenProcessToken(12345, TOKEN_ADJUST_PRIVILEGES, &token));
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES state{1, {{{18, 0}, SE_PRIVILEGE_ENABLED}}};
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE_, &state, sizeof state, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    state.PrivilegeCount = 100000;  // more entries than any token has
    HANDLE adjusting = 0;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &adjusting));
    EXPECT_FALSE(AdjustTokenPrivileges(adjusting, FALSE_, &state, sizeof state, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(CloseTokenHandle(token));
    EXPECT_TRUE(CloseTokenHandle(adjusting));
    EXPECT_FALSE(CloseTokenHandle(adjusting));
    EXPECT_FALSE(AdjustTokenPrivileges(adjusting, FALSE_, &state, sizeof state, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// ---- file owners ----

SECURITY_DESCRIPTOR OwnerDescriptor(Bytes& sid) {
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&sd, sid.data(), FALSE_);
    return sd;
}

// Switches SeRestorePrivilege in this process; true when the token holds it.
bool SwitchRestorePrivilege(bool on) {
    HANDLE token = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &privileges.Privileges[0].Luid);
    privileges.Privileges[0].Attributes = on ? SE_PRIVILEGE_ENABLED : 0;
    const BOOL adjusted = AdjustTokenPrivileges(token, FALSE_, &privileges, sizeof privileges, nullptr, nullptr);
    const DWORD code = GetLastError();
    CloseTokenHandle(token);
    return adjusted && code == ERROR_SUCCESS;
}

uid_t OwnerOnHost(const std::filesystem::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_uid;
}

TEST(FileOwners, OwnerReadsAsTheHostOwnersSid) {
    TempHost host;
    testsupport::WriteHostFile(host.HostOf("C:\\owned.txt"), "x");
    DWORD needed = 0;
    EXPECT_FALSE(GetFileSecurityA("C:\\owned.txt", OWNER_SECURITY_INFORMATION, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    Bytes sd(needed);
    ASSERT_TRUE(GetFileSecurityA("c:\\OWNED.txt", OWNER_SECURITY_INFORMATION, sd.data(), needed, &needed));
    PSID owner = nullptr;
    BOOL defaulted = FALSE_;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd.data(), &owner, &defaulted));
    EXPECT_TRUE(EqualSid(owner, platform::SidOfHostUser(OwnerOnHost(host.HostOf("C:\\owned.txt"))).data()));
    EXPECT_FALSE(GetFileSecurityA("C:\\missing.txt", OWNER_SECURITY_INFORMATION, sd.data(), needed, &needed));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FileOwners, SettingTheOwnerChownsWherePermittedAndFailsOtherwise) {
    TempHost host;
    const auto file = host.HostOf("C:\\give.txt");
    testsupport::WriteHostFile(file, "x");
    Bytes everyone = platform::WellKnownSid("Everyone");
    SECURITY_DESCRIPTOR notAnOwner = OwnerDescriptor(everyone);
    EXPECT_FALSE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &notAnOwner));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_OWNER);
    Bytes me = platform::CallingUserSid();
    SECURITY_DESCRIPTOR mine = OwnerDescriptor(me);
    EXPECT_FALSE(SetFileSecurityA("C:\\nothing-here.txt", OWNER_SECURITY_INFORMATION, &mine));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &mine));  // already the owner

    // Giving a file to another account takes the restore privilege, switched on.
    Bytes rootSid = platform::SidOfHostUser(0);
    SECURITY_DESCRIPTOR toRoot = OwnerDescriptor(rootSid);
    Bytes otherSid = platform::SidOfHostUser(geteuid() == 0 ? 65534 : 0);
    SECURITY_DESCRIPTOR toOther = OwnerDescriptor(otherSid);
    EXPECT_FALSE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &toOther));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_OWNER);
    EXPECT_EQ(OwnerOnHost(file), geteuid());

    if (geteuid() != 0) {
        ASSERT_TRUE(SwitchRestorePrivilege(true));
        EXPECT_FALSE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &toRoot));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_EQ(OwnerOnHost(file), geteuid());
        SwitchRestorePrivilege(false);
        return;
    }
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "no user nobody on this host";
    Bytes nobodySid = platform::SidOfHostUser(nobody->pw_uid);
    SECURITY_DESCRIPTOR toNobody = OwnerDescriptor(nobodySid);
    host.WriteHostIni("Machine", "Administrator", "0");
    EXPECT_FALSE(SwitchRestorePrivilege(true));
    EXPECT_FALSE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &toNobody));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_OWNER);
    EXPECT_EQ(OwnerOnHost(file), 0u);
    host.WriteHostIni("Machine", "Administrator", "1");
    ASSERT_TRUE(SwitchRestorePrivilege(true));
    ASSERT_TRUE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &toNobody));
    EXPECT_EQ(OwnerOnHost(file), nobody->pw_uid);
    Bytes admins = platform::WellKnownSid("Administrators");
    SECURITY_DESCRIPTOR toAdmins = OwnerDescriptor(admins);
    ASSERT_TRUE(SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &toAdmins));
    EXPECT_EQ(OwnerOnHost(file), 0u);
    SwitchRestorePrivilege(false);

    // An unprivileged process may not give the file away.
    std::filesystem::permissions(host.Folder(), std::filesystem::perms(0755));
    std::filesystem::permissions(host.DriveC(), std::filesystem::perms(0755));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setuid(nobody->pw_uid) != 0) _exit(2);
        const BOOL ok = SetFileSecurityA("C:\\give.txt", OWNER_SECURITY_INFORMATION, &toNobody);
        _exit(!ok && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(OwnerOnHost(file), 0u);
}

}  // namespace
