// eventcreate.exe: writes one event-log record from a shell, with the
// syntax of the Windows tool.
#include "platform/tools/EventCreateTool.h"

int main(int argc, char** argv) { return platform::EventCreateMain(argc, argv); }
