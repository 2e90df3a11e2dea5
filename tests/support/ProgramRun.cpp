#include "ProgramRun.h"

#include "ScopedVariable.h"
#include "platform/api/EventLog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "platform/api/CommandLine.h"

extern char** environ;

namespace testsupport {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kInstalledFiles[] = {"Quarnel.exe", "Quarnel_Stop.exe", "wintool", "eventcreate.exe", "reg.exe",
                                          "schtasks.exe"};

bool IsDroppedVariable(const char* entry) {
    static const char* const dropped[] = {"QUARNEL_HOST=", "QUARNEL_CMDLINE=", "DISPLAY=", "WAYLAND_DISPLAY=",
                                          "QT_QPA_PLATFORM="};
    for (const char* prefix : dropped)
        if (std::strncmp(entry, prefix, std::strlen(prefix)) == 0) return true;
    return false;
}

// The environment of a program of the host: the test's own, without a
// display unless one is given, with the host folder and the exact command-line text.
std::vector<std::string> ChildEnvironment(const TempHost& host, const std::string& commandLine,
                                          const std::string& display) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry)
        if (!IsDroppedVariable(*entry)) variables.emplace_back(*entry);
    variables.push_back("QUARNEL_HOST=" + host.Folder().string());
    variables.push_back("QUARNEL_CMDLINE=" + commandLine);
    if (!display.empty()) {
        variables.push_back("DISPLAY=" + display);
        variables.push_back("QT_QPA_PLATFORM=xcb");
    }
    return variables;
}

fs::path NewOutputFile(const TempHost& host) {
    static std::atomic<int> counter{0};
    return host.Folder() / ("debug-output-" + std::to_string(++counter) + ".txt");
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

}  // namespace

std::vector<char*> PointersOf(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

fs::path InstallProgram(const TempHost& host) {
    const fs::path folder = host.HostOf(kProgramFolder);
    fs::create_directories(folder);
    for (const char* name : kInstalledFiles)
        fs::copy_file(fs::path(QUARNEL_BIN_DIR) / name, folder / name, fs::copy_options::overwrite_existing);
    return folder;
}

fs::path InstalledIni(const TempHost& host) { return host.HostOf(kProgramFolder) / "Quarnel.ini"; }

RunningProgram::RunningProgram(const TempHost& host, const fs::path& executable, const std::string& commandLine,
                               const std::string& display, const fs::path& standardOutput)
    : outputFile_(NewOutputFile(host)) {
    std::vector<std::string> arguments{executable.string()};
    for (std::string& argument : platform::SplitCommandLineArguments(commandLine)) arguments.push_back(std::move(argument));
    std::vector<std::string> variables = ChildEnvironment(host, commandLine, display);
    std::vector<char*> argv = PointersOf(arguments);
    std::vector<char*> envp = PointersOf(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, outputFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (standardOutput.empty())
        posix_spawn_file_actions_adddup2(&actions, 2, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, standardOutput.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int error = posix_spawn(&pid_, executable.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + executable.string() + ": " + std::strerror(error));
}

RunningProgram::~RunningProgram() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    if (!ended_) waitpid(pid_, nullptr, 0);
}

ProgramResult RunningProgram::Wait(std::chrono::seconds killAfter) {
    ProgramResult result;
    const auto deadline = Clock::now() + killAfter;
    while (IsRunning()) {
        if (Clock::now() >= deadline) {
            kill(-pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            ended_ = true;
            result.killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!result.killed) result.exitCode = exitCode_;
    result.debugOutput = DebugOutput();
    return result;
}

bool RunningProgram::IsRunning() {
    if (ended_) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return true;
    ended_ = true;
    if (done == pid_) exitCode_ = ExitCodeOf(status);
    return false;
}

std::string RunningProgram::DebugOutput() const { return ReadHostFile(outputFile_); }

bool RunningProgram::WaitForOutput(const std::string& text, std::chrono::seconds limit) const {
    const auto deadline = Clock::now() + limit;
    while (DebugOutput().find(text) == std::string::npos) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void WriteOwnRecord(const TempHost& host, const std::string& message) {
    const ScopedVariable machine("QUARNEL_HOST", host.Folder().string());
    const win::HANDLE source = win::RegisterEventSourceA(nullptr, "Quarnel");
    const char* strings[] = {message.c_str()};
    const unsigned char data = 1;
    win::ReportEventA(source, win::EVENTLOG_INFORMATION_TYPE, 0, 10177, nullptr, 1, 1, strings, &data);
    win::DeregisterEventSource(source);
}

ProgramResult StopLiveMonitor(const TempHost& host, RunningProgram& program, std::chrono::seconds killAfter) {
    // The subscription starts a moment after the icon: write until it is heard.
    const auto deadline = Clock::now() + killAfter;
    while (program.IsRunning() && Clock::now() < deadline) {
        WriteOwnRecord(host);
        for (int i = 0; i < 30 && program.IsRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return program.Wait(std::chrono::seconds(1));
}

ProgramResult RunInstalled(const TempHost& host, const std::string& exeName, const std::string& commandLine,
                           std::chrono::seconds killAfter) {
    RunningProgram program(host, host.HostOf(kProgramFolder) / exeName, commandLine);
    const auto deadline = Clock::now() + killAfter;
    while (program.IsRunning() && Clock::now() < deadline) {
        if (program.DebugOutput().find(kConfigWindowLoaded) != std::string::npos) {
            ProgramResult window = program.Wait(std::chrono::seconds(0));
            window.killed = false;
            window.configWindow = true;
            return window;
        }
        if (program.DebugOutput().find(kTrayIconAdded) != std::string::npos) {
            if (program.WaitForOutput(kSubscribed, std::chrono::seconds(3))) return StopLiveMonitor(host, program, killAfter);
            if (!program.IsRunning()) break;
            ProgramResult view = program.Wait(std::chrono::seconds(0));
            view.killed = false;
            view.historyView = true;
            return view;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return program.Wait(std::chrono::seconds(1));
}

}  // namespace testsupport
