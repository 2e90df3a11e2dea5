#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/api/Process.h"
#include "platform/api/Registry.h"
#include "platform/api/Security.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;
using namespace win;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& text) {
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

// A key handle that closes itself.
class Key {
public:
    Key() = default;
    explicit Key(HKEY handle) : handle_(handle) {}
    ~Key() {
        if (handle_) RegCloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Out() { return &handle_; }
    HKEY Get() const { return handle_; }

private:
    HKEY handle_ = 0;
};

LONG Create(HKEY root, const std::string& path, Key& key, REGSAM sam = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    return RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, key.Out(),
                           disposition);
}

LONG Open(HKEY root, const std::string& path, Key& key, REGSAM sam = KEY_READ) {
    return RegOpenKeyExA(root, path.c_str(), 0, sam, key.Out());
}

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const Bytes& data,
              REGSAM view = KEY_WOW64_64KEY) {
    Key key;
    ASSERT_EQ(Create(root, path, key, KEY_ALL_ACCESS | view), 0);
    ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), 0);
}

// The value's bytes, or the query's error code as the only "byte" list entry.
std::pair<LONG, Bytes> QueryValue(HKEY key, const std::string& name, DWORD* type = nullptr) {
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
    if (rc != 0) return {rc, {}};
    Bytes data(size);
    rc = RegQueryValueExA(key, name.c_str(), nullptr, type, data.data(), &size);
    data.resize(size);
    return {rc, data};
}

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        const LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) break;
        EXPECT_EQ(rc, 0);
        if (rc != 0) break;
        names.emplace_back(name, length);
    }
    return names;
}

platform::DescriptorParts KeyDescriptor(HKEY key) {
    DWORD size = 0;
    EXPECT_EQ(RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, &size),
              static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER));
    Bytes sd(size);
    EXPECT_EQ(RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd.data(), &size), 0);
    auto parts = platform::ParseDescriptor(sd.data(), sd.size());
    EXPECT_TRUE(parts.has_value());
    return parts.value_or(platform::DescriptorParts{});
}

platform::AceEntry Allow(const std::string& account, std::uint32_t mask, std::uint8_t flags = 0) {
    platform::AceEntry entry;
    entry.type = ACCESS_ALLOWED_ACE_TYPE;
    entry.flags = flags;
    entry.mask = mask;
    entry.sid = account.rfind("S-", 0) == 0 ? platform::SidFromString(account) : platform::WellKnownSid(account);
    return entry;
}

platform::AceEntry Deny(const std::string& account, std::uint32_t mask) {
    platform::AceEntry entry = Allow(account, mask);
    entry.type = ACCESS_DENIED_ACE_TYPE;
    return entry;
}

std::string Me() { return platform::SidToString(platform::CallingUserSid().data()); }

// Replaces the key's access list with the given entries through the Windows calls.
LONG SetDacl(HKEY key, const std::vector<platform::AceEntry>& entries, SECURITY_DESCRIPTOR_CONTROL control = 0) {
    Bytes acl = platform::BuildAcl(entries);
    SECURITY_DESCRIPTOR sd;
    EXPECT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE_, reinterpret_cast<PACL>(acl.data()), FALSE_));
    if (control) {
        EXPECT_TRUE(SetSecurityDescriptorControl(&sd, control, control));
    }
    return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
}

// ---- keys and values ----------------------------------------------------

TEST(RegistryKeys, CreateMakesMissingParentsAndOpenFindsThemInAnyCase) {
    TempHost host;
    Key missing;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel\\Client", missing), static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    DWORD disposition = 0;
    {
        Key created;
        ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel\\Client", created, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                         &disposition), 0);
        EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    }
    Key again;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "software\\QUARNEL\\client", again, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                     &disposition), 0);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    Key parent;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "software\\quarnel", parent, KEY_READ | KEY_WOW64_64KEY), 0);
    EXPECT_EQ(SubKeys(parent.Get()), std::vector<std::string>{"Client"});  // stored with the first case
    EXPECT_EQ(platform::RegistryKeyPath(again.Get()), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarnel\\Client");
}

