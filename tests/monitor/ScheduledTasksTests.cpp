// The scheduled tasks and the start at log-on in a fresh host: the tasks that
// land in the host's task folder through the real schtasks tool (crontab and
// autostart switched off).
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "monitor/modDHM.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "platform/tools/SchedulerTool.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

namespace fs = std::filesystem;

const std::string kProgram = "C:\\Program Files\\Quarnel\\Quarnel.exe";
const std::string kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

void WriteXpVersion(testsupport::TempHost& host) {
    host.WriteHostIni("Version", "Major", "5");
    host.WriteHostIni("Version", "Minor", "1");
    host.WriteHostIni("Version", "Build", "2600");
    host.WriteHostIni("Version", "PlatformId", "2");
    host.WriteHostIni("Version", "ProductType", "1");
}

class ScheduledTasks : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
    }
    void TearDown() override {
        platform::ClearMessageBoxQueue();
    }
    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        CommonModule::WriteIniString(CommonModule::sINI, section, key, value);
    }
    std::string ToRun(const std::string& task) {
        const auto found = platform::FindScheduledTask(task);
        return found ? found->taskToRun : "(no task)";
    }
    std::vector<std::string> TaskNames() {
        std::vector<std::string> names;
        for (const platform::ScheduledTask& task : platform::ListScheduledTasks()) names.push_back(task.name);
        return names;
    }

    testsupport::ProgramHost host;
};

TEST_F(ScheduledTasks, CreatesTheSwitchedOnTasksWithTheirCommands) {
    Setting("ScheduledTasks", "HeartbeatInst", "1");
    Setting("ScheduledTasks", "HeartbeatTime", "08:00:00");
    Setting("ScheduledTasks", "AppUpdateInst", "1");
    Setting("ScheduledTasks", "AppUpdateTime", "03:30");
    Setting("ScheduledTasks", "ProfileUpdateInst", "1");
    Setting("ScheduledTasks", "ProfileUpdateTime", "02:00");
    Setting("General", "RulesWebLoc2", "http://rules.example/two");
    modDHM::ScheduleTasks();
    EXPECT_EQ(TaskNames(), (std::vector<std::string>{"Quarnel Application Update", "Quarnel Heartbeat",
                                                      "Quarnel Rules Update"}));
    const auto heartbeat = platform::FindScheduledTask("Quarnel Heartbeat");
    ASSERT_TRUE(heartbeat);
    EXPECT_EQ(heartbeat->taskToRun, "\"" + kProgram + "\" /heartbeat");
    EXPECT_EQ(heartbeat->scheduleType, "DAILY");
    EXPECT_EQ(heartbeat->startTime, "08:00:00");
    EXPECT_EQ(heartbeat->runAsUser, "system");
    EXPECT_EQ(heartbeat->runLevel, "HIGHEST");
    const auto update = platform::FindScheduledTask("Quarnel Application Update");
    ASSERT_TRUE(update);
    EXPECT_EQ(update->taskToRun, "\"C:\\Program Files\\Quarnel\\Quarnel_Stop.exe\" /updatesilent");
    EXPECT_EQ(update->scheduleType, "WEEKLY");
    EXPECT_EQ(update->days, "MON");
    EXPECT_EQ(ToRun("Quarnel Rules Update"), "\"" + kProgram + "\" /updaterules2");
    EXPECT_EQ(platform::FindScheduledTask("Quarnel Rules Update")->startTime, "02:00:00");
}

TEST_F(ScheduledTasks, BeforeVistaTheTasksAreCreatedWithoutTheRunLevel) {
    WriteXpVersion(host);
    Setting("ScheduledTasks", "HeartbeatInst", "1");
    Setting("ScheduledTasks", "HeartbeatTime", "08:00:00");
    modDHM::ScheduleTasks();
    const auto heartbeat = platform::FindScheduledTask("Quarnel Heartbeat");
    ASSERT_TRUE(heartbeat);
    EXPECT_EQ(heartbeat->runLevel, "LIMITED");
    EXPECT_EQ(heartbeat->taskToRun, "\"" + kProgram + "\" /heartbeat");
}

TEST_F(ScheduledTasks, CloudUpdateTakesThePlaceOfTheRulesUpdate) {
    Setting("Nimbrel", "UpdateConfig", "1");
    Setting("ScheduledTasks", "ProfileUpdateInst", "1");
    Setting("ScheduledTasks", "ProfileUpdateTime", "04:00");
    Setting("General", "RulesWebLoc", "http://rules.example/zero");
    modDHM::ScheduleTasks();
    EXPECT_EQ(TaskNames(), std::vector<std::string>{"Quarnel Rules Cloud Update"});
    EXPECT_EQ(ToRun("Quarnel Rules Cloud Update"), "\"" + kProgram + "\" /cloudupdate");
}

