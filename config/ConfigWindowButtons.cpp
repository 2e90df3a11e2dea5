// The panel buttons that act outside the window: scheduled tasks, the test
// mail, the rules download, the cloud transfer and the configuration archive.
#include "ConfigWindow.h"

#include <QComboBox>
#include <QLineEdit>

#include "common/CommonModule.h"
#include "common/modOpSys.h"
#include "monitor/TaskScheme.h"
#include "platform/api/MessageBox.h"

namespace {

constexpr const char* kSelectProfile = "You must select a profile number first!";
constexpr const char* kEnterTime = "You must enter a time in 24 hour format first!";
constexpr const char* kTaskCreated = "Task should be created.  Click OK to view/edit the task in Task Scheduler.";
constexpr const char* kTaskRefused = "The task could not be created.  Check the time and try again.";

// The rules profiles are "0" to "3"; anything else would make a task that
// only does a normal start.
bool IsProfileNumber(const std::string& text) { return text.size() == 1 && text[0] >= '0' && text[0] <= '3'; }

void ShowTaskViewer() {
    std::int32_t exitCode = 0;
    if (modOpSys::IsVistaOrLater())
        CommonModule::ShellX("mmc.exe", "taskschd.msc", false, 1, exitCode);
    else
        CommonModule::ShellX("control.exe", "schedtasks", false, 1, exitCode);
}

}  // namespace

void ConfigWindow::RunExclusive(const std::function<void()>& handler) {
    if (handlerRunning_) return;
    handlerRunning_ = true;
    setEnabled(false);
    struct Restore {
        ConfigWindow* window;
        ~Restore() {
            window->setEnabled(true);
            window->handlerRunning_ = false;
        }
    } restore{this};
    handler();
}

void ConfigWindow::CreateTaskFromButton(QLineEdit* timeBox, bool weekly, const char* taskName,
                                        const std::string& program, const std::string& switchText) {
    const std::string startTime = timeBox->text().toStdString();
    if (startTime.empty()) {
        vb::MsgBox(kEnterTime, vb::vbOKOnly);
        return;
    }
    if (!TaskScheme::ReplaceTask(weekly, startTime, taskName, program, switchText)) {
        vb::MsgBox(kTaskRefused, vb::vbOKOnly | vb::vbExclamation);
        return;
    }
    if (vb::MsgBox(kTaskCreated, vb::vbOKCancel) == vb::vbOK) ShowTaskViewer();
}

void ConfigWindow::cmdSchedule_Click() {
    RunExclusive([this] {
        const std::string profile = ComboProfiles->currentText().toStdString();
        if (!IsProfileNumber(profile)) {
            vb::MsgBox(kSelectProfile, vb::vbOKOnly);
            return;
        }
        CreateTaskFromButton(txtSchTime, false, TaskScheme::kRulesUpdateTask, CommonModule::AppExePath(),
                             " /updaterules" + profile);
    });
}

void ConfigWindow::Command1_Click() {
    RunExclusive([this] {
        CreateTaskFromButton(txtUpdateTime, true, TaskScheme::kAppUpdateTask,
                             CommonModule::AppPath() + "Quarnel_Stop.exe", " /updatesilent");
    });
}

void ConfigWindow::Command2_Click() {
    RunExclusive([this] {
        CreateTaskFromButton(txtHeartbeatTime, false, TaskScheme::kHeartbeatTask, CommonModule::AppExePath(),
                             " /heartbeat");
    });
}

void ConfigWindow::cmdTestEmail_Click() { DebugNotBuilt("cmdTestEmail_Click", "the test mail"); }

void ConfigWindow::cmdDownloadRulesNow_Click() {
    DebugNotBuilt("cmdDownloadRulesNow_Click", "the rules download");
}

void ConfigWindow::Command4_Click() { DebugNotBuilt("Command4_Click", "the cloud configuration download"); }

void ConfigWindow::Command5_Click() { DebugNotBuilt("Command5_Click", "the cloud configuration upload"); }

void ConfigWindow::SaveAndZipConfig() { DebugNotBuilt("SaveAndZipConfig", "the configuration archive"); }