TEST(RegistryKeys, SubkeysListInCaseInsensitiveOrderAndEndWith259) {
    TempHost host;
    for (const char* name : {"beta", "Alpha", "_under", "Gamma"}) {
        Key key;
        ASSERT_EQ(Create(HKEY_CURRENT_USER, std::string("Software\\List\\") + name, key), 0);
    }
    Key list;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\List", list), 0);
    // Upper-cased comparison, as Windows sorts: '_' (0x5F) after the letters.
    EXPECT_EQ(SubKeys(list.Get()), (std::vector<std::string>{"Alpha", "beta", "Gamma", "_under"}));

    char name[3];
    EXPECT_EQ(RegEnumKeyA(list.Get(), 0, name, sizeof name), static_cast<LONG>(ERROR_MORE_DATA));
    char room[2048];
    EXPECT_EQ(RegEnumKeyA(list.Get(), 1, room, sizeof room), 0);
    EXPECT_STREQ(room, "beta");
    EXPECT_EQ(RegEnumKeyA(list.Get(), 4, room, sizeof room), static_cast<LONG>(ERROR_NO_MORE_ITEMS));

    Key empty;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\List\\Alpha", empty), 0);
    EXPECT_EQ(RegEnumKeyA(empty.Get(), 0, room, sizeof room), static_cast<LONG>(ERROR_NO_MORE_ITEMS));
}

TEST(RegistryValues, AnsiQueryReportsSizesWithTheNulAndMoreData) {
    TempHost host;
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", "Path", REG_SZ, Text("C:\\Q"));
    Key key;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Q", key, KEY_QUERY_VALUE | KEY_WOW64_64KEY), 0);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "Path", nullptr, &type, nullptr, &size), 0);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, REG_SZ);

    char small[2] = {'x', 'x'};
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "Path", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 5u);
    size = 2;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "path", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(small[0], 'x');  // nothing written on failure

    char buffer[16];
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "PATH", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), 0);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::string(buffer, 5), std::string("C:\\Q\0", 5));

    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key.Get(), "Missing", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST(RegistryValues, EveryKindKeepsItsBytesAndKind) {
    TempHost host;
    struct Case {
        const char* name;
        DWORD type;
        Bytes data;
    };
    const std::vector<Case> cases = {
        {"", REG_SZ, Text("default value")},
        {"Text", REG_SZ, Text("h\xC3\xA9llo")},
        {"Expand", REG_EXPAND_SZ, Text("%SystemRoot%\\x")},
        {"List", REG_MULTI_SZ, Bytes{'a', 0, 'b', 'c', 0, 0}},
        {"Number", REG_DWORD, Bytes{0x78, 0x56, 0x34, 0x12}},
        {"Blob", REG_BINARY, Bytes{0, 1, 0xFF, 0}},
        {"Empty", REG_BINARY, Bytes{}},
        {"Big", REG_QWORD, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
        {"None", REG_NONE, Bytes{9}},
    };
    for (const Case& c : cases) SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kinds", c.name, c.type, c.data);
    Key key;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kinds", key, KEY_READ | KEY_WOW64_64KEY), 0);
    for (const Case& c : cases) {
        DWORD type = 0xFFFF;
        const auto [rc, data] = QueryValue(key.Get(), c.name, &type);
        EXPECT_EQ(rc, 0) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
    }

    // Values list in the order they were first written; an overwrite keeps the place.
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kinds", "TEXT", REG_SZ, Text("again"));
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD length = sizeof name;
        const LONG rc = RegEnumValueA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) break;
        ASSERT_EQ(rc, 0);
        names.emplace_back(name, length);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"", "TEXT", "Expand", "List", "Number", "Blob", "Empty", "Big", "None"}));
}

