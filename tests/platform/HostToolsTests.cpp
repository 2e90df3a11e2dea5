// The Windows tools installed as links in a host's system folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/api/Process.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/HostFolder.h"
#include "platform/host/HostProcess.h"
#include "platform/host/HostTools.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;

fs::path SystemFolder(const testsupport::TempHost& host) { return host.HostOf("C:\\Windows\\System32"); }

// Where each tool's name in the folder leads; "" for a name that is missing.
std::vector<std::string> LinkTargets(const fs::path& systemFolder) {
    std::vector<std::string> targets;
    for (const platform::HostTool& tool : platform::HostTools()) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(systemFolder / tool.windowsName, ec);
        targets.push_back(ec ? "" : target.string());
    }
    return targets;
}

std::vector<std::string> TargetsIn(const fs::path& toolFolder) {
    std::vector<std::string> targets;
    for (const platform::HostTool& tool : platform::HostTools())
        targets.push_back((toolFolder / tool.executable).string());
    return targets;
}

void PointEveryLinkAt(const fs::path& systemFolder, const fs::path& target) {
    for (const platform::HostTool& tool : platform::HostTools()) {
        fs::remove(systemFolder / tool.windowsName);
        fs::create_symlink(target, systemFolder / tool.windowsName);
    }
}

void WriteProgram(const fs::path& file) {
    testsupport::WriteHostFile(file, "#!/bin/sh\nexit 0\n");
    fs::permissions(file, fs::perms::owner_all);
}

std::vector<std::string> HiddenNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().front() == '.') names.push_back(entry.path().filename().string());
    return names;
}

TEST(HostTools, AFreshHostHasEachToolInItsSystemFolderAndRunsItByName) {
    testsupport::TempHost host;
    platform::HostFolder();
    EXPECT_EQ(LinkTargets(SystemFolder(host)), TargetsIn(QUARNEL_BIN_DIR));
    testsupport::WriteHostFile(host.HostOf(R"(C:\Scripts\four.cmd)"), "@exit /b 4\r\n");
    const std::vector<std::pair<std::string, unsigned>> runs = {
        {"cmd /c exit 3", 3u}, {R"(C:\Windows\System32\CMD.EXE /c exit 3)", 3u}, {R"(C:\Scripts\four.cmd)", 4u}};
    for (const auto& [commandLine, exitCode] : runs)
        EXPECT_EQ(platform::WaitForChildExit(platform::StartCommandLine(commandLine)), exitCode) << commandLine;
}

// A batch file is started by the command processor that ComSpec names.
TEST(HostTools, ABatchFileRunsThroughComSpec) {
    testsupport::TempHost host;
    testsupport::WriteHostFile(host.HostOf(R"(C:\Scripts\four.cmd)"), "@exit /b 4\r\n");
    testsupport::ScopedVariable comSpec("ComSpec", R"(C:\Windows\System32\nothing.exe)");
    try {
        platform::StartCommandLine(R"(C:\Scripts\four.cmd)");
        ADD_FAILURE() << "started without a command processor";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 53);
    }
}

TEST(HostTools, LinksFollowTheToolsOfTheFolderGiven) {
    testsupport::TempHost host;
    platform::HostFolder();
    const fs::path system = SystemFolder(host);
    const fs::path whole = host.Folder() / "whole";
    const fs::path broken = host.Folder() / "broken";
    const fs::path notOurs = host.Folder() / "not-ours";
    for (const platform::HostTool& tool : platform::HostTools()) {
        WriteProgram(whole / tool.executable);
        if (std::string(tool.executable) != "wintool") WriteProgram(broken / tool.executable);
    }
    WriteProgram(notOurs / "7z.exe");
    struct Case {
        const char* name;
        fs::path folder;
        std::vector<std::string> expected;
    };
    std::vector<std::string> brokenTargets;
    for (const platform::HostTool& tool : platform::HostTools())
        brokenTargets.push_back(std::string(tool.executable) == "wintool" ? "" : (broken / tool.executable).string());
    const std::vector<Case> cases = {
        {"a folder with every tool", whole, TargetsIn(whole)},
        {"the same folder again", whole, TargetsIn(whole)},
        {"a folder without wintool", broken, brokenTargets},
        {"a folder with no tool", notOurs, brokenTargets},
        {"the build's folder", QUARNEL_BIN_DIR, TargetsIn(QUARNEL_BIN_DIR)},
    };
    for (const Case& c : cases) {
        platform::InstallHostTools(system, c.folder);
        EXPECT_EQ(LinkTargets(system), c.expected) << c.name;
    }
    // A file in a tool's place is replaced as well.
    fs::remove(system / "ping.exe");
    WriteProgram(system / "ping.exe");
    platform::InstallHostTools(system, whole);
    EXPECT_EQ(LinkTargets(system), TargetsIn(whole));
    EXPECT_EQ(HiddenNames(system), std::vector<std::string>{});
}

// Programs starting at once on a machine whose links lead elsewhere each
// put them right, and no temporary link stays behind.
TEST(HostTools, ProgramsStartingAtOnceLeaveTheLinksWhole) {
    testsupport::TempHost host;
    platform::HostFolder();
    const fs::path system = SystemFolder(host);
    PointEveryLinkAt(system, host.Folder() / "elsewhere" / "wintool");
    WriteProgram(host.Folder() / "elsewhere" / "wintool");
    std::vector<pid_t> started;
    for (int run = 0; run < 8; ++run) {
        platform::HostProgramStart start;
        start.argv = {std::string(QUARNEL_BIN_DIR) + "/sc.exe", "query", "Quarnel"};
        start.discardOutput = true;
        const pid_t pid = platform::SpawnHostProgram(start).pid;
        ASSERT_GT(pid, 0);
        started.push_back(pid);
    }
    for (pid_t pid : started) waitpid(pid, nullptr, 0);
    EXPECT_EQ(LinkTargets(system), TargetsIn(QUARNEL_BIN_DIR));
    EXPECT_EQ(HiddenNames(system), std::vector<std::string>{});
}

}  // namespace
