#include "modDHM.h"
#include "common/ErrorTrap.h"

#include "frmDHM.h"
#include "config/frmPassword.h"

#include <QPointer>

#include <array>
#include <utility>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "config/frmClientInfo.h"
#include "config/frmConfig.h"
#include "config/frmConfig2.h"
#include "config/frmProfilePrompt.h"
#include "common/modOpSys.h"
#include "EventWriter.h"
#include "modEmail.h"
#include "common/TaskScheme.h"
#include "net/frmCompUpdateBeta.h"
#include "net/frmFTPDL.h"
#include "net/frmRulesUpdate.h"
#include "net/modZip.h"
#include "platform/api/FileApi.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace modDHM {

bool bConfigOnly = false;
bool bShowForm = false;
std::int16_t iRulesProfile = 0;
bool bRulesUpdateCmdLine = false;
bool bUpdateSilent = false;
bool bPasswordOK = false;

std::string sClientName;
std::string sClientPhone;
std::string sPCDesc;
bool bClientPrompt = false;
bool bShowTrayIcon = false;
bool bShowTaskBar = false;

namespace {

constexpr std::array<std::pair<const char*, Switch>, 14> kSwitches{{
    {"/configonly", Switch::ConfigOnly},
    {"/config", Switch::Config},
    {"/configsafe", Switch::ConfigSafe},
    {"/updateonly", Switch::UpdateOnly},
    {"/updatesilent", Switch::UpdateSilent},
    {"/showform", Switch::ShowForm},
    {"/uninstaller", Switch::Uninstaller},
    {"/cloudupdate", Switch::CloudUpdate},
    {"/installer", Switch::Installer},
    {"/updaterules0", Switch::UpdateRules0},
    {"/updaterules1", Switch::UpdateRules1},
    {"/updaterules2", Switch::UpdateRules2},
    {"/updaterules3", Switch::UpdateRules3},
    {"/heartbeat", Switch::Heartbeat},
}};

bool SettingIsOn(const std::string& section, const std::string& key) {
    return CommonModule::ReadIniString(CommonModule::sINI, section, key) == "1";
}

using ErrorTrap::SkipErrors;

std::string RulesArchivePath() { return CommonModule::AppPath() + "Rules.zip"; }
std::string ConfigArchivePath() { return CommonModule::AppPath() + "QuarnelConfig.zip"; }
std::string RulesFolderPath() { return CommonModule::AppPath() + "Rules\\"; }

void DeleteCloudArchives() {
    SkipErrors([] { win::DeleteFileA(RulesArchivePath()); });
    SkipErrors([] { win::DeleteFileA(ConfigArchivePath()); });
}

void ShowConfigWindow() {
    ConnectConfigWindows();
    (new frmConfig(GetAppTitle(), bConfigOnly))->show();
}

void ShowSafeModeConfigWindow() {
    ConnectConfigWindows();
    (new frmConfig2(GetAppTitle(), bConfigOnly))->show();
}

void ShowClientInfoWindow() {
    frmClientInfo window(GetAppTitle(), {sClientName, sClientPhone, sPCDesc});
    platform::ShowModal(&window);
}

// A client-information value of the registry; empty when it cannot be read.
std::string ReadClientValue(const char* valueName) {
    vb::Variant value;
    modRegistry::fReadValue(kClientInfoRootKey, kClientInfoKeyPath, valueName, "S", "", value);
    return value.ToText();
}

std::string ReadGeneralSetting(const std::string& key) {
    return CommonModule::ReadIniString(CommonModule::sINI, "General", key);
}

// A self-update renames each file it replaces to its "_old" name first.
struct UpdatedFile {
    const char* current;
    const char* keptBack;
};

constexpr std::array<UpdatedFile, 3> kUpdatedFiles{{
    {"QuarnelService.exe", "QuarnelService_old.exe"},
    {"QuarnelControl.exe", "QuarnelControl_old.exe"},
    {"Quarnel_Stop.exe", "Quarnel_Stop_old.exe"},
}};

void FinishUpdatedFile(const UpdatedFile& file) {
    const std::string current = CommonModule::AppPath() + file.current;
    const std::string keptBack = CommonModule::AppPath() + file.keptBack;
    if (!CommonModule::DoesFileExist(keptBack)) return;
    if (CommonModule::DoesFileExist(current))
        win::DeleteFileA(keptBack);
    else
        win::SHFileOperationMove(keptBack, current, win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR);
}

// "Quarnel_old.exe" is left behind only by a self-update of the program itself.
void FinishProgramUpdate() {
    const std::string oldProgram = CommonModule::AppPath() + "Quarnel_old.exe";
    if (!CommonModule::DoesFileExist(oldProgram)) return;
    SkipErrors([&] { win::DeleteFileA(oldProgram); });
    std::int32_t exitCode = 0;
    CommonModule::ShellX(CommonModule::AppPath() + "QuarnelControl.exe", "", false, 1, exitCode);
}

void LoadMonitorWindow() { frmDHM::Load(); }

// The password check of the configuration procedure: false when a password
// is asked for and not given.
bool PasswordAccepted() {
    if (!SettingIsOn("General", "PasswordProtectConfig")) return true;
    return PromptPassword();
}

void RunSafeModeConfiguration() {
    CommonModule::WriteIniString(CommonModule::sINI, "General", "UseSafeModeConfig", "1");
    if (!PasswordAccepted()) return;
    ShowSafeModeConfigWindow();
}

void RunDefaultStart() {
    if (CommonModule::IsAppAlreadyRunning(false)) return;
    StartDesktopMonitor();
}

constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kStartupTaskName = "Quarnel";
using TaskScheme::kAppUpdateTask;
using TaskScheme::kHeartbeatTask;
constexpr const char* kCloudUpdateTask = "Quarnel Rules Cloud Update";
constexpr std::array<const char*, 4> kRulesProfileKeys{"RulesWebLoc", "RulesWebLoc1", "RulesWebLoc2",
                                                       "RulesWebLoc3"};

std::string ScheduledTasksSetting(const std::string& key) {
    return CommonModule::ReadIniString(CommonModule::sINI, "ScheduledTasks", key);
}

void RunSchedulerTool(const std::string& arguments, bool wait, std::int32_t windowStyle) {
    std::int32_t exitCode = 0;
    CommonModule::ShellX("schtasks.exe", arguments, wait, windowStyle, exitCode);
}

void ReplaceDailyTask(const std::string& timeKey, const std::string& taskName, const std::string& program,
                      const std::string& switchText) {
    TaskScheme::ReplaceTask(false, ScheduledTasksSetting(timeKey), taskName, program, switchText);
}

// One profile set gives the task its digit, none the bare switch; with more
// the user picks one.
void ScheduleRulesUpdate() {
    int profilesSet = 0;
    std::string profileDigit;
    for (std::size_t profile = 0; profile < kRulesProfileKeys.size(); ++profile) {
        if (ReadGeneralSetting(kRulesProfileKeys[profile]).empty()) continue;
        if (profilesSet++ == 0) profileDigit = std::to_string(profile);
    }
    if (profilesSet < 2) {
        ReplaceDailyTask("ProfileUpdateTime", TaskScheme::kRulesUpdateTask, CommonModule::AppExePath(),
                         " /updaterules" + profileDigit);
        return;
    }
    frmProfilePrompt prompt;
    platform::ShowModal(&prompt);
}

void WriteRunValue() {
    modRegistry::fWriteValue("HKLM", kRunKeyPath, kStartupTaskName, "S",
                             "\"" + CommonModule::AppExePath() + "\" /startup");
}

void CreateLogonTask() {
    const std::string arguments = "/create /sc onlogon /rl highest /it /f /tn \"" + std::string(kStartupTaskName) +
                                  "\" /tr " + TaskScheme::TaskToRun(CommonModule::AppExePath(), " /startup");
    RunSchedulerTool(arguments, false, 1);
}

std::string StopScriptPath() { return CommonModule::AppPath() + "StopMonitor.cmd"; }

void WriteStopScript() {
    CommonModule::SaveTextToFile(StopScriptPath(), "ping 127.0.0.1", true, false);
    const std::string imageName = CommonModule::StripPath(CommonModule::AppExePath());
    CommonModule::SaveTextToFile(StopScriptPath(), "tskill \"" + imageName + "\" /a", false, false);
}

}  // namespace

