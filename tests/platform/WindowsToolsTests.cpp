#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ScopedVariable.h"
#include "support/StartedPrograms.h"
#include "support/TempHost.h"
#include "platform/api/Process.h"
#include "platform/host/HostProcess.h"
#include "platform/api/RuntimeError.h"
#include "platform/tools/WindowsTools.h"

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace {

void WriteScript(const fs::path& file, const std::string& body) {
    WriteHostFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
}

void InstallCopy(const fs::path& from, const fs::path& file) {
    fs::create_directories(file.parent_path());
    fs::copy_file(from, file, fs::copy_options::overwrite_existing);
    fs::permissions(file, fs::perms::owner_all);
}

bool IsRunning(long pid) {
    const win::HANDLE process = win::OpenProcess(win::PROCESS_QUERY_INFORMATION, win::FALSE_, static_cast<win::DWORD>(pid));
    win::DWORD code = 0;
    const bool running = process && win::GetExitCodeProcess(process, &code) && code == win::STILL_ACTIVE;
    win::CloseHandle(process);
    return running;
}

class WindowsToolsTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(host_.HostOf(R"(C:\Temp Out)")); }

    long Start(const std::string& commandLine) { return programs_.Start(commandLine); }
    win::DWORD Run(const std::string& commandLine) { return programs_.Run(commandLine); }

    // Runs a command through cmd with its output sent to a file, and returns that output.
    std::string Output(const std::string& command, win::DWORD* exitCode = nullptr) {
        const win::DWORD code = Run("cmd.exe /c " + command + R"( > "C:\Temp Out\output.txt" 2>&1)");
        if (exitCode) *exitCode = code;
        return ReadHostFile(host_.HostOf(R"(C:\Temp Out\output.txt)"));
    }

    long StartSleeper(const std::string& windowsPath) {
        InstallCopy("/usr/bin/sleep", host_.HostOf(windowsPath));
        return Start("\"" + windowsPath + "\" 30");
    }

    TempHost host_;
    testsupport::StartedPrograms programs_;
};

