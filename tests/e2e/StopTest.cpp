// Quarnel_Stop.exe ends the running monitors of its machine and starts
// Quarnel.exe again with its own command line, unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/ProgramRun.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::RunningProgram;

// The normal start with the tray icon switched on ends by loading the monitor window.
const std::string kNormalStart = testsupport::kTrayIconAdded;
const std::string kStartingLine = " - Starting Quarnel   v";

class StopRun : public testing::Test {
protected:
    void SetUp() override { programFolder_ = testsupport::InstallProgram(host_); }

    std::unique_ptr<RunningProgram> StartSleepingMonitor(const testsupport::TempHost& machine, const std::string& folder) {
        const fs::path copy = machine.HostOf(folder + "\\Quarnel.exe");
        fs::create_directories(copy.parent_path());
        fs::copy_file("/bin/sleep", copy, fs::copy_options::overwrite_existing);
        return std::make_unique<RunningProgram>(machine, copy, "300");
    }

    std::unique_ptr<RunningProgram> StartStop(const std::string& commandLine) {
        return std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel_Stop.exe", commandLine);
    }

    static void ExpectEndedByStop(RunningProgram& monitor) {
        const ProgramResult ended = monitor.Wait();
        EXPECT_FALSE(ended.killed) << "the monitor was not ended by the stop program";
        EXPECT_EQ(ended.exitCode, -1) << "the monitor ended by itself";
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
};

TEST_F(StopRun, WithoutCommandLineEndsEveryMonitorAndStartsNothing) {
    auto first = StartSleepingMonitor(host_, "C:\\Program Files\\Old Quarnel");
    auto second = StartSleepingMonitor(host_, "C:\\Users\\Public");
    auto stop = StartStop("");
    const ProgramResult result = stop->Wait();
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
    ExpectEndedByStop(*first);
    ExpectEndedByStop(*second);
    EXPECT_EQ(stop->DebugOutput().find(kStartingLine), std::string::npos) << stop->DebugOutput();
}

TEST_F(StopRun, LeavesTheMonitorOfAnotherMachineRunning) {
    testsupport::TempHost otherMachine;
    auto foreign = StartSleepingMonitor(otherMachine, "C:\\Program Files\\Quarnel");
    auto own = StartSleepingMonitor(host_, "C:\\Other");
    EXPECT_EQ(StartStop("")->Wait().exitCode, 0);
    ExpectEndedByStop(*own);
    EXPECT_TRUE(foreign->IsRunning()) << "the other machine's monitor was ended";
}

TEST_F(StopRun, RestartsTheMonitorWithTheCommandLineAsGiven) {
    auto running = StartSleepingMonitor(host_, "C:\\Other");
    auto stop = StartStop("-UpdateRules2");
    EXPECT_EQ(stop->Wait().exitCode, 0);
    ExpectEndedByStop(*running);
    EXPECT_TRUE(stop->WaitForOutput(
        "modDHM\\StartRulesUpdate: the rules-update window (frmRulesUpdate) for profile 2 is not built yet"))
        << stop->DebugOutput();
}

// The trailing blank reaches Quarnel.exe, which therefore runs its normal start.
TEST_F(StopRun, PassesATrailingBlankOnToTheMonitor) {
    auto stop = StartStop("/updaterules2 ");
    EXPECT_EQ(stop->Wait().exitCode, 0);
    EXPECT_TRUE(stop->WaitForOutput(kNormalStart)) << stop->DebugOutput();
    EXPECT_EQ(stop->DebugOutput().find("StartRulesUpdate"), std::string::npos) << stop->DebugOutput();
}

}  // namespace
