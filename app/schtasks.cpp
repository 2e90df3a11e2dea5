// schtasks.exe, the task scheduler's console tool, for people and tests.
#include <iostream>

#include "platform/api/Program.h"
#include "platform/tools/SchedulerTool.h"

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    return platform::RunSchedulerTool(vb::Command(), std::cout, std::cin);
}
