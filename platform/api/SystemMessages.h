#pragma once
// FormatMessageA over the message texts this host carries: the system's
// (FORMAT_MESSAGE_FROM_SYSTEM) and those of a module loaded by name
// (wininet.dll's internet errors, FORMAT_MESSAGE_FROM_HMODULE).
#include <string>

#include "platform/api/WinTypes.h"
#include "platform/api/WindowMessages.h"  // HMODULE, GetModuleHandleA ("wininet.dll")

namespace win {

constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;

// The text of the message, ending in CR LF, copied with its NUL into a buffer
// of size characters; its length, or 0 (ERROR_MR_MID_NOT_FOUND when the source
// has no such message, ERROR_INSUFFICIENT_BUFFER when it does not fit).
DWORD FormatMessageA(DWORD flags, HMODULE source, DWORD messageId, DWORD languageId, char* buffer, DWORD size,
                     void* arguments);

}  // namespace win
