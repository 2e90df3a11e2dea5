#pragma once
// The zlib library the program calls. On this host it is the system's own
// zlib, linked in; host.ini [Zlib] Missing=1 makes a machine without it.
#include <optional>
#include <string>

namespace platform {

// zlibVersion() of the library, or nothing when it cannot be called.
std::optional<std::string> ZlibVersion();

}  // namespace platform
