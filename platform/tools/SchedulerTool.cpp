#include "platform/tools/SchedulerTool.h"
#include "platform/host/HostProcess.h"
#include "platform/host/HostSearchPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>

#include "platform/api/CommandLine.h"
#include "platform/api/Environment.h"
#include "platform/host/HostFolder.h"
#include "platform/api/Process.h"
#include "platform/host/WholeFile.h"
#include "platform/host/WinPath.h"
#include "platform/tools/WindowsTools.h"
#include "platform/host/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

const char* const kNotFound = "ERROR: The system cannot find the file specified.";
constexpr size_t kMaxTaskToRun = 261;
constexpr int kLabelWidth = 38;

// ---- reading the command line -------------------------------------------------

struct Options {
    std::string operation;                       // "create", "delete", "run", "query"
    std::map<std::string, std::string> values;   // option without "/" in lower case -> value
    bool force = false;
    bool interactive = false;
    bool verbose = false;
    std::string error;                           // the whole error text when the line is wrong
};

bool IsOption(const std::string& argument) {
    return argument.size() >= 2 && (argument[0] == '/' || argument[0] == '-');
}

std::string UsageLine(const std::string& operation) {
    const std::string upper = TextUpper(operation);
    return upper.empty() ? "Type \"SCHTASKS /?\" for usage." : "Type \"SCHTASKS /" + upper + " /?\" for usage.";
}

bool TakesValue(const std::string& option) {
    static const char* const withValue[] = {"sc", "d", "st", "tn", "tr", "ru", "rp", "rl", "fo", "mo", "s", "u", "p"};
    return std::any_of(std::begin(withValue), std::end(withValue), [&](const char* name) { return option == name; });
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

Options ReadOptions(const std::string& argumentText) {
    Options options;
    const std::vector<std::string> arguments = SplitCommandLineArguments(argumentText);
    for (size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (!IsOption(argument)) {
            options.error = "ERROR: Invalid argument/option - '" + argument + "'.\n" + UsageLine(options.operation);
            break;
        }
        const std::string option = TextLower(argument.substr(1));
        if (option == "create" || option == "delete" || option == "run" || option == "query") {
            if (!options.operation.empty()) {
                options.error = "ERROR: Invalid syntax.\n" + UsageLine("");
                break;
            }
            options.operation = option;
        } else if (option == "f") {
            options.force = true;
        } else if (option == "it") {
            options.interactive = true;
        } else if (option == "v") {
            options.verbose = true;
        } else if (TakesValue(option)) {
            if (i + 1 >= arguments.size() || (IsOption(arguments[i + 1]) && option != "tr")) {
                options.error = "ERROR: Invalid syntax. Value expected for '/" + option + "'.\n" +
                                UsageLine(options.operation);
            } else if (options.values.count(option)) {
                options.error = "ERROR: Invalid syntax. '/" + option + "' option is not allowed more than '1' time(s).\n" +
                                UsageLine(options.operation);
            } else if (HasControlCharacter(arguments[i + 1])) {
                options.error = "ERROR: Invalid syntax.\n" + UsageLine(options.operation);
            } else {
                options.values[option] = arguments[++i];
            }
        } else {
            options.error = "ERROR: Invalid argument/option - '" + argument + "'.\n" + UsageLine(options.operation);
        }
    }
    if (options.error.empty() && options.operation.empty())
        options.error = "ERROR: Invalid syntax.\n" + UsageLine("");
    return options;
}

std::string Value(const Options& options, const char* option) {
    auto it = options.values.find(option);
    return it == options.values.end() ? std::string() : it->second;
}

std::string MissingOption(const Options& options, const char* option) {
    return "ERROR: Invalid syntax. Mandatory option '/" + std::string(option) + "' is missing.\n" +
           UsageLine(options.operation);
}

std::string TaskNameOf(const std::string& given) {
    std::string name = given;
    while (!name.empty() && name.front() == '\\') name.erase(0, 1);
    return name;
}

bool AnswersYes(std::ostream& out, std::istream& in) {
    out.flush();
    std::string answer;
    if (!std::getline(in, answer)) return false;
    answer = TextLower(TrimCommandLineBlanks(answer));
    return answer == "y" || answer == "yes";
}

// "8:05" or "08:05:30" as "08:05:00" / "08:05:30"; nothing for another form.
std::optional<std::string> NormalStartTime(const std::string& text) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    std::string digits;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            digits += text[i];
            continue;
        }
        if ((i < text.size() && text[i] != ':') || digits.empty() || digits.size() > 2 || count == 3) return std::nullopt;
        parts[count++] = std::stoi(digits);
        digits.clear();
    }
    if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
    char normal[40];
    std::snprintf(normal, sizeof normal, "%02d:%02d:%02d", parts[0], parts[1], parts[2]);
    return std::string(normal);
}

