#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/tools/RegTool.h"
#include "platform/api/Registry.h"
#include "platform/api/SystemMessages.h"
#include "platform/api/WinError.h"
#include "platform/host/HostProcess.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

ToolRun Reg(const std::vector<std::string>& arguments, const std::string& answers = "") {
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in(answers);
    const int code = platform::RunRegTool(arguments, out, err, in);
    return {code, out.str(), err.str()};
}

const std::string kDone = "The operation completed successfully.\n";
const std::string kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

TEST(RegTool, AddThenQueryPrintsEachKindAsWindowsRegDoes) {
    TempHost host;
    struct Case {
        std::vector<std::string> add;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{"/v", "Path", "/t", "REG_SZ", "/d", "C:\\Program Files\\Quarnel"}, "    Path    REG_SZ    C:\\Program Files\\Quarnel"},
        {{"/v", "Plain", "/d", "no type given"}, "    Plain    REG_SZ    no type given"},
        {{"/v", "Expand", "/t", "reg_expand_sz", "/d", "%SystemRoot%"}, "    Expand    REG_EXPAND_SZ    %SystemRoot%"},
        {{"/v", "List", "/t", "REG_MULTI_SZ", "/d", "one\\0two"}, "    List    REG_MULTI_SZ    one\\0two"},
        {{"/v", "Count", "/t", "REG_DWORD", "/d", "255"}, "    Count    REG_DWORD    0xff"},
        {{"/v", "Hex", "/t", "REG_DWORD", "/d", "0x10"}, "    Hex    REG_DWORD    0x10"},
        {{"/v", "Big", "/t", "REG_QWORD", "/d", "18446744073709551615"}, "    Big    REG_QWORD    0xffffffffffffffff"},
        {{"/v", "BigHex", "/t", "reg_qword", "/d", "0x100000000"}, "    BigHex    REG_QWORD    0x100000000"},
        {{"/v", "Blob", "/t", "REG_BINARY", "/d", "00ff1A"}, "    Blob    REG_BINARY    00FF1A"},
        {{"/ve", "/d", "default"}, "    (Default)    REG_SZ    default"},
    };
    std::string expected = "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Quarnel\n";
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"add", "HKLM\\SOFTWARE\\Quarnel"};
        arguments.insert(arguments.end(), c.add.begin(), c.add.end());
        arguments.push_back("/f");
        const ToolRun added = Reg(arguments);
        EXPECT_EQ(added.exitCode, 0) << c.line << added.err;
        EXPECT_EQ(added.out, kDone);

        const std::string name = c.add[0] == "/ve" ? "" : c.add[1];
        const ToolRun one = Reg(c.add[0] == "/ve" ? std::vector<std::string>{"query", "HKLM\\SOFTWARE\\Quarnel", "/ve"}
                                              : std::vector<std::string>{"query", "HKLM\\SOFTWARE\\Quarnel", "/v", name});
        EXPECT_EQ(one.exitCode, 0);
        EXPECT_EQ(one.out, "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Quarnel\n" + c.line + "\n\n");
        expected += c.line + "\n";
    }
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Quarnel\\Rules", "/f"}).exitCode, 0);
    const ToolRun all = Reg({"query", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarnel"});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.out, expected + "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Quarnel\\Rules\n");
}

TEST(RegTool, MissingKeysAndValuesReportTheWindowsError) {
    TempHost host;
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"query", "HKLM\\SOFTWARE\\Nowhere"},
             {"query", "HKCU\\Software", "/v", "Nothing"},
             {"delete", "HKCU\\Software\\Nowhere", "/f"},
             {"delete", "HKCU\\Software", "/v", "Nothing", "/f"}}) {
        const ToolRun run = Reg(arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments[1];
        EXPECT_EQ(run.err, kNotFound) << arguments[1];
        EXPECT_EQ(run.out, "");
    }
}