// The digit is that of the first profile set; none gives the bare switch.
TEST_F(ScheduledTasks, RulesUpdateRunsTheOneProfileSet) {
    Setting("ScheduledTasks", "ProfileUpdateInst", "1");
    Setting("ScheduledTasks", "ProfileUpdateTime", "04:00");
    modDHM::ScheduleTasks();
    EXPECT_EQ(ToRun("Quarnel Rules Update"), "\"" + kProgram + "\" /updaterules");
    Setting("General", "RulesWebLoc3", "http://rules.example/three");
    modDHM::ScheduleTasks();
    EXPECT_EQ(ToRun("Quarnel Rules Update"), "\"" + kProgram + "\" /updaterules3");
}

TEST_F(ScheduledTasks, TwoProfilesSetOpenTheProfilePrompt) {
    Setting("ScheduledTasks", "ProfileUpdateInst", "1");
    Setting("General", "RulesWebLoc", "http://rules.example/zero");
    Setting("General", "RulesWebLoc3", "http://rules.example/three");
    std::string shown;
    platform::QueueModalAction([&](QWidget* window) { shown = window->objectName().toStdString(); });
    modDHM::ScheduleTasks();
    EXPECT_EQ(shown, "frmProfilePrompt");
    EXPECT_TRUE(TaskNames().empty());
}

TEST_F(ScheduledTasks, ATaskSwitchedOffIsLeftAsItIs) {
    ASSERT_TRUE(TaskNames().empty());
    std::int32_t code = 0;
    CommonModule::ShellX("schtasks.exe", "/create /sc DAILY /st 01:00 /tn \"Quarnel Heartbeat\" /tr \"C:\\old.exe\"",
                         true, 0, code);
    Setting("ScheduledTasks", "HeartbeatInst", "0");
    Setting("ScheduledTasks", "AppUpdateInst", "");
    modDHM::ScheduleTasks();
    EXPECT_EQ(TaskNames(), std::vector<std::string>{"Quarnel Heartbeat"});
    EXPECT_EQ(ToRun("Quarnel Heartbeat"), "C:\\old.exe");
}

// ---- start at log-on ----------------------------------------------------------

std::optional<std::string> RunValue() {
    vb::Variant value;
    if (modRegistry::fReadValue("HKLM", kRunKey, "Quarnel", "S", "", value) != 0) return std::nullopt;
    const std::string text = value.ToText();
    if (text.empty()) return std::nullopt;
    return text;
}

// The log-on task is created without waiting for schtasks.
std::optional<platform::ScheduledTask> WaitForTask(const std::string& name) {
    for (int i = 0; i < 600; ++i) {
        if (auto task = platform::FindScheduledTask(name)) return task;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return std::nullopt;
}

TEST_F(ScheduledTasks, StartAtLogonIsALogonTaskOnVistaAndLater) {
    modDHM::RegisterStartAtLogon();
    EXPECT_EQ(CommonModule::ReadIniString(CommonModule::sINI, "General", "StartupSet"), "1");
    const auto task = WaitForTask("Quarnel");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->scheduleType, "ONLOGON");
    EXPECT_TRUE(task->interactiveOnly);
    EXPECT_EQ(task->runLevel, "HIGHEST");
    EXPECT_EQ(task->taskToRun, "\"" + kProgram + "\" /startup");
    EXPECT_FALSE(RunValue());
}

TEST_F(ScheduledTasks, StartAtLogonIsTheRunValueBeforeVista) {
    WriteXpVersion(host);
    modDHM::RegisterStartAtLogon();
    EXPECT_EQ(RunValue(), "\"" + kProgram + "\" /startup");
    EXPECT_EQ(CommonModule::ReadIniString(CommonModule::sINI, "General", "StartupSet"), "1");
    EXPECT_TRUE(TaskNames().empty());
}

TEST_F(ScheduledTasks, StartAtLogonIsRegisteredOnlyUntilTheFlagIsSet) {
    Setting("General", "StartupSet", "1");
    modDHM::RegisterStartAtLogon();
    WriteXpVersion(host);
    modDHM::RegisterStartAtLogon();
    EXPECT_FALSE(RunValue());
    EXPECT_TRUE(TaskNames().empty());
}

}  // namespace
