#include "EventCreateRun.h"

#include "ProgramRun.h"
#include "platform/api/Process.h"

namespace testsupport {

namespace {

std::vector<std::string> BuiltCommand(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{std::string(QUARNEL_BIN_DIR) + "/eventcreate.exe"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

}  // namespace

platform::HostRun RunBuiltEventCreate(const std::vector<std::string>& arguments) {
    return platform::RunHostProgram(BuiltCommand(arguments), "");
}

pid_t StartBuiltEventCreate(const std::vector<std::string>& arguments) {
    platform::HostProgramStart start;
    start.argv = BuiltCommand(arguments);
    return platform::SpawnHostProgram(start).pid;
}

win::DWORD RunInstalledEventCreate(const std::string& arguments) {
    const long pid = vb::Shell("\"" + std::string(kProgramFolder) + "eventcreate.exe\" " + arguments, 0);
    return platform::WaitForChildExit(pid);
}

}  // namespace testsupport
