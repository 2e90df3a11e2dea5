#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "platform/api/Program.h"
#include "platform/api/Registry.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

using namespace modRegistry;
using testsupport::ReadHostFile;
using testsupport::StderrCapture;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace fs = std::filesystem;

extern char** environ;

namespace {

using namespace std::string_literals;

constexpr const char* kWriterVariable = "QUARNEL_TEST_REGISTRY_WRITER";

// A raw key of the store, opened in the view asked for.
class RawKey {
public:
    RawKey(win::HKEY root, const std::string& path, win::REGSAM view) {
        win::DWORD disposition = 0;
        result = win::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, win::KEY_ALL_ACCESS | view, nullptr, &key,
                                      &disposition);
    }
    ~RawKey() {
        if (key) win::RegCloseKey(key);
    }
    void Set(const std::string& name, win::DWORD type, const std::string& bytes) {
        ASSERT_EQ(win::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const win::BYTE*>(bytes.data()),
                                      static_cast<win::DWORD>(bytes.size())),
                  0);
    }
    // The value's bytes, or nothing with the query's code in *code.
    std::string Get(const std::string& name, win::LONG* code = nullptr) {
        win::DWORD size = 0;
        win::DWORD type = 0;
        win::LONG result = win::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        std::string bytes(size, '\0');
        if (result == 0 && size > 0)
            result = win::RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                           reinterpret_cast<win::BYTE*>(bytes.data()), &size);
        if (code) *code = result;
        return result == 0 ? bytes.substr(0, size) : "";
    }

    win::HKEY key = 0;
    win::LONG result = -1;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { host.WriteHostIni("Machine", "Is64Bit", "1"); }

    testsupport::ProgramHost host;
};

TEST_F(RegistryTest, ReadsBackEachKindWritten) {
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Text", "S", "hello world"), 0);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Path", "e", "%SystemRoot%\\x"), 0);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Count", "D", 32767), 0);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "List", "M", "first"), 0);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Empty", "S", ""), 0);
    {
        RawKey raw(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY);
        EXPECT_EQ(raw.Get("Path"), "%SystemRoot%\\x\0"s);
        EXPECT_EQ(raw.Get("List"), "first\0\0"s);
        raw.Set("FlagOn", win::REG_BINARY, "\x01\x00"s);
        raw.Set("FlagOff", win::REG_BINARY, "\x00\x00"s);
    }
    struct Case {
        const char* name;
        const char* kind;
        vb::Variant expected;
    };
    const Case cases[] = {
        {"Text", "S", "hello world"}, {"Path", "s", "%SystemRoot%\\x"}, {"Count", "D", 32767L},
        {"List", "M", "first\0"s},    {"Empty", "S", ""},               {"FlagOn", "B", true},
        {"FlagOff", "b", false},
    };
    for (const Case& c : cases) {
        vb::Variant value;
        EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", c.name, c.kind, "default", value), 0) << c.name;
        EXPECT_EQ(value.Raw().index(), c.expected.Raw().index()) << c.name;
        EXPECT_EQ(value.ToText(), c.expected.ToText()) << c.name;
    }
}

TEST_F(RegistryTest, MissingValueOrKeyGivesTwoAndKeepsTheDefaultSilently) {
    ASSERT_EQ(fWriteValue("HKCU", "Software\\Quarnel", "Present", "S", "x"), 0);
    StderrCapture capture;
    for (const char* path : {"Software\\Quarnel", "Software\\Missing\\Key"}) {
        for (const char* kind : {"S", "M", "D", "B"}) {
            vb::Variant value = "stale";
            EXPECT_EQ(fReadValue("HKCU", path, "Absent", kind, "the default", value), 2) << path << " " << kind;
            EXPECT_EQ(value.ToText(), "the default");
        }
    }
    EXPECT_EQ(capture.Text().find("fReadValue"), std::string::npos);
}

