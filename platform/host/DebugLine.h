#pragma once
// The debug output of this host: the process's standard error.
#include <string>

namespace platform {

// One write per line, so lines of several processes sharing the stream stay whole.
void WriteDebugLine(const std::string& text);

}  // namespace platform
