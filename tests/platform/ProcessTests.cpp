#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ProgramVersion.h"
#include "support/StartedPrograms.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "platform/host/HostFolder.h"
#include "platform/api/Process.h"
#include "platform/api/RuntimeError.h"

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::TempHost;
using testsupport::WriteHostFile;

namespace {

void WriteScript(const fs::path& file, const std::string& body) {
    WriteHostFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// A copy of the host's sleep program under a Windows image name.
void InstallSleeper(const fs::path& file) {
    fs::create_directories(file.parent_path());
    fs::copy_file("/usr/bin/sleep", file, fs::copy_options::overwrite_existing);
    fs::permissions(file, fs::perms::owner_all);
}

char ProcessState(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '\0' : stat[close + 2];
}

std::string ExecutableName(long pid) {
    std::error_code ec;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).filename().string();
}

bool IsListed(long pid) {
    const auto processes = platform::ListProcesses();
    return std::any_of(processes.begin(), processes.end(), [pid](const platform::ProcessInfo& p) { return p.pid == pid; });
}

class ProcessTest : public ::testing::Test {
protected:
    long Start(const std::string& commandLine) { return programs_.Start(commandLine); }
    win::DWORD Run(const std::string& commandLine) { return programs_.Run(commandLine); }

    // The wait of a caller that polls the exit code, as the program's own start-and-wait does.
    static win::DWORD PollExitCode(long pid) {
        const win::HANDLE process = win::OpenProcess(win::PROCESS_QUERY_INFORMATION, win::FALSE_, static_cast<win::DWORD>(pid));
        EXPECT_NE(process, 0);
        win::DWORD code = win::STILL_ACTIVE;
        while (win::GetExitCodeProcess(process, &code) && code == win::STILL_ACTIVE) usleep(10000);
        win::CloseHandle(process);
        return code;
    }

    TempHost host_;
    testsupport::StartedPrograms programs_;
};

TEST_F(ProcessTest, ExitCodesOfRealChildren) {
    WriteScript(host_.HostOf(R"(C:\Tools\exitwith.exe)"), R"(exit "$1")");
    for (int code : {0, 1, 3, 42, 255}) {
        const std::string line = R"(C:\Tools\exitwith.exe )" + std::to_string(code);
        EXPECT_EQ(Run(line), static_cast<win::DWORD>(code)) << line;
        EXPECT_EQ(PollExitCode(Start(line)), static_cast<win::DWORD>(code)) << line;
    }
}

TEST_F(ProcessTest, PathsWithBlanksQuotedOrNot) {
    WriteScript(host_.HostOf(R"(C:\Program Files\Quarnel Test\tool.exe)"), R"(exit "$#")");
    // The unquoted path is tried up to each blank in turn; the rest are the arguments.
    EXPECT_EQ(Run(R"("C:\Program Files\Quarnel Test\tool.exe" a b)"), 2u);
    EXPECT_EQ(Run(R"(C:\Program Files\Quarnel Test\tool.exe a b c)"), 3u);
    EXPECT_EQ(Run(R"(C:\Program Files\Quarnel Test\tool.exe)"), 0u);
    // Letter case and ".exe" are optional, as on Windows.
    EXPECT_EQ(Run(R"("c:\PROGRAM FILES\quarnel test\TOOL" x)"), 1u);
}

// A console program run hidden (window style 0) writes into a console
// nobody sees; its standard error is the debug output all the same.
TEST_F(ProcessTest, WhatAProgramRunHiddenPrintsIsSeenByNobody) {
    WriteScript(host_.HostOf(R"(C:\Tools\talk.exe)"), R"(echo "out $1"; echo "err $1" >&2)");
    std::string out, err;
    {
        const testsupport::StderrCapture capturedOut(1);
        const testsupport::StderrCapture capturedErr(2);
        for (const int style : {0, 1, 6}) {
            const std::string number = std::to_string(style);
            platform::WaitForChildExit(vb::Shell(R"(C:\Tools\talk.exe )" + number, style));
            platform::WaitForChildExit(vb::Shell("cmd.exe /c echo cmd " + number, style));
        }
        out = capturedOut.Text();
        err = capturedErr.Text();
    }
    EXPECT_EQ(out, "out 1\ncmd 1\nout 6\ncmd 6\n");
    EXPECT_EQ(err, "err 0\nerr 1\nerr 6\n");
}

TEST_F(ProcessTest, MissingProgramRaisesFileNotFound) {
    for (const std::string line : {R"(C:\Nowhere\missing.exe /x)", R"("C:\Program Files\No Such\x.exe")",
                                   "quarnel-no-such-program-here", R"(\\server\share\x.exe)", R"(C:\Nowhere\StopMonitor.cmd)"}) {
        try {
            vb::Shell(line, 1);
            ADD_FAILURE() << "started: " << line;
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), 53) << line;
            EXPECT_EQ(error.Description(), "File not found") << line;
        }
    }
    EXPECT_THROW(vb::Shell("   ", 0), RuntimeError);
}

