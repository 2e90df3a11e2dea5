#pragma once
// Runs the real executables of the build as the installed program of a
// temporary host: they are copied into the host's
// "C:\Program Files\Quarnel\" and started there with QUARNEL_HOST and the raw
// command line, their debug output (standard error) going to a file of the
// host. A generous kill-after limit keeps a hung program from hanging a test.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "TempHost.h"

namespace testsupport {

// The texts as pointers for posix_spawn or exec, ended by a null; valid while texts lives unchanged.
std::vector<char*> PointersOf(std::vector<std::string>& texts);

// Copies Quarnel.exe, Quarnel_Stop.exe and wintool from the build into the
// host's program folder and returns that folder's host path.
std::filesystem::path InstallProgram(const TempHost& host);

struct ProgramResult {
    int exitCode = -1;        // -1 when it did not end by itself
    bool killed = false;      // ended by the kill-after limit
    bool historyView = false; // a window that stays open until closed: ended by the test
    bool configWindow = false; // a configuration window loaded: it stays open until closed, ended by the test
    std::string debugOutput;  // everything written to standard error
};

// A started program. It is ended (with its process group) when the object goes.
class RunningProgram {
public:
    // Without a display the program runs without one (offscreen); with an X
    // display (":5") its windows show there. Its standard output goes with
    // the debug output, or into the file given.
    RunningProgram(const TempHost& host, const std::filesystem::path& executable, const std::string& commandLine,
                   const std::string& display = "", const std::filesystem::path& standardOutput = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t Pid() const { return pid_; }
    // False once it has ended (by itself or ended by another program).
    bool IsRunning();
    // Waits for the end, killing the program once the limit has passed.
    ProgramResult Wait(std::chrono::seconds killAfter = std::chrono::seconds(120));
    // The debug output written so far, by it and by the programs it started.
    std::string DebugOutput() const;
    // Waits until the debug output holds the text (or the limit passes).
    bool WaitForOutput(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(120)) const;

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int exitCode_ = -1;
    std::filesystem::path outputFile_;
};

// What the tray layer writes when a monitor adds its icon: from then on a
// live monitor waits for event-log records.
inline constexpr const char* kTrayIconAdded = "\tShell_NotifyIcon NIM_ADD: ";
// What a live monitor writes once it waits for records.
inline constexpr const char* kSubscribed = "\tWMI ExecNotificationQuery: subscribed to new event-log records";

// What a configuration window writes once its load has run.
inline constexpr const char* kConfigWindowLoaded = "\\Form_Load: configuration window loaded";

// Writes one record of the program's own event source ("Quarnel"), the stop
// signal of a live monitor, into the host's event log.
void WriteOwnRecord(const TempHost& host, const std::string& message = "Stop signal of the test.");

// Ends a live monitor by its stop signal: own records until it has ended.
ProgramResult StopLiveMonitor(const TempHost& host, RunningProgram& program,
                              std::chrono::seconds killAfter = std::chrono::seconds(120));

// Runs an installed program of the host ("Quarnel.exe", "Quarnel_Stop.exe")
// with a command line and waits for its end; a live monitor it turns into is
// ended by its stop signal, a history view (tray icon, no subscription) and a
// configuration window are ended by the test.
ProgramResult RunInstalled(const TempHost& host, const std::string& exeName, const std::string& commandLine,
                           std::chrono::seconds killAfter = std::chrono::seconds(120));

// Host path of the installed settings file.
std::filesystem::path InstalledIni(const TempHost& host);

}  // namespace testsupport