std::string CurrentTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%02d:%02d:00", local.tm_hour, local.tm_min);
    return text;
}

const char* const kDayNames[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

// "MON,WED" as cron's "1,3", "*" as "*"; nothing for an unknown day.
std::optional<std::string> CronDays(const std::string& days) {
    if (days == "*") return std::string("*");
    std::string cron;
    std::stringstream list(days);
    std::string day;
    while (std::getline(list, day, ',')) {
        day = TrimCommandLineBlanks(day);
        const auto* found = std::find_if(std::begin(kDayNames), std::end(kDayNames),
                                         [&](const char* name) { return TextCompareEqual(day, name); });
        if (found == std::end(kDayNames)) return std::nullopt;
        if (!cron.empty()) cron += ",";
        cron += std::to_string(found - std::begin(kDayNames));
    }
    if (cron.empty()) return std::nullopt;
    return cron;
}

// ---- the task folder ------------------------------------------------------------

std::string FileNameOfTask(const std::string& name) {
    std::string file;
    for (unsigned char c : TextLower(name)) {
        if (std::isalnum(c) || c == ' ' || c == '-' || c == '_' || c == '.' || c >= 0x80) {
            file += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            file += escaped;
        }
    }
    return file + ".task";
}

fs::path TaskFileOf(const std::string& name) { return TaskFolder() / FileNameOfTask(TaskNameOf(name)); }

std::optional<ScheduledTask> ReadTaskFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    ScheduledTask task;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "Name") task.name = value;
        else if (key == "ScheduleType") task.scheduleType = value;
        else if (key == "StartTime") task.startTime = value;
        else if (key == "Days") task.days = value;
        else if (key == "TaskToRun") task.taskToRun = value;
        else if (key == "RunAsUser") task.runAsUser = value;
        else if (key == "RunLevel") task.runLevel = value;
        else if (key == "InteractiveOnly") task.interactiveOnly = value == "1";
    }
    if (task.name.empty()) return std::nullopt;
    return task;
}

std::string TaskFileText(const ScheduledTask& task) {
    return "Name=" + task.name + "\nScheduleType=" + task.scheduleType + "\nStartTime=" + task.startTime +
           "\nDays=" + task.days + "\nTaskToRun=" + task.taskToRun + "\nRunAsUser=" + task.runAsUser +
           "\nRunLevel=" + task.runLevel + "\nInteractiveOnly=" + (task.interactiveOnly ? "1" : "0") + "\n";
}

bool WriteTaskFile(const ScheduledTask& task) {
    if (!MakePrivateFolder(TaskFolder())) return false;
    return ReplaceWholeFile(TaskFileOf(task.name), TaskFileText(task)) == 0;
}

// ---- host programs -------------------------------------------------------------

bool SchedulerSwitchOn(const char* key) { return HostSetting("Scheduler", key, "1") != "0"; }

// The command an entry runs: this host's tool running the task now.
std::vector<std::string> RunTaskCommand(const ScheduledTask& task) {
    fs::path tool = WindowsToolProgram();
    if (tool.empty()) tool = "wintool";
    return {tool.string(), "schtasks", "/run", "/tn", task.name};
}

// ---- crontab ----------------------------------------------------------------------

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

// cron turns an unescaped "%" into a line break.
std::string CronEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '%') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string CrontabTag(const ScheduledTask& task) {
    return CronEscaped("# Quarnel task \"" + task.name + "\" of " + HostFolder().string());
}

