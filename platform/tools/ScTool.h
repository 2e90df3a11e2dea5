#pragma once
// sc.exe: the service manager's console tool over the host's service
// database, with Windows' syntax ("option= value"), output and exit codes:
// create, delete, start, stop, query, config. The options are binPath=,
// DisplayName=, start=, type=, error=, obj= and password=; config changes
// only the values its options name.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/ServiceControl.h"

namespace platform {

// Runs one sc.exe command line (the arguments after the program name);
// returns 0 or the Windows error code of the failure.
int RunScTool(const std::vector<std::string>& arguments, std::ostream& out);

// What the options of a create or config command line (the command and the
// service name first) ask for; nothing when one is unknown, lacks its value
// or has a value sc does not know.
std::optional<ServiceConfigChange> ScOptionsChange(const std::vector<std::string>& arguments);

}  // namespace platform
