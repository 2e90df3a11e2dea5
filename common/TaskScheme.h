#pragma once
// The command-line scheme every scheduled task of the program is created
// with: the schtasks.exe arguments of the heartbeat, update and rules-update
// tasks, for the start-up tasks and for the windows that schedule them.
#include <string>

namespace TaskScheme {

inline constexpr const char* kRulesUpdateTask = "Quarnel Rules Update";
inline constexpr const char* kAppUpdateTask = "Quarnel Application Update";
inline constexpr const char* kHeartbeatTask = "Quarnel Heartbeat";

// The rules profiles are "0" to "3", the digit of the "/updaterules" switch;
// any other text would make a task that only does a normal start.
bool IsRulesProfile(const std::string& text);

// /delete /f /tn "<name>"
std::string DeleteArguments(const std::string& taskName);
// The /tr value: quote, backslash-quote, the program, backslash-quote, the
// switch, and no closing quote, so that the scheduler's command is the
// program in quotes followed by the switch.
std::string TaskToRun(const std::string& programPath, const std::string& switchText);
// The daily or weekly (Monday) task of a time, run as the system account;
// Vista and later replace an existing task and run it with the highest rights.
std::string CreateArguments(bool weekly, const std::string& startTime, bool vistaOrLater,
                            const std::string& taskName, const std::string& programPath,
                            const std::string& switchText);
// Deletes and creates the task, each hidden and waited for; true when the
// scheduler took the new task (a missing one to delete is no failure).
bool ReplaceTask(bool weekly, const std::string& startTime, const std::string& taskName,
                 const std::string& programPath, const std::string& switchText);

}  // namespace TaskScheme
