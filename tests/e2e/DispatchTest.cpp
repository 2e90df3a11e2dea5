// The command-line dispatch of the real Quarnel.exe, installed into a fresh
// host and run as a program of that machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/ProfileIni.h"
#include "platform/tools/SchedulerTool.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"
#include "platform/host/Text.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;

// The normal start with the tray icon switched on ends by loading the monitor window.
const std::string kNormalStart = testsupport::kTrayIconAdded;
const std::string kConfigWindow = std::string("frmConfig") + testsupport::kConfigWindowLoaded;
const std::string kSafeModeWindow = std::string("frmConfig2") + testsupport::kConfigWindowLoaded;
// Without a display the password window is logged and closed as its close box would: refused.
const std::string kPasswordWindow = "(frmPassword) without a display";
// Without a display the first-run window is logged and closed as its close box would.
const std::string kClientWindow = "First Run Config\" (frmClientInfo) without a display";
const std::string kCloudWindow = "ShowModal \"Downloading configuration\" (frmFTPDL)";
// The removal deletes the start-at-log-on value of earlier Windows among its first steps.
const std::string kRemoval = "- Passed Key: HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kSnapshot = "modDHM\\SaveAppsSnapshot: ";
// Without mail settings the heartbeat says so in a message box, logged without a display.
const std::string kHeartbeat = ": You must configure an email account before you can send email! -> ";
// The archives here are not zip archives: an unpack falls back to 7-Zip, which says so.
const std::string kExtractRules = "modUnzip\\UnzipWith7z:  Initiated due to Internal Unzip Failure.";

bool Has(const std::string& output, const std::string& text) { return output.find(text) != std::string::npos; }

class QuarnelRun : public testing::Test {
protected:
    void SetUp() override { programFolder_ = testsupport::InstallProgram(host_); }

    ProgramResult Run(const std::string& commandLine) {
        ProgramResult result = testsupport::RunInstalled(host_, "Quarnel.exe", commandLine);
        EXPECT_FALSE(result.killed) << "\"" << commandLine << "\" did not end:\n" << result.debugOutput;
        // The removal's StopMonitor.cmd may end the removing process before it ends itself.
        const bool mayBeEndedByItsScript = platform::TextLower(commandLine) == "/uninstaller";
        if (!result.historyView && !result.configWindow && !mayBeEndedByItsScript) {
            EXPECT_EQ(result.exitCode, 0) << "\"" << commandLine << "\":\n" << result.debugOutput;
        }
        return result;
    }

    void SetSetting(const std::string& section, const std::string& key, const std::string& value) {
        platform::WriteIniValue(testsupport::InstalledIni(host_), section, key, value);
    }

