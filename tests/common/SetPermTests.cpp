#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/SetPerm.h"
#include "common/modRegistry.h"
#include "platform/api/Environment.h"
#include "platform/api/Program.h"
#include "platform/api/Registry.h"
#include "platform/api/Security.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

using testsupport::ReadHostFile;
using testsupport::StderrCapture;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace fs = std::filesystem;

namespace {

constexpr win::BYTE kAllow = win::ACCESS_ALLOWED_ACE_TYPE;
constexpr win::BYTE kDeny = win::ACCESS_DENIED_ACE_TYPE;
constexpr win::BYTE kInherited = win::INHERITED_ACE | win::CONTAINER_INHERIT_ACE;

// One entry of an access list as the tests write and read it; "User" names the calling user.
struct Entry {
    win::BYTE type;
    win::BYTE flags;
    win::ACCESS_MASK mask;
    std::string account;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{" << int(e.type) << ", 0x" << std::hex << int(e.flags) << ", 0x" << e.mask << std::dec << ", "
               << e.account << "}";
}

platform::SidBytes SidOf(const std::string& account) {
    return account == "User" ? platform::CallingUserSid() : platform::WellKnownSid(account);
}

std::string AccountOf(const void* sid) {
    for (const char* account : {"User", "System", "Administrators", "Power Users", "Users", "Everyone"})
        if (platform::SidToString(SidOf(account).data()) == platform::SidToString(sid)) return account;
    return platform::SidToString(sid);
}

std::vector<win::BYTE> AceBytes(const Entry& entry) {
    const platform::SidBytes sid = SidOf(entry.account);
    std::vector<win::BYTE> bytes(8 + sid.size(), 0);
    bytes[0] = entry.type;
    bytes[1] = entry.flags;
    const win::WORD size = static_cast<win::WORD>(bytes.size());
    std::memcpy(&bytes[2], &size, 2);
    std::memcpy(&bytes[4], &entry.mask, 4);
    std::memcpy(&bytes[8], sid.data(), sid.size());
    return bytes;
}

win::HKEY CreateKey(win::HKEY root, const std::string& path, win::REGSAM view) {
    win::HKEY key = 0;
    win::DWORD disposition = 0;
    EXPECT_EQ(win::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, win::KEY_ALL_ACCESS | view, nullptr, &key,
                                   &disposition),
              0);
    return key;
}

// Replaces a key's access list (and, when asked, its owner and protection flag).
void PrepareKey(win::HKEY root, const std::string& path, win::REGSAM view, const std::vector<Entry>& entries,
                win::SECURITY_DESCRIPTOR_CONTROL control = 0, const std::string& owner = "") {
    std::vector<std::uint32_t> acl(256, 0);
    auto* list = reinterpret_cast<win::PACL>(acl.data());
    ASSERT_TRUE(win::InitializeAcl(list, 1024, win::ACL_REVISION));
    for (const Entry& entry : entries) {
        std::vector<win::BYTE> ace = AceBytes(entry);
        ASSERT_TRUE(win::AddAce(list, win::ACL_REVISION, win::MAXDWORD, ace.data(), static_cast<win::DWORD>(ace.size())));
    }
    win::SECURITY_DESCRIPTOR descriptor{};
    ASSERT_TRUE(win::InitializeSecurityDescriptor(&descriptor, win::SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(win::SetSecurityDescriptorDacl(&descriptor, 1, list, 0));
    if (control) {
        ASSERT_TRUE(win::SetSecurityDescriptorControl(&descriptor, control, control));
    }
    win::SECURITY_INFORMATION information = win::DACL_SECURITY_INFORMATION;
    platform::SidBytes ownerSid;
    if (!owner.empty()) {
        ownerSid = SidOf(owner);
        ASSERT_TRUE(win::SetSecurityDescriptorOwner(&descriptor, ownerSid.data(), 0));
        information |= win::OWNER_SECURITY_INFORMATION;
    }
    const win::HKEY key = CreateKey(root, path, view);
    ASSERT_EQ(win::RegSetKeySecurity(key, information, &descriptor), 0);
    win::RegCloseKey(key);
}

struct KeySecurity {
    std::vector<Entry> entries;
    win::SECURITY_DESCRIPTOR_CONTROL control = 0;
};

KeySecurity ReadKeySecurity(win::HKEY root, const std::string& path, win::REGSAM view) {
    KeySecurity result;
    win::HKEY key = 0;
    EXPECT_EQ(win::RegOpenKeyExA(root, path.c_str(), 0, win::READ_CONTROL | view, &key), 0);
    win::DWORD size = 0;
    win::RegGetKeySecurity(key, win::DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<std::uint64_t> bytes(size / 8 + 1, 0);
    EXPECT_EQ(win::RegGetKeySecurity(key, win::DACL_SECURITY_INFORMATION, bytes.data(), &size), 0);
    win::RegCloseKey(key);
    win::BOOL present = 0;
    win::BOOL defaulted = 0;
    win::PACL acl = nullptr;
    win::DWORD revision = 0;
    EXPECT_TRUE(win::GetSecurityDescriptorDacl(bytes.data(), &present, &acl, &defaulted));
    EXPECT_TRUE(win::GetSecurityDescriptorControl(bytes.data(), &result.control, &revision));
    if (!present || !acl) return result;
    for (win::DWORD index = 0; index < acl->AceCount; ++index) {
        void* ace = nullptr;
        EXPECT_TRUE(win::GetAce(acl, index, &ace));
        auto* allowed = static_cast<win::ACCESS_ALLOWED_ACE*>(ace);
        result.entries.push_back(
            {allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask, AccountOf(&allowed->SidStart)});
    }
    return result;
}

class SetPermTest : public ::testing::Test {
protected:
    void SetUp() override { host.WriteHostIni("Machine", "Is64Bit", "1"); }

    testsupport::ProgramHost host;
};

// Old list: explicit entries (one of them the user's), inherited entries, and
// an explicit entry out of canonical place behind the inherited ones.
const std::vector<Entry> kOldList = {
    {kAllow, 0, win::KEY_READ, "Everyone"},
    {kAllow, 0, win::KEY_READ, "User"},
    {kDeny, 0, win::KEY_SET_VALUE, "Power Users"},
    {kAllow, kInherited, win::KEY_ALL_ACCESS, "System"},
    {kAllow, kInherited, win::KEY_ALL_ACCESS, "Administrators"},
    {kAllow, 0, win::KEY_READ, "Power Users"},
};

TEST_F(SetPermTest, NewListIsInCanonicalOrder) {
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", win::KEY_WOW64_64KEY, kOldList, win::SE_DACL_PROTECTED);
    std::vector<SetPerm::PermissionEntry> request(4);
    request[0] = {"Users", win::KEY_READ, win::CONTAINER_INHERIT_ACE, 0, {}};
    request[1] = {"Power Users", win::KEY_WRITE, win::CONTAINER_INHERIT_ACE, 1, {}};
    request[2] = {vb::Environ("USERNAME"), win::KEY_ALL_ACCESS, win::CONTAINER_INHERIT_ACE, 0, {}};
    request[3] = {"Everyone", win::KEY_SET_VALUE, win::CONTAINER_INHERIT_ACE, 1, {}};

    win::HKEY key = 0;
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", 0,
                                 win::READ_CONTROL | win::WRITE_DAC | win::KEY_WOW64_64KEY, &key),
              0);
    EXPECT_TRUE(SetPerm::UpdatePermissionsOfRegistryKey(key, request));
    win::RegCloseKey(key);

    const KeySecurity result = ReadKeySecurity(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", win::KEY_WOW64_64KEY);
    const std::vector<Entry> expected = {
        {kDeny, win::CONTAINER_INHERIT_ACE, win::KEY_WRITE, "Power Users"},
        {kDeny, win::CONTAINER_INHERIT_ACE, win::KEY_SET_VALUE, "Everyone"},
        {kAllow, win::CONTAINER_INHERIT_ACE, win::KEY_READ, "Users"},
        {kAllow, win::CONTAINER_INHERIT_ACE, win::KEY_ALL_ACCESS, "User"},
        {kAllow, kInherited, win::KEY_ALL_ACCESS, "System"},
        {kAllow, kInherited, win::KEY_ALL_ACCESS, "Administrators"},
        {kAllow, 0, win::KEY_READ, "Power Users"},
    };
    EXPECT_EQ(result.entries, expected);
    EXPECT_EQ(result.control & win::SE_DACL_PROTECTED, win::SE_DACL_PROTECTED);
}

TEST_F(SetPermTest, GrantReplacesTheAccountsOldExplicitEntries) {
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", win::KEY_WOW64_64KEY, kOldList);
    std::string account = "Power Users";
    std::string allow = "Allow";
    EXPECT_TRUE(SetPerm::RegSetKeyPermission("HKLM", "SOFTWARE\\Guarded", account, allow, "W"));
    const std::vector<Entry> expected = {
        {kAllow, 0, win::KEY_READ, "Everyone"},
        {kAllow, 0, win::KEY_READ, "User"},
        {kAllow, win::CONTAINER_INHERIT_ACE, win::KEY_WRITE, "Power Users"},
        {kAllow, kInherited, win::KEY_ALL_ACCESS, "System"},
        {kAllow, kInherited, win::KEY_ALL_ACCESS, "Administrators"},
        {kAllow, 0, win::KEY_READ, "Power Users"},
    };
    const KeySecurity result = ReadKeySecurity(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", win::KEY_WOW64_64KEY);
    EXPECT_EQ(result.entries, expected);
    EXPECT_EQ(result.control & win::SE_DACL_PROTECTED, 0);
}

TEST_F(SetPermTest, DenyGoesFirstAndEmptyArgumentsTakeTheirDefaults) {
    PrepareKey(win::HKEY_CURRENT_USER, "Software\\Guarded", 0,
               {{kAllow, 0, win::KEY_READ, "Everyone"}, {kAllow, kInherited, win::KEY_ALL_ACCESS, "User"}});
    std::string account = "Everyone";
    std::string deny = "Deny";
    EXPECT_TRUE(SetPerm::RegSetKeyPermission("hkcu", "Software\\Guarded", account, deny, "Read"));
    std::string user;
    std::string empty;
    EXPECT_TRUE(SetPerm::RegSetKeyPermission("HKCU", "Software\\Guarded", user, empty, "X"));
    EXPECT_EQ(user, vb::Environ("USERNAME"));
    EXPECT_EQ(empty, "Allow");
    const std::vector<Entry> expected = {
        {kDeny, win::CONTAINER_INHERIT_ACE, win::KEY_READ, "Everyone"},
        {kAllow, win::CONTAINER_INHERIT_ACE, win::KEY_EXECUTE, "User"},
        {kAllow, kInherited, win::KEY_ALL_ACCESS, "User"},
    };
    EXPECT_EQ(ReadKeySecurity(win::HKEY_CURRENT_USER, "Software\\Guarded", 0).entries, expected);
}

TEST_F(SetPermTest, AccessTextsAreComparedExactly) {
    struct Case {
        const char* text;
        win::ACCESS_MASK mask;
    };
    const Case cases[] = {
        {"R", win::KEY_READ},        {"Read", win::KEY_READ},      {"W", win::KEY_WRITE},
        {"Write", win::KEY_WRITE},   {"X", win::KEY_EXECUTE},      {"Execute", win::KEY_EXECUTE},
        {"ALL", win::KEY_ALL_ACCESS}, {"read", win::KEY_ALL_ACCESS}, {"w", win::KEY_ALL_ACCESS},
        {"", win::KEY_ALL_ACCESS},
    };
    int index = 0;
    for (const Case& c : cases) {
        const std::string path = "SOFTWARE\\Texts\\" + std::to_string(++index);
        PrepareKey(win::HKEY_LOCAL_MACHINE, path, win::KEY_WOW64_64KEY, {});
        std::string account = "Users";
        std::string allow = "Allow";
        EXPECT_TRUE(SetPerm::RegSetKeyPermission("HKLM", path, account, allow, c.text)) << c.text;
        const std::vector<Entry> expected = {{kAllow, win::CONTAINER_INHERIT_ACE, c.mask, "Users"}};
        EXPECT_EQ(ReadKeySecurity(win::HKEY_LOCAL_MACHINE, path, win::KEY_WOW64_64KEY).entries, expected) << c.text;
    }
}

// A root the permission step cannot name is left alone: giving Users rights on the same path under
// HKLM would open a key nobody asked for.
TEST_F(SetPermTest, UnknownRootKeyIsRefusedWithoutTouchingLocalMachine) {
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Fallback", win::KEY_WOW64_64KEY,
               {{kAllow, 0, win::KEY_READ, "Everyone"}});
    StderrCapture capture;
    std::string account = "System";
    std::string allow = "";
    EXPECT_FALSE(SetPerm::RegSetKeyPermission("HKXX", "SOFTWARE\\Fallback", account, allow, "ALL"));
    EXPECT_TRUE(SetPerm::GetRegKeyPermissions("HKCC", "SOFTWARE\\Fallback"));
    EXPECT_NE(capture.Text().find("\tSetPerm\\RegSetKeyPermission - Bad skey passed:  HKXX\n"), std::string::npos)
        << capture.Text();
    EXPECT_EQ(capture.Text().find("Defaulting to HKLM"), std::string::npos) << capture.Text();
    const std::vector<Entry> unchanged = {{kAllow, 0, win::KEY_READ, "Everyone"}};
    EXPECT_EQ(ReadKeySecurity(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Fallback", win::KEY_WOW64_64KEY).entries, unchanged);
}

TEST_F(SetPermTest, FailuresGiveFalse) {
    std::string account = "System";
    std::string allow = "Allow";
    EXPECT_FALSE(SetPerm::RegSetKeyPermission("HKLM", "SOFTWARE\\Missing", account, allow, "ALL"));
    EXPECT_TRUE(SetPerm::GetRegKeyPermissions("HKLM", "SOFTWARE\\Missing"));

    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Kept", win::KEY_WOW64_64KEY,
               {{kAllow, 0, win::KEY_READ, "Everyone"}});
    StderrCapture capture;
    std::string stranger = "No Such Account";
    EXPECT_FALSE(SetPerm::RegSetKeyPermission("HKLM", "SOFTWARE\\Kept", stranger, allow, "ALL"));
    EXPECT_NE(capture.Text().find("\tSetPerm\\CreateObjectSecurityDescriptor - VB ERROR: "), std::string::npos);
    const std::vector<Entry> unchanged = {{kAllow, 0, win::KEY_READ, "Everyone"}};
    EXPECT_EQ(ReadKeySecurity(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Kept", win::KEY_WOW64_64KEY).entries, unchanged);
}

TEST_F(SetPermTest, UsualAccountsGetFullControl) {
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Usual", win::KEY_WOW64_64KEY,
               {{kDeny, 0, win::KEY_SET_VALUE, "User"}, {kAllow, kInherited, win::KEY_READ, "Everyone"}});
    EXPECT_FALSE(SetPerm::GetRegKeyPermissions("HKLM", "SOFTWARE\\Usual"));
    const win::BYTE ci = win::CONTAINER_INHERIT_ACE;
    const std::vector<Entry> expected = {
        {kAllow, ci, win::KEY_ALL_ACCESS, "User"},  {kAllow, ci, win::KEY_ALL_ACCESS, "System"},
        {kAllow, ci, win::KEY_ALL_ACCESS, "Administrators"}, {kAllow, ci, win::KEY_ALL_ACCESS, "Power Users"},
        {kAllow, ci, win::KEY_ALL_ACCESS, "Users"}, {kAllow, kInherited, win::KEY_READ, "Everyone"},
    };
    EXPECT_EQ(ReadKeySecurity(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Usual", win::KEY_WOW64_64KEY).entries, expected);
}

// A value the user may not delete, in the 64-bit view, with a twin in the 32-bit view.
class RefusedDeleteTest : public SetPermTest {
protected:
    void SetUp() override {
        SetPermTest::SetUp();
        const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$QUARNEL_CMDLINE\" >> '" + record.string() + "'\n";
        WriteHostFile(tool, script);
        chmod(tool.c_str(), 0755);
        for (const char* path : {"SOFTWARE\\Quarnel", "SOFTWARE\\Wow6432Node\\Quarnel"}) {
            const win::HKEY key = CreateKey(win::HKEY_LOCAL_MACHINE, path, win::KEY_WOW64_64KEY);
            ASSERT_EQ(win::RegSetValueExA(key, "Stale", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>("x"), 2), 0);
            win::RegCloseKey(key);
        }
    }

    bool ValueExists(const char* path) {
        win::HKEY key = CreateKey(win::HKEY_LOCAL_MACHINE, path, win::KEY_WOW64_64KEY);
        win::DWORD size = 0;
        const win::LONG result = win::RegQueryValueExA(key, "Stale", nullptr, nullptr, nullptr, &size);
        win::RegCloseKey(key);
        return result == 0;
    }

    std::string ExpectedToolRuns() const {
        const std::string account = vb::Environ("COMPUTERNAME") + "\\" + vb::Environ("USERNAME");
        const std::string key = "/subkeyreg \"hkey_local_machine\\SOFTWARE\\Quarnel\"";
        return key + " /setowner=" + account + "\n" + key + " /sgrant=" + account + "=F\n" + key +
               " /grant=" + account + "=F\n";
    }

    fs::path record = host.Folder() / "subinacl-runs.txt";
    fs::path tool = host.HostOf("C:\\Program Files\\Quarnel\\subinacl.exe");
};

TEST_F(RefusedDeleteTest, SecondPassDeletesAfterThePermissionFix) {
    const std::vector<Entry> twinList = {{kAllow, 0, win::KEY_ALL_ACCESS, "Everyone"}};
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Quarnel", win::KEY_WOW64_64KEY, twinList);
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY,
               {{kDeny, 0, win::KEY_SET_VALUE, "User"}, {kAllow, kInherited, win::KEY_ALL_ACCESS, "Administrators"}});

    StderrCapture capture;
    bool notFound = false;
    EXPECT_EQ(modRegistry::fDeleteValue("HKLM", "SOFTWARE\\Quarnel", "Stale", notFound), 0);
    EXPECT_FALSE(notFound);
    EXPECT_FALSE(ValueExists("SOFTWARE\\Quarnel"));
    EXPECT_TRUE(ValueExists("SOFTWARE\\Wow6432Node\\Quarnel"));
    EXPECT_EQ(ReadKeySecurity(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Quarnel", win::KEY_WOW64_64KEY).entries,
              twinList);
    EXPECT_EQ(ReadHostFile(record), ExpectedToolRuns());
    EXPECT_NE(capture.Text().find("\t\t- lResult: 0 SUCCESS\n"), std::string::npos) << capture.Text();
}

TEST_F(RefusedDeleteTest, RefusedTwiceReportsTheCode) {
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY,
               {{kDeny, 0, win::KEY_ALL_ACCESS, "User"}, {kAllow, 0, win::KEY_ALL_ACCESS, "Administrators"}}, 0,
               "Power Users");
    StderrCapture capture;
    bool notFound = false;
    EXPECT_EQ(modRegistry::fDeleteValue("HKLM", "SOFTWARE\\Quarnel", "Stale", notFound), 5);
    EXPECT_FALSE(notFound);
    EXPECT_TRUE(ValueExists("SOFTWARE\\Wow6432Node\\Quarnel"));
    EXPECT_EQ(ReadHostFile(record), ExpectedToolRuns());
    EXPECT_NE(capture.Text().find("\t\t- lResult (0=Success 2=Not Found): 5\n"), std::string::npos) << capture.Text();
}

TEST_F(RefusedDeleteTest, WithoutTheToolOnlyThePermissionFixRuns) {
    fs::remove(tool);
    PrepareKey(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY,
               {{kDeny, 0, win::KEY_SET_VALUE, "User"}, {kAllow, 0, win::KEY_ALL_ACCESS, "Everyone"}});
    bool notFound = false;
    EXPECT_EQ(modRegistry::fDeleteValue("HKLM", "SOFTWARE\\Quarnel", "Stale", notFound), 0);
    EXPECT_FALSE(ValueExists("SOFTWARE\\Quarnel"));
    EXPECT_FALSE(fs::exists(record));
}

}  // namespace