TEST_F(WindowsToolsTest, CmdRunsItsCommandAndExitsWithItsCode) {
    WriteScript(host_.HostOf(R"(C:\Program Files\Quarnel Test\tool.exe)"), R"(exit "$#")");
    struct Case {
        std::string line;
        win::DWORD code;
    };
    const std::vector<Case> cases = {
        {"cmd.exe /c exit 3", 3},
        {"CMD /C exit 0", 0},
        {R"(cmd /c sh -c "exit 4")", 4},
        {"cmd /c quarnel-no-such-program-here", 9009},
        {R"(cmd /c "C:\Program Files\Quarnel Test\tool.exe" a b)", 2},          // two quotes around a program: kept
        {R"(cmd /c ""C:\Program Files\Quarnel Test\tool.exe" "a b"")", 1},      // outer quotes dropped
        {"cmd /c cmd /c exit 2", 2},
        {R"(cmd /c sh -c "exit 1" && exit 5)", 1},
        {R"(cmd /c sh -c "exit 1" || exit 5)", 5},
        {"cmd /c echo hi > nul & exit 8", 8},
        {R"(C:\Windows\System32\cmd.exe /c exit /b 6)", 6},
    };
    for (const Case& c : cases) EXPECT_EQ(Run(c.line), c.code) << c.line;
}

TEST_F(WindowsToolsTest, CmdRedirectsOutput) {
    EXPECT_EQ(Run(R"(cmd /c echo hello world> "C:\Temp Out\a.txt")"), 0u);
    EXPECT_EQ(Run(R"(cmd /c echo second line>> "c:\temp out\A.TXT")"), 0u);
    EXPECT_EQ(ReadHostFile(host_.HostOf(R"(C:\Temp Out\a.txt)")), "hello world\nsecond line\n");
    win::DWORD code = 0;
    EXPECT_EQ(Output("quarnel-no-such-program-here", &code),
              "'quarnel-no-such-program-here' is not recognized as an internal or external command,\n"
              "operable program or batch file.\n");
    EXPECT_EQ(code, 9009u);
    EXPECT_EQ(Run(R"(cmd /c echo x > "C:\No Such Folder\x.txt")"), 1u);
}

TEST_F(WindowsToolsTest, BatchFileRunsLineByLine) {
    WriteHostFile(host_.HostOf(R"(C:\Program Files\Quarnel\Test Script.cmd)"),
                  "@echo off\r\n"
                  "rem nothing to do here\r\n"
                  "\r\n"
                  "echo first> \"C:\\Temp Out\\log.txt\"\r\n"
                  "echo %1 %~2 %~dp0>> \"C:\\Temp Out\\log.txt\"\r\n"
                  "sh -c \"exit 3\"\r\n");
    EXPECT_EQ(Run(R"("C:\Program Files\Quarnel\Test Script.cmd" one "two three")"), 3u);
    EXPECT_EQ(ReadHostFile(host_.HostOf(R"(C:\Temp Out\log.txt)")),
              "first\none two three C:\\Program Files\\Quarnel\\\n");
    // Unquoted, through cmd, and by a bare name from the search of our own folders it runs the same.
    EXPECT_EQ(Run(R"(C:\Program Files\Quarnel\Test Script.cmd x y)"), 3u);
    EXPECT_EQ(Run(R"(cmd /c "C:\Program Files\Quarnel\Test Script.cmd" x y)"), 3u);
}

TEST_F(WindowsToolsTest, BatchFileExitAndGoto) {
    WriteHostFile(host_.HostOf(R"(C:\Scripts\flow.bat)"),
                  "@echo off\n"
                  "goto skip\n"
                  "echo never> \"C:\\Temp Out\\never.txt\"\n"
                  ":skip\n"
                  "quarnel-no-such-program-here\n"
                  "exit /b 4\n"
                  "echo never> \"C:\\Temp Out\\never.txt\"\n");
    EXPECT_EQ(Run(R"(C:\Scripts\flow.bat)"), 4u);
    EXPECT_FALSE(fs::exists(host_.HostOf(R"(C:\Temp Out\never.txt)")));
    WriteHostFile(host_.HostOf(R"(C:\Scripts\ends.cmd)"), "exit 9\r\necho never> \"C:\\Temp Out\\never.txt\"\r\n");
    EXPECT_EQ(Run(R"(cmd /c C:\Scripts\ends.cmd & exit 1)"), 9u);   // exit ends the interpreter itself
    EXPECT_FALSE(fs::exists(host_.HostOf(R"(C:\Temp Out\never.txt)")));
    WriteHostFile(host_.HostOf(R"(C:\Scripts\last.cmd)"), "rem only\r\ncmd /c exit 0\r\n");
    EXPECT_EQ(Run(R"(C:\Scripts\last.cmd)"), 0u);
}

TEST_F(WindowsToolsTest, PingWaitsAndReplies) {
    win::DWORD code = 1;
    const std::string output = Output("ping 127.0.0.1 -n 2", &code);
    EXPECT_EQ(code, 0u);
    EXPECT_NE(output.find("Pinging 127.0.0.1 with 32 bytes of data:\n"
                          "Reply from 127.0.0.1: bytes=32 time<1ms TTL=128\n"
                          "Reply from 127.0.0.1: bytes=32 time<1ms TTL=128\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("Packets: Sent = 2, Received = 2, Lost = 0 (0% loss)"), std::string::npos) << output;
    EXPECT_EQ(Run("PING.EXE"), 1u);   // no target
}

TEST_F(WindowsToolsTest, TskillEndsOnlyThisMachinesProcessesByName) {
    const long ours = StartSleeper(R"(C:\Program Files\Quarnel\Quarnel.exe)");
    const long bystander = StartSleeper(R"(C:\Program Files\Quarnel\Quarnel_Stop.exe)");
    // Another machine, whose program runs as long as the test.
    TempHost other;
    InstallCopy("/usr/bin/sleep", other.HostOf(R"(C:\Program Files\Quarnel\Quarnel.exe)"));
    const long theirs = Start(R"("C:\Program Files\Quarnel\Quarnel.exe" 30)");
    testsupport::ScopedVariable backHome("QUARNEL_HOST", host_.Folder().string());
    EXPECT_EQ(Run(R"(cmd.exe /c tskill "Quarnel.exe" /a)"), 0u);
    EXPECT_EQ(platform::WaitForChildExit(ours), 1u);
    EXPECT_TRUE(IsRunning(theirs));
    EXPECT_TRUE(IsRunning(bystander));
    win::DWORD code = 0;
    EXPECT_EQ(Output(R"(tskill "Quarnel.exe" /a)", &code), "Could not find process: Quarnel.exe\n");
    EXPECT_EQ(code, 1u);
    // ".exe" is optional and letter case is ignored.
    EXPECT_EQ(Run("tskill quarnel_stop"), 0u);
    EXPECT_EQ(platform::WaitForChildExit(bystander), 1u);
    EXPECT_TRUE(IsRunning(theirs));
}

TEST_F(WindowsToolsTest, TaskkillEndsTheTreeWithWindowsMessages) {
    // A shell named Quarnel.exe with a sleeping child of its own.
    InstallCopy("/bin/sh", host_.HostOf(R"(C:\Program Files\Quarnel\Quarnel.exe)"));
    InstallCopy("/usr/bin/sleep", host_.HostOf(R"(C:\Tools\child.exe)"));
    const std::string childHost = host_.HostOf(R"(C:\Tools\child.exe)").string();
    const long parent = Start(R"("C:\Program Files\Quarnel\Quarnel.exe" -c "')" + childHost + "' 30; exit 0\"");
    auto childListed = [&] {
        for (const auto& process : platform::ListProcesses())
            if (process.parentPid == parent && process.imageName == "child.exe") return process.pid;
        return 0;
    };
    int child = 0;
    while ((child = childListed()) == 0) usleep(5000);

    win::DWORD code = 1;
    const std::string output = Output(R"(taskkill /f /t /im "Quarnel.exe")", &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(output, "SUCCESS: The process with PID " + std::to_string(child) + " (child process of PID " +
                          std::to_string(parent) + ") has been terminated.\n" +
                          "SUCCESS: The process \"Quarnel.exe\" with PID " + std::to_string(parent) +
                          " has been terminated.\n");
    EXPECT_EQ(platform::WaitForChildExit(parent), 1u);

    EXPECT_EQ(Output(R"(taskkill /f /t /im "Quarnel.exe")", &code), "ERROR: The process \"Quarnel.exe\" not found.\n");
    EXPECT_EQ(code, 128u);
    EXPECT_EQ(Run("taskkill /f"), 1u);   // neither /im nor /pid
}

TEST_F(WindowsToolsTest, StopScriptPausesThenEndsTheMonitor) {
    const long monitor = StartSleeper(R"(C:\Program Files\Quarnel\Quarnel.exe)");
    WriteHostFile(host_.HostOf(R"(C:\Program Files\Quarnel\StopMonitor.cmd)"),
                  "ping 127.0.0.1 -n 2\r\ntskill \"Quarnel.exe\" /a\r\n");
    EXPECT_EQ(Run(R"(C:\Program Files\Quarnel\StopMonitor.cmd)"), 0u);
    EXPECT_EQ(platform::WaitForChildExit(monitor), 1u);
}

TEST_F(WindowsToolsTest, WintoolPicksTheToolByItsOwnNameOrFirstArgument) {
    const fs::path wintool = platform::WindowsToolProgram();
    ASSERT_FALSE(wintool.empty());
    const fs::path link = host_.Folder() / "links" / "taskkill";
    fs::create_directories(link.parent_path());
    fs::create_symlink(wintool, link);
    EXPECT_EQ(Run("sh -c \"'" + link.string() + "' /im nothing-like-this.exe\""), 128u);
    EXPECT_EQ(Run("sh -c \"'" + wintool.string() + "' cmd /c exit 4\""), 4u);
    EXPECT_EQ(Run("sh -c \"'" + wintool.string() + "' notatool\""), 1u);
}

// Typed in bash, "wintool cmd /c '...'" hands cmd one argument that is the
// command line as typed in cmd; arguments given one by one are quoted as
// needed, as ever.
TEST_F(WindowsToolsTest, CmdTypedInAHostShellGetsItsCommandLineAsTyped) {
    host_.WriteHostIni("Scheduler", "Crontab", "0");
    host_.WriteHostIni("Scheduler", "Autostart", "0");
    ASSERT_EQ(Run(R"(schtasks.exe /create /sc DAILY /st 08:00 /tn "Via Cmd" /tr C:\Tools\x.exe)"), 0u);
    WriteHostFile(host_.HostOf(R"(C:\Temp Out\say.cmd)"), "@echo said %1\r\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string output;
    };
    const std::vector<Case> cases = {
        {{"/c", "echo \"a b\""}, "\"a b\"\n"},
        {{"/c", "echo", "a b"}, "\"a b\"\n"},
        {{"/c", "echo a  b"}, "a  b\n"},
        {{"/c", R"(C:\Temp Out\say.cmd)", "it"}, "said it\n"},
        {{"/c", R"("C:\Temp Out\say.cmd" again)"}, "said again\n"},
        {{"/c", "schtasks /query /tn \"Via Cmd\" /fo LIST"}, "TaskName:                             \\Via Cmd\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {platform::WindowsToolProgram().string(), "cmd"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const platform::HostRun run = platform::RunHostProgram(argv, "");
        EXPECT_EQ(run.exitCode, 0) << c.arguments.back() << "\n" << run.output << run.error;
        EXPECT_NE(run.output.find(c.output), std::string::npos) << c.arguments.back() << "\n" << run.output;
    }
}

TEST(WindowsToolTable, NamesAndPathsFindTheirTool) {
    struct Case {
        std::string program;
        const char* tool;
    };
    const std::vector<Case> cases = {
        {"cmd", "cmd"},          {"CMD.EXE", "cmd"},          {R"(C:\Windows\System32\cmd.exe)", "cmd"},
        {"ping.exe", "ping"},    {"TSKILL", "tskill"},        {"taskkill.exe", "taskkill"},
        {"cmd.com", nullptr},    {"schtasks.exe", "schtasks"},   {"command", nullptr},
    };
    for (const Case& c : cases) {
        const platform::WindowsTool* tool = platform::FindWindowsTool(c.program);
        if (c.tool) {
            ASSERT_NE(tool, nullptr) << c.program;
            EXPECT_STREQ(tool->name, c.tool) << c.program;
        } else {
            EXPECT_EQ(tool, nullptr) << c.program;
        }
    }
    EXPECT_TRUE(platform::IsBatchFileName("StopMonitor.CMD"));
    EXPECT_TRUE(platform::IsBatchFileName("x.bat"));
    EXPECT_FALSE(platform::IsBatchFileName("x.cmdx"));
}

}  // namespace