TEST(RegistryValues, DeletingValuesAndKeysGivesWindowsResults) {
    TempHost host;
    SetValue(HKEY_CURRENT_USER, "Software\\Del\\Child", "V", REG_SZ, Text("x"));
    Key key;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Del\\Child", key, KEY_ALL_ACCESS), 0);
    EXPECT_EQ(RegDeleteValueA(key.Get(), "v"), 0);
    EXPECT_EQ(RegDeleteValueA(key.Get(), "v"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(QueryValue(key.Get(), "V").first, static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), static_cast<LONG>(ERROR_ACCESS_DENIED));  // has a subkey
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Child"), 0);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del\\Child"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    // The handle outlives its key, as on Windows, and then reports the deletion.
    EXPECT_EQ(QueryValue(key.Get(), "V").first, static_cast<LONG>(ERROR_KEY_DELETED));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Del"), 0);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), static_cast<LONG>(ERROR_ACCESS_DENIED));  // a root stays
}

TEST(RegistryValues, BadArgumentsGetErrorCodesNotCrashes) {
    TempHost host;
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Bad", key), 0);
    Key other;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "\\Software", other), static_cast<LONG>(ERROR_BAD_PATHNAME));
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software\\" + std::string(256, 'k'), other),
              static_cast<LONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegSetValueExA(key.Get(), "V", 0, REG_BINARY, nullptr, 4), 998);  // ERROR_NOACCESS
    EXPECT_EQ(RegSetValueExA(key.Get(), std::string(16384, 'n').c_str(), 0, REG_SZ, nullptr, 0),
              static_cast<LONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), static_cast<LONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, other.Out()),
              static_cast<LONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegOpenKeyExA(static_cast<HKEY>(0x12345), "Software", 0, KEY_READ, other.Out()),
              static_cast<LONG>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegCloseKey(static_cast<HKEY>(0x12345)), static_cast<LONG>(ERROR_INVALID_HANDLE));

    // A handle opened to read cannot write.
    Key reader;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Bad", reader, KEY_READ), 0);
    const Bytes data = Text("x");
    EXPECT_EQ(RegSetValueExA(reader.Get(), "V", 0, REG_SZ, data.data(), 2), static_cast<LONG>(ERROR_ACCESS_DENIED));
}

// A key is found from a root or from an open key whatever the case of its
// names, ASCII or not; a missing key on the way, and a base key deleted
// after it was opened, give the Windows results.
TEST(RegistryKeys, OpeningAPathFindsItsKeyInAnyCaseOrSaysWhatIsMissing) {
    TempHost host;
    SetValue(HKEY_CURRENT_USER, "Software\\Ölüberwachung\\監視\\Leaf", "V", REG_SZ, Text("x"));
    SetValue(HKEY_CURRENT_USER, "Software\\Doomed", "V", REG_SZ, Text("x"));
    Key watch, doomed;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\ÖLÜBERWACHUNG", watch), 0);
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Doomed", doomed), 0);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Doomed"), 0);
    const std::string leafPath = "HKEY_USERS\\" + Me() + "\\Software\\Ölüberwachung\\監視\\Leaf";
    struct Case {
        const char* name;
        HKEY base;
        std::string subKey;
        LONG result;
    };
    const std::vector<Case> cases = {
        {"from the root, as stored", HKEY_CURRENT_USER, "Software\\Ölüberwachung\\監視\\Leaf", 0},
        {"from the root, other case", HKEY_CURRENT_USER, "SOFTWARE\\ölüberwachung\\監視\\LEAF", 0},
        {"from an open key", watch.Get(), "監視\\leaf", 0},
        {"a missing middle key", HKEY_CURRENT_USER, "Software\\Missing\\監視\\Leaf", ERROR_FILE_NOT_FOUND},
        {"a missing key below an open one", watch.Get(), "Missing", ERROR_FILE_NOT_FOUND},
        {"below a deleted key", doomed.Get(), "", static_cast<LONG>(ERROR_KEY_DELETED)},
        {"the deleted key by name", HKEY_CURRENT_USER, "Software\\Doomed", ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Key key;
        ASSERT_EQ(Open(c.base, c.subKey, key), c.result);
        if (c.result != 0) continue;
        EXPECT_EQ(platform::RegistryKeyPath(key.Get()), leafPath);
        EXPECT_EQ(QueryValue(key.Get(), "v").second, Text("x"));
    }
}

