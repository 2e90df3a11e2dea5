// sc.exe, the service manager's console tool, for people and tests.
#include <iostream>
#include <string>
#include <vector>

#include "platform/api/Program.h"
#include "platform/tools/ScTool.h"

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return platform::RunScTool(arguments, std::cout);
}
