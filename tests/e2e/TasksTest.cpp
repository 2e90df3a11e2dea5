// The scheduled tasks end to end: the installed Quarnel.exe creates them
// through the scheduler tool ("/installer") and removes them with the monitor
// ("/uninstaller"), checked in the host's task folder, in a crontab stand-in
// on PATH and in an autostart folder under a temporary HOME, and through the
// installed schtasks.exe.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/api/EventLog.h"
#include "platform/api/ProfileIni.h"
#include "platform/tools/SchedulerTool.h"
#include "support/ProgramRun.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::ReadHostFile;
using testsupport::RunningProgram;
using testsupport::ScopedVariable;
using testsupport::WriteHostFile;

const std::string kProgram = "\"C:\\Program Files\\Quarnel\\Quarnel.exe\"";
const std::string kSubscribed = testsupport::kSubscribed;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The normal start runs schtasks without waiting for it: its files appear a moment later.
bool AppearsWithin(const fs::path& file, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(file) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(file);
}

class TasksRun : public testing::Test {
protected:
    void SetUp() override {
        programFolder = testsupport::InstallProgram(host);
        // A fresh host has both switched off; here they go to the stand-ins.
        host.WriteHostIni("Scheduler", "Crontab", "1");
        host.WriteHostIni("Scheduler", "Autostart", "1");
        const fs::path standIns = host.Folder() / "standins";
        fs::create_directories(standIns / "bin");
        fs::create_directories(standIns / "home" / ".config" / "autostart");
        table = standIns / "crontab.txt";
        WriteHostFile(standIns / "bin" / "crontab",
                      "#!/bin/sh\ntable='" + table.string() +
                          "'\nif [ \"$1\" = -l ]; then\n  [ -f \"$table\" ] && exec cat \"$table\"\n"
                          "  echo 'no crontab for tester' >&2; exit 1\nfi\ncat > \"$table\"\n");
        chmod((standIns / "bin" / "crontab").c_str(), 0755);
        autostart = standIns / "home" / ".config" / "autostart";
        const char* path = std::getenv("PATH");
        pathVariable.emplace("PATH", (standIns / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));
        homeVariable.emplace("HOME", (standIns / "home").string());
        configVariable.emplace("XDG_CONFIG_HOME", nullptr);
    }

    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        platform::WriteIniValue(testsupport::InstalledIni(host), section, key, value);
    }

    ProgramResult Run(const std::string& commandLine) {
        ProgramResult result = testsupport::RunInstalled(host, "Quarnel.exe", commandLine);
        EXPECT_FALSE(result.killed) << commandLine << "\n" << result.debugOutput;
        return result;
    }

    // The autostart file of this host's log-on task.
    fs::path LogonEntry() const {
        platform::ScheduledTask logon;
        logon.name = "Quarnel";
        return autostart / platform::AutostartFileNameOf(logon);
    }

    std::string ToRun(const std::string& task) {
        const auto found = platform::FindScheduledTask(task);
        return found ? found->taskToRun : "(no task)";
    }

    // The installed schtasks.exe, run from a shell of this machine, with arguments typed as in bash.
    std::string Query(const std::string& arguments = "/query /fo LIST /v") {
        const std::string command = "'" + (programFolder / "schtasks.exe").string() + "' " + arguments;
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
            pclose(pipe);
        }
        return output;
    }

    void SwitchOnThePeriodicTasks() {
        Setting("ScheduledTasks", "HeartbeatInst", "1");
        Setting("ScheduledTasks", "HeartbeatTime", "08:00:00");
        Setting("ScheduledTasks", "AppUpdateInst", "1");
        Setting("ScheduledTasks", "AppUpdateTime", "03:30");
        Setting("ScheduledTasks", "ProfileUpdateInst", "1");
        Setting("ScheduledTasks", "ProfileUpdateTime", "02:15");
        Setting("General", "RulesWebLoc1", "http://rules.example/one");
    }

    testsupport::TempHost host;
    fs::path programFolder;
    fs::path table;
    fs::path autostart;
    std::optional<ScopedVariable> pathVariable;
    std::optional<ScopedVariable> homeVariable;
    std::optional<ScopedVariable> configVariable;
};

TEST_F(TasksRun, InstallerCreatesTheTasksWithTheirCommandLines) {
    SwitchOnThePeriodicTasks();
    Run("/installer");
    EXPECT_EQ(ToRun("Quarnel Heartbeat"), kProgram + " /heartbeat");
    EXPECT_EQ(ToRun("Quarnel Application Update"), "\"C:\\Program Files\\Quarnel\\Quarnel_Stop.exe\" /updatesilent");
    EXPECT_EQ(ToRun("Quarnel Rules Update"), kProgram + " /updaterules1");
    EXPECT_FALSE(platform::FindScheduledTask("Quarnel Rules Cloud Update"));

    const std::string crontab = ReadHostFile(table);
    EXPECT_TRUE(Has(crontab, "0 8 * * * QUARNEL_HOST=")) << crontab;
    EXPECT_TRUE(Has(crontab, "30 3 * * 1 QUARNEL_HOST=")) << crontab;
    EXPECT_TRUE(Has(crontab, "15 2 * * * QUARNEL_HOST=")) << crontab;
    // Each line runs its task through the installed tool and carries the task's tag.
    for (const std::string name : {"Quarnel Heartbeat", "Quarnel Application Update", "Quarnel Rules Update"})
        EXPECT_TRUE(Has(crontab, "'" + (programFolder / "wintool").string() + "' 'schtasks' '/run' '/tn' '" + name +
                                     "' # Quarnel task \"" + name + "\" of " + host.Folder().string() + "\n"))
            << name << "\n" << crontab;

    const std::string listed = Query();
    EXPECT_TRUE(Has(listed, "Task To Run:                          " + kProgram + " /heartbeat\n")) << listed;
    EXPECT_TRUE(Has(listed, "TaskName:                             \\Quarnel Rules Update\n")) << listed;
    EXPECT_TRUE(Has(listed, "Start Time:                           02:15:00\n")) << listed;

    // A quoted name typed in bash reaches the tool as it would from cmd.
    const std::string one = Query("/query /tn \"Quarnel Heartbeat\" /fo LIST /v");
    EXPECT_TRUE(Has(one, "TaskName:                             \\Quarnel Heartbeat\n")) << one;
    EXPECT_FALSE(Has(one, "Quarnel Rules Update")) << one;
}