TEST_F(RegistryTest, Wow6432NodePathIsReadThroughThe32BitView) {
    {
        RawKey native(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Vendor", win::KEY_WOW64_64KEY);
        native.Set("Where", win::REG_SZ, "64-bit\0"s);
        RawKey redirected(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Vendor", win::KEY_WOW64_64KEY);
        redirected.Set("Where", win::REG_SZ, "32-bit\0"s);
    }
    vb::Variant value;
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Wow6432Node\\Vendor", "Where", "S", "", value), 0);
    EXPECT_EQ(value.ToText(), "32-bit");
    EXPECT_EQ(fReadValue("HKLM", "Software\\WOW6432NODE\\Vendor", "Where", "S", "", value), 0);
    EXPECT_EQ(value.ToText(), "32-bit");
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Vendor", "Where", "S", "", value), 0);
    EXPECT_EQ(value.ToText(), "64-bit");

    std::string keys;
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Wow6432Node\\Vendor\\Child", "x", "S", "1"), 0);
    EXPECT_EQ(fEnumKey("HKLM", "SOFTWARE\\Wow6432Node\\Vendor", keys), 0);
    EXPECT_EQ(keys, "Child\0\0"s);
}

TEST_F(RegistryTest, WritingUsesThe64BitViewOnA64BitHost) {
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Mode", "S", "native"), 0);
    RawKey native(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY);
    EXPECT_EQ(native.Get("Mode"), "native\0"s);
    RawKey redirected(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Quarnel", win::KEY_WOW64_64KEY);
    win::LONG code = 0;
    redirected.Get("Mode", &code);
    EXPECT_EQ(code, 2);
}

TEST(RegistryOn32BitHost, PathsAreUsedAsGiven) {
    TempHost host;
    host.WriteHostIni("Machine", "Is64Bit", "0");
    ASSERT_FALSE(Is64BitWindows());
    const KeyView view = ReadingView("SOFTWARE\\Wow6432Node\\Vendor");
    EXPECT_EQ(view.path, "SOFTWARE\\Wow6432Node\\Vendor");
    EXPECT_EQ(view.viewFlag, 0u);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Mode", "S", "plain"), 0);
    vb::Variant value;
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", "Mode", "S", "", value), 0);
    EXPECT_EQ(value.ToText(), "plain");
}

TEST_F(RegistryTest, ViewChoiceOfPathsOnA64BitHost) {
    struct Case {
        const char* given;
        const char* path;
        win::REGSAM flag;
    };
    const Case cases[] = {
        {"SOFTWARE\\Quarnel", "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY},
        {"SOFTWARE\\Wow6432Node\\Quarnel", "software\\quarnel", 0},
        {"SOFTWARE\\Wow6432Node", "software\\wow6432node", 0},
        {"SOFTWARE\\Wow6432Node\\Guest_Tools", "SOFTWARE\\Wow6432Node\\Guest_Tools", 0},
    };
    for (const Case& c : cases) {
        const KeyView view = ReadingView(c.given);
        EXPECT_EQ(view.path, c.path) << c.given;
        EXPECT_EQ(view.viewFlag, c.flag) << c.given;
    }
}

TEST_F(RegistryTest, RootKeyTextsResolveInAnyLetterCase) {
    WriteHostFile(host.HostOf("C:\\Data\\settings.ini"), "[S]\r\nK=V\r\n");
    struct Case {
        const char* text;
        win::HKEY key;
    };
    const Case cases[] = {
        {"HKLM", win::HKEY_LOCAL_MACHINE}, {"hklm", win::HKEY_LOCAL_MACHINE}, {"HkCu", win::HKEY_CURRENT_USER},
        {"hku", win::HKEY_USERS},          {"HKDD", win::HKEY_DYN_DATA},      {"hkcc", win::HKEY_CURRENT_CONFIG},
        {"HKCR", win::HKEY_CLASSES_ROOT},  {"C:\\Data\\settings.ini", kIniFileKey},
        {"c:\\data\\SETTINGS.INI", kIniFileKey},
        {"C:\\Data\\missing.ini", kInvalidKey},   {"C:\\Data", kInvalidKey},
        {"C:\\Data\\*.ini", kInvalidKey},         {"", kInvalidKey},
        {"HKEY_LOCAL_MACHINE", kInvalidKey},      {"99", kInvalidKey},
    };
    for (const Case& c : cases) EXPECT_EQ(fTopKey(c.text), c.key) << c.text;

    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Text", "S", "upper"), 0);
    vb::Variant value;
    EXPECT_EQ(fReadValue("hklm", "SOFTWARE\\Quarnel", "Text", "S", "", value), 0);
    EXPECT_EQ(value.ToText(), "upper");
}

TEST_F(RegistryTest, InvalidRootKeyDoesNothingAndGives99) {
    vb::Variant value;
    EXPECT_EQ(fReadValue("99", "SOFTWARE\\Quarnel", "Text", "S", "kept", value), 99);
    EXPECT_EQ(value.ToText(), "kept");
    EXPECT_EQ(fWriteValue("HKXX", "SOFTWARE\\Quarnel", "Text", "S", "x"), 99);
    std::string keys;
    EXPECT_EQ(fEnumKey("HKXX", "SOFTWARE", keys), 99);
    EXPECT_EQ(keys, "");
    keys = "A";
    EXPECT_EQ(fEnumKey("HKXX", "SOFTWARE", keys), 99);
    EXPECT_EQ(keys, "A\0"s);
    bool notFound = false;
    EXPECT_EQ(fDeleteValue("HKXX", "SOFTWARE\\Quarnel", "Text", notFound), 99);
    EXPECT_FALSE(notFound);
    RawKey raw(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY);
    win::LONG code = 0;
    raw.Get("Text", &code);
    EXPECT_EQ(code, 2);
}

TEST_F(RegistryTest, KindsAModeDoesNotSupportDoNothing) {
    EXPECT_EQ(fWriteValue("HKLM", "SOFTWARE\\Kinds", "Flag", "B", true), 99);
    EXPECT_EQ(fWriteValue("HKLM", "SOFTWARE\\Kinds", "Other", "Q", "x"), 99);
    vb::Variant value;
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Kinds", "Flag", "E", "kept", value), 99);
    EXPECT_EQ(value.ToText(), "kept");
    std::string keys;
    EXPECT_EQ(fEnumKey("HKLM", "SOFTWARE\\Kinds", keys), 2);
}

TEST_F(RegistryTest, NumbersAbove32767AreRefusedAndNothingIsWritten) {
    StderrCapture capture;
    EXPECT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Big", "D", 32768), 99);
    EXPECT_NE(capture.Text().find("\tmodRegistry\\fWriteValue - VB ERROR: 6 Overflow\n"), std::string::npos);
    vb::Variant value;
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", "Big", "D", 0, value), 2);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Zero", "D", 0), 0);
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", "Zero", "D", -1, value), 0);
    EXPECT_EQ(value.ToNumber(), 0);
}

TEST_F(RegistryTest, SuccessfulReadIsLogged) {
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Text", "S", "logged"), 0);
    StderrCapture capture;
    vb::Variant value;
    ASSERT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", "Text", "S", "", value), 0);
    EXPECT_NE(capture.Text().find("\tmodRegistry\\fReadValue: \n"
                                  "\t\t- Passed Key: HKLM\\SOFTWARE\\Quarnel\n"
                                  "\t\t- Passed Value: Text\n"
                                  "\t\t- Returned Value: logged\n"
                                  "\t\t- lResult (0 is successful): 0\n"),
              std::string::npos)
        << capture.Text();
}

TEST_F(RegistryTest, SubkeyListingHasItsNulLayout) {
    for (const char* path : {"SOFTWARE\\Listed\\beta", "SOFTWARE\\Listed\\Alpha", "SOFTWARE\\Listed\\Alpha\\Deep",
                             "SOFTWARE\\Listed\\ Spaced", "SOFTWARE\\Empty\\Leaf"})
        ASSERT_EQ(fWriteValue("HKLM", path, "v", "S", "1"), 0);
    StderrCapture capture;
    std::string keys;
    EXPECT_EQ(fEnumKey("HKLM", "SOFTWARE\\Listed", keys), 0);
    EXPECT_EQ(keys, " Spaced\0Alpha\0beta\0\0"s);
    EXPECT_NE(capture.Text().find("\t\t- Returned Values:  Spaced|Alpha|beta||\n"
                                  "\t\t- lResult (0 is successful): 259\n"),
              std::string::npos)
        << capture.Text();

    keys.clear();
    EXPECT_EQ(fEnumKey("HKLM", "SOFTWARE\\Empty\\Leaf", keys), 0);
    EXPECT_EQ(keys, "\0\0"s);

    keys.clear();
    EXPECT_EQ(fEnumKey("HKLM", "SOFTWARE\\Nowhere", keys), 2);
    EXPECT_EQ(keys, "");
}

TEST_F(RegistryTest, ListAppendKeepsNonEmptyEntriesInOrder) {
    {
        RawKey raw(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY);
        raw.Set("Sources", win::REG_MULTI_SZ, "one\0\0two\0\0"s);
    }
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Sources", "m", "three"), 0);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Fresh", "M", "only"), 0);
    RawKey raw(win::HKEY_LOCAL_MACHINE, "SOFTWARE\\Quarnel", win::KEY_WOW64_64KEY);
    EXPECT_EQ(raw.Get("Sources"), "one\0two\0three\0\0"s);
    EXPECT_EQ(raw.Get("Fresh"), "only\0\0"s);
    vb::Variant value;
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", "Sources", "M", "", value), 0);
    EXPECT_EQ(value.ToText(), "one\0two\0three\0"s);
}

