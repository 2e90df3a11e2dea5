#pragma once
// The task scheduler's viewer, as "mmc.exe taskschd.msc" (Vista and later)
// and "control.exe schedtasks" (before) open it: the tasks of this host in a
// small window, or listed on standard output when there is no display.
#include <iosfwd>
#include <string>

namespace platform {

// mmc.exe: only the "taskschd.msc" console is known here.
int RunMmcTool(const std::string& argumentText, std::ostream& out);
// control.exe: only the "schedtasks" panel is known here.
int RunControlTool(const std::string& argumentText, std::ostream& out);

// The list as text: a header line and one line per task.
std::string TaskListText();

}  // namespace platform
