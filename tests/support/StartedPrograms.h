#pragma once
// Programs a test starts through the process layer; whatever still runs is
// ended and reaped when the object goes.
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"

namespace testsupport {

class StartedPrograms {
public:
    StartedPrograms() = default;
    ~StartedPrograms();
    StartedPrograms(const StartedPrograms&) = delete;
    StartedPrograms& operator=(const StartedPrograms&) = delete;

    long Start(const std::string& commandLine);
    // Starts and waits; the program's exit code.
    win::DWORD Run(const std::string& commandLine);

private:
    std::vector<long> started_;
};

}  // namespace testsupport
