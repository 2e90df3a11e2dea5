// The rules-profile prompt on real widgets (offscreen) in a fresh host: the
// profile list, the location shown per profile, and the task it schedules
// through the real schtasks tool (crontab and autostart switched off).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <string>

#include "common/CommonModule.h"
#include "config/frmProfilePrompt.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "platform/tools/SchedulerTool.h"
#include "support/Controls.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

namespace fs = std::filesystem;

const std::string kProgram = "C:\\Program Files\\Quarnel\\Quarnel.exe";

using testsupport::Control;

std::string TextOf(QWidget* window, const char* box) { return Control<QLineEdit>(window, box)->text().toStdString(); }

std::vector<std::string> Entries(QWidget* window) {
    auto* combo = Control<QComboBox>(window, "Combo1");
    std::vector<std::string> entries;
    for (int i = 0; i < combo->count(); ++i) entries.push_back(combo->itemText(i).toStdString());
    return entries;
}

// Chooses an entry of the list as a click on it does, or types a text.
void Choose(QWidget* window, const std::string& text) {
    auto* combo = Control<QComboBox>(window, "Combo1");
    const int index = combo->findText(QString::fromStdString(text));
    if (index >= 0) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    } else {
        combo->setEditText(QString::fromStdString(text));
    }
}

class ProfilePrompt : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        Setting("ScheduledTasks", "ProfileUpdateTime", "05:45");
    }
    void TearDown() override {
        platform::ClearMessageBoxQueue();
    }
    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        CommonModule::WriteIniString(CommonModule::sINI, section, key, value);
    }

    testsupport::ProgramHost host;
};

TEST_F(ProfilePrompt, ListsProfileZeroAndEachLaterProfileSet) {
    Setting("General", "RulesWebLoc1", "http://rules.example/one");
    Setting("General", "RulesWebLoc3", "http://rules.example/three");
    frmProfilePrompt window;
    EXPECT_EQ(window.windowTitle().toStdString(), "Form1");
    EXPECT_EQ(Entries(&window), (std::vector<std::string>{"0", "1", "3"}));
    EXPECT_EQ(Control<QComboBox>(&window, "Combo1")->currentText().toStdString(), "0");
    EXPECT_EQ(TextOf(&window, "Text1"), "");
    EXPECT_EQ(TextOf(&window, "Text2"), "05:45");
    EXPECT_EQ(Control<QPushButton>(&window, "Command1")->text().toStdString(), "Schedule This Task");
    EXPECT_EQ(Control<QLabel>(&window, "Label1")->text().toStdString(),
              "Select an existing profile to create a scheduled task:");
}

struct LocationCase {
    const char* profile;
    const char* location;
};

class ProfileLocation : public ProfilePrompt, public testing::WithParamInterface<LocationCase> {};

TEST_P(ProfileLocation, ShowsTheLocationOfTheChosenProfile) {
    Setting("General", "RulesWebLoc", "http://rules.example/zero");
    Setting("General", "RulesWebLoc1", "http://rules.example/one");
    Setting("General", "RulesWebLoc2", "http://rules.example/two");
    Setting("General", "RulesWebLoc3", "http://rules.example/three");
    frmProfilePrompt window;
    Choose(&window, GetParam().profile);
    window.Combo1_Click();
    EXPECT_EQ(TextOf(&window, "Text1"), GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileLocation,
                         testing::Values(LocationCase{"0", "http://rules.example/zero"},
                                         LocationCase{"2", "http://rules.example/two"},
                                         LocationCase{"3", "http://rules.example/three"},
                                         LocationCase{"7", "invalid profile"}, LocationCase{"", "invalid profile"}));

TEST_F(ProfilePrompt, SchedulesTheDailyRulesUpdateOfTheChosenProfileAndTime) {
    Setting("General", "RulesWebLoc1", "http://rules.example/one");
    Setting("General", "RulesWebLoc3", "http://rules.example/three");
    std::string message;
    platform::QueueModalAction([&](QWidget* window) {
        Choose(window, "3");
        Control<QLineEdit>(window, "Text2")->setText("02:30:00");
        testsupport::StderrCapture debug;
        platform::QueueMessageBoxAnswer(vb::vbOK);
        Control<QPushButton>(window, "Command1")->click();
        message = debug.Text();
    });
    frmProfilePrompt window;
    EXPECT_EQ(platform::ShowModal(&window), QDialog::Accepted);
    EXPECT_NE(message.find("MsgBox \"Quarnel\": Task has been scheduled."), std::string::npos) << message;
    const auto task = platform::FindScheduledTask("Quarnel Rules Update");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->scheduleType, "DAILY");
    EXPECT_EQ(task->startTime, "02:30:00");
    EXPECT_EQ(task->taskToRun, "\"" + kProgram + "\" /updaterules3");
    EXPECT_FALSE(window.isVisible());
}

// The empty location of profile 0 is no reason to refuse it.
TEST_F(ProfilePrompt, SchedulesProfileZeroWithoutALocation) {
    Setting("General", "RulesWebLoc1", "http://rules.example/one");
    Setting("General", "RulesWebLoc3", "http://rules.example/three");
    frmProfilePrompt window;
    platform::QueueMessageBoxAnswer(vb::vbOK);
    window.Command1_Click();
    const auto task = platform::FindScheduledTask("Quarnel Rules Update");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->taskToRun, "\"" + kProgram + "\" /updaterules0");
    EXPECT_EQ(task->startTime, "05:45:00");
}

TEST_F(ProfilePrompt, CancelAndTheCloseButtonLeaveTheExistingTask) {
    std::int32_t code = 0;
    CommonModule::ShellX("schtasks.exe", "/create /sc DAILY /st 01:00 /tn \"Quarnel Rules Update\" /tr \"C:\\old.exe\"",
                         true, 0, code);
    platform::QueueModalAction([](QWidget* window) { Control<QPushButton>(window, "Command2")->click(); });
    {
        frmProfilePrompt window;
        EXPECT_EQ(platform::ShowModal(&window), QDialog::Rejected);
    }
    platform::QueueModalAction([](QWidget* window) { window->close(); });
    {
        frmProfilePrompt window;
        EXPECT_EQ(platform::ShowModal(&window), QDialog::Rejected);
    }
    const auto task = platform::FindScheduledTask("Quarnel Rules Update");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->taskToRun, "C:\\old.exe");
}

}  // namespace