TEST_F(ProcessTest, ChildReceivesRawTextAndWindowsSplitArguments) {
    const fs::path out = host_.Folder() / "received.txt";
    WriteScript(host_.HostOf(R"(C:\Echo Dir\echoargs.exe)"),
                "{ printf '[%s]\\n' \"$QUARNEL_CMDLINE\"; for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done; } > '" +
                    out.string() + "'");
    struct Case {
        std::string arguments;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"   /uninstaller ", "[/uninstaller ]\n</uninstaller>\n"},
        {"", "[]\n"},
        {R"(a "b c" d\"e \\"f g")", "[a \"b c\" d\\\"e \\\\\"f g\"]\n<a>\n<b c>\n<d\"e>\n<\\f g>\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(R"("C:\Echo Dir\echoargs.exe")" + (c.arguments.empty() ? "" : " " + c.arguments)), 0u);
        EXPECT_EQ(ReadHostFile(out), c.expected) << c.arguments;
    }
}

TEST_F(ProcessTest, BareNamesAreFoundOnThePathAndInOurOwnFolders) {
    EXPECT_EQ(Run(R"(sh.exe -c "exit 7")"), 7u);
    EXPECT_EQ(Run(R"(SH -c "exit 0")"), 0u);
    const auto own = platform::ResolveCommandLine("Quarnel_Stop.exe /showform");
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->kind, platform::ResolvedCommand::Kind::HostProgram);
    EXPECT_EQ(own->hostPath.filename(), "Quarnel_Stop.exe");
    EXPECT_EQ(own->arguments, "/showform");
    const auto tool = platform::ResolveCommandLine(R"(C:\Windows\System32\cmd.exe /c exit 3)");
    ASSERT_TRUE(tool.has_value());
    EXPECT_EQ(tool->kind, platform::ResolvedCommand::Kind::HostProgram);
    EXPECT_EQ(tool->hostPath, host_.HostOf(R"(C:\Windows\System32\cmd.exe)"));
    EXPECT_EQ(tool->arguments, "/c exit 3");
}

TEST_F(ProcessTest, BareExeNamesAreFoundAndRunWithoutTheExecuteBit) {
    const fs::path unpacked = host_.HostOf(R"(C:\Windows\Unpacked.exe)");
    WriteHostFile(unpacked, "#!/bin/sh\nexit 5\n");
    fs::permissions(unpacked, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const auto found = platform::ResolveProgramName("unpacked");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->kind, platform::ResolvedCommand::Kind::HostProgram);
    EXPECT_EQ(found->hostPath, unpacked);
    EXPECT_EQ(Run("Unpacked.exe"), 5u);
    EXPECT_EQ(access(unpacked.c_str(), X_OK), 0);
    // A host file of another name still needs its execute bit to count as a program.
    const fs::path plain = host_.HostOf(R"(C:\Windows\quarnel-plain-data)");
    WriteHostFile(plain, "#!/bin/sh\nexit 0\n");
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(platform::ResolveProgramName("quarnel-plain-data").has_value());
}

TEST_F(ProcessTest, ChildrenNobodyWaitsForAreReaped) {
    WriteScript(host_.HostOf(R"(C:\Tools\quick.exe)"), "exit 5");
    const long pid = vb::Shell(R"(C:\Tools\quick.exe)", 0);
    while (ProcessState(pid) != 'Z') usleep(5000);   // ended, and not collected yet
    platform::ListProcesses();
    EXPECT_EQ(ProcessState(pid), '\0');
    // Its exit code stays readable through a handle opened afterwards.
    EXPECT_EQ(PollExitCode(pid), 5u);
}

TEST_F(ProcessTest, ListShowsWindowsImageNamesAndOwner) {
    // Longer than the 15 characters the kernel keeps as a process's short name.
    InstallSleeper(host_.HostOf(R"(C:\Program Files\Quarnel\QuarnelLongImageName.exe)"));
    const long pid = Start(R"("C:\Program Files\Quarnel\QuarnelLongImageName.exe" 30)");
    const auto processes = platform::ListProcesses();
    auto it = std::find_if(processes.begin(), processes.end(), [pid](const auto& p) { return p.pid == pid; });
    ASSERT_NE(it, processes.end());
    EXPECT_EQ(it->imageName, "QuarnelLongImageName.exe");
    EXPECT_EQ(it->ownerName, platform::LoginName());
    EXPECT_EQ(it->executablePath, R"(C:\Program Files\Quarnel\QuarnelLongImageName.exe)");
    EXPECT_EQ(it->parentPid, getpid());
    EXPECT_TRUE(std::is_sorted(processes.begin(), processes.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; }));
    EXPECT_TRUE(IsListed(getpid()));
}

