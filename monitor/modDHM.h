#pragma once
// Start-up of Quarnel.exe: the start sequence, the command-line dispatch and
// the small launchers the switches use (rules archive, rules update, program
// update, cloud update), with the program-wide state they set.
#include <cstdint>
#include <string>

namespace modDHM {

// Program-wide state; all start False or 0 and nothing resets them.
extern bool bConfigOnly;
extern bool bShowForm;
extern std::int16_t iRulesProfile;
extern bool bRulesUpdateCmdLine;
extern bool bUpdateSilent;
extern bool bPasswordOK;

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
void RunSwitch(Switch task);

bool InitCommonControls();
std::string GetAppTitle();
// The title text for a program title and version.
std::string FormatAppTitle(const std::string& title, int major, int minor, int revision);

bool PromptPassword();
void ExtractRulesArchive();
void StartRulesUpdate(std::int16_t iProfile);
void StartProgramUpdate(bool bSilent);
void CloudUpdate();

// The configuration procedure of "/configonly" and "/config".
void RunConfiguration();
// The first-run set-up of "/installer".
void RunInstaller();

// Tasks whose own modules come later; each says what is missing.
void StartDesktopMonitor();
void Uninstall();
void SendHeartbeat();
void ScheduleTasks();
void SaveAppsSnapshot();

}  // namespace modDHM
