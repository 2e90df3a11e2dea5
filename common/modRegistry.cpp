#include "modRegistry.h"

#include "platform/Environment.h"

namespace modRegistry {

bool Is64BitWindows() { return vb::Environ("ProgramFiles(x86)").size() >= 2; }

}  // namespace modRegistry
