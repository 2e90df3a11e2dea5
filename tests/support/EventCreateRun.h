#pragma once
// eventcreate.exe run from a test: the build's copy as a host program of the
// test's machine, or the installed copy as a program of the machine.
#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/host/HostProcess.h"
#include "platform/api/WinTypes.h"

namespace testsupport {

// The build's eventcreate.exe with these arguments, waited for.
platform::HostRun RunBuiltEventCreate(const std::vector<std::string>& arguments);
// The same, not waited for: the host process id (reap it with waitpid).
pid_t StartBuiltEventCreate(const std::vector<std::string>& arguments);

// "C:\Program Files\Quarnel\eventcreate.exe" with a Windows argument text,
// started through the process layer and waited for: its exit code.
win::DWORD RunInstalledEventCreate(const std::string& arguments);

}  // namespace testsupport
