// The live monitor end to end: the installed Quarnel.exe started without a
// switch, records written by the real eventcreate.exe, alerts as balloon
// requests, and the program's own record ending it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/api/ProfileIni.h"
#include "platform/api/Process.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"
#include "support/EventCreateRun.h"
#include "support/RuleFile.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::RunningProgram;

const std::string kSubscribed = testsupport::kSubscribed;
const std::string kBalloon = "\tShell_NotifyIcon NIM_MODIFY: balloon \"Event Alert\": ";
const std::string kIconRemoved = "\tShell_NotifyIcon NIM_DELETE: ";

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
    return count;
}

class LiveMonitor : public testing::Test {
protected:
    void SetUp() override {
        programFolder_ = testsupport::InstallProgram(host_);
        Setting("General", "ShowTrayIcon", "1");
        Setting("General", "ShowTaskBar", "1");
        testsupport::RuleFile spooler;
        spooler.application = spooler.security = "0";
        spooler.info = spooler.warning = spooler.success = spooler.failure = "0";
        spooler.id = "7036";
        spooler.desc = "spooler";
        testsupport::WriteRuleFile(programFolder_ / "Rules", "Print Spooler", spooler);
    }

    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        platform::WriteIniValue(testsupport::InstalledIni(host_), section, key, value);
    }

    // Runs the installed eventcreate.exe as a program of the machine.
    void EventCreate(const std::string& arguments) {
        ASSERT_EQ(testsupport::RunInstalledEventCreate(arguments), 0u) << arguments;
    }

    std::unique_ptr<RunningProgram> StartMonitor() {
        auto monitor = std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", "");
        EXPECT_TRUE(monitor->WaitForOutput(kSubscribed)) << monitor->DebugOutput();
        return monitor;
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
};

TEST_F(LiveMonitor, AlertsForWantedRecordsAndEndsOnItsOwnRecord) {
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The Print Spooler service entered the stopped state.\"");
    ASSERT_TRUE(monitor->WaitForOutput(kBalloon)) << monitor->DebugOutput();
    EventCreate("/L SYSTEM /T ERROR /ID 7040 /SO \"Service Control Manager\" /D \"The start type of the spooler changed.\"");
    EventCreate("/L APPLICATION /T INFORMATION /ID 1 /SO Quarnel /D \"Stop.\"");
    const ProgramResult result = monitor->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.debugOutput, "\tDoAction Initiated\n"), 1) << result.debugOutput;
    EXPECT_EQ(Count(result.debugOutput, "\tShowing balloon...\n"), 1) << result.debugOutput;
    EXPECT_NE(result.debugOutput.find("Event Log: System\\r\\nEvent Type: Error\\r\\nEvent ID: 7036\\r\\n"
                                      "Source Name: Service Control Manager\\r\\nMessage: The Print Spooler service "
                                      "entered the stopped state.\\r\\n"),
              std::string::npos)
        << result.debugOutput;
    EXPECT_NE(result.debugOutput.find(kIconRemoved), std::string::npos) << result.debugOutput;
}

TEST_F(LiveMonitor, OnlyTheOwnSourceInItsOwnLetterCaseEndsIt) {
    testsupport::WriteHostFile(programFolder_ / "Rules" / "Any System.DAT",
                               "[LogFile]\r\nSystem=1\r\n[EventType]\r\nInfo=1\r\n");
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T INFORMATION /ID 5 /SO quarnel /D \"Not the stop signal.\"");
    ASSERT_TRUE(monitor->WaitForOutput("\tDoAction Initiated\n")) << monitor->DebugOutput();
    EXPECT_TRUE(monitor->IsRunning());
    EventCreate("/L SYSTEM /T INFORMATION /ID 5 /SO Quarnel /D \"The stop signal in another log.\"");
    const ProgramResult result = monitor->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(Count(result.debugOutput, "\tDoAction Initiated\n"), 1) << result.debugOutput;
}

TEST_F(LiveMonitor, ASecondCopyEndsAtOnce) {
    auto monitor = StartMonitor();
    const ProgramResult second = testsupport::RunInstalled(host_, "Quarnel.exe", "", std::chrono::seconds(60));
    EXPECT_FALSE(second.killed) << second.debugOutput;
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.debugOutput.find(testsupport::kTrayIconAdded), std::string::npos) << second.debugOutput;
    EXPECT_TRUE(monitor->IsRunning());
    EXPECT_FALSE(testsupport::StopLiveMonitor(host_, *monitor).killed);
}

TEST_F(LiveMonitor, WithoutBalloonsMatchingStillRuns) {
    Setting("General", "ShowTaskBar", "0");
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"Spooler stopped.\"");
    ASSERT_TRUE(monitor->WaitForOutput("\tDoAction Initiated\n")) << monitor->DebugOutput();
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor);
    EXPECT_EQ(result.debugOutput.find("Showing balloon..."), std::string::npos) << result.debugOutput;
}

}  // namespace
