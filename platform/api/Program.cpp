#include "platform/api/Program.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/api/CommandLine.h"
#include "ProgramVersion.h"
#include "platform/host/HostFolder.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

struct ProgramState {
    std::vector<std::string> arguments;
    std::string rawCommandLine;
    bool hasRaw = false;
    std::string windowsExePath;
};

ProgramState& State() {
    static ProgramState state;
    return state;
}

// Asked for on every record: kept as long as the drive map it was found with.
std::string OwnExecutableWindowsPath() {
    if (!State().windowsExePath.empty()) return State().windowsExePath;
    static std::mutex mutex;
    static DriveMapList drivesOfKept;
    static std::string kept;
    const DriveMapList drives = DriveMap();
    std::lock_guard lock(mutex);
    if (drives != drivesOfKept) {
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        kept = ToWindowsPath(ec ? fs::current_path() / "Quarnel.exe" : exe);
        drivesOfKept = drives;
    }
    return kept;
}

}  // namespace

void InitProgram(int argc, char** argv) {
    ProgramState& state = State();
    state.arguments.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
    state.hasRaw = false;
    if (const char* raw = std::getenv(kRawCommandLineVariable)) {
        // The raw text counts only when it is what our own arguments were made from.
        if (SplitCommandLineArguments(raw) == state.arguments) {
            state.rawCommandLine = raw;
            state.hasRaw = true;
        }
        unsetenv(kRawCommandLineVariable);
    }
}

void EndProcess(int exitCode) {
    std::fflush(nullptr);
    ::_exit(exitCode);
}

void SetProgramPathForTests(const std::string& windowsExePath) { State().windowsExePath = windowsExePath; }

}  // namespace platform

namespace vb {
namespace App {

std::string Path() {
    const std::string exe = platform::OwnExecutableWindowsPath();
    const size_t slash = exe.rfind('\\');
    std::string folder = exe.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += "\\";
    return folder;
}

std::string EXEName() {
    const std::string exe = platform::OwnExecutableWindowsPath();
    std::string name = exe.substr(exe.rfind('\\') + 1);
    if (name.size() > 4 && platform::TextLower(name.substr(name.size() - 4)) == ".exe") name.resize(name.size() - 4);
    return name;
}

int Major() { return QUARNEL_VERSION_MAJOR; }
int Minor() { return QUARNEL_VERSION_MINOR; }
int Revision() { return QUARNEL_VERSION_REVISION; }
std::string Title() { return QUARNEL_PROGRAM_TITLE; }

}  // namespace App

std::string Command() {
    const platform::ProgramState& state = platform::State();
    if (state.hasRaw) return state.rawCommandLine;
    // Started without a Windows command line (from a host shell): the text that
    // Windows would have passed for the same arguments.
    return platform::JoinCommandLineArguments(state.arguments);
}

}  // namespace vb