Switch MatchSwitch(const std::string& commandLine) {
    std::string line = commandLine;
    for (char& c : line)
        if (c == '-') c = '/';
    line = vb::LCase(line);
    for (const auto& [text, task] : kSwitches)
        if (line == text) return task;
    return Switch::Default;
}

void ReportUntrappedError(const RuntimeError& error) {
    CommonModule::LogError("modDHM\\Main VB ERROR: ", error);
    vb::MsgBox("Run-time error '" + std::to_string(error.Number()) + "':\n\n" + error.Description(),
               vb::vbCritical);
}

void Main() {
    InitCommonControls();
    CommonModule::InitAppSettings(true, true);
    CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
    RunSwitch(MatchSwitch(vb::Command()));
}

void RunSwitch(Switch task) {
    switch (task) {
        case Switch::ConfigOnly:
            bConfigOnly = true;
            RunConfiguration();
            break;
        case Switch::Config: RunConfiguration(); break;
        case Switch::ConfigSafe: RunSafeModeConfiguration(); break;
        case Switch::UpdateOnly: StartProgramUpdate(false); break;
        case Switch::UpdateSilent: StartProgramUpdate(true); break;
        case Switch::ShowForm:
            bShowForm = true;
            StartDesktopMonitor();
            break;
        case Switch::Uninstaller: Uninstall(); break;
        case Switch::CloudUpdate: CloudUpdate(); break;
        case Switch::Installer: RunInstaller(); break;
        case Switch::UpdateRules0: StartRulesUpdate(0); break;
        case Switch::UpdateRules1: StartRulesUpdate(1); break;
        case Switch::UpdateRules2: StartRulesUpdate(2); break;
        case Switch::UpdateRules3: StartRulesUpdate(3); break;
        case Switch::Heartbeat: SendHeartbeat(); break;
        case Switch::Default: RunDefaultStart(); break;
    }
}

