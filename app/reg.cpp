// reg.exe, the registry console tool, for people and tests.
#include <iostream>
#include <string>
#include <vector>

#include "platform/api/Program.h"
#include "platform/host/SqliteStatement.h"
#include "platform/tools/RegTool.h"

int main(int argc, char** argv) {
    platform::UseSqliteForShortProcess();
    platform::InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return platform::RunRegTool(arguments, std::cout, std::cerr, std::cin);
}
