// schtasks over a fresh host: the command lines read as the Windows scheduler
// reads them, the task folder, Windows' messages and exit codes, and the
// crontab and autostart installation against stand-ins (a crontab program on
// PATH that keeps its table in a file, HOME in a temporary folder).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "platform/tools/SchedulerTool.h"
#include "support/ScopedVariable.h"
#include "support/ShellCommand.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::ScopedVariable;
using testsupport::WriteHostFile;

// The create line the program writes, with its unterminated five-quote /tr value.
const std::string kHeartbeatCreate =
    "/create /ru system /sc DAILY /st 08:00:00 /rl highest /f /tn \"Quarnel Heartbeat\" /tr "
    "\"\\\"C:\\Program Files\\Quarnel\\Quarnel.exe\\\" /heartbeat";
const std::string kHeartbeatToRun = "\"C:\\Program Files\\Quarnel\\Quarnel.exe\" /heartbeat";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct ToolRun {
    int exitCode;
    std::string output;
};

ToolRun Schtasks(const std::string& arguments, const std::string& answers = "") {
    std::ostringstream out;
    std::istringstream in(answers);
    const int code = platform::RunSchedulerTool(arguments, out, in);
    return {code, out.str()};
}

class Scheduler : public testing::Test {
protected:
    void SetUp() override {
        host.WriteHostIni("Scheduler", "Crontab", "0");
        host.WriteHostIni("Scheduler", "Autostart", "0");
    }
    testsupport::TempHost host;
};

TEST_F(Scheduler, CreatesTheTaskOfTheProgramsCreateLine) {
    const ToolRun run = Schtasks(kHeartbeatCreate);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "SUCCESS: The scheduled task \"Quarnel Heartbeat\" has successfully been created.\n");
    const auto task = platform::FindScheduledTask("quarnel heartbeat");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->name, "Quarnel Heartbeat");
    EXPECT_EQ(task->scheduleType, "DAILY");
    EXPECT_EQ(task->startTime, "08:00:00");
    EXPECT_EQ(task->taskToRun, kHeartbeatToRun);
    EXPECT_EQ(task->runAsUser, "system");
    EXPECT_EQ(task->runLevel, "HIGHEST");
    EXPECT_TRUE(fs::is_directory(host.Folder() / "Tasks"));
    EXPECT_EQ(platform::ListScheduledTasks().size(), 1u);
}

TEST_F(Scheduler, ReadsWeeklyAndLogonTasks) {
    ASSERT_EQ(Schtasks("/create /ru system /sc WEEKLY /d MON /st 03:15 /tn \"Quarnel Application Update\" /tr "
                       "\"\\\"C:\\Program Files\\Quarnel\\Quarnel_Stop.exe\\\" /updatesilent")
                  .exitCode,
              0);
    ASSERT_EQ(Schtasks("/create /sc onlogon /rl highest /it /f /tn \"Quarnel\" /tr "
                       "\"\\\"C:\\Program Files\\Quarnel\\Quarnel.exe\\\" /startup")
                  .exitCode,
              0);
    const auto weekly = platform::FindScheduledTask("Quarnel Application Update");
    ASSERT_TRUE(weekly);
    EXPECT_EQ(weekly->scheduleType, "WEEKLY");
    EXPECT_EQ(weekly->days, "MON");
    EXPECT_EQ(weekly->startTime, "03:15:00");
    EXPECT_EQ(weekly->runLevel, "LIMITED");
    const auto logon = platform::FindScheduledTask("\\Quarnel");
    ASSERT_TRUE(logon);
    EXPECT_EQ(logon->scheduleType, "ONLOGON");
    EXPECT_TRUE(logon->interactiveOnly);
    EXPECT_EQ(logon->taskToRun, "\"C:\\Program Files\\Quarnel\\Quarnel.exe\" /startup");
}

