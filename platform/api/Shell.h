#pragma once
// The shell's open action: a file or address is handed to the desktop's
// handler (xdg-open on this host) as one argument, never through a command
// shell; the handler runs on its own and is reaped. The shell's free-space
// query of a drive.
#include <cstdint>
#include <string>

#include "platform/api/WinTypes.h"

namespace win {

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;

constexpr std::intptr_t SE_ERR_FNF = 2;
constexpr std::intptr_t SE_ERR_NOASSOC = 31;

// Greater than 32 on success; SE_ERR_NOASSOC when there is no handler for the
// verb or no desktop handler on this host, SE_ERR_FNF for an empty file.
std::intptr_t ShellExecuteA(HWND owner, const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory, int showCommand);

// As GetDiskFreeSpaceExA: FALSE, the outputs untouched, for a drive that is not there.
BOOL SHGetDiskFreeSpaceExA(const std::string& directoryName, std::uint64_t* freeBytesAvailableToCaller,
                           std::uint64_t* totalNumberOfBytes, std::uint64_t* totalNumberOfFreeBytes);

}  // namespace win
