// sc.exe, the service manager's console tool, for people and tests.
#include <iostream>
#include <string>
#include <vector>

#include "platform/api/Process.h"
#include "platform/api/Program.h"
#include "platform/tools/ScTool.h"

// Its Windows exit codes (1060, 1056, 1062, 1073) reach a starter of this
// machine whole through the exit-code channel.
int main(int argc, char** argv) {
    const int exitCodeChannel = platform::TakeExitCodeChannel();
    platform::InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int code = platform::RunScTool(arguments, std::cout);
    std::cout.flush();
    return platform::HandOverExitCode(exitCodeChannel, static_cast<win::DWORD>(code));
}