TEST(RegTool, BadCommandLinesAreRefusedWithUsageHints) {
    TempHost host;
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"},
        {{"copy", "HKLM\\X"}, "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n"},
        {{"query"}, "ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n"},
        {{"query", "HKXX\\Software"}, "ERROR: Invalid key name.\nType \"REG QUERY /?\" for usage.\n"},
        {{"add", "HKCU\\Software\\T", "/v"}, "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
        {{"add", "HKCU\\Software\\T", "/v", "N", "/t", "REG_DWORD", "/d", "12x", "/f"},
         "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
        {{"add", "HKCU\\Software\\T", "/v", "N", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
         "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
        {{"add", "HKCU\\Software\\T", "/v", "N", "/t", "REG_QWORD", "/d", "18446744073709551616", "/f"},
         "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
        {{"add", "HKCU\\Software\\T", "/v", "N", "/t", "REG_BINARY", "/d", "abc", "/f"},
         "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
        {{"add", "HKCU\\Software\\T", "/v", "N", "/t", "REG_LINK", "/f"},
         "ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n"},
        {{"delete", "HKCU\\Software\\T", "/v", "N", "/va"}, "ERROR: Invalid syntax.\nType \"REG DELETE /?\" for usage.\n"},
    };
    for (const Case& c : cases) {
        const ToolRun run = Reg(c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, c.err) << (c.arguments.empty() ? "" : c.arguments[0]);
    }
    // A refused add wrote nothing.
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\T"}).exitCode, 1);
}

TEST(RegTool, ExistingValuesAreOverwrittenOnlyWhenConfirmed) {
    TempHost host;
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Q", "/v", "V", "/d", "first", "/f"}).exitCode, 0);
    const ToolRun declined = Reg({"add", "HKCU\\Software\\Q", "/v", "V", "/d", "second"}, "n\n");
    EXPECT_EQ(declined.exitCode, 0);
    EXPECT_EQ(declined.out, "Value V exists, overwrite(Yes/No)? The operation was canceled by the user.\n");
    const ToolRun noAnswer = Reg({"add", "HKCU\\Software\\Q", "/v", "V", "/d", "second"});
    EXPECT_EQ(noAnswer.out, "Value V exists, overwrite(Yes/No)? \nThe operation was canceled by the user.\n");
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Q", "/v", "V"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Q\n    V    REG_SZ    first\n\n");
    const ToolRun confirmed = Reg({"add", "HKCU\\Software\\Q", "/v", "V", "/d", "second"}, "yes\n");
    EXPECT_EQ(confirmed.out, "Value V exists, overwrite(Yes/No)? " + kDone);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Q", "/v", "v"}).out,
              "\nHKEY_CURRENT_USER\\Software\\Q\n    V    REG_SZ    second\n\n");
}

TEST(RegTool, DeleteRemovesValuesAllValuesOrTheWholeTree) {
    TempHost host;
    for (const char* name : {"A", "B"})
        ASSERT_EQ(Reg({"add", "HKCU\\Software\\Tree", "/v", name, "/d", "x", "/f"}).exitCode, 0);
    ASSERT_EQ(Reg({"add", "HKCU\\Software\\Tree\\Deep\\Deeper", "/v", "C", "/d", "y", "/f"}).exitCode, 0);

    EXPECT_EQ(Reg({"delete", "HKCU\\Software\\Tree", "/v", "A", "/f"}).out, kDone);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Tree", "/v", "A"}).exitCode, 1);
    EXPECT_EQ(Reg({"delete", "HKCU\\Software\\Tree", "/va", "/f"}).out, kDone);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Tree"}).out, "\nHKEY_CURRENT_USER\\Software\\Tree\\Deep\n");

    const ToolRun kept = Reg({"delete", "HKCU\\Software\\Tree"}, "no\n");
    EXPECT_EQ(kept.out, "Permanently delete the registry key HKEY_CURRENT_USER\\Software\\Tree (Yes/No)? "
                        "The operation was canceled by the user.\n");
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Tree\\Deep\\Deeper"}).exitCode, 0);
    EXPECT_EQ(Reg({"delete", "HKCU\\Software\\Tree"}, "y\n").exitCode, 0);
    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Tree"}).err, kNotFound);
    EXPECT_EQ(Reg({"query", "HKCU\\Software"}).exitCode, 0);
    EXPECT_EQ(Reg({"delete", "HKLM", "/f"}).err, "ERROR: Access is denied.\n");
}

TEST(RegTool, WorksInThe64BitViewUnlessAskedFor32) {
    TempHost host;
    host.WriteHostIni("Machine", "Is64Bit", "1");
    ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Vendor", "/v", "Bits", "/d", "32", "/reg:32", "/f"}).exitCode, 0);
    EXPECT_EQ(Reg({"query", "HKLM\\SOFTWARE\\Vendor"}).exitCode, 1);
    EXPECT_EQ(Reg({"query", "HKLM\\SOFTWARE\\Wow6432Node\\Vendor", "/v", "Bits"}).out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Vendor\n    Bits    REG_SZ    32\n\n");
    EXPECT_EQ(Reg({"query", "HKLM\\SOFTWARE\\Vendor", "/reg:32"}).exitCode, 0);
}

TEST(RegTool, TheBuiltToolPrintsTheSameAndExitsWithItsCode) {
    TempHost host;
    const std::filesystem::path tool = std::filesystem::path(QUARNEL_BIN_DIR) / "reg.exe";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "reg.exe is not built";
    auto run = [&tool](const std::string& arguments, std::string& output) {
        FILE* pipe = ::popen(("'" + tool.string() + "' " + arguments + " 2>&1").c_str(), "r");
        output.clear();
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        const int status = pipe ? ::pclose(pipe) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string output;
    EXPECT_EQ(run("add 'HKCU\\Software\\Tool' /v Name /t REG_SZ /d 'two words' /f", output), 0);
    EXPECT_EQ(output, kDone);
    EXPECT_EQ(run("query 'HKCU\\Software\\Tool'", output), 0);
    EXPECT_EQ(output, "\nHKEY_CURRENT_USER\\Software\\Tool\n    Name    REG_SZ    two words\n\n");
    EXPECT_EQ(run("query 'HKCU\\Software\\Gone'", output), 1);
    EXPECT_EQ(output, kNotFound);
    // What the tool wrote is in this process's store too.
    win::HKEY key = 0;
    ASSERT_EQ(win::RegOpenKeyExA(win::HKEY_CURRENT_USER, "Software\\Tool", 0, win::KEY_READ, &key), 0);
    win::RegCloseKey(key);
}

// What the tools print for a failure is the system's text for its number,
// as FormatMessage gives it: here a registry whose file is a folder.
TEST(ToolErrors, ARegistryThatCannotBeOpenedIsReportedInTheSystemsWords) {
    TempHost host;
    std::filesystem::create_directories(host.Folder() / "registry.db");
    const std::string cannotOpen = "The configuration registry key could not be opened.";
    auto built = [](const char* tool, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), (std::filesystem::path(QUARNEL_BIN_DIR) / tool).string());
        return platform::RunHostProgram(arguments, "");
    };
    const platform::HostRun eventcreate =
        built("eventcreate.exe", {"/T", "ERROR", "/ID", "1", "/SO", "Fresh Source", "/D", "x"});
    EXPECT_EQ(eventcreate.exitCode, 1);
    EXPECT_EQ(eventcreate.error, "ERROR: " + cannotOpen + "\n");
    const platform::HostRun reg = built("reg.exe", {"query", "HKLM\\SOFTWARE"});
    EXPECT_EQ(reg.exitCode, 1);
    EXPECT_EQ(reg.error, "ERROR: " + cannotOpen + "\n");
    const platform::HostRun sc = built("sc.exe", {"create", "Fresh", "binPath=", "C:\\fresh.exe"});
    EXPECT_EQ(sc.exitCode, 1011 & 0xFF);
    EXPECT_EQ(sc.output, "[SC] CreateService FAILED 1011:\n\n" + cannotOpen + "\n\n");
}

// Every number the host's registry, service, transaction and file calls give
// has its text, and FormatMessage gives the same one.
TEST(ToolErrors, EveryErrorNumberOfTheHostsCallsHasItsText) {
    std::vector<win::DWORD> codes = {2,    3,    5,    6,    87,   122,  123,  161,  183,  206,  234,  259,
                                     998,  1009, 1010, 1011, 1012, 1013, 1015, 1016, 1018, 1053, 1056, 1058,
                                     1060, 1062, 1065, 1073, 1307, 1338, 1722, 6700, 6701};
    for (const int error : {ENOENT, ENOTDIR, EEXIST, ENOTEMPTY, EXDEV, EROFS, EBUSY, ENOSPC, ENAMETOOLONG, EACCES, EIO})
        codes.push_back(platform::ErrorOfErrno(error));
    for (const win::DWORD code : codes) {
        const auto text = platform::SystemMessageText(code);
        ASSERT_TRUE(text) << code;
        EXPECT_EQ(platform::SystemErrorText(code), *text);
        char buffer[512];
        const win::DWORD length =
            win::FormatMessageA(win::FORMAT_MESSAGE_FROM_SYSTEM, 0, code, 0, buffer, sizeof buffer, nullptr);
        EXPECT_EQ(std::string(buffer, length), *text + "\r\n") << code;
    }
    EXPECT_EQ(platform::SystemErrorText(1011), "The configuration registry key could not be opened.");
    EXPECT_EQ(platform::SystemErrorText(64999), "Error 64999.");
}

}  // namespace