TEST_F(Scheduler, DeletesWithTheSwitchesInEitherOrderAndReportsAMissingTask) {
    for (const std::string& line : {std::string("/delete /f /tn \"Quarnel Heartbeat\""),
                                    std::string("/delete /tn \"QUARNEL HEARTBEAT\" /f")}) {
        ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
        const ToolRun run = Schtasks(line);
        EXPECT_EQ(run.exitCode, 0) << line;
        EXPECT_EQ(run.output, "SUCCESS: The scheduled task \"Quarnel Heartbeat\" was successfully deleted.\n");
        EXPECT_FALSE(platform::FindScheduledTask("Quarnel Heartbeat")) << line;
    }
    const ToolRun missing = Schtasks("/delete /f /tn \"Quarnel\"");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.output, "ERROR: The system cannot find the file specified.\n");
}

TEST_F(Scheduler, AsksBeforeReplacingOrDeletingWithoutForce) {
    const std::string create = "/create /sc DAILY /st 09:00 /tn \"T\" /tr \"C:\\a.exe\"";
    ASSERT_EQ(Schtasks(create).exitCode, 0);
    const ToolRun kept = Schtasks("/create /sc DAILY /st 10:00 /tn \"T\" /tr \"C:\\b.exe\"", "n\n");
    EXPECT_TRUE(Has(kept.output, "already exists. Do you want to replace it (Y/N)?")) << kept.output;
    EXPECT_EQ(platform::FindScheduledTask("T")->taskToRun, "C:\\a.exe");
    EXPECT_EQ(Schtasks("/create /sc DAILY /st 10:00 /tn \"T\" /tr \"C:\\b.exe\"", "y\n").exitCode, 0);
    EXPECT_EQ(platform::FindScheduledTask("T")->taskToRun, "C:\\b.exe");
    Schtasks("/delete /tn T", "");  // no answer: kept
    EXPECT_TRUE(platform::FindScheduledTask("T"));
    EXPECT_EQ(Schtasks("/delete /tn T", "Y\n").exitCode, 0);
    EXPECT_FALSE(platform::FindScheduledTask("T"));
}

struct BadLine {
    const char* arguments;
    const char* message;
};

void PrintTo(const BadLine& c, std::ostream* out) { *out << c.arguments; }

class SchedulerBadLine : public Scheduler, public testing::WithParamInterface<BadLine> {};

TEST_P(SchedulerBadLine, FailsWithWindowsMessageAndCreatesNothing) {
    const ToolRun run = Schtasks(GetParam().arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.output, GetParam().message)) << run.output;
    EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SchedulerBadLine,
    testing::Values(
        BadLine{"", "ERROR: Invalid syntax."},
        BadLine{"/create /sc DAILY /st 08:00 /tr x", "ERROR: Invalid syntax. Mandatory option '/tn' is missing."},
        BadLine{"/create /sc DAILY /st 08:00 /tn x", "ERROR: Invalid syntax. Mandatory option '/tr' is missing."},
        BadLine{"/create /st 08:00 /tn x /tr y", "ERROR: Invalid syntax. Mandatory option '/sc' is missing."},
        BadLine{"/create /sc HOURLYISH /tn x /tr y", "ERROR: Invalid value for /SC option."},
        BadLine{"/create /sc DAILY /st 25:00 /tn x /tr y", "ERROR: Invalid Start Time value."},
        BadLine{"/create /sc DAILY /st /rl highest /tn x /tr y", "Value expected for '/st'"},
        BadLine{"/create /sc DAILY /st 8:00am /tn x /tr y", "ERROR: Invalid Start Time value."},
        BadLine{"/create /sc WEEKLY /d MUN /st 08:00 /tn x /tr y", "ERROR: Invalid value for /D option."},
        BadLine{"/create /sc DAILY /tn x /tn z /tr y", "'/tn' option is not allowed more than '1' time(s)."},
        BadLine{"/create /sc DAILY /tn x /tr y /bogus", "ERROR: Invalid argument/option - '/bogus'."},
        BadLine{"/create /sc DAILY /tn x /tr y stray", "ERROR: Invalid argument/option - 'stray'."},
        BadLine{"/create /sc DAILY /tn x /tr "
                "\"C:\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.exe\"",
                "cannot be more than 261 character(s)."},
        BadLine{"/create /delete /tn x", "ERROR: Invalid syntax."}));

