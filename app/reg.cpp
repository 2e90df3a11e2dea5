// reg.exe, the registry console tool, for people and tests.
#include "platform/tools/RegTool.h"

int main(int argc, char** argv) { return platform::RegToolMain(argc, argv); }
