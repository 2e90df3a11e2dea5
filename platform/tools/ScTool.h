#pragma once
// sc.exe: the service manager's console tool over the host's service
// database, with Windows' syntax ("option= value"), output and exit codes:
// create, delete, start, stop, query, config.
#include <iosfwd>
#include <string>
#include <vector>

namespace platform {

// Runs one sc.exe command line (the arguments after the program name);
// returns 0 or the Windows error code of the failure.
int RunScTool(const std::vector<std::string>& arguments, std::ostream& out);

}  // namespace platform
