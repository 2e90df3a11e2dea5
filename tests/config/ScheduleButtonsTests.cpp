// The task buttons of the configuration window through the real schtasks tool
// (crontab and autostart switched off) and the task viewer they offer.
#include <QTimer>

#include <chrono>
#include <optional>
#include <thread>
#include <unistd.h>

#include "ConfigWindowFixture.h"
#include "platform/tools/SchedulerTool.h"
#include "support/StderrCapture.h"

namespace {

using namespace configtest;

const std::string kProgram = kProgramFolder + "Quarnel.exe";

class ScheduleButtons : public ConfigWindowTest {
protected:
    void SetUp() override {
        ConfigWindowTest::SetUp();
        host_.WriteHostIni("Scheduler", "Crontab", "0");
        host_.WriteHostIni("Scheduler", "Autostart", "0");
        Open();
    }
};

struct TaskButtonCase {
    const char* button;
    const char* timeBox;
    const char* task;
    const char* schedule;
    std::string taskToRun;
};

TEST_F(ScheduleButtons, EachButtonReplacesItsTaskWithTheTimeOfItsOwnBox) {
    const TaskButtonCase cases[] = {
        {"cmdSchedule", "txtSchTime", "Quarnel Rules Update", "DAILY", "\"" + kProgram + "\" /updaterules2"},
        {"Command1", "txtUpdateTime", "Quarnel Application Update", "WEEKLY",
         "\"" + kProgramFolder + "Quarnel_Stop.exe\" /updatesilent"},
        {"Command2", "txtHeartbeatTime", "Quarnel Heartbeat", "DAILY", "\"" + kProgram + "\" /heartbeat"},
    };
    C<QComboBox>("ComboProfiles")->setEditText("2");
    for (const auto& c : cases) {
        Box(c.timeBox)->setText("09:00:00");
        testsupport::StderrCapture debug;
        platform::QueueMessageBoxAnswer(vb::vbCancel);
        Click(c.button);
        EXPECT_NE(debug.Text().find("Task should be created.  Click OK to view/edit the task in Task Scheduler."),
                  std::string::npos)
            << debug.Text();
        const auto task = platform::FindScheduledTask(c.task);
        ASSERT_TRUE(task) << c.task;
        EXPECT_EQ(task->scheduleType, c.schedule);
        EXPECT_EQ(task->startTime, "09:00:00");
        EXPECT_EQ(task->taskToRun, c.taskToRun);
        EXPECT_TRUE(Window()->isEnabled());
    }
}

TEST_F(ScheduleButtons, AnEmptyTimeOrABadProfileRunsNothing) {
    Box("txtSchTime")->setText("09:00:00");
    Box("txtUpdateTime")->setText("");
    Box("txtHeartbeatTime")->setText("");
    for (const char* button : {"Command1", "Command2"}) {
        testsupport::StderrCapture debug;
        Click(button);
        EXPECT_NE(debug.Text().find("You must enter a time in 24 hour format first!"), std::string::npos) << button;
    }
    for (const char* profile : {"", "4", "2 ", "x"}) {
        C<QComboBox>("ComboProfiles")->setEditText(profile);
        testsupport::StderrCapture debug;
        Click("cmdSchedule");
        EXPECT_NE(debug.Text().find("You must select a profile number first!"), std::string::npos) << profile;
    }
    EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

TEST_F(ScheduleButtons, ARefusedTimeIsReportedAndOffersNoViewer) {
    Box("txtHeartbeatTime")->setText("25:99");
    testsupport::StderrCapture debug;
    Click("Command2");
    EXPECT_NE(debug.Text().find("The task could not be created."), std::string::npos) << debug.Text();
    EXPECT_EQ(debug.Text().find("Task should be created."), std::string::npos);
    EXPECT_FALSE(platform::FindScheduledTask("Quarnel Heartbeat"));
}

TEST_F(ScheduleButtons, OkOpensTheTaskViewerOnTheHostsTasks) {
    Box("txtHeartbeatTime")->setText("10:00:00");
    testsupport::StderrCapture output(STDOUT_FILENO);
    platform::QueueMessageBoxAnswer(vb::vbOK);
    Click("Command2");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (output.Text().find("Quarnel Heartbeat\tDaily\t10:00:00") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(output.Text().find("Task Scheduler Library\n"), std::string::npos);
    EXPECT_NE(output.Text().find("Quarnel Heartbeat\tDaily\t10:00:00"), std::string::npos);
}

// The scheduler runs are waited for with queued messages let through: a
// close or a second click arriving then must not reach the window.
TEST_F(ScheduleButtons, TheWindowTakesNoInputWhileAHandlerRuns) {
    Box("txtHeartbeatTime")->setText("10:00:00");
    ConfigWindow* window = Window();
    std::optional<bool> enabledInside;
    std::optional<bool> closedInside;
    QTimer::singleShot(0, window, [&] {
        enabledInside = window->isEnabled();
        closedInside = window->close();
        C<QPushButton>("Command2")->click();
    });
    platform::QueueMessageBoxAnswer(vb::vbCancel);
    testsupport::StderrCapture debug;
    Click("Command2");
    ASSERT_TRUE(enabledInside.has_value()) << "no queued message ran during the handler";
    EXPECT_FALSE(*enabledInside);
    EXPECT_FALSE(*closedInside);
    EXPECT_TRUE(window->isEnabled());
    const std::string text = debug.Text();
    const std::string question = "Task should be created.";
    ASSERT_NE(text.find(question), std::string::npos);
    EXPECT_EQ(text.find(question, text.find(question) + 1), std::string::npos) << "the handler ran twice";
}

}  // namespace