TEST_F(Scheduler, QueryListsEveryTaskWithWindowsLines) {
    EXPECT_TRUE(Has(Schtasks("/query /fo LIST /v").output, "INFO: There are no scheduled tasks"));
    ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
    ASSERT_EQ(Schtasks("/create /sc onlogon /it /f /tn \"Quarnel\" /tr \"\\\"C:\\Q.exe\\\" /startup").exitCode, 0);
    const ToolRun run = Schtasks("/query /fo LIST /v");
    EXPECT_EQ(run.exitCode, 0);
    const std::string label(38, ' ');
    auto line = [&](const std::string& name, const std::string& value) {
        return name + label.substr(name.size()) + value + "\n";
    };
    EXPECT_TRUE(Has(run.output, line("TaskName:", "\\Quarnel Heartbeat"))) << run.output;
    EXPECT_TRUE(Has(run.output, line("Schedule Type:", "Daily "))) << run.output;
    EXPECT_TRUE(Has(run.output, line("Start Time:", "08:00:00"))) << run.output;
    EXPECT_TRUE(Has(run.output, line("Task To Run:", kHeartbeatToRun))) << run.output;
    EXPECT_TRUE(Has(run.output, line("Run As User:", "SYSTEM"))) << run.output;
    EXPECT_TRUE(Has(run.output, line("TaskName:", "\\Quarnel"))) << run.output;
    EXPECT_TRUE(Has(run.output, line("Schedule Type:", "At logon time"))) << run.output;
    EXPECT_LT(run.output.find("\\Quarnel\n"), run.output.find("\\Quarnel Heartbeat"));
    const ToolRun one = Schtasks("/query /tn \"Nothing\"");
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(one.output, "ERROR: The system cannot find the file specified.\n");
}

// Two schtasks.exe of the build creating one task at once, round after round:
// the task file is always the whole file of one of them, and no temporary stays.
TEST_F(Scheduler, TwoCreatesOfOneTaskAtOnceLeaveTheWholeFileOfOne) {
    const std::string tool = "'" + (fs::path(QUARNEL_BIN_DIR) / "schtasks.exe").string() + "'";
    // Task files of different lengths, so that a mixture of the two shows.
    const std::string longRun = "C:\\" + std::string(240, 'L') + ".exe";
    const std::string shortRun = "C:\\S.exe";
    const std::string both = tool + " /create /sc DAILY /st 01:00 /tn Same /tr '" + longRun + "' /f & " + tool +
                             " /create /sc DAILY /st 02:00 /tn Same /tr '" + shortRun + "' /f & wait";
    constexpr int kRounds = 150;
    int mixed = 0;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(testsupport::ShellCommand(both), 0) << round;
        const std::string text = ReadHostFile(platform::TaskFolder() / "same.task");
        const auto task = platform::FindScheduledTask("Same");
        const bool whole = task && std::count(text.begin(), text.end(), '\n') == 8 &&
                           ((task->taskToRun == longRun && task->startTime == "01:00:00") ||
                            (task->taskToRun == shortRun && task->startTime == "02:00:00"));
        if (!whole) ++mixed;
        EXPECT_TRUE(whole) << "round " << round << ":\n" << text;
        if (mixed > 3) break;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(platform::TaskFolder())) names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"same.task"});
}

// ---- installation into the host ----------------------------------------------