// A key's values and its existence are read at each query: a key deleted
// after it was opened is reported before any fault of the value's name.
TEST(RegistryValues, AQueryOfADeletedKeySaysSoWhateverTheValueName) {
    TempHost host;
    SetValue(HKEY_CURRENT_USER, "Software\\Doomed", "V", REG_SZ, Text("x"));
    Key key;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Doomed", key), 0);
    const std::string tooLong(16384, 'n');
    EXPECT_EQ(QueryValue(key.Get(), tooLong).first, ERROR_INVALID_PARAMETER);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Doomed"), 0);
    for (const std::string& name : {std::string("V"), std::string("Missing"), tooLong}) {
        SCOPED_TRACE(name.substr(0, 10));
        EXPECT_EQ(QueryValue(key.Get(), name).first, static_cast<LONG>(ERROR_KEY_DELETED));
    }
}

TEST(RegistryKeys, DeleteTreeTakesAKeyWithAllBelowItOrOnlyWhatIsBelow) {
    TempHost host;
    SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\A\\B", "deep", REG_SZ, Text("x"));
    SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\A", "top", REG_SZ, Text("y"));
    SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\C", "other", REG_SZ, Text("z"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\A"), static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SYSTEM\\tree\\a"), 0);
    Key gone;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\A", gone), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\A"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    // Without a subkey name the key stays, empty.
    Key tree;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree", tree, KEY_ALL_ACCESS), 0);
    SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree", "own", REG_SZ, Text("v"));
    EXPECT_EQ(RegDeleteTreeA(tree.Get(), nullptr), 0);
    EXPECT_TRUE(SubKeys(tree.Get()).empty());
    EXPECT_EQ(QueryValue(tree.Get(), "own").first, static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    // One key below that refuses DELETE keeps the whole tree.
    SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\Kept\\Locked", "deep", REG_SZ, Text("x"));
    {
        Key locked;
        ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\Kept\\Locked", locked, READ_CONTROL | WRITE_DAC), 0);
        ASSERT_EQ(SetDacl(locked.Get(), {Allow(Me(), KEY_READ)}), 0);
    }
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\Kept"), static_cast<LONG>(ERROR_ACCESS_DENIED));
    Key kept;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Tree\\Kept\\Locked", kept), 0);
    EXPECT_EQ(QueryValue(kept.Get(), "deep").second, Text("x"));
}

