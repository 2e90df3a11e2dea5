#pragma once
// Host programs the layer starts itself: the programs of Windows command
// lines, crontab, the desktop's URL opener. A child gets standard input,
// output and error and the one descriptor it is passed, nothing else of this
// process; every pipe made here is closed again whatever step fails.
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

struct HostProgramStart {
    std::vector<std::string> argv;  // argv[0] is the program's host path
    // The child's environment; this process's when null.
    const std::vector<std::string>* environment = nullptr;
    // Given to the child as its descriptor 3 when not -1.
    int passedDescriptor = -1;
    // The child starts with no signal blocked and SIGPIPE and SIGCHLD at their defaults.
    bool defaultSignals = false;
    // The child's standard output goes nowhere instead of to ours.
    bool discardOutput = false;
};
inline constexpr int kPassedDescriptorInChild = 3;

struct HostSpawn {
    pid_t pid = -1;
    int error = 0;  // errno of a failed start, 0 once started
};
// Starts the program; the caller waits for it.
HostSpawn SpawnHostProgram(const HostProgramStart& start);

struct HostRun {
    int exitCode = -1;  // -1 when it could not be started or did not exit by itself
    std::string output;
    std::string error;
};
// Runs a program with the input on its standard input and waits for it,
// collecting its standard output and error.
HostRun RunHostProgram(const std::vector<std::string>& argv, const std::string& input);

// Starts a program in a session of its own that nobody waits for; true once
// its exec has succeeded.
bool StartDetachedHostProgram(const std::vector<std::string>& argv);

}  // namespace platform
