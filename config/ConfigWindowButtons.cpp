// The panel buttons that act outside the window: scheduled tasks, the test
// mail, the rules download, the cloud transfer and the configuration archive.
#include "ConfigWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "common/modOpSys.h"
#include "frmProfilePrompt.h"
#include "net/frmFTPUL.h"
#include "net/modZip.h"
#include "platform/api/Environment.h"
#include "platform/api/FileStatements.h"
#include "common/TaskScheme.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"

namespace {

constexpr const char* kSelectProfile = "You must select a profile number first!";
constexpr const char* kEnterTime = "You must enter a time in 24 hour format first!";
constexpr const char* kTaskCreated = "Task should be created.  Click OK to view/edit the task in Task Scheduler.";
constexpr const char* kTaskRefused = "The task could not be created.  Check the time and try again.";
constexpr const char* kDone = "Done!";
constexpr const char* kSavedToDesktop = "Your config is saved to your desktop.";
constexpr const char* kNotArchived = "Your config could not be archived.";
constexpr const char* kNotOnDesktop = "Your config could not be saved to your desktop.";

void ShowTaskViewer() {
    std::int32_t exitCode = 0;
    if (modOpSys::IsVistaOrLater())
        CommonModule::ShellX("mmc.exe", "taskschd.msc", false, 1, exitCode);
    else
        CommonModule::ShellX("control.exe", "schedtasks", false, 1, exitCode);
}

std::string ProgramFile(const char* name) { return CommonModule::AppPath() + name; }
std::string ConfigArchive() { return ProgramFile(modCloud::kConfigArchive); }
std::string RulesArchive() { return ProgramFile(modCloud::kRulesArchive); }

void DeleteArchives() {
    for (const std::string& archive : {RulesArchive(), ConfigArchive()})
        ErrorTrap::SkipErrors([&] {
            if (CommonModule::DoesFileExist(archive)) vb::Kill(archive);
        });
}

void ZipRulesFolder() { modZip::ZipFolder(ProgramFile("Rules"), RulesArchive(), false); }

// The desktop common to all users.
std::string CommonDesktop() {
    return vb::Environ(modOpSys::IsVistaOrLater() ? "public" : "allusersprofile") + "\\Desktop";
}

void ShowFailure(const std::string& message) { vb::MsgBox(message, vb::vbOKOnly | vb::vbExclamation); }

}  // namespace

ConfigWindow::ProgramServices& ConfigWindow::Services() {
    static ProgramServices services;
    return services;
}

void ConfigWindow::RunExclusive(const std::function<void()>& handler) {
    if (handlerRunning_) return;
    struct Restore {
        ConfigWindow* window;
        ~Restore() {
            window->setEnabled(true);
            window->handlerRunning_ = false;
        }
    };
    {
        handlerRunning_ = true;
        setEnabled(false);
        const Restore restore{this};
        handler();
    }
    if (!closeWhenHandlerEnds_) return;
    closeWhenHandlerEnds_ = false;
    close();
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
        if (!TaskScheme::IsRulesProfile(profile)) {
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

void ConfigWindow::cmdTestEmail_Click() {
    RunExclusive([this] {
        if (!SaveSettings()) return;
        if (!Services().SendTestEmail) {
            DebugServiceMissing("cmdTestEmail_Click", "the test mail");
            return;
        }
        std::string body;
        for (const char* field : {"Event Log: ", "Event Type: ", "Event ID: ", "Source Name: ", "Message: "})
            body += std::string(field) + "N/A - Testing" + "\r\n";
        Services().SendTestEmail("Disk Event", body);
    });
}

void ConfigWindow::cmdDownloadRulesNow_Click() {
    RunExclusive([this] {
        const std::string profile = ComboProfiles->currentText().toStdString();
        if (!TaskScheme::IsRulesProfile(profile)) {
            vb::MsgBox(kSelectProfile, vb::vbOKOnly);
            return;
        }
        unwrittenFiles_.clear();
        SaveRulesLocations();
        if (!unwrittenFiles_.empty()) {
            ReportUnwrittenFiles();
            return;
        }
        if (!Services().ShowRulesUpdate) {
            DebugServiceMissing("cmdDownloadRulesNow_Click", "the rules download");
            return;
        }
        Services().ShowRulesUpdate(static_cast<std::int16_t>(profile[0] - '0'));
    });
}

void ConfigWindow::Command4_Click() {
    RunExclusive([this] {
        if (!Services().CloudUpdate) {
            DebugServiceMissing("Command4_Click", "the cloud configuration download");
            return;
        }
        const modCloud::DownloadResult result = Services().CloudUpdate();
        const std::string failure = modCloud::DownloadMessage(result);
        if (result.AnythingApplied())
            CloudDownloadDone(failure);
        else
            ShowFailure(failure);
    });
}

// What arrived replaces what the window shows, lists included, so the next
// save does not write the old entries back over it; that holds for a part
// that arrived beside one that failed.
void ConfigWindow::CloudDownloadDone(const std::string& sFailure) {
    ClearLists();
    ErrorTrap::SkipErrors([this] { LoadSNMPList(); });
    ErrorTrap::SkipErrors([this] { LoadRulesList(); });
    LoadSettings();
    if (sFailure.empty())
        vb::MsgBox(kDone, vb::vbOKOnly);
    else
        ShowFailure(sFailure);
}

void ConfigWindow::ClearLists() {
    for (QListWidget* list :
         {listEventDescEx, listEventSourceEx, listEventIDEx, listHeartbeatSvcs, listHeartbeatDrives})
        list->clear();
}

void ConfigWindow::Command5_Click() {
    RunExclusive([this] {
        if (!SaveSettings()) return;
        DeleteArchives();
        modZip::ZipSingleFile(ProgramFile("Quarnel.ini"), ConfigArchive());
        ZipRulesFolder();
        if (!CommonModule::DoesFileExist(ConfigArchive())) {
            DeleteArchives();
            ShowFailure(kNotArchived);
            return;
        }
        frmFTPUL upload;
        platform::ShowModal(&upload);
        DeleteArchives();
        if (upload.Outcome() == modCloud::Outcome::Done)
            vb::MsgBox(kDone, vb::vbOKOnly);
        else
            ShowFailure(modCloud::OutcomeMessage(upload.Outcome()));
    });
}

void ConfigWindow::SaveAndZipConfig() {
    RunExclusive([this] {
        if (!SaveSettings()) return;
        DeleteArchives();
        ZipRulesFolder();
        modZip::ZipFileList({ProgramFile("Quarnel.ini"), RulesArchive()}, ConfigArchive());
        // The whole target name: a desktop folder that is missing is made, never taken as the name.
        const bool moved = CommonModule::DoesFileExist(ConfigArchive()) &&
                           CommonModule::ShellFileOperation(
                               ConfigArchive(), CommonDesktop() + "\\" + modCloud::kConfigArchive, false);
        DeleteArchives();
        if (moved)
            vb::MsgBox(kSavedToDesktop, vb::vbOKOnly);
        else
            ShowFailure(kNotOnDesktop);
    });
}
