#pragma once
// schtasks.exe, the Windows task scheduler's console tool, over this host:
//   schtasks /create /sc DAILY|WEEKLY|ONLOGON [/d days] [/st HH:mm[:ss]] /tn name /tr command
//            [/ru user] [/rl LIMITED|HIGHEST] [/it] [/f]
//   schtasks /delete /tn name [/f]      schtasks /run /tn name
//   schtasks /query [/fo TABLE|LIST] [/v] [/tn name]
// The arguments are read as the Windows scheduler reads them (an unterminated
// quoted value runs to the end of the line, \" is a literal quote). Each task
// is one file of the host folder's task folder. A daily or weekly task is
// also installed into the user's crontab and a log-on task into XDG autostart,
// when the host has them and host.ini [Scheduler] Crontab / Autostart are not
// "0"; each entry carries a tag of its task and host folder, sets QUARNEL_HOST
// and runs "schtasks /run" of its task through the host tool.
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ScheduledTask {
    std::string name;          // without a leading backslash, case as created
    std::string scheduleType;  // "DAILY", "WEEKLY" or "ONLOGON"
    std::string startTime;     // "HH:mm:ss"; empty for a log-on task
    std::string days;          // weekly days as given ("MON"); empty otherwise
    std::string taskToRun;     // the Windows command line the task starts
    std::string runAsUser;
    std::string runLevel;      // "LIMITED" or "HIGHEST"
    bool interactiveOnly = false;
};

// Runs one schtasks command line (the text after the program name); the
// exit code is 0 done, 1 failed. A question (replace? delete?) reads a line
// from `in`: "y" or "yes" goes on.
int RunSchedulerTool(const std::string& argumentText, std::ostream& out, std::istream& in);

// <host folder>/Tasks
std::filesystem::path TaskFolder();
// Every task of this host, in name order (letter case ignored).
std::vector<ScheduledTask> ListScheduledTasks();
// The task of a name (letter case ignored, a leading backslash allowed).
std::optional<ScheduledTask> FindScheduledTask(const std::string& name);

// The crontab line and the autostart file name and text of a task of this
// host, as they are installed. The file name holds the task's name and the
// host folder's ("Quarnel (quarnel-host 0a1b2c3d).desktop"), so that each
// host folder has a file of its own.
std::string CrontabLineOf(const ScheduledTask& task);
std::string AutostartFileNameOf(const ScheduledTask& task);
std::string AutostartEntryOf(const ScheduledTask& task);

}  // namespace platform