// The tag is compared with letter case ignored, as task names are.
bool IsOwnCronLine(const std::string& line, const std::string& name) {
    ScheduledTask probe;
    probe.name = name;
    const std::string tag = CrontabTag(probe);
    return line.size() > tag.size() && TextCompareEqual(line.substr(line.size() - tag.size()), tag) &&
           line[line.size() - tag.size() - 1] == ' ';
}

std::optional<fs::path> CrontabProgram() {
    if (!SchedulerSwitchOn("Crontab")) return std::nullopt;
    return FindOnHostSearchPath("crontab");
}

// The user's crontab, or nothing when it cannot be read (then it is not written).
std::optional<std::string> ReadCrontab(const fs::path& program) {
    const HostRun run = RunHostProgram({program.string(), "-l"}, "");
    if (run.exitCode == 0) return run.output;
    if (TextLower(run.error).find("no crontab") != std::string::npos) return std::string();
    return std::nullopt;
}

void ReplaceCronLine(const std::string& name, const std::optional<std::string>& newLine) {
    const auto program = CrontabProgram();
    if (!program) return;
    const auto current = ReadCrontab(*program);
    if (!current) return;
    std::string kept;
    bool changed = false;
    std::stringstream lines(*current);
    std::string line;
    bool placed = false;
    while (std::getline(lines, line)) {
        if (!IsOwnCronLine(line, name)) {
            kept += line + "\n";
            continue;
        }
        changed = true;
        // A replaced entry keeps its place in the table.
        if (newLine && !placed) kept += *newLine + "\n";
        placed = true;
    }
    if (newLine && !placed) {
        kept += *newLine + "\n";
        changed = true;
    }
    if (changed) RunHostProgram({program->string(), "-"}, kept);
}

// ---- XDG autostart --------------------------------------------------------------

std::optional<fs::path> AutostartFolder() {
    if (!SchedulerSwitchOn("Autostart")) return std::nullopt;
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) config = fs::path(home) / ".config";
    if (config.empty()) return std::nullopt;
    return config / "autostart";
}

// A new account's desktop has no autostart folder yet: it is made as the XDG
// rules allow, the configuration folder too when missing, each for its owner
// only. A home that does not exist is not made.
bool MakeAutostartFolder(const fs::path& autostart) {
    std::error_code ec;
    const fs::path config = autostart.parent_path();
    if (!fs::is_directory(config.parent_path(), ec)) return false;
    for (const fs::path& folder : {config, autostart})
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return fs::is_directory(autostart, ec);
}

// A desktop-entry string value: backslashes doubled.
std::string DesktopString(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\') escaped += "\\\\";
        else escaped += c;
    }
    return escaped;
}

// One argument of an Exec key: quoted, with the quoting's and the field codes' escapes.
std::string DesktopExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return DesktopString(quoted + "\"");
}

std::string DesktopValue(const std::string& entry, const std::string& key) {
    std::stringstream lines(entry);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

// Removes an entry file only when it is this host's entry of the task.
void RemoveOwnAutostartFile(const fs::path& file, const std::string& name) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    if (DesktopValue(text.str(), "X-Quarnel-Host") != DesktopString(HostFolder().string()) ||
        !TextCompareEqual(DesktopValue(text.str(), "X-Quarnel-Task"), DesktopString(name)))
        return;
    std::error_code ec;
    fs::remove(file, ec);
}

// The task's name made a file name: no folder separators, no control characters.
std::string FileNamePart(const std::string& text) {
    std::string part;
    for (unsigned char c : text) part += (c == '/' || c == '\\' || c < 0x20) ? '_' : static_cast<char>(c);
    return part;
}

// Entries were once named after the task alone, so that hosts overwrote each other's.
fs::path FormerAutostartFileOf(const fs::path& folder, const std::string& name) {
    return folder / (FileNamePart(name) + ".desktop");
}

void RemoveAutostartEntry(const std::string& name) {
    const auto folder = AutostartFolder();
    if (!folder) return;
    ScheduledTask probe;
    probe.name = name;
    RemoveOwnAutostartFile(*folder / AutostartFileNameOf(probe), name);
    RemoveOwnAutostartFile(FormerAutostartFileOf(*folder, name), name);
}

