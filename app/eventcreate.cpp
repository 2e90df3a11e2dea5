// eventcreate.exe: writes one event-log record from a shell, with the
// syntax of the Windows tool.
#include <iostream>
#include <string>
#include <vector>

#include "platform/tools/EventCreateTool.h"
#include "platform/api/Program.h"

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const platform::ToolResult result = platform::RunEventCreate(arguments);
    std::cout << result.output;
    std::cerr << result.error;
    return result.exitCode;
}