// A crontab program that keeps the table in a file beside it; "-l" on no
// table answers as the real one does.
class HostInstallation : public testing::Test {
protected:
    void SetUp() override {
        standIns = host.Folder() / "standins";
        // A fresh host has both switched off; here they go to the stand-ins.
        host.WriteHostIni("Scheduler", "Crontab", "1");
        host.WriteHostIni("Scheduler", "Autostart", "1");
        fs::create_directories(standIns / "bin");
        fs::create_directories(standIns / "home" / ".config" / "autostart");
        table = standIns / "crontab.txt";
        WriteHostFile(standIns / "bin" / "crontab",
                      "#!/bin/sh\n"
                      "table='" + table.string() + "'\n"
                      "if [ -f '" + (standIns / "refuse").string() + "' ]; then echo 'cron: permission denied' >&2; exit 1; fi\n"
                      "if [ \"$1\" = -l ]; then\n"
                      "  if [ -f \"$table\" ]; then cat \"$table\"; exit 0; fi\n"
                      "  echo \"no crontab for $(id -un)\" >&2; exit 1\n"
                      "fi\n"
                      "cat > \"$table\"\n");
        chmod((standIns / "bin" / "crontab").c_str(), 0755);
        const char* path = std::getenv("PATH");
        pathVariable.emplace("PATH", (standIns / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));
        homeVariable.emplace("HOME", (standIns / "home").string());
        configVariable.emplace("XDG_CONFIG_HOME", nullptr);
    }
    fs::path Autostart(const std::string& file) const { return standIns / "home" / ".config" / "autostart" / file; }
    // The autostart file of this host's log-on task of that name.
    fs::path LogonEntry(const std::string& task) const {
        platform::ScheduledTask probe;
        probe.name = task;
        return Autostart(platform::AutostartFileNameOf(probe));
    }

    testsupport::TempHost host;
    fs::path standIns;
    fs::path table;
    std::optional<ScopedVariable> pathVariable;
    std::optional<ScopedVariable> homeVariable;
    std::optional<ScopedVariable> configVariable;
};

// The command part of a crontab line as cron hands it to the shell.
std::string CronCommand(const std::string& line) {
    size_t at = 0;
    for (int field = 0; field < 5; ++field) at = line.find(' ', at) + 1;
    std::string command;
    const std::string rest = line.substr(at);
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == '%') continue;
        command += rest[i];
    }
    return command;
}

std::string LineOf(const std::string& text, const std::string& part) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (Has(line, part)) return line;
    return {};
}

TEST_F(HostInstallation, DailyAndWeeklyTasksGoIntoTheCrontabBesideTheUsersLines) {
    WriteHostFile(table, "# the user's own\n5 4 * * * /usr/bin/true\n");
    ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
    ASSERT_EQ(Schtasks("/create /ru system /sc WEEKLY /d MON /st 03:15:30 /tn \"Quarnel Application Update\" "
                       "/tr \"C:\\Stop.exe\"").exitCode, 0);
    const std::string text = ReadHostFile(table);
    EXPECT_TRUE(Has(text, "# the user's own\n5 4 * * * /usr/bin/true\n")) << text;
    const std::string daily = LineOf(text, "Quarnel Heartbeat");
    const std::string weekly = LineOf(text, "Quarnel Application Update");
    EXPECT_EQ(daily.rfind("0 8 * * * ", 0), 0u) << daily;
    EXPECT_EQ(weekly.rfind("15 3 * * 1 ", 0), 0u) << weekly;
    EXPECT_TRUE(Has(daily, "QUARNEL_HOST='" + host.Folder().string() + "'")) << daily;
    EXPECT_EQ(daily, platform::CrontabLineOf(*platform::FindScheduledTask("Quarnel Heartbeat")));

    // Re-creating replaces the line; deleting removes exactly it.
    ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
    EXPECT_EQ(ReadHostFile(table), text);
    ASSERT_EQ(Schtasks("/delete /f /tn \"Quarnel Heartbeat\"").exitCode, 0);
    const std::string after = ReadHostFile(table);
    EXPECT_FALSE(Has(after, "Quarnel Heartbeat")) << after;
    EXPECT_TRUE(Has(after, "Quarnel Application Update")) << after;
    EXPECT_TRUE(Has(after, "5 4 * * * /usr/bin/true\n")) << after;
}