void InstallAutostartEntry(const ScheduledTask& task) {
    const auto folder = AutostartFolder();
    if (!folder || !MakeAutostartFolder(*folder)) return;
    if (ReplaceWholeFile(*folder / AutostartFileNameOf(task), AutostartEntryOf(task)) == 0)
        RemoveOwnAutostartFile(FormerAutostartFileOf(*folder, task.name), task.name);
}

// ---- installation ----------------------------------------------------------------

void UninstallFromHost(const std::string& name) {
    ReplaceCronLine(name, std::nullopt);
    RemoveAutostartEntry(name);
}

void InstallIntoHost(const ScheduledTask& task) {
    if (task.scheduleType == "ONLOGON") {
        ReplaceCronLine(task.name, std::nullopt);
        InstallAutostartEntry(task);
    } else {
        RemoveAutostartEntry(task.name);
        ReplaceCronLine(task.name, CrontabLineOf(task));
    }
}

// ---- the operations ---------------------------------------------------------------

int Fail(std::ostream& out, const std::string& text) {
    out << text << "\n";
    return 1;
}

// The option values are checked as they are read; the host folder and the
// tool's path also go into the crontab line and the autostart entry, where a
// line break would add lines of its own.
bool HostPathsAreSafe() {
    return !HasControlCharacter(HostFolder().string()) && !HasControlCharacter(WindowsToolProgram().string());
}

int Create(const Options& options, std::ostream& out, std::istream& in) {
    for (const char* mandatory : {"sc", "tn", "tr"})
        if (!options.values.count(mandatory)) return Fail(out, MissingOption(options, mandatory));
    ScheduledTask task;
    task.name = TaskNameOf(Value(options, "tn"));
    if (task.name.empty()) return Fail(out, "ERROR: Invalid syntax.\n" + UsageLine("create"));
    task.scheduleType = TextUpper(Value(options, "sc"));
    if (task.scheduleType != "DAILY" && task.scheduleType != "WEEKLY" && task.scheduleType != "ONLOGON")
        return Fail(out, "ERROR: Invalid value for /SC option.\n" + UsageLine("create"));
    task.taskToRun = Value(options, "tr");
    if (task.taskToRun.size() > kMaxTaskToRun)
        return Fail(out, "ERROR: Invalid syntax. Value for '/tr' option cannot be more than 261 character(s).");
    if (task.scheduleType != "ONLOGON") {
        const auto start = options.values.count("st") ? NormalStartTime(Value(options, "st")) : CurrentTime();
        if (!start) return Fail(out, "ERROR: Invalid Start Time value.");
        task.startTime = *start;
    } else if (options.values.count("st")) {
        return Fail(out, "ERROR: Incorrect Start Time.\n" + UsageLine("create"));
    }
    if (options.values.count("d") && task.scheduleType != "WEEKLY")
        return Fail(out, "ERROR: Invalid syntax. /D option is not applicable for the schedule type.");
    if (task.scheduleType == "WEEKLY") {
        task.days = options.values.count("d") ? Value(options, "d") : "MON";
        if (!CronDays(task.days)) return Fail(out, "ERROR: Invalid value for /D option.\n" + UsageLine("create"));
    }
    task.runAsUser = options.values.count("ru") ? Value(options, "ru") : vb::Environ("USERNAME");
    task.runLevel = TextCompareEqual(Value(options, "rl"), "highest") ? "HIGHEST" : "LIMITED";
    if (options.values.count("rl") && !TextCompareEqual(Value(options, "rl"), "highest") &&
        !TextCompareEqual(Value(options, "rl"), "limited"))
        return Fail(out, "ERROR: Invalid value for /RL option.\n" + UsageLine("create"));
    task.interactiveOnly = options.interactive;
    if (!HostPathsAreSafe()) return Fail(out, "ERROR: The parameter is incorrect.");

    if (const auto existing = FindScheduledTask(task.name)) {
        task.name = existing->name;
        if (!options.force) {
            out << "WARNING: The task name \"" << task.name << "\" already exists. Do you want to replace it (Y/N)? ";
            if (!AnswersYes(out, in)) {
                out << "\nSUCCESS: The scheduled task \"" << task.name << "\" was not created.\n";
                return 0;
            }
            out << "\n";
        }
    }
    if (!WriteTaskFile(task)) return Fail(out, "ERROR: Access is denied.");
    InstallIntoHost(task);
    out << "SUCCESS: The scheduled task \"" << task.name << "\" has successfully been created.\n";
    return 0;
}

