#include "platform/api/DebugOutput.h"

#include "platform/host/DebugLine.h"

namespace win {

void OutputDebugStringA(const std::string& text) { platform::WriteDebugLine(text); }

}  // namespace win
