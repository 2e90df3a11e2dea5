#include "Module1.h"

#include <cstdint>
#include <string>

#include "common/CommonModule.h"
#include "platform/Process.h"
#include "platform/Program.h"
#include "platform/RuntimeError.h"
#include "platform/WinPath.h"

namespace Module1 {

namespace {

constexpr const char* kMonitorImage = "Quarnel.exe";

void EndRunningMonitors() {
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (platform::NamesEqualNoCase(process.imageName, kMonitorImage))
            platform::TerminateProcessById(process.pid, 0);
}

void StartMonitor(const std::string& commandLine) {
    std::int32_t exitCode = 0;
    CommonModule::ShellX(CommonModule::AppPath() + kMonitorImage, commandLine, false, 1, exitCode);
}

}  // namespace

void Main() {
    try {
        EndRunningMonitors();
    } catch (const RuntimeError&) {
    }
    const std::string commandLine = vb::Command();
    if (commandLine.empty()) return;
    try {
        StartMonitor(commandLine);
    } catch (const RuntimeError&) {
    }
}

}  // namespace Module1