int Delete(const Options& options, std::ostream& out, std::istream& in) {
    if (!options.values.count("tn")) return Fail(out, MissingOption(options, "tn"));
    const auto task = FindScheduledTask(Value(options, "tn"));
    if (!task) return Fail(out, kNotFound);
    if (!options.force) {
        out << "WARNING: Are you sure you want to remove the task \"" << task->name << "\" (Y/N)? ";
        if (!AnswersYes(out, in)) {
            out << "\nSUCCESS: The scheduled task \"" << task->name << "\" was not deleted.\n";
            return 0;
        }
        out << "\n";
    }
    std::error_code ec;
    if (!fs::remove(TaskFileOf(task->name), ec) || ec) return Fail(out, "ERROR: Access is denied.");
    UninstallFromHost(task->name);
    out << "SUCCESS: The scheduled task \"" << task->name << "\" was successfully deleted.\n";
    return 0;
}

int Run(const Options& options, std::ostream& out) {
    if (!options.values.count("tn")) return Fail(out, MissingOption(options, "tn"));
    const auto task = FindScheduledTask(Value(options, "tn"));
    if (!task) return Fail(out, kNotFound);
    try {
        StartCommandLine(task->taskToRun);
    } catch (const std::exception&) {
        return Fail(out, kNotFound);
    }
    out << "SUCCESS: Attempted to run the scheduled task \"" << task->name << "\".\n";
    return 0;
}

std::string Label(const std::string& label) {
    std::string padded = label;
    padded.resize(std::max<size_t>(kLabelWidth, label.size() + 1), ' ');
    return padded;
}

std::string ScheduleTypeText(const ScheduledTask& task) {
    if (task.scheduleType == "DAILY") return "Daily ";
    if (task.scheduleType == "WEEKLY") return "Weekly";
    return "At logon time";
}

std::string RunAsText(const std::string& user) {
    if (TextCompareEqual(user, "system") || TextCompareEqual(user, "NT AUTHORITY\\SYSTEM")) return "SYSTEM";
    return user;
}

void PrintVerbose(const ScheduledTask& task, std::ostream& out) {
    const std::string na = "N/A";
    out << Label("HostName:") << ComputerName() << "\n"
        << Label("TaskName:") << "\\" << task.name << "\n"
        << Label("Next Run Time:") << na << "\n"
        << Label("Status:") << "Ready\n"
        << Label("Logon Mode:") << (task.interactiveOnly ? "Interactive only" : "Interactive/Background") << "\n"
        << Label("Last Run Time:") << na << "\n"
        << Label("Last Result:") << "1\n"
        << Label("Author:") << vb::Environ("USERNAME") << "\n"
        << Label("Task To Run:") << task.taskToRun << "\n"
        << Label("Start In:") << na << "\n"
        << Label("Comment:") << na << "\n"
        << Label("Scheduled Task State:") << "Enabled\n"
        << Label("Run As User:") << RunAsText(task.runAsUser) << "\n"
        << Label("Schedule Type:") << ScheduleTypeText(task) << "\n"
        << Label("Start Time:") << (task.startTime.empty() ? na : task.startTime) << "\n"
        << Label("Days:") << (task.scheduleType == "WEEKLY" ? task.days : task.scheduleType == "DAILY" ? "Every 1 day(s)" : na)
        << "\n\n";
}

