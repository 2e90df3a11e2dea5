#pragma once
// The debugger output of this host: standard error, one line per call.
#include <string>

namespace win {
void OutputDebugStringA(const std::string& text);
}
