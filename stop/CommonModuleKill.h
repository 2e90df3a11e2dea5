#pragma once
// The process-ending procedures of the stop program: every process of one
// image name is ended by a snapshot of the process list, by its identifier,
// through WMI and through the tskill and taskkill tools, one after the other.
#include <cstdint>
#include <string>

namespace CommonModule {

// Ends every process of the image name that the name or path ends in, by all
// five methods in turn; with bWait each tool's command window is waited for.
void KillProcessAllMethods(const std::string& sProcessName, bool bWait);

// Ends the processes of a process snapshot whose whole image name equals sProcessName
// (letter case ignored).
void KillProcess(const std::string& sProcessName);

// Ends one process by its identifier with the debug privilege; true when it
// was terminated.
bool KillProcess2(std::int32_t lProcessID, std::int32_t lExitCode);

// Ends the Win32_Process objects whose Name equals sProcessName (letter case ignored).
void KillProcessViaWMI(const std::string& sProcessName);

}  // namespace CommonModule