int Query(const Options& options, std::ostream& out) {
    const std::string format = TextLower(Value(options, "fo"));
    if (!format.empty() && format != "list" && format != "table")
        return Fail(out, "ERROR: Invalid value for /FO option.\n" + UsageLine("query"));
    std::vector<ScheduledTask> tasks;
    if (options.values.count("tn")) {
        const auto task = FindScheduledTask(Value(options, "tn"));
        if (!task) return Fail(out, kNotFound);
        tasks.push_back(*task);
    } else {
        tasks = ListScheduledTasks();
    }
    if (tasks.empty()) {
        out << "INFO: There are no scheduled tasks presently available at your access level.\n";
        return 0;
    }
    out << "\nFolder: \\\n";
    if (format == "list") {
        for (const ScheduledTask& task : tasks) {
            if (options.verbose) {
                PrintVerbose(task, out);
                continue;
            }
            out << Label("HostName:") << ComputerName() << "\n"
                << Label("TaskName:") << "\\" << task.name << "\n"
                << Label("Next Run Time:") << "N/A\n"
                << Label("Status:") << "Ready\n\n";
        }
        return 0;
    }
    out << "TaskName                                 Next Run Time          Status\n"
        << "======================================== ====================== ===============\n";
    for (const ScheduledTask& task : tasks) {
        std::string name = task.name;
        name.resize(std::max<size_t>(41, name.size() + 1), ' ');
        out << name << "N/A                    Ready\n";
    }
    return 0;
}

}  // namespace

fs::path TaskFolder() { return HostFolder() / "Tasks"; }

std::vector<ScheduledTask> ListScheduledTasks() {
    std::vector<ScheduledTask> tasks;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(TaskFolder(), ec))
        if (entry.path().extension() == ".task")
            if (auto task = ReadTaskFile(entry.path())) tasks.push_back(*task);
    std::sort(tasks.begin(), tasks.end(),
              [](const ScheduledTask& a, const ScheduledTask& b) { return TextLower(a.name) < TextLower(b.name); });
    return tasks;
}

std::optional<ScheduledTask> FindScheduledTask(const std::string& name) {
    if (TaskNameOf(name).empty()) return std::nullopt;
    return ReadTaskFile(TaskFileOf(name));
}

std::string CrontabLineOf(const ScheduledTask& task) {
    const std::string hour = std::to_string(std::stoi(task.startTime.substr(0, 2)));
    const std::string minute = std::to_string(std::stoi(task.startTime.substr(3, 2)));
    const std::string days = task.scheduleType == "WEEKLY" ? CronDays(task.days).value_or("1") : "*";
    std::string command = "QUARNEL_HOST=" + ShellQuoted(HostFolder().string());
    for (const std::string& argument : RunTaskCommand(task)) command += " " + ShellQuoted(argument);
    return minute + " " + hour + " * * " + days + " " + CronEscaped(command) + " " + CrontabTag(task);
}

// Tells host folders of one name apart (FNV-1a of the folder's path).
std::string HostFolderDigest(const std::string& folder) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : folder) hash = (hash ^ c) * 16777619u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", hash);
    return digits;
}

std::string AutostartFileNameOf(const ScheduledTask& task) {
    std::string host = HostFolder().string();
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    const std::string hostName = fs::path(host).filename().string();
    return FileNamePart(task.name) + " (" + FileNamePart(hostName) + " " + HostFolderDigest(host) + ").desktop";
}

std::string AutostartEntryOf(const ScheduledTask& task) {
    std::string exec = "env " + DesktopExecArgument("QUARNEL_HOST=" + HostFolder().string());
    for (const std::string& argument : RunTaskCommand(task)) exec += " " + DesktopExecArgument(argument);
    return "[Desktop Entry]\nType=Application\nName=" + DesktopString(task.name) +
           "\nComment=Scheduled task of the Windows host " + DesktopString(HostFolder().string()) +
           "\nExec=" + exec + "\nTerminal=false\nX-Quarnel-Task=" + DesktopString(task.name) +
           "\nX-Quarnel-Host=" + DesktopString(HostFolder().string()) + "\n";
}

int RunSchedulerTool(const std::string& argumentText, std::ostream& out, std::istream& in) {
    const Options options = ReadOptions(argumentText);
    if (!options.error.empty()) return Fail(out, options.error);
    if (options.operation == "create") return Create(options, out, in);
    if (options.operation == "delete") return Delete(options, out, in);
    if (options.operation == "run") return Run(options, out);
    return Query(options, out);
}

}  // namespace platform
