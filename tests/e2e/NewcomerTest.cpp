// What a new user does first, on a fresh host: install with the repository's
// script, start the monitor, write the README's record from bash, and see the
// alert (its balloon lines without a display).
#include <gtest/gtest.h>

#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <string>

#include "platform/host/HostTools.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;

const std::string kBalloon = "\tShell_NotifyIcon NIM_MODIFY: balloon \"Event Alert\": ";
// The README's line, typed in bash.
const std::string kReadmeRecord =
    "eventcreate.exe /L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" "
    "/D \"The Print Spooler service entered the stopped state.\"";

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

int Install() {
    const fs::path build = fs::path(QUARNEL_BIN_DIR).parent_path();
    const std::string command = "QUARNEL_BUILD_DIR=" + Quoted(build) + " bash " +
                                Quoted(fs::path(QUARNEL_SOURCE_DIR) / "scripts" / "install-monitor") + " >/dev/null";
    return std::system(command.c_str());
}

TEST(Newcomer, TheInstalledMonitorAlertsOnTheReadmesRecord) {
    testsupport::TempHost host;
    ASSERT_EQ(Install(), 0);
    const fs::path folder = host.HostOf(testsupport::kProgramFolder);
    for (const char* rule : {"Service Stopped.DAT", "Disk Error.DAT", "Failed Logon.DAT"})
        EXPECT_TRUE(fs::exists(folder / "Rules" / rule)) << rule;
    EXPECT_EQ(testsupport::ReadHostFile(testsupport::InstalledIni(host)), "[General]\r\nShowTrayIcon=1\r\nShowTaskBar=1\r\n");
    // Installed without their debug information.
    EXPECT_LT(fs::file_size(folder / "Quarnel.exe"), fs::file_size(fs::path(QUARNEL_BIN_DIR) / "Quarnel.exe"));

    testsupport::RunningProgram monitor(host, folder / "Quarnel.exe", "");
    ASSERT_TRUE(monitor.WaitForOutput(testsupport::kSubscribed)) << monitor.DebugOutput();
    const std::string record = "cd " + Quoted(folder) + " && ./" + kReadmeRecord + " >/dev/null";
    ASSERT_EQ(std::system(record.c_str()), 0) << record;
    EXPECT_TRUE(monitor.WaitForOutput(kBalloon, std::chrono::seconds(60))) << monitor.DebugOutput();
    const testsupport::ProgramResult ended = testsupport::StopLiveMonitor(host, monitor);
    EXPECT_FALSE(ended.killed) << ended.debugOutput;
}

// The installed programs find the Windows tools in the system folder, and
// those are the ones installed beside them: Quarnel_Stop.exe ends the monitor
// through cmd.exe /c tskill and taskkill.
TEST(Newcomer, TheInstalledProgramsRunTheToolsInstalledBesideThem) {
    testsupport::TempHost host;
    ASSERT_EQ(Install(), 0);
    const fs::path folder = host.HostOf(testsupport::kProgramFolder);
    testsupport::RunningProgram monitor(host, folder / "Quarnel.exe", "");
    ASSERT_TRUE(monitor.WaitForOutput(testsupport::kSubscribed)) << monitor.DebugOutput();
    const fs::path system = host.HostOf("C:\\Windows\\System32");
    for (const platform::HostTool& tool : platform::HostTools()) {
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink(system / tool.windowsName, ec), folder / tool.executable) << tool.windowsName;
    }
    const testsupport::ProgramResult stop = testsupport::RunInstalled(host, "Quarnel_Stop.exe", "");
    EXPECT_EQ(stop.exitCode, 0) << stop.debugOutput;
    EXPECT_EQ(stop.debugOutput.find("ShellX (Failed)"), std::string::npos) << stop.debugOutput;
    EXPECT_FALSE(monitor.Wait(std::chrono::seconds(30)).killed) << monitor.DebugOutput();
}

// A second install leaves the user's own rules and settings alone.
TEST(Newcomer, InstallingAgainKeepsTheRulesAndTheSettings) {
    testsupport::TempHost host;
    const fs::path folder = host.HostOf(testsupport::kProgramFolder);
    testsupport::WriteHostFile(folder / "Rules" / "Mine.DAT", "[LogFile]\r\nSystem=1\r\n");
    testsupport::WriteHostFile(testsupport::InstalledIni(host), "[General]\r\nShowTaskBar=0\r\n");
    ASSERT_EQ(Install(), 0);
    EXPECT_FALSE(fs::exists(folder / "Rules" / "Service Stopped.DAT"));
    EXPECT_EQ(testsupport::ReadHostFile(testsupport::InstalledIni(host)), "[General]\r\nShowTaskBar=0\r\n");
}

}  // namespace