TEST_F(HostInstallation, ASameNamedTaskOfAnotherHostFolderStays) {
    const std::string foreign = "0 8 * * * true # Quarnel task \"Quarnel Heartbeat\" of /elsewhere/host\n";
    WriteHostFile(table, foreign);
    ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
    ASSERT_EQ(Schtasks("/delete /f /tn \"Quarnel Heartbeat\"").exitCode, 0);
    EXPECT_EQ(ReadHostFile(table), foreign);
}

TEST_F(HostInstallation, AnUnreadableCrontabIsNotOverwritten) {
    WriteHostFile(table, "5 4 * * * /usr/bin/true\n");
    WriteHostFile(standIns / "refuse", "");
    ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
    fs::remove(standIns / "refuse");
    EXPECT_EQ(ReadHostFile(table), "5 4 * * * /usr/bin/true\n");
}

// A percent sign would end cron's command; the line runs the task through the host's process layer.
TEST_F(HostInstallation, TheCrontabLineRunsTheTasksCommandLine) {
    WriteHostFile(host.HostOf("C:\\Tools\\mark.cmd"), "@echo %1> \"C:\\Tools\\ran 100%%.txt\"\r\n");
    ASSERT_EQ(Schtasks("/create /sc DAILY /st 23:59 /tn \"Mark 100%\" /tr \"\\\"C:\\Tools\\mark.cmd\\\" fired")
                  .exitCode,
              0);
    const std::string line = LineOf(ReadHostFile(table), "Mark 100");
    ASSERT_FALSE(line.empty()) << ReadHostFile(table);
    for (size_t at = line.find('%'); at != std::string::npos; at = line.find('%', at + 1))
        EXPECT_EQ(line[at - 1], '\\') << line;
    const std::string command = CronCommand(line);
    {
        ScopedVariable noHost("QUARNEL_HOST", nullptr);
        ASSERT_EQ(std::system(("/bin/sh -c " + std::string("'") + [&] {
                                   std::string quoted;
                                   for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
                                   return quoted;
                               }() + "' > /dev/null").c_str()),
                  0);
    }
    const fs::path marker = host.HostOf("C:\\Tools\\ran 100%.txt");
    for (int i = 0; i < 600 && ReadHostFile(marker).find('\n') == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ReadHostFile(marker).substr(0, 5), "fired");
}

TEST_F(HostInstallation, LogonTaskGoesIntoAutostartAndOutAgain) {
    ASSERT_EQ(Schtasks("/create /sc onlogon /rl highest /it /f /tn \"Quarnel\" /tr "
                       "\"\\\"C:\\Program Files\\Quarnel\\Quarnel.exe\\\" /startup").exitCode,
              0);
    const std::string entry = ReadHostFile(LogonEntry("Quarnel"));
    EXPECT_EQ(entry, platform::AutostartEntryOf(*platform::FindScheduledTask("Quarnel")));
    EXPECT_TRUE(Has(entry, "Exec=env \"QUARNEL_HOST=" + host.Folder().string() + "\" ")) << entry;
    EXPECT_TRUE(Has(entry, "\"schtasks\" \"/run\" \"/tn\" \"Quarnel\"\n")) << entry;
    EXPECT_FALSE(fs::exists(table));
    ASSERT_EQ(Schtasks("/delete /tn \"Quarnel\" /f").exitCode, 0);
    EXPECT_FALSE(fs::exists(LogonEntry("Quarnel")));
}