TEST_F(ProcessTest, TerminateThroughHandleGivesTheExitCode) {
    InstallSleeper(host_.HostOf(R"(C:\Tools\sleeper.exe)"));
    const long pid = Start(R"(C:\Tools\sleeper.exe 30)");
    const win::HANDLE process = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE_, static_cast<win::DWORD>(pid));
    ASSERT_NE(process, 0);
    win::DWORD code = 0;
    ASSERT_TRUE(win::GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, win::STILL_ACTIVE);
    EXPECT_TRUE(win::TerminateProcess(process, 77));
    EXPECT_EQ(platform::WaitForChildExit(pid), 77u);
    ASSERT_TRUE(win::GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 77u);
    EXPECT_FALSE(win::TerminateProcess(process, 1));   // already gone
    EXPECT_TRUE(win::CloseHandle(process));
    EXPECT_FALSE(win::CloseHandle(process));
    EXPECT_FALSE(win::GetExitCodeProcess(process, &code));
}

TEST_F(ProcessTest, TerminateByIdEndsAProcessOfThisMachine) {
    InstallSleeper(host_.HostOf(R"(C:\Tools\sleeper.exe)"));
    const long pid = Start(R"(C:\Tools\sleeper.exe 30)");
    EXPECT_TRUE(platform::TerminateProcessById(static_cast<int>(pid), 9));
    EXPECT_EQ(platform::WaitForChildExit(pid), 9u);
    EXPECT_FALSE(platform::TerminateProcessById(static_cast<int>(pid), 9));
}

TEST_F(ProcessTest, IdsOfZeroOrBelowAreRefused) {
    for (int pid : {0, -1, -getpid()}) {
        EXPECT_FALSE(platform::TerminateProcessById(pid, 0)) << pid;
        EXPECT_FALSE(platform::EndProcessOfImage(pid, "sleep", 0, true)) << pid;
    }
    EXPECT_EQ(win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE_, 0), 0);
    EXPECT_EQ(win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE_, 0xFFFFFFFFu), 0);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, AnotherHostFolderIsAnotherMachine) {
    InstallSleeper(host_.HostOf(R"(C:\Tools\Quarnel.exe)"));
    const long ours = Start(R"(C:\Tools\Quarnel.exe 30)");
    long theirs = 0;
    {
        TempHost other;
        InstallSleeper(other.HostOf(R"(C:\Tools\Quarnel.exe)"));
        theirs = Start(R"(C:\Tools\Quarnel.exe 30)");
        EXPECT_TRUE(IsListed(theirs));
        EXPECT_FALSE(IsListed(ours));
        EXPECT_FALSE(platform::TerminateProcessById(static_cast<int>(ours), 0));
        EXPECT_FALSE(platform::EndProcessOfImage(static_cast<int>(ours), "Quarnel.exe", 0, true));
        EXPECT_EQ(win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE_, static_cast<win::DWORD>(getppid())), 0);
    }
    EXPECT_TRUE(IsListed(ours));
    EXPECT_FALSE(IsListed(theirs));
    EXPECT_NE(ProcessState(ours), '\0');
    EXPECT_NE(ProcessState(ours), 'Z');
    // The host folder is compared by its real path, not by its spelling.
    setenv("QUARNEL_HOST", (host_.Folder() / "drive_c" / "..").c_str(), 1);
    EXPECT_TRUE(IsListed(ours));
    setenv("QUARNEL_HOST", host_.Folder().c_str(), 1);
}

TEST_F(ProcessTest, ProcessOfTheDefaultMachineIsNotOurs) {
    // A child without QUARNEL_HOST belongs to the default host folder.
    InstallSleeper(host_.HostOf(R"(C:\Tools\sleeper.exe)"));
    const std::string sleeper = host_.HostOf(R"(C:\Tools\sleeper.exe)").string();
    const long pid = Start("sh -c \"unset QUARNEL_HOST; exec '" + sleeper + "' 30\"");
    while (ExecutableName(pid) != "sleeper.exe") usleep(5000);
    EXPECT_FALSE(IsListed(pid));
    EXPECT_FALSE(platform::TerminateProcessById(static_cast<int>(pid), 0));
    EXPECT_NE(ProcessState(pid), 'Z');
}

}  // namespace