TEST(RegistryTransactions, ChangesMadeInOneAreSeenTogetherOnCommitOrNeverWithout) {
    TempHost host;
    {
        platform::RegistryTransaction transaction;
        ASSERT_EQ(transaction.Error(), 0u);
        Key inside;
        ASSERT_EQ(RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, "SYSTEM\\Together\\Source", 0, nullptr, 0, KEY_ALL_ACCESS,
                                          nullptr, inside.Out(), nullptr, transaction.Handle(), nullptr),
                  0);
        const Bytes one = Text("1"), two = Text("2");
        ASSERT_EQ(RegSetValueExA(inside.Get(), "One", 0, REG_SZ, one.data(), static_cast<DWORD>(one.size())), 0);
        ASSERT_EQ(RegSetValueExA(inside.Get(), "Two", 0, REG_SZ, two.data(), static_cast<DWORD>(two.size())), 0);
        Key outside;
        EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Together\\Source", outside),
                  static_cast<LONG>(ERROR_FILE_NOT_FOUND));
        Key again;
        ASSERT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, "SYSTEM\\Together\\Source", 0, KEY_READ, again.Out(),
                                        transaction.Handle(), nullptr),
                  0);
        EXPECT_EQ(QueryValue(again.Get(), "Two").second, two);
        ASSERT_EQ(transaction.Commit(), 0u);
        EXPECT_EQ(RegSetValueExA(inside.Get(), "Late", 0, REG_SZ, one.data(), static_cast<DWORD>(one.size())),
                  static_cast<LONG>(ERROR_TRANSACTION_NOT_ACTIVE));
    }
    Key committed;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Together\\Source", committed), 0);
    EXPECT_EQ(QueryValue(committed.Get(), "One").second, Text("1"));
    EXPECT_EQ(QueryValue(committed.Get(), "Two").second, Text("2"));
    EXPECT_EQ(QueryValue(committed.Get(), "Late").first, static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    // Closed, or rolled back, without a commit: nothing of it stays.
    for (const bool rollBack : {false, true}) {
        const HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        ASSERT_NE(transaction, INVALID_HANDLE_VALUE);
        Key dropped;
        ASSERT_EQ(RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, "SYSTEM\\Together\\Dropped", 0, nullptr, 0,
                                          KEY_ALL_ACCESS, nullptr, dropped.Out(), nullptr, transaction, nullptr),
                  0);
        if (rollBack) {
            EXPECT_TRUE(RollbackTransaction(transaction));
        }
        EXPECT_TRUE(CloseHandle(transaction));
        Key none;
        EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Together\\Dropped", none), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    }
    Key refused;
    EXPECT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, refused.Out(), 0x1234, nullptr),
              static_cast<LONG>(ERROR_INVALID_TRANSACTION));
}

TEST(RegistryRoots, CurrentUserIsTheHostUsersKeyUnderUsers) {
    TempHost host;
    SetValue(HKEY_CURRENT_USER, "Software\\Mine", "V", REG_SZ, Text("x"));
    Key key;
    ASSERT_EQ(Open(HKEY_USERS, Me() + "\\Software\\Mine", key), 0);
    EXPECT_EQ(QueryValue(key.Get(), "V").second, Text("x"));
    // Sign-extended predefined keys, as a 64-bit build defines them, are the same keys.
    Key signExtended;
    ASSERT_EQ(Open(static_cast<HKEY>(static_cast<std::int32_t>(0x80000001u)), "Software\\Mine", signExtended), 0);
    EXPECT_EQ(platform::RegistryRootOf("hkcu"), HKEY_CURRENT_USER);
    EXPECT_EQ(platform::RegistryRootOf("HKXX"), 0);
}

// ---- views --------------------------------------------------------------

