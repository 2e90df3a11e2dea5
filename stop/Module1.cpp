#include "Module1.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "common/CommonModule.h"
#include "platform/api/Program.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"
#include "stop/CommonModuleKill.h"

namespace Module1 {

namespace {

constexpr const char* kMonitorImage = "Quarnel.exe";
constexpr const char* kControlProgram = "QuarnelControl.exe";
constexpr int kNormalWindow = 1;

void EndRunningMonitors() {
    try {
        CommonModule::KillProcessAllMethods(kMonitorImage, true);
    } catch (const RuntimeError&) {
    }
}

void StartFromProgramFolder(const std::string& program, const std::string& commandLine, bool wait) {
    try {
        std::int32_t exitCode = 0;
        CommonModule::ShellX(CommonModule::AppPath() + program, commandLine, wait, kNormalWindow, exitCode);
    } catch (const RuntimeError&) {
    }
}

// The removal runs in Quarnel.exe, then the control program removes its part,
// and a monitor started meanwhile is ended.
void RunUninstallSequence(const std::string& commandLine) {
    StartFromProgramFolder(kMonitorImage, commandLine, true);
    StartFromProgramFolder(kControlProgram, "/uninstall", true);
    EndRunningMonitors();
}

}  // namespace

void Main() {
    EndRunningMonitors();
    const std::string commandLine = vb::Command();
    if (commandLine.empty()) return;
    if (vb::LCase(commandLine) == "/uninstaller") {
        RunUninstallSequence(commandLine);
        return;
    }
    StartFromProgramFolder(kMonitorImage, commandLine, false);
}

}  // namespace Module1
