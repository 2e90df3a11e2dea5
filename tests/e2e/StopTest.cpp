// Quarnel_Stop.exe ends the running monitors of its machine and then ends,
// runs the removal, or starts Quarnel.exe again with its own command line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "support/ProgramRun.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::RunningProgram;

// The normal start with the tray icon switched on ends by loading the monitor window.
const std::string kNormalStart = testsupport::kTrayIconAdded;
const std::string kStartingLine = " - Starting Quarnel   v";
const std::string kSubscribed = testsupport::kSubscribed;
const std::string kControlLine = "QuarnelControl.exe was run with: ";

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

void WriteScript(const fs::path& file, const std::string& body) {
    testsupport::WriteHostFile(file, "#!/bin/sh\n" + body);
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class StopRun : public testing::Test {
protected:
    void SetUp() override { programFolder_ = testsupport::InstallProgram(host_); }

    fs::path PlaceSleepingMonitor(const testsupport::TempHost& machine, const std::string& folder) {
        const fs::path copy = machine.HostOf(folder + "\\Quarnel.exe");
        fs::create_directories(copy.parent_path());
        fs::copy_file("/bin/sleep", copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    std::unique_ptr<RunningProgram> StartSleepingMonitor(const testsupport::TempHost& machine, const std::string& folder) {
        return std::make_unique<RunningProgram>(machine, PlaceSleepingMonitor(machine, folder), "300");
    }

    std::unique_ptr<RunningProgram> StartLiveMonitor() {
        auto monitor = std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", "");
        EXPECT_TRUE(monitor->WaitForOutput(testsupport::kTrayIconAdded)) << monitor->DebugOutput();
        EXPECT_TRUE(monitor->WaitForOutput(kSubscribed)) << monitor->DebugOutput();
        return monitor;
    }

    std::unique_ptr<RunningProgram> StartStop(const std::string& commandLine) {
        return std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel_Stop.exe", commandLine);
    }

    // The control program outside the system: it says on the debug output
    // what it was given, and starts a monitor that only the stop program's
    // second pass can end.
    void PlaceControlProgram() {
        const fs::path monitor = PlaceSleepingMonitor(host_, "C:\\Late");
        WriteScript(programFolder_ / "QuarnelControl.exe",
                    "echo \"" + kControlLine + "$QUARNEL_CMDLINE\" >&2\n" + Quoted(monitor) + " 300 &\necho $! > " +
                        Quoted(LateMonitorPidFile()) + "\n");
    }

    fs::path LateMonitorPidFile() const { return host_.Folder() / "late-monitor.pid"; }

    static void ExpectEndedByStop(RunningProgram& monitor) {
        const ProgramResult ended = monitor.Wait();
        EXPECT_FALSE(ended.killed) << "the monitor was not ended by the stop program";
        EXPECT_EQ(ended.exitCode, -1) << "the monitor ended by itself";
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
};

// A process is gone once it has no entry or is only waiting to be reaped.
bool HasEnded(const std::string& pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const std::string stat = testsupport::ReadHostFile("/proc/" + pid + "/stat");
        const size_t close = stat.rfind(')');
        if (stat.empty() || (close != std::string::npos && stat.compare(close, 3, ") Z") == 0)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST_F(StopRun, WithoutCommandLineEndsEveryMonitorAndStartsNothing) {
    auto live = StartLiveMonitor();
    auto first = StartSleepingMonitor(host_, "C:\\Program Files\\Old Quarnel");
    auto second = StartSleepingMonitor(host_, "C:\\Users\\Public");
    auto stop = StartStop("");
    const ProgramResult result = stop->Wait();
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
    ExpectEndedByStop(*live);
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

// The live monitor is killed and one Quarnel.exe "/showform" comes up: it
// starts once and adds its tray icon, and never subscribes to records.
TEST_F(StopRun, ShowFormReplacesTheLiveMonitorWithOneHistoryView) {
    auto live = StartLiveMonitor();
    auto stop = StartStop("/showform");
    EXPECT_EQ(stop->Wait().exitCode, 0);
    ExpectEndedByStop(*live);
    ASSERT_TRUE(stop->WaitForOutput(testsupport::kTrayIconAdded)) << stop->DebugOutput();
    const std::string output = stop->DebugOutput();
    EXPECT_EQ(CountOf(output, kStartingLine), 1u) << output;
    EXPECT_EQ(output.find(kSubscribed), std::string::npos) << output;
}

TEST_F(StopRun, RestartsTheMonitorWithTheCommandLineAsGiven) {
    auto running = StartSleepingMonitor(host_, "C:\\Other");
    auto stop = StartStop("-UpdateRules2");
    EXPECT_EQ(stop->Wait().exitCode, 0);
    ExpectEndedByStop(*running);
    // Without a location for the profile the rules update fails its download.
    EXPECT_TRUE(stop->WaitForOutput("DOWNLOAD FAILED:  RulesUpdate.zip")) << stop->DebugOutput();
}

// The trailing blank reaches Quarnel.exe, which therefore runs its normal start.
TEST_F(StopRun, PassesATrailingBlankOnToTheMonitor) {
    auto stop = StartStop("/updaterules2 ");
    EXPECT_EQ(stop->Wait().exitCode, 0);
    EXPECT_TRUE(stop->WaitForOutput(kNormalStart)) << stop->DebugOutput();
    EXPECT_EQ(stop->DebugOutput().find("RulesUpdate.zip"), std::string::npos) << stop->DebugOutput();
}

// The removal runs in Quarnel.exe and has ended before the control program
// starts; the monitor started meanwhile is ended by the second pass.
TEST_F(StopRun, UninstallSwitchInCapitalsRunsTheRemovalThenTheControlProgram) {
    PlaceControlProgram();
    auto live = StartLiveMonitor();
    auto stop = StartStop("/UNINSTALLER");
    const ProgramResult result = stop->Wait();
    EXPECT_FALSE(result.killed);
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
    ExpectEndedByStop(*live);
    const std::string output = stop->DebugOutput();
    const size_t removal = output.find(kStartingLine);
    const size_t control = output.find(kControlLine + "/uninstall\n");
    ASSERT_NE(removal, std::string::npos) << output;
    ASSERT_NE(control, std::string::npos) << output;
    EXPECT_LT(output.rfind(kStartingLine), control) << output;
    EXPECT_EQ(CountOf(output, kControlLine), 1u) << output;
    const std::string latePid = testsupport::ReadHostFile(LateMonitorPidFile());
    ASSERT_FALSE(latePid.empty());
    EXPECT_TRUE(HasEnded(latePid.substr(0, latePid.find('\n')))) << "the monitor started during the removal runs on";
}

// Stand-ins for both programs the stop program starts, each appending its
// name and exact command line to one record, show what reaches whom, in order.
class StopWithStandIns : public StopRun {
protected:
    void SetUp() override {
        StopRun::SetUp();
        for (const char* program : {"Quarnel.exe", "QuarnelControl.exe"})
            WriteScript(programFolder_ / program,
                        "printf '%s %s\\n' " + std::string(program) + " \"$QUARNEL_CMDLINE\" >> " + Quoted(Record()) + "\n");
    }

    fs::path Record() const { return host_.Folder() / "started.txt"; }

    std::string WaitForRecord(const std::string& text) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::string record = testsupport::ReadHostFile(Record());
        while (record.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            record = testsupport::ReadHostFile(Record());
        }
        return record;
    }
};

TEST_F(StopWithStandIns, OnlyTheExactUninstallSwitchRunsTheControlProgram) {
    struct Case {
        std::string commandLine;
        std::string started;
    };
    const Case cases[] = {
        {"/UNINSTALLER", "Quarnel.exe /UNINSTALLER\nQuarnelControl.exe /uninstall\n"},
        {"/uninstaller", "Quarnel.exe /uninstaller\nQuarnelControl.exe /uninstall\n"},
        {"/Uninstaller ", "Quarnel.exe /Uninstaller \n"},
        {"-uninstaller", "Quarnel.exe -uninstaller\n"},
        {"/showform", "Quarnel.exe /showform\n"},
        {"/ShowForm /config", "Quarnel.exe /ShowForm /config\n"},
    };
    for (const Case& c : cases) {
        fs::remove(Record());
        auto stop = StartStop(c.commandLine);
        const ProgramResult result = stop->Wait();
        EXPECT_EQ(result.exitCode, 0) << c.commandLine << "\n" << result.debugOutput;
        EXPECT_EQ(WaitForRecord("Quarnel.exe " + c.commandLine + "\n"), c.started) << "command line: " << c.commandLine;
    }
}

TEST_F(StopWithStandIns, WithoutCommandLineStartsNothing) {
    EXPECT_EQ(StartStop("")->Wait().exitCode, 0);
    EXPECT_FALSE(fs::exists(Record())) << testsupport::ReadHostFile(Record());
}

}  // namespace