// A fresh account's desktop has no autostart folder yet, and maybe no .config.
TEST_F(HostInstallation, AMissingAutostartFolderIsMadeForTheOwner) {
    const fs::path config = Autostart("").parent_path().parent_path();
    fs::remove_all(config);
    ASSERT_EQ(Schtasks("/create /sc onlogon /tn \"Quarnel\" /tr \"C:\\Q.exe\"").exitCode, 0);
    EXPECT_TRUE(fs::exists(LogonEntry("Quarnel")));
    for (const fs::path& folder : {config, Autostart("").parent_path()}) {
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
    // A home that is not there is not made up.
    ScopedVariable noHome("HOME", (standIns / "nobody-home").c_str());
    ASSERT_EQ(Schtasks("/create /sc onlogon /tn \"Other\" /tr \"C:\\Q.exe\"").exitCode, 0);
    EXPECT_FALSE(fs::exists(standIns / "nobody-home"));
    EXPECT_TRUE(platform::FindScheduledTask("Other"));
}

// A line break in a task's texts or in the host folder would write lines of its own into the
// crontab and the autostart entry: such a task is refused with the scheduler's error.
TEST_F(HostInstallation, ControlCharactersInATaskOrTheHostFolderAreRefused) {
    struct Case {
        std::string arguments;
        const char* message;
    };
    const Case cases[] = {
        {"/create /sc DAILY /st 08:00 /tn \"Bad\nName\" /tr C:\\Q.exe", "ERROR: Invalid syntax."},
        {"/create /sc DAILY /st 08:00 /tn Good /tr \"C:\\Q.exe\n* * * * * rm -rf ~\"", "ERROR: Invalid syntax."},
    };
    for (const Case& c : cases) {
        const ToolRun run = Schtasks(c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments;
        EXPECT_TRUE(Has(run.output, c.message)) << c.arguments << "\n" << run.output;
    }
    for (const char* folder : {"line\nbreak", "carriage\rreturn", "tab\there"}) {
        const fs::path odd = host.Folder() / folder;
        fs::create_directories(odd);
        ScopedVariable oddHost("QUARNEL_HOST", odd.c_str());
        for (const std::string& create : {kHeartbeatCreate, std::string("/create /sc onlogon /tn Q /tr C:\\Q.exe")}) {
            const ToolRun run = Schtasks(create);
            EXPECT_EQ(run.exitCode, 1) << folder;
            EXPECT_TRUE(Has(run.output, "ERROR: The parameter is incorrect.")) << run.output;
        }
        EXPECT_TRUE(platform::ListScheduledTasks().empty());
    }
    EXPECT_FALSE(fs::exists(table));
    EXPECT_TRUE(fs::is_empty(Autostart("").parent_path()));
}

// The command of an autostart entry's Exec key, as a desktop runs it at log-on.
std::string ExecCommand(const std::string& entry) {
    const size_t start = entry.find("\nExec=") + 6;
    const std::string value = entry.substr(start, entry.find('\n', start) - start);
    std::string command;
    for (size_t i = 0; i < value.size(); ++i) {
        // String escapes first (a doubled backslash), then the field codes' doubled percent sign;
        // what is left quotes as the shell's double quotes do.
        if ((value[i] == '\\' && i + 1 < value.size() && value[i + 1] == '\\') ||
            (value[i] == '%' && i + 1 < value.size() && value[i + 1] == '%'))
            ++i;
        command += value[i];
    }
    return command;
}

std::string ShellSingleQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Two host folders with a log-on task of one name: each has an entry of its
// own, each entry runs its own host's task, and the removal of one host's
// task takes only that host's entry.
TEST_F(HostInstallation, LogonTasksOfTwoHostFoldersHaveAnEntryEach) {
    const fs::path first = host.Folder();
    const fs::path second = host.Folder() / "second host";
    WriteHostFile(second / "host.ini", "[Scheduler]\r\nCrontab=1\r\nAutostart=1\r\n");
    std::map<fs::path, fs::path> entries;
    for (const fs::path& folder : {first, second}) {
        ScopedVariable thisHost("QUARNEL_HOST", folder.c_str());
        WriteHostFile(folder / "drive_c" / "Tools" / "mark.cmd", "@echo %1> \"C:\\Tools\\ran.txt\"\r\n");
        ASSERT_EQ(Schtasks("/create /sc onlogon /it /f /tn \"Quarnel\" /tr \"\\\"C:\\Tools\\mark.cmd\\\" logged-on")
                      .exitCode,
                  0);
        entries[folder] = LogonEntry("Quarnel");
    }
    ASSERT_NE(entries[first], entries[second]);
    EXPECT_NE(entries[first].filename().string().find("Quarnel ("), std::string::npos) << entries[first];
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(Autostart(""))) files.push_back(entry.path().filename());
    EXPECT_EQ(files.size(), 2u);

    // At log-on each entry runs its own host's task.
    for (const fs::path& folder : {first, second}) {
        const std::string command = ExecCommand(ReadHostFile(entries[folder]));
        ScopedVariable noHost("QUARNEL_HOST", nullptr);
        ASSERT_EQ(testsupport::ShellCommand("/bin/sh -c " + ShellSingleQuoted(command)), 0) << command;
        const fs::path marker = folder / "drive_c" / "Tools" / "ran.txt";
        for (int i = 0; i < 600 && ReadHostFile(marker).find('\n') == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(ReadHostFile(marker).substr(0, 9), "logged-on") << folder;
        fs::remove(marker);
        const fs::path& other = folder == first ? second : first;
        EXPECT_FALSE(fs::exists(other / "drive_c" / "Tools" / "ran.txt")) << folder;
    }

    const std::string secondEntry = ReadHostFile(entries[second]);
    ASSERT_EQ(Schtasks("/delete /tn \"Quarnel\" /f").exitCode, 0);
    EXPECT_FALSE(fs::exists(entries[first]));
    EXPECT_EQ(ReadHostFile(entries[second]), secondEntry);
}

// An entry of this host under the name entries once had (the task's name
// alone) goes when the task is made again.
TEST_F(HostInstallation, AnEntryUnderItsFormerNameGoesWhenTheTaskIsMadeAgain) {
    ASSERT_EQ(Schtasks("/create /sc onlogon /tn \"Quarnel\" /tr \"C:\\Q.exe\"").exitCode, 0);
    fs::rename(LogonEntry("Quarnel"), Autostart("Quarnel.desktop"));
    ASSERT_EQ(Schtasks("/create /sc onlogon /f /tn \"Quarnel\" /tr \"C:\\Q.exe\"").exitCode, 0);
    EXPECT_FALSE(fs::exists(Autostart("Quarnel.desktop")));
    EXPECT_TRUE(fs::exists(LogonEntry("Quarnel")));
}

TEST_F(HostInstallation, AnAutostartFileOfAnotherHostStays) {
    const std::string foreign = "[Desktop Entry]\nName=Quarnel\nX-Quarnel-Task=Quarnel\nX-Quarnel-Host=/other\n";
    ASSERT_EQ(Schtasks("/create /sc onlogon /tn \"Quarnel\" /tr \"C:\\Q.exe\"").exitCode, 0);
    WriteHostFile(Autostart("Quarnel.desktop"), foreign);
    ASSERT_EQ(Schtasks("/delete /tn \"Quarnel\" /f").exitCode, 0);
    EXPECT_EQ(ReadHostFile(Autostart("Quarnel.desktop")), foreign);
}

TEST_F(HostInstallation, HostIniSwitchesTurnEachInstallationOff) {
    host.WriteHostIni("Scheduler", "Crontab", "0");
    host.WriteHostIni("Scheduler", "Autostart", "0");
    ASSERT_EQ(Schtasks(kHeartbeatCreate).exitCode, 0);
    ASSERT_EQ(Schtasks("/create /sc onlogon /tn \"Quarnel\" /tr \"C:\\Q.exe\"").exitCode, 0);
    EXPECT_FALSE(fs::exists(table));
    EXPECT_FALSE(fs::exists(LogonEntry("Quarnel")));
    EXPECT_TRUE(platform::FindScheduledTask("Quarnel Heartbeat"));
}

}  // namespace
