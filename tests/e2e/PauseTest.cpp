// The history view as the stop program brings it up, end to end with the real
// programs: it replaces a live monitor, a second "/showform" replaces the
// view with a new one, and the stop program without a command line ends the
// view and starts nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/api/Process.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::RunningProgram;

const std::string kSubscribed = testsupport::kSubscribed;
const std::string kStartingLine = " - Starting Quarnel   v";

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
    return count;
}

std::vector<int> MonitorsOfTheMachine() {
    std::vector<int> pids;
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.imageName == "Quarnel.exe") pids.push_back(process.pid);
    return pids;
}

class HistoryViewRun : public testing::Test {
protected:
    void SetUp() override {
        // The monitors register their start at log-on: never in the real user's session.
        host_.WriteHostIni("Scheduler", "Crontab", "0");
        host_.WriteHostIni("Scheduler", "Autostart", "0");
        programFolder_ = testsupport::InstallProgram(host_);
    }
    void TearDown() override {
        for (int pid : MonitorsOfTheMachine()) platform::TerminateProcessById(pid, 1);
    }

    std::unique_ptr<RunningProgram> Start(const std::string& exeName, const std::string& commandLine) {
        return std::make_unique<RunningProgram>(host_, programFolder_ / exeName, commandLine);
    }

    // Runs the stop program with "/showform" and waits for the view it starts.
    // The view runs in the stop program's process group: the run is kept, since
    // ending it ends the group.
    std::string ShowForm() {
        stops_.push_back(Start("Quarnel_Stop.exe", "/showform"));
        RunningProgram* stop = stops_.back().get();
        EXPECT_EQ(stop->Wait().exitCode, 0);
        EXPECT_TRUE(stop->WaitForOutput(testsupport::kTrayIconAdded)) << stop->DebugOutput();
        const std::string output = stop->DebugOutput();
        EXPECT_EQ(CountOf(output, kStartingLine), 1u) << output;
        EXPECT_EQ(output.find(kSubscribed), std::string::npos) << "the history view subscribes to nothing";
        return output;
    }

    static bool WaitUntilNoMonitor() {
        for (int i = 0; i < 600; ++i) {
            if (MonitorsOfTheMachine().empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
    std::vector<std::unique_ptr<RunningProgram>> stops_;
};

TEST_F(HistoryViewRun, ShowFormReplacesTheViewAndTheBareStopEndsIt) {
    auto live = Start("Quarnel.exe", "");
    ASSERT_TRUE(live->WaitForOutput(kSubscribed)) << live->DebugOutput();

    ShowForm();
    EXPECT_EQ(live->Wait().exitCode, -1) << "the live monitor was not ended from outside";
    const std::vector<int> firstView = MonitorsOfTheMachine();
    ASSERT_EQ(firstView.size(), 1u);

    ShowForm();
    const std::vector<int> secondView = MonitorsOfTheMachine();
    ASSERT_EQ(secondView.size(), 1u);
    EXPECT_NE(secondView[0], firstView[0]) << "the running view was not replaced";

    const ProgramResult stop = testsupport::RunInstalled(host_, "Quarnel_Stop.exe", "");
    EXPECT_FALSE(stop.killed);
    EXPECT_EQ(stop.exitCode, 0) << stop.debugOutput;
    EXPECT_EQ(stop.debugOutput.find(kStartingLine), std::string::npos) << stop.debugOutput;
    EXPECT_TRUE(WaitUntilNoMonitor());
}

}  // namespace