TEST(RegistryViews, ThirtyTwoBitViewOfSoftwareIsWow6432NodeOnA64BitHost) {
    TempHost host;
    host.WriteHostIni("Machine", "Is64Bit", "1");
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Bits", REG_SZ, Text("32"), 0);
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Bits", REG_SZ, Text("64"), KEY_WOW64_64KEY);

    struct Case {
        const char* path;
        REGSAM view;
        const char* expected;
        const char* reached;
    };
    const std::vector<Case> cases = {
        {"SOFTWARE\\Vendor", 0, "32", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor"},
        {"SOFTWARE\\Vendor", KEY_WOW64_32KEY, "32", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor"},
        {"SOFTWARE\\Vendor", KEY_WOW64_64KEY, "64", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"},
        {"software\\wow6432node\\Vendor", 0, "32", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor"},
        {"SOFTWARE\\Wow6432Node\\Vendor", KEY_WOW64_64KEY, "32", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor"},
    };
    for (const Case& c : cases) {
        Key key;
        ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, c.path, key, KEY_QUERY_VALUE | c.view), 0) << c.path << " " << c.view;
        EXPECT_EQ(QueryValue(key.Get(), "Bits").second, Text(c.expected)) << c.path << " " << c.view;
        EXPECT_EQ(platform::RegistryKeyPath(key.Get()), c.reached);
    }

    // Only HKLM\SOFTWARE is redirected.
    SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Shared", "V", REG_SZ, Text("one"), 0);
    Key shared;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\Shared", shared, KEY_READ | KEY_WOW64_64KEY), 0);
    SetValue(HKEY_CURRENT_USER, "Software\\Own", "V", REG_SZ, Text("one"), 0);
    Key own;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Own", own, KEY_READ | KEY_WOW64_64KEY), 0);
    // Classes are shared by both views.
    SetValue(HKEY_CLASSES_ROOT, ".qrl", "", REG_SZ, Text("Quarnel.Rules"), KEY_WOW64_64KEY);
    Key classes;
    ASSERT_EQ(Open(HKEY_CLASSES_ROOT, ".qrl", classes, KEY_READ), 0);
    EXPECT_EQ(platform::RegistryKeyPath(classes.Get()), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qrl");
}

TEST(RegistryViews, ThirtyTwoBitHostHasOneView) {
    TempHost host;
    host.WriteHostIni("Machine", "Is64Bit", "0");
    SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", "Bits", REG_SZ, Text("32"), 0);
    Key key;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", key, KEY_READ | KEY_WOW64_64KEY), 0);
    EXPECT_EQ(QueryValue(key.Get(), "Bits").second, Text("32"));
    EXPECT_EQ(platform::RegistryKeyPath(key.Get()), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor");
}

// ---- two processes ------------------------------------------------------

TEST(RegistryStore, TwoProcessesWritingOneKeyLoseNoValue) {
    TempHost host;
    constexpr int kValuesEach = 150;
    // Both writers are children, so no connection to this store crosses a fork.
    std::vector<pid_t> writers;
    for (const char* prefix : {"A", "B"}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValuesEach; ++i) {
                HKEY key = 0;
                const std::string name = std::string(prefix) + std::to_string(i);
                // Each writer also creates the shared key path itself, racing the other.
                if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Counter", 0, nullptr, 0,
                                    KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != 0) {
                    ++failures;
                    continue;
                }
                const DWORD number = static_cast<DWORD>(i);
                if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4) != 0)
                    ++failures;
                RegCloseKey(key);
            }
            _exit(failures == 0 ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Key key;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Counter", key, KEY_READ | KEY_WOW64_64KEY), 0);
    DWORD values = 0;
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                               nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(values, 2u * kValuesEach);
    for (const char* name : {"A0", "A149", "B0", "B149"}) EXPECT_EQ(QueryValue(key.Get(), name).first, 0) << name;
    Key shared;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", shared, KEY_READ | KEY_WOW64_64KEY), 0);
    EXPECT_EQ(SubKeys(shared.Get()), std::vector<std::string>{"Counter"});
}

// ---- security -----------------------------------------------------------

// Who has full control and who may only read a new key.
std::pair<std::vector<std::string>, std::vector<std::string>> FullAndReadAccounts(HKEY key) {
    std::pair<std::vector<std::string>, std::vector<std::string>> accounts;
    for (const auto& entry : platform::AclEntries(KeyDescriptor(key).dacl.data())) {
        if (entry.type != ACCESS_ALLOWED_ACE_TYPE) continue;
        if (entry.mask == KEY_ALL_ACCESS) accounts.first.push_back(platform::SidToString(entry.sid.data()));
        if (entry.mask == KEY_READ) accounts.second.push_back(platform::SidToString(entry.sid.data()));
    }
    return accounts;
}

TEST(RegistrySecurity, MachineKeysAreTheAdministratorsAndUserKeysTheUsers) {
    TempHost host;
    Key machine;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sec", machine, KEY_ALL_ACCESS | KEY_WOW64_64KEY), 0);
    EXPECT_EQ(KeyDescriptor(machine.Get()).owner, platform::CallingUserSid());
    const auto machineAccounts = FullAndReadAccounts(machine.Get());
    EXPECT_EQ(machineAccounts.first, (std::vector<std::string>{"S-1-5-32-544", "S-1-5-18"}));
    EXPECT_EQ(machineAccounts.second, (std::vector<std::string>{"S-1-5-32-545"}));
    Key user;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Sec", user), 0);
    EXPECT_EQ(FullAndReadAccounts(user.Get()).first, (std::vector<std::string>{Me(), "S-1-5-32-544", "S-1-5-18"}));
}

TEST(RegistrySecurity, WithoutAdministratorRightsMachineKeysOnlyRead) {
    TempHost host;
    host.WriteHostIni("Machine", "Administrator", "0");
    Key refused;
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", refused, KEY_ALL_ACCESS | KEY_WOW64_64KEY),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Quarnel", refused),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    Key reader;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE", reader, KEY_READ | KEY_WOW64_64KEY), 0);
    Key own;
    EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software\\Quarnel", own), 0);
}

TEST(RegistrySecurity, DescriptorRoundTripsThroughSetAndGet) {
    TempHost host;
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Sec", key), 0);
    const std::vector<platform::AceEntry> entries = {Deny("Users", KEY_SET_VALUE), Allow(Me(), KEY_ALL_ACCESS, 2),
                                                     Allow("Everyone", KEY_READ, 0x12)};
    ASSERT_EQ(SetDacl(key.Get(), entries, SE_DACL_PROTECTED), 0);

    DWORD size = 4;
    Bytes small(4);
    EXPECT_EQ(RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, small.data(), &size),
              static_cast<LONG>(ERROR_INSUFFICIENT_BUFFER));
    Bytes sd(size);
    ASSERT_EQ(RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd.data(), &size), 0);
    EXPECT_TRUE(IsValidRelativeSecurityDescriptor(sd.data(), size, DACL_SECURITY_INFORMATION));
    EXPECT_EQ(GetSecurityDescriptorLength(sd.data()), size);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd.data(), &control, &revision));
    EXPECT_EQ(control & (SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED),
              SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED);
    BOOL present = FALSE_;
    BOOL defaulted = TRUE_;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    EXPECT_EQ(Bytes(reinterpret_cast<BYTE*>(dacl), reinterpret_cast<BYTE*>(dacl) + dacl->AclSize),
              platform::BuildAcl(entries));
    // The owner was not asked for, so it is not there.
    PSID owner = reinterpret_cast<PSID>(1);
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd.data(), &owner, &defaulted));
    EXPECT_EQ(owner, nullptr);
}

