#pragma once
// Windows error numbers of host failures, and the system's texts for them.
#include <optional>
#include <string>

#include "platform/api/WinTypes.h"

namespace platform {

// The Windows error a failed host call with this errno gives; access denied
// for a failure Windows has no closer number for.
win::DWORD ErrorOfErrno(int error);

// The system's message for an error number, as FormatMessage gives it
// without its line end; nothing for a number the system has no text for.
// It knows every number this host's calls give.
std::optional<std::string> SystemMessageText(win::DWORD code);

// SystemMessageText, or "Error <n>." for a number without one.
std::string SystemErrorText(win::DWORD code);

}  // namespace platform