// Registration of the common-control classes is a Windows detail that the
// Qt widgets do not need.
bool InitCommonControls() { return true; }

std::string FormatAppTitle(const std::string& title, int major, int minor, int revision) {
    std::string version = std::to_string(major) + "." + std::to_string(minor);
    if (revision >= 1) version += "." + std::to_string(revision);
    return title + "  v" + version;
}

std::string GetAppTitle() {
    return FormatAppTitle(vb::App::Title(), vb::App::Major(), vb::App::Minor(), vb::App::Revision());
}

bool PromptPassword() {
    if (frmPassword::Prompt(CommonModule::sINI)) bPasswordOK = true;
    if (!bPasswordOK) return false;
    bPasswordOK = false;
    return true;
}

void ExtractRulesArchive() {
    if (!CommonModule::DoesFileExist(RulesArchivePath())) return;
    modZip::UnzipFile(RulesArchivePath(), RulesFolderPath(), false);
}

namespace {

// The rules-update window of iRulesProfile, created when needed and shown
// without blocking.
void ShowRulesUpdateWindow() {
    static QPointer<frmRulesUpdate> window;
    if (!window)
        window = new frmRulesUpdate(iRulesProfile, bRulesUpdateCmdLine);
    else
        window->SetRulesProfile(iRulesProfile);
    window->Show();
}

}  // namespace

void StartRulesUpdate(std::int16_t iProfile) {
    bRulesUpdateCmdLine = true;
    iRulesProfile = iProfile;
    ShowRulesUpdateWindow();
}

void StartProgramUpdate(bool bSilent) {
    if (bSilent) bUpdateSilent = true;
    SkipErrors([] {
        static QPointer<frmCompUpdateBeta> window;
        if (!window) window = new frmCompUpdateBeta(bUpdateSilent);
        window->Show();
    });
}

modCloud::DownloadResult CloudUpdate() {
    DeleteCloudArchives();
    frmFTPDL download;
    platform::ShowModal(&download);
    modCloud::DownloadResult result = download.Result();
    SkipErrors([&result] {
        if (!modCloud::ApplyConfigArchive(result)) return;
        ScheduleTasks();
        if (SettingIsOn("Heartbeat", "ReportNewlyInstalledApps")) SaveAppsSnapshot();
    });
    SkipErrors([&result] { modCloud::ApplyRulesArchive(result); });
    DeleteCloudArchives();
    return result;
}

void ConnectConfigWindows() {
    ConfigWindow::ProgramServices& services = ConfigWindow::Services();
    services.SendTestEmail = [](const std::string& subjectWord, const std::string& body) {
        modEmail::SendTestEmail(subjectWord, body, "");
    };
    services.CloudUpdate = CloudUpdate;
    services.ShowRulesUpdate = [](std::int16_t profile) {
        iRulesProfile = profile;
        ShowRulesUpdateWindow();
    };
}

void RunConfiguration() {
    if (!PasswordAccepted()) return;
    if (SettingIsOn("General", "UseSafeModeConfig"))
        ShowSafeModeConfigWindow();
    else
        ShowConfigWindow();
}

void RunInstaller() {
    if (SettingIsOn("General", "ClientPrompt")) ShowClientInfoWindow();
    if (SettingIsOn("Nimbrel", "UpdateAfterInstall")) {
        CloudUpdate();
        return;
    }
    ExtractRulesArchive();
    ScheduleTasks();
    if (SettingIsOn("Heartbeat", "ReportNewlyInstalledApps")) SaveAppsSnapshot();
}