TEST(RegistrySecurity, RightsTakenAwayRefuseOpensButTheOwnerCanStillRepairTheList) {
    TempHost host;
    {
        Key key;
        ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", key, KEY_ALL_ACCESS | KEY_WOW64_64KEY), 0);
        ASSERT_EQ(SetDacl(key.Get(), {Allow("Everyone", KEY_READ)}), 0);
    }
    Key refused;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", refused, KEY_SET_VALUE | KEY_WOW64_64KEY),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked\\Child", refused, KEY_ALL_ACCESS | KEY_WOW64_64KEY),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", KEY_WOW64_64KEY, 0),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    Key reader;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", reader, KEY_READ | KEY_WOW64_64KEY), 0);

    // An empty list refuses everything but the owner's implicit rights.
    Key owner;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", owner, READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY), 0);
    ASSERT_EQ(SetDacl(owner.Get(), {}), 0);
    Key none;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", none, KEY_QUERY_VALUE | KEY_WOW64_64KEY),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    Key repair;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", repair, 0x60000 | KEY_WOW64_64KEY), 0);
    ASSERT_EQ(SetDacl(repair.Get(), {Allow(Me(), KEY_ALL_ACCESS)}), 0);
    Key writer;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", writer, KEY_SET_VALUE | KEY_WOW64_64KEY), 0);

    // A denying entry ahead of a grant wins; behind it, it comes too late.
    ASSERT_EQ(SetDacl(repair.Get(), {Deny(Me(), KEY_SET_VALUE), Allow(Me(), KEY_ALL_ACCESS)}), 0);
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", writer, KEY_SET_VALUE | KEY_WOW64_64KEY),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    ASSERT_EQ(SetDacl(repair.Get(), {Allow(Me(), KEY_ALL_ACCESS), Deny(Me(), KEY_SET_VALUE)}), 0);
    Key late;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Locked", late, KEY_SET_VALUE | KEY_WOW64_64KEY), 0);

    // Setting the list needs WRITE_DAC on the handle.
    EXPECT_EQ(SetDacl(reader.Get(), {}), static_cast<LONG>(ERROR_ACCESS_DENIED));
}

