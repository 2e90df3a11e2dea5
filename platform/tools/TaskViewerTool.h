#pragma once
// The task scheduler's viewer, as "mmc.exe taskschd.msc" (Vista and later)
// and "control.exe schedtasks" (before) open it: the tasks of this host in a
// small window, or listed on standard output when there is no display.
#include <iosfwd>
#include <memory>
#include <string>

class QWidget;

namespace platform {

// mmc.exe: only the "taskschd.msc" console is known here.
int RunMmcTool(const std::string& argumentText, std::ostream& out);
// control.exe: only the "schedtasks" panel is known here.
int RunControlTool(const std::string& argumentText, std::ostream& out);

// The window of the task list, not yet shown.
std::unique_ptr<QWidget> NewTaskWindow();

// The list as text: a header line and one line per task.
std::string TaskListText();

}  // namespace platform