bool IntegerValueIsOne(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    std::string number = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (number[0] == '+') number.erase(0, 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    const std::size_t significant = number.find_first_not_of('0');
    return significant != std::string::npos && number.compare(significant, std::string::npos, "1") == 0;
}

void LoadGeneralSettings() {
    SkipErrors([] { sClientName = ReadClientValue(kClientNameValue); });
    SkipErrors([] { sClientPhone = ReadClientValue(kClientPhoneValue); });
    SkipErrors([] { sPCDesc = ReadClientValue(kPCDescValue); });
    const std::string clientPrompt = ReadGeneralSetting("ClientPrompt");
    if (IntegerValueIsOne(clientPrompt)) bClientPrompt = true;
    const std::string showTrayIcon = ReadGeneralSetting("ShowTrayIcon");
    if (showTrayIcon.empty() || IntegerValueIsOne(showTrayIcon)) bShowTrayIcon = true;
    if (IntegerValueIsOne(ReadGeneralSetting("ShowTaskBar"))) bShowTaskBar = true;
}

void PromptClientInfo() {
    if (bClientPrompt && sClientName.empty()) ShowClientInfoWindow();
}

void FinishPendingUpdate() {
    for (const UpdatedFile& file : kUpdatedFiles) SkipErrors([&] { FinishUpdatedFile(file); });
    SkipErrors(FinishProgramUpdate);
}

void TakeMissingAppsSnapshot() {
    if (!SettingIsOn("Heartbeat", "ReportNewlyInstalledApps")) return;
    if (!CommonModule::DoesFileExist(CommonModule::AppPath() + "InstalledApps.txt")) SaveAppsSnapshot();
    if (!CommonModule::Is64BitOS()) return;
    if (!CommonModule::DoesFileExist(CommonModule::AppPath() + "InstalledAppsWow6432.txt")) SaveAppsSnapshot();
}

void StartDesktopMonitor() {
    SkipErrors(LoadGeneralSettings);
    SkipErrors(PromptClientInfo);
    if (bShowTrayIcon) SkipErrors(RegisterStartAtLogon);
    FinishPendingUpdate();
    SkipErrors(TakeMissingAppsSnapshot);
    if (!bShowTrayIcon) return;
    SkipErrors(LoadMonitorWindow);
}

void RegisterStartAtLogon() {
    if (SettingIsOn("General", "StartupSet")) return;
    if (!modOpSys::IsVistaOrLater())
        SkipErrors(WriteRunValue);
    else
        SkipErrors(CreateLogonTask);
    CommonModule::WriteIniString(CommonModule::sINI, "General", "StartupSet", "1");
}

void Uninstall() {
    SkipErrors([] { EventWriter::WriteEvent("Quarnel Shutdown Initiated."); });
    SkipErrors([] {
        bool notFound = false;
        modRegistry::fDeleteValue("HKLM", kRunKeyPath, kStartupTaskName, notFound);
    });
    for (const char* task : {kCloudUpdateTask, TaskScheme::kRulesUpdateTask, kAppUpdateTask, kHeartbeatTask,
                             kStartupTaskName})
        SkipErrors([task] { RunSchedulerTool(TaskScheme::DeleteArguments(task), true, 0); });
    SkipErrors([] { RunSchedulerTool("/delete /tn \"" + std::string(kStartupTaskName) + "\" /f", false, 1); });
    SkipErrors(WriteStopScript);
    SkipErrors([] {
        std::int32_t exitCode = 0;
        CommonModule::ShellX(StopScriptPath(), "", true, 0, exitCode);
    });
    platform::EndProcess(0);
}

void ScheduleTasks() {
    SkipErrors([] {
        if (SettingIsOn("ScheduledTasks", "HeartbeatInst"))
            ReplaceDailyTask("HeartbeatTime", kHeartbeatTask, CommonModule::AppExePath(), " /heartbeat");
    });
    SkipErrors([] {
        if (SettingIsOn("ScheduledTasks", "AppUpdateInst"))
            TaskScheme::ReplaceTask(true, ScheduledTasksSetting("AppUpdateTime"), kAppUpdateTask,
                                    CommonModule::AppPath() + "Quarnel_Stop.exe", " /updatesilent");
    });
    SkipErrors([] {
        if (SettingIsOn("Nimbrel", "UpdateConfig"))
            ReplaceDailyTask("ProfileUpdateTime", kCloudUpdateTask, CommonModule::AppExePath(), " /cloudupdate");
        else if (SettingIsOn("ScheduledTasks", "ProfileUpdateInst"))
            ScheduleRulesUpdate();
    });
}

}  // namespace modDHM
