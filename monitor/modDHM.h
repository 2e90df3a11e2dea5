#pragma once
// Start-up of Quarnel.exe: the start sequence, the command-line dispatch,
// the normal start of the monitor and the small launchers the switches use
// (rules archive, rules update, program update, cloud update), with the
// program-wide state they set.
#include <cstdint>
#include <string>
#include <vector>

#include "net/modCloud.h"
#include "platform/api/RuntimeError.h"

namespace modDHM {

// Program-wide state; all start False or 0 and nothing resets them.
extern bool bConfigOnly;
extern bool bShowForm;
extern std::int16_t iRulesProfile;
extern bool bRulesUpdateCmdLine;
extern bool bUpdateSilent;
extern bool bPasswordOK;

// Display and client settings, loaded once by the normal start.
extern std::string sClientName;
extern std::string sClientPhone;
extern std::string sPCDesc;
extern bool bClientPrompt;
extern bool bShowTrayIcon;
extern bool bShowTaskBar;

// The tasks of the command line, in the order the switches are compared.
enum class Switch {
    ConfigOnly = 1,
    Config,
    ConfigSafe,
    UpdateOnly,
    UpdateSilent,
    ShowForm,
    Uninstaller,
    CloudUpdate,
    Installer,
    UpdateRules0,
    UpdateRules1,
    UpdateRules2,
    UpdateRules3,
    Heartbeat,
    Default,
};

// The switch a whole command line names: every "-" read as "/", letter case
// ignored, compared whole and untrimmed; anything else is Switch::Default.
Switch MatchSwitch(const std::string& commandLine);

void Main();
// An error nothing in Main trapped: its error line, then the run time's message box.
void ReportUntrappedError(const RuntimeError& error);
void RunSwitch(Switch task);

bool InitCommonControls();
std::string GetAppTitle();
// The title text for a program title and version.
std::string FormatAppTitle(const std::string& title, int major, int minor, int revision);

bool PromptPassword();
void ExtractRulesArchive();
void StartRulesUpdate(std::int16_t iProfile);
void StartProgramUpdate(bool bSilent);
// The cloud download and what came of it (the archives are unpacked and removed).
modCloud::DownloadResult CloudUpdate();
// Gives the configuration windows' buttons the test mail, the cloud download
// and the rules update of this module and the mail module.
void ConnectConfigWindows();

// The configuration procedure of "/configonly" and "/config".
void RunConfiguration();
// The first-run set-up of "/installer".
void RunInstaller();

// The normal start: settings, client prompt, start at log-on, the finish of
// a pending self-update, the first snapshot, then the monitor window.
void StartDesktopMonitor();
void LoadGeneralSettings();
void PromptClientInfo();
// Kept-back "_old" files of a self-update restored or removed; after an
// update of the program itself the control program is started.
void FinishPendingUpdate();
// The installed-applications baseline, taken when its files are missing.
void TakeMissingAppsSnapshot();
// True for a settings text whose whole-number value is 1 (" 1", "01", "+1").
bool IntegerValueIsOne(const std::string& text);

// The heartbeat, update and rules tasks the settings switch on (errors skipped).
void ScheduleTasks();
// Once until the next configuration save: the log-on task, before Vista the Run value.
void RegisterStartAtLogon();
// The removal of "/uninstaller": shutdown record, Run value and tasks gone,
// StopMonitor.cmd written and run; ends the process.
[[noreturn]] void Uninstall();

// --- The heartbeat report (modDHMHeartbeat.cpp) ---------------------------
// Builds the report and mails it with the subject "Heartbeat".
void SendHeartbeat();
// The sections of the report; each is empty when its list file or setting
// leaves it out.
std::string ReportServices();
std::string ReportAutoServices();
std::string ReportPartitions();
std::string ReportNewApps();
// A drive's size line and its free-space verdict.
std::string DriveSpaceText(const std::string& sDrive);
// The current names, in their order, that no old line equals (case counts);
// Windows and Office updates are never new.
std::vector<std::string> FindNewApps(const std::vector<std::string>& oldApps,
                                     const std::vector<std::string>& currentApps);
// Rewrites InstalledApps.txt and, on 64-bit Windows, InstalledAppsWow6432.txt
// with the names of the Uninstall keys (both files always written).
void SaveAppsSnapshot();
// The SNMP block of the report: the checks of Rules\Heartbeat_SNMP_List.txt
// and their answers; empty without that file.
std::string CollectSNMPResults();

}  // namespace modDHM