    std::optional<std::string> Setting(const std::string& section, const std::string& key) {
        return platform::ReadIniValue(testsupport::InstalledIni(host_), section, key);
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
};

struct DispatchCase {
    const char* commandLine;
    std::string expectedLine;
};

void PrintTo(const DispatchCase& c, std::ostream* out) { *out << '"' << c.commandLine << '"'; }

class DispatchTable : public QuarnelRun, public testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTable, RunsTheTaskTheLineNames) {
    const DispatchCase& c = GetParam();
    const ProgramResult result = Run(c.commandLine);
    EXPECT_TRUE(Has(result.debugOutput, c.expectedLine))
        << "\"" << c.commandLine << "\" should write " << c.expectedLine << "\n" << result.debugOutput;
    if (c.expectedLine != kNormalStart) {
        EXPECT_FALSE(Has(result.debugOutput, kNormalStart)) << "\"" << c.commandLine << "\"\n" << result.debugOutput;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, DispatchTable,
    testing::Values(DispatchCase{"/configonly", kConfigWindow}, DispatchCase{"/config", kConfigWindow},
                    DispatchCase{"/configsafe", kSafeModeWindow},
                    DispatchCase{"/showform", kNormalStart},
                    DispatchCase{"/uninstaller", kRemoval}, DispatchCase{"/cloudupdate", kCloudWindow},
                    DispatchCase{"/heartbeat", kHeartbeat}));

INSTANTIATE_TEST_SUITE_P(
    DashAndLetterCase, DispatchTable,
    testing::Values(DispatchCase{"-Config", kConfigWindow}, DispatchCase{"-HeartBeat", kHeartbeat}));

INSTANTIATE_TEST_SUITE_P(
    NoSwitch, DispatchTable,
    testing::Values(DispatchCase{"", kNormalStart}, DispatchCase{"/startup", kNormalStart},
                    DispatchCase{"/updaterules4", kNormalStart}, DispatchCase{"/updaterules", kNormalStart},
                    DispatchCase{"/updaterules2 ", kNormalStart}, DispatchCase{"-UpdateRules2 ", kNormalStart},
                    DispatchCase{"/config /showform", kNormalStart}, DispatchCase{"\"/config\"", kNormalStart},
                    DispatchCase{"/heartbeat extra", kNormalStart}));

TEST_F(QuarnelRun, StartsItsDebugOutputWithTheVersionLine) {
    const ProgramResult result = Run("/heartbeat");
    EXPECT_TRUE(Has(result.debugOutput, " - Starting Quarnel   v")) << result.debugOutput;
}

TEST_F(QuarnelRun, ConfigSafeLeavesSafeModeOnForLaterConfigRuns) {
    Run("/configsafe");
    EXPECT_EQ(Setting("General", "UseSafeModeConfig"), "1");
    const ProgramResult later = Run("/config");
    EXPECT_TRUE(Has(later.debugOutput, kSafeModeWindow)) << later.debugOutput;
    EXPECT_FALSE(Has(later.debugOutput, kConfigWindow)) << later.debugOutput;
    EXPECT_EQ(Setting("General", "UseSafeModeConfig"), "1");
}

TEST_F(QuarnelRun, ConfigSafeKeepsTheOtherSettings) {
    SetSetting("General", "ShowTrayIcon", "0");
    SetSetting("Heartbeat", "ReportNewlyInstalledApps", "1");
    Run("-CONFIGSAFE");
    EXPECT_EQ(Setting("General", "UseSafeModeConfig"), "1");
    EXPECT_EQ(Setting("General", "ShowTrayIcon"), "0");
    EXPECT_EQ(Setting("Heartbeat", "ReportNewlyInstalledApps"), "1");
}

// Without its window no password can be given, so nothing opens.
TEST_F(QuarnelRun, PasswordProtectedConfigurationOpensNothingWithoutAPassword) {
    SetSetting("General", "PasswordProtectConfig", "1");
    for (const char* line : {"/configonly", "/config", "/configsafe"}) {
        const ProgramResult result = Run(line);
        EXPECT_TRUE(Has(result.debugOutput, kPasswordWindow)) << line << "\n" << result.debugOutput;
        EXPECT_FALSE(Has(result.debugOutput, kConfigWindow)) << line << "\n" << result.debugOutput;
        EXPECT_FALSE(Has(result.debugOutput, kSafeModeWindow)) << line << "\n" << result.debugOutput;
    }
    // The safe-mode switch is written before the password is asked for.
    EXPECT_EQ(Setting("General", "UseSafeModeConfig"), "1");
}

TEST_F(QuarnelRun, InstallerWithCloudUpdateSkipsTheLocalRulesArchive) {
    SetSetting("General", "ClientPrompt", "1");
    SetSetting("Nimbrel", "UpdateAfterInstall", "1");
    SetSetting("ScheduledTasks", "HeartbeatInst", "1");
    SetSetting("ScheduledTasks", "HeartbeatTime", "08:00:00");
    testsupport::WriteHostFile(programFolder_ / "Rules.zip", "local rules");
    const ProgramResult result = Run("/installer");
    const std::size_t client = result.debugOutput.find(kClientWindow);
    const std::size_t cloud = result.debugOutput.find(kCloudWindow);
    ASSERT_NE(client, std::string::npos) << result.debugOutput;
    ASSERT_NE(cloud, std::string::npos) << result.debugOutput;
    EXPECT_LT(client, cloud);
    EXPECT_FALSE(Has(result.debugOutput, kExtractRules)) << result.debugOutput;
    EXPECT_FALSE(platform::FindScheduledTask("Quarnel Heartbeat")) << "the cloud update makes the tasks itself";
    EXPECT_FALSE(fs::exists(programFolder_ / "Rules.zip"));
}

TEST_F(QuarnelRun, InstallerUnpacksRulesThenSchedulesThenTakesTheSnapshot) {
    SetSetting("Heartbeat", "ReportNewlyInstalledApps", "1");
    SetSetting("ScheduledTasks", "HeartbeatInst", "1");
    SetSetting("ScheduledTasks", "HeartbeatTime", "08:00:00");
    testsupport::WriteHostFile(programFolder_ / "Rules.zip", "local rules");
    const ProgramResult result = Run("/installer");
    const std::size_t extract = result.debugOutput.find(kExtractRules);
    const std::size_t snapshot = result.debugOutput.find(kSnapshot);
    ASSERT_NE(extract, std::string::npos) << result.debugOutput;
    ASSERT_NE(snapshot, std::string::npos) << result.debugOutput;
    EXPECT_LT(extract, snapshot);
    EXPECT_TRUE(platform::FindScheduledTask("Quarnel Heartbeat")) << result.debugOutput;
    EXPECT_TRUE(Has(result.debugOutput, "sDirToExtractTo - C:\\Program Files\\Quarnel\\Rules\\")) << result.debugOutput;
    EXPECT_FALSE(Has(result.debugOutput, kClientWindow)) << result.debugOutput;
    EXPECT_TRUE(fs::exists(programFolder_ / "Rules.zip"));
}

TEST_F(QuarnelRun, InstallerWithoutRulesArchiveOnlySchedules) {
    SetSetting("ScheduledTasks", "HeartbeatInst", "1");
    SetSetting("ScheduledTasks", "HeartbeatTime", "08:00:00");
    const ProgramResult result = Run("/installer");
    EXPECT_FALSE(Has(result.debugOutput, kExtractRules)) << result.debugOutput;
    EXPECT_TRUE(platform::FindScheduledTask("Quarnel Heartbeat")) << result.debugOutput;
    EXPECT_FALSE(Has(result.debugOutput, kSnapshot)) << result.debugOutput;
}

TEST_F(QuarnelRun, CloudUpdateRemovesOldArchivesBeforeAndAfter) {
    testsupport::WriteHostFile(programFolder_ / "Rules.zip", "old rules");
    testsupport::WriteHostFile(programFolder_ / "QuarnelConfig.zip", "old config");
    const ProgramResult result = Run("/cloudupdate");
    EXPECT_TRUE(Has(result.debugOutput, kCloudWindow)) << result.debugOutput;
    EXPECT_FALSE(Has(result.debugOutput, kExtractRules)) << result.debugOutput;
    EXPECT_FALSE(fs::exists(programFolder_ / "Rules.zip"));
    EXPECT_FALSE(fs::exists(programFolder_ / "QuarnelConfig.zip"));
}

// A second copy of the monitor: /bin/sleep under the monitor's image name,
// installed in another folder of the same machine.
class WithRunningCopy : public QuarnelRun {
protected:
    std::unique_ptr<testsupport::RunningProgram> StartSleepingCopy(const testsupport::TempHost& machine) {
        const fs::path copy = machine.HostOf("C:\\Other Copy\\Quarnel.exe");
        fs::create_directories(copy.parent_path());
        fs::copy_file("/bin/sleep", copy, fs::copy_options::overwrite_existing);
        return std::make_unique<testsupport::RunningProgram>(machine, copy, "300");
    }
};

TEST_F(WithRunningCopy, NoSwitchEndsAtOnceWhenAnotherCopyRuns) {
    auto copy = StartSleepingCopy(host_);
    for (const char* line : {"", "/startup"}) {
        const ProgramResult result = Run(line);
        EXPECT_FALSE(Has(result.debugOutput, kNormalStart)) << "\"" << line << "\"\n" << result.debugOutput;
        EXPECT_FALSE(Has(result.debugOutput, "MsgBox")) << result.debugOutput;
    }
}

TEST_F(WithRunningCopy, ShowFormStartsEvenWhenAnotherCopyRuns) {
    auto copy = StartSleepingCopy(host_);
    const ProgramResult result = Run("/showform");
    EXPECT_TRUE(Has(result.debugOutput, kNormalStart)) << result.debugOutput;
}

TEST_F(WithRunningCopy, ACopyOnAnotherMachineDoesNotCount) {
    testsupport::TempHost otherMachine;
    auto copy = StartSleepingCopy(otherMachine);
    const ProgramResult result = Run("");
    EXPECT_TRUE(Has(result.debugOutput, kNormalStart)) << result.debugOutput;
}

}  // namespace
