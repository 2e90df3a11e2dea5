#include "StartedPrograms.h"

#include "platform/api/Process.h"

namespace testsupport {

StartedPrograms::~StartedPrograms() {
    for (long pid : started_) {
        const win::HANDLE process = win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE_, static_cast<win::DWORD>(pid));
        win::TerminateProcess(process, 0);
        win::CloseHandle(process);
        platform::WaitForChildExit(pid);
    }
}

long StartedPrograms::Start(const std::string& commandLine) {
    const long pid = vb::Shell(commandLine, 0);
    started_.push_back(pid);
    return pid;
}

win::DWORD StartedPrograms::Run(const std::string& commandLine) { return platform::WaitForChildExit(Start(commandLine)); }

}  // namespace testsupport
