#pragma once
// Runs a host shell command for a test (an archiver, a checker) with its
// output discarded, and gives its exit code (-1 when it did not exit).
#include <sys/wait.h>

#include <cstdlib>
#include <string>

namespace testsupport {

inline int ShellCommand(const std::string& command) {
    const int status = std::system(("( " + command + " ) >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