TEST_F(RegistryTest, DeletingValues) {
    const fs::path record = host.Folder() / "subinacl-runs.txt";
    const fs::path tool = host.HostOf("C:\\Program Files\\Quarnel\\subinacl.exe");
    WriteHostFile(tool, "#!/bin/sh\nprintf '%s\\n' \"$QUARNEL_CMDLINE\" >> '" + record.string() + "'\n");
    chmod(tool.c_str(), 0755);
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel", "Gone", "S", "x"), 0);

    StderrCapture capture;
    bool notFound = false;
    EXPECT_EQ(fDeleteValue("HKLM", "SOFTWARE\\Quarnel", "Gone", notFound), 0);
    EXPECT_FALSE(notFound);
    vb::Variant value;
    EXPECT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel", "Gone", "S", "", value), 2);
    EXPECT_NE(capture.Text().find("\tmodRegistry\\fDeleteValue:\n"
                                  "\t\t- Passed Key: HKLM\\SOFTWARE\\Quarnel\n"
                                  "\t\t- Passed Value: Gone\n"
                                  "\t\t- lResult: 0 SUCCESS\n"),
              std::string::npos);

    for (const char* path : {"SOFTWARE\\Quarnel", "SOFTWARE\\NoSuchKey"}) {
        notFound = false;
        EXPECT_EQ(fDeleteValue("HKLM", path, "Gone", notFound), 2) << path;
        EXPECT_TRUE(notFound) << path;
    }
    EXPECT_NE(capture.Text().find("\t\t- lResult: 2 NOT FOUND\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(record));
}

TEST_F(RegistryTest, IniModeKeepsTheProfileResults) {
    const std::string ini = "C:\\Data\\settings.ini";
    WriteHostFile(host.HostOf(ini), "[Sec]\r\nName=Hello\r\nNum=42\r\n");
    vb::Variant value;
    EXPECT_EQ(fReadValue(ini, "Sec", "Name", "S", "dflt", value), 5);
    EXPECT_EQ(value.ToText(), "Hello");
    EXPECT_EQ(fReadValue(ini, "Sec", "Missing", "S", "dflt", value), 4);
    EXPECT_EQ(value.ToText(), "dflt");
    EXPECT_EQ(fReadValue(ini, "Sec", "Num", "D", "kept", value), 42);
    EXPECT_EQ(value.ToText(), "kept");

    EXPECT_NE(fWriteValue(ini, "Sec", "Added", "S", "New"), 0);
    EXPECT_EQ(fWriteValue(ini, "Sec", "Number", "D", 5), 99);
    bool notFound = false;
    EXPECT_NE(fDeleteValue(ini, "Sec", "Name", notFound), 0);
    EXPECT_FALSE(notFound);
    EXPECT_EQ(fReadValue(ini, "Sec", "Added", "S", "", value), 3);
    EXPECT_EQ(value.ToText(), "New");
    const std::string text = ReadHostFile(host.HostOf(ini));
    EXPECT_NE(text.find("Name=\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Number"), std::string::npos);
    std::string keys;
    EXPECT_EQ(fEnumKey(ini, "Sec", keys), 99);
}

// Writes 100 values under one key when started as a writer by the test below.
TEST(RegistryWriterChild, WritesItsValues) {
    const char* prefix = std::getenv(kWriterVariable);
    if (!prefix) GTEST_SKIP() << "runs only as a writer process";
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel\\Shared", prefix + std::to_string(i), "D", i), 0);
}

pid_t StartWriter(const std::string& prefix) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) variables.emplace_back(*entry);
    variables.push_back(std::string(kWriterVariable) + "=" + prefix);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=RegistryWriterChild.WritesItsValues";
    char* argv[] = {self.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return started == 0 ? pid : -1;
}

// Runs two writer processes at once and checks that every value of both arrived.
void ExpectBothWritersValues() {
    const pid_t first = StartWriter("first");
    const pid_t second = StartWriter("second");
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    for (pid_t pid : {first, second}) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const char* prefix : {"first", "second"}) {
        for (int i = 0; i < 100; ++i) {
            vb::Variant value;
            const std::string name = prefix + std::to_string(i);
            ASSERT_EQ(fReadValue("HKLM", "SOFTWARE\\Quarnel\\Shared", name, "D", -1, value), 0) << name;
            EXPECT_EQ(value.ToNumber(), i) << name;
        }
    }
}

TEST_F(RegistryTest, TwoProcessesWritingOneKeyLoseNoValue) {
    ASSERT_EQ(fWriteValue("HKLM", "SOFTWARE\\Quarnel\\Shared", "Before", "S", "x"), 0);
    ExpectBothWritersValues();
}

// Both writers meet a host folder without a registry store yet and create it at
// the same time; the store's creation currently fails one of them now and then
// (result 1016), so this stays off until the store creates itself safely.
TEST_F(RegistryTest, TwoProcessesCreatingTheStoreLoseNoValue) { ExpectBothWritersValues(); }

}  // namespace