// The scheduler tool runs hidden: what it prints is seen by nobody, and
// least of all on the standard output of the program that ran it.
TEST_F(TasksRun, HiddenSchedulerRunsPrintNothingOnTheProgramsOwnOutput) {
    SwitchOnThePeriodicTasks();
    const fs::path standardOutput = host.Folder() / "standard-output.txt";
    RunningProgram program(host, programFolder / "Quarnel.exe", "/installer", "", standardOutput);
    const ProgramResult result = program.Wait();
    ASSERT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(ToRun("Quarnel Heartbeat"), kProgram + " /heartbeat");
    EXPECT_EQ(ToRun("Quarnel Rules Update"), kProgram + " /updaterules1");
    EXPECT_EQ(ReadHostFile(standardOutput), "");
}

TEST_F(TasksRun, TwoRulesLocationsOpenTheProfilePromptInsteadOfATask) {
    Setting("ScheduledTasks", "ProfileUpdateInst", "1");
    Setting("General", "RulesWebLoc", "http://rules.example/zero");
    Setting("General", "RulesWebLoc2", "http://rules.example/two");
    const ProgramResult result = Run("/installer");
    EXPECT_TRUE(Has(result.debugOutput, "\tShowModal \"Form1\" (frmProfilePrompt) without a display"))
        << result.debugOutput;
    EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

std::vector<platform::EventRecord> OwnRecords() {
    std::vector<platform::EventRecord> own;
    platform::EventLogStore store;
    for (platform::EventRecord& record : store.AllRecords())
        if (record.source == "Quarnel") own.push_back(record);
    return own;
}

TEST_F(TasksRun, UninstallerInCapitalsRemovesTasksAndStopsTheMonitor) {
    SwitchOnThePeriodicTasks();
    Run("/installer");
    ASSERT_EQ(platform::ListScheduledTasks().size(), 3u);
    auto monitor = std::make_unique<RunningProgram>(host, programFolder / "Quarnel.exe", "");
    ASSERT_TRUE(monitor->WaitForOutput(testsupport::kTrayIconAdded)) << monitor->DebugOutput();
    ASSERT_TRUE(monitor->WaitForOutput(kSubscribed)) << monitor->DebugOutput();
    ASSERT_TRUE(AppearsWithin(LogonEntry()));
    ASSERT_TRUE(platform::FindScheduledTask("Quarnel")) << "the normal start registers the log-on task";

    Run("/UNINSTALLER");
    const ProgramResult ended = monitor->Wait();
    EXPECT_FALSE(ended.killed) << ended.debugOutput;

    EXPECT_TRUE(platform::ListScheduledTasks().empty());
    EXPECT_FALSE(Has(ReadHostFile(table), "Quarnel")) << ReadHostFile(table);
    EXPECT_FALSE(fs::exists(LogonEntry()));
    const auto records = OwnRecords();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().eventId & 0xFFFF, 10177u);
    ASSERT_FALSE(records.back().strings.empty());
    EXPECT_EQ(records.back().strings.front(), "Quarnel Shutdown Initiated.");
    const std::string script = ReadHostFile(programFolder / "StopMonitor.cmd");
    EXPECT_EQ(script.rfind("ping 127.0.0.1", 0), 0u) << script;
    EXPECT_TRUE(Has(script, "\ntskill \"Quarnel.exe\" /a")) << script;
}

}  // namespace

namespace {

// A new account's desktop has no autostart folder yet; the log-on entry makes it.
TEST_F(TasksRun, NormalStartOnAFreshAccountLeavesTheLogonEntry) {
    fs::remove_all(autostart.parent_path());
    RunningProgram monitor(host, programFolder / "Quarnel.exe", "");
    ASSERT_TRUE(monitor.WaitForOutput(kSubscribed)) << monitor.DebugOutput();
    EXPECT_TRUE(AppearsWithin(LogonEntry())) << monitor.DebugOutput();
    const ProgramResult ended = testsupport::StopLiveMonitor(host, monitor);
    EXPECT_FALSE(ended.killed) << ended.debugOutput;
}

// An installed copy finds its tools beside itself and where Windows looks, never in the build
// tree: without them the scheduler cannot be run, and the tasks stay.
TEST_F(TasksRun, AnInstalledCopyUsesNoToolOfTheBuildTree) {
    SwitchOnThePeriodicTasks();
    Run("/installer");
    ASSERT_EQ(platform::ListScheduledTasks().size(), 3u);
    for (const char* tool : {"wintool", "schtasks.exe"}) fs::remove(programFolder / tool);
    const ProgramResult result = Run("/uninstaller");
    EXPECT_EQ(platform::ListScheduledTasks().size(), 3u) << result.debugOutput;
    EXPECT_TRUE(Has(result.debugOutput, "53 File not found")) << result.debugOutput;
}

}  // namespace