TEST(RegistrySecurity, NewKeysInheritTheParentsInheritableEntries) {
    TempHost host;
    Key parent;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Parent", parent), 0);
    ASSERT_EQ(SetDacl(parent.Get(), {Allow(Me(), KEY_ALL_ACCESS, CONTAINER_INHERIT_ACE),
                                     Allow("Users", KEY_READ, 0),
                                     Allow("Everyone", KEY_QUERY_VALUE, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE),
                                     Allow("Power Users", KEY_READ, CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE)}),
              0);
    Key child;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Parent\\Child\\Grandchild", child), 0);

    auto entriesOf = [](HKEY key) {
        std::vector<std::pair<std::string, int>> entries;
        for (const auto& entry : platform::AclEntries(KeyDescriptor(key).dacl.data()))
            entries.emplace_back(platform::SidToString(entry.sid.data()), entry.flags);
        return entries;
    };
    Key middle;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Parent\\Child", middle, KEY_READ), 0);
    EXPECT_EQ(entriesOf(middle.Get()), (std::vector<std::pair<std::string, int>>{
                                           {Me(), 0x12}, {"S-1-1-0", 0x12}, {"S-1-5-32-547", 0x10}}));
    // The one-level entry stops at the child.
    EXPECT_EQ(entriesOf(child.Get()), (std::vector<std::pair<std::string, int>>{{Me(), 0x12}, {"S-1-1-0", 0x12}}));
    SECURITY_DESCRIPTOR_CONTROL control = KeyDescriptor(child.Get()).control;
    EXPECT_TRUE(control & SE_DACL_AUTO_INHERITED);
    EXPECT_EQ(KeyDescriptor(child.Get()).owner, platform::CallingUserSid());
}

TEST(RegistrySecurity, WithoutAdministratorRightsTheUsersEntryOnlyReads) {
    TempHost host;
    {
        Key key;
        ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Admins", key, KEY_ALL_ACCESS | KEY_WOW64_64KEY), 0);
        ASSERT_EQ(SetDacl(key.Get(), {Allow("Administrators", KEY_ALL_ACCESS), Allow("Users", KEY_READ)}), 0);
    }
    Key writer;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Admins", writer, KEY_SET_VALUE | KEY_WOW64_64KEY), 0);
    host.WriteHostIni("Machine", "Administrator", "0");
    Key refused;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Admins", refused, KEY_SET_VALUE | KEY_WOW64_64KEY),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    Key reader;
    EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Admins", reader, KEY_READ | KEY_WOW64_64KEY), 0);
}

TEST(RegistrySecurity, MalformedDescriptorsAreRefused) {
    TempHost host;
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Malformed", key), 0);
    Bytes sd(20, 0);
    sd[0] = 1;
    sd[2] = 0x04;
    sd[3] = 0x80;  // self-relative with DACL present
    sd[16] = 200;  // the list lies beyond the bytes
    EXPECT_FALSE(IsValidRelativeSecurityDescriptor(sd.data(), static_cast<DWORD>(sd.size()), 0));
    sd[0] = 2;  // unknown revision
    EXPECT_EQ(RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd.data()),
              static_cast<LONG>(ERROR_INVALID_SECURITY_DESCR));
    EXPECT_EQ(RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr),
              static_cast<LONG>(ERROR_INVALID_SECURITY_DESCR));
}

}  // namespace
