#include "platform/tools/WindowsTools.h"

#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "platform/api/CommandLine.h"
#include "platform/api/Environment.h"
#include "platform/api/EventLoop.h"
#include "platform/host/HostFolder.h"
#include "platform/host/HostTools.h"
#include "platform/api/Process.h"
#include "platform/api/RuntimeError.h"
#include "platform/tools/SchedulerTool.h"
#include "platform/tools/TaskViewerTool.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

int RunCmd(const std::string& argumentText);
int RunPing(const std::string& argumentText);
int RunTskill(const std::string& argumentText);
int RunTaskkill(const std::string& argumentText);

const WindowsTool kTools[] = {
    {"cmd", RunCmd},
    {"ping", RunPing},
    {"tskill", RunTskill},
    {"taskkill", RunTaskkill},
    {"schtasks", [](const std::string& argumentText) { return RunSchedulerTool(argumentText, std::cout, std::cin); }},
    {"mmc", [](const std::string& argumentText) { return RunMmcTool(argumentText, std::cout); }},
    {"control", [](const std::string& argumentText) { return RunControlTool(argumentText, std::cout); }},
};

std::string FileNameOf(const std::string& program) {
    const size_t slash = program.find_last_of("\\/:");
    return slash == std::string::npos ? program : program.substr(slash + 1);
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && TextCompareEqual(text.substr(text.size() - tail.size()), tail);
}

std::string WithoutExe(const std::string& name) {
    return EndsWithNoCase(name, ".exe") ? name.substr(0, name.size() - 4) : name;
}

bool IsWholeNumber(const std::string& text) {
    return !text.empty() && text.size() < 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void FlushOutput() {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
}

bool IsSwitch(const std::string& argument, const char* name) {
    return argument.size() >= 2 && (argument[0] == '/' || argument[0] == '-') &&
           TextCompareEqual(argument.substr(1), name);
}

// ---- ping ---------------------------------------------------------------

bool IsLoopbackTarget(const std::string& target) {
    return target.rfind("127.", 0) == 0 || TextCompareEqual(target, "localhost") || target == "::1" ||
           TextCompareEqual(target, ComputerName());
}

int RunPing(const std::string& argumentText) {
    const std::vector<std::string> arguments = SplitCommandLineArguments(argumentText);
    long count = 4;
    long size = 32;
    bool forever = false;
    std::string target;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.empty()) continue;
        auto numberAfter = [&](long fallback) {
            if (i + 1 >= arguments.size() || !IsWholeNumber(arguments[i + 1])) return fallback;
            return std::stol(arguments[++i]);
        };
        if (IsSwitch(argument, "n")) count = numberAfter(count);
        else if (IsSwitch(argument, "l")) size = numberAfter(size);
        else if (IsSwitch(argument, "w") || IsSwitch(argument, "i")) numberAfter(0);
        else if (IsSwitch(argument, "t")) forever = true;
        else if (argument[0] != '-' && argument[0] != '/' && target.empty()) target = argument;
    }
    if (target.empty()) {
        std::cout << "\nUsage: ping [-t] [-n count] [-l size] [-w timeout] target_name\n";
        return 1;
    }
    const bool loopback = IsLoopbackTarget(target);
    if (!loopback) {
        addrinfo* found = nullptr;
        if (getaddrinfo(target.c_str(), nullptr, nullptr, &found) != 0) {
            std::cout << "Ping request could not find host " << target
                      << ". Please check the name and try again.\n";
            return 1;
        }
        freeaddrinfo(found);
    }
    const bool isAddress = target.find_first_not_of("0123456789.") == std::string::npos || target == "::1";
    const std::string address = isAddress ? target : (loopback ? std::string("127.0.0.1") : target);
    std::cout << "\nPinging " << (isAddress ? target : target + " [" + address + "]") << " with " << size
              << " bytes of data:\n";
    long received = 0;
    for (long echo = 1; forever || echo <= count; ++echo) {
        if (loopback) {
            std::cout << "Reply from " << address << ": bytes=" << size << " time<1ms TTL=128\n";
            ++received;
        } else {
            // This host sends no echo requests of its own.
            std::cout << "Request timed out.\n";
        }
        FlushOutput();
        if (forever || echo < count) win::Sleep(1000);
    }
    const long lost = count - received;
    std::cout << "\nPing statistics for " << address << ":\n"
              << "    Packets: Sent = " << count << ", Received = " << received << ", Lost = " << lost << " ("
              << (count > 0 ? lost * 100 / count : 0) << "% loss),\n";
    if (received > 0)
        std::cout << "Approximate round trip times in milli-seconds:\n"
                  << "    Minimum = 0ms, Maximum = 0ms, Average = 0ms\n";
    return received > 0 ? 0 : 1;
}

// ---- tskill and taskkill --------------------------------------------------

std::vector<ProcessInfo> OtherProcesses() {
    std::vector<ProcessInfo> processes = ListProcesses();
    const int self = getpid();
    processes.erase(std::remove_if(processes.begin(), processes.end(),
                                   [self](const ProcessInfo& p) { return p.pid == self; }),
                    processes.end());
    return processes;
}

int RunTskill(const std::string& argumentText) {
    std::string target;
    bool verbose = false;
    for (const std::string& argument : SplitCommandLineArguments(argumentText)) {
        if (argument.empty()) continue;
        if (IsSwitch(argument, "v")) verbose = true;
        else if (argument[0] == '/' || argument[0] == '-') continue;   // /a, /server:, /id: ask nothing more here
        else if (target.empty()) target = argument;
    }
    if (target.empty()) {
        std::cout << "Invalid parameter(s)\nEnds a process.\n\nTSKILL processid | processname [/SERVER:servername] "
                     "[/ID:sessionid | /A] [/V]\n";
        return 1;
    }
    bool found = false;
    bool failed = false;
    for (const ProcessInfo& process : OtherProcesses()) {
        const bool byId = IsWholeNumber(target) && std::stol(target) == process.pid;
        const bool byName = TextCompareEqual(WithoutExe(process.imageName), WithoutExe(target));
        if (!byId && !byName) continue;
        found = true;
        if (EndProcessOfImage(process.pid, process.imageName, 1, true)) {
            if (verbose) std::cout << "End Process(" << process.pid << ")\n";
        } else {
            failed = true;
            std::cout << "Could not kill process " << process.pid << "\n";
        }
    }
    if (!found) {
        std::cout << "Could not find process: " << target << "\n";
        return 1;
    }
    return failed ? 1 : 0;
}

struct TaskkillRequest {
    bool force = false;
    bool tree = false;
    std::vector<std::string> imageNames;
    std::vector<std::string> processIds;
    bool valid = true;
};

TaskkillRequest ParseTaskkill(const std::string& argumentText) {
    TaskkillRequest request;
    const std::vector<std::string> arguments = SplitCommandLineArguments(argumentText);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (IsSwitch(argument, "f")) request.force = true;
        else if (IsSwitch(argument, "t")) request.tree = true;
        else if (IsSwitch(argument, "im") && hasValue) request.imageNames.push_back(arguments[++i]);
        else if (IsSwitch(argument, "pid") && hasValue) request.processIds.push_back(arguments[++i]);
        else if ((IsSwitch(argument, "s") || IsSwitch(argument, "u") || IsSwitch(argument, "p") ||
                  IsSwitch(argument, "fi")) && hasValue) ++i;
        else request.valid = false;
    }
    return request;
}

std::vector<const ProcessInfo*> DescendantsDeepestFirst(const std::vector<ProcessInfo>& processes, int root) {
    std::vector<const ProcessInfo*> found;
    std::set<int> seen{root};
    std::vector<int> frontier{root};
    while (!frontier.empty()) {
        std::vector<int> next;
        for (const ProcessInfo& process : processes)
            if (!seen.count(process.pid) &&
                std::find(frontier.begin(), frontier.end(), process.parentPid) != frontier.end()) {
                seen.insert(process.pid);
                found.push_back(&process);
                next.push_back(process.pid);
            }
        frontier = next;
    }
    std::reverse(found.begin(), found.end());
    return found;
}

void ReportTaskkill(const ProcessInfo& process, bool ended, bool force, bool asChild) {
    if (!ended) {
        std::cout << "ERROR: The process with PID " << process.pid << " could not be terminated.\n";
        return;
    }
    if (asChild) {
        std::cout << "SUCCESS: The process with PID " << process.pid << " (child process of PID "
                  << process.parentPid << ") has been terminated.\n";
    } else if (force) {
        std::cout << "SUCCESS: The process \"" << process.imageName << "\" with PID " << process.pid
                  << " has been terminated.\n";
    } else {
        std::cout << "SUCCESS: Sent termination signal to the process \"" << process.imageName << "\" with PID "
                  << process.pid << ".\n";
    }
}

bool MatchesImage(const std::string& pattern, const std::string& imageName) {
    if (pattern.find('*') != std::string::npos) return MatchesWildcard(pattern, imageName);
    return TextCompareEqual(pattern, imageName);
}

int RunTaskkill(const std::string& argumentText) {
    const TaskkillRequest request = ParseTaskkill(argumentText);
    if (!request.valid) {
        std::cout << "ERROR: Invalid argument/option.\nType \"TASKKILL /?\" for usage.\n";
        return 1;
    }
    if (request.imageNames.empty() && request.processIds.empty()) {
        std::cout << "ERROR: Invalid syntax. Neither /FI nor /PID nor /IM were specified.\n"
                     "Type \"TASKKILL /?\" for usage.\n";
        return 1;
    }
    const std::vector<ProcessInfo> processes = OtherProcesses();
    bool notFound = false;
    bool failed = false;
    // The root goes first, so that it cannot go on when its children end;
    // the report lists the children first.
    auto endWithTree = [&](const ProcessInfo& process) {
        const bool rootEnded = EndProcessOfImage(process.pid, process.imageName, 1, request.force);
        if (request.tree)
            for (const ProcessInfo* descendant : DescendantsDeepestFirst(processes, process.pid)) {
                const bool ended = EndProcessOfImage(descendant->pid, descendant->imageName, 1, request.force);
                ReportTaskkill(*descendant, ended, request.force, true);
                failed = failed || !ended;
            }
        ReportTaskkill(process, rootEnded, request.force, false);
        failed = failed || !rootEnded;
    };
    for (const std::string& name : request.imageNames) {
        bool any = false;
        for (const ProcessInfo& process : processes)
            if (MatchesImage(name, process.imageName)) {
                any = true;
                endWithTree(process);
            }
        if (!any) {
            std::cout << "ERROR: The process \"" << name << "\" not found.\n";
            notFound = true;
        }
    }
    for (const std::string& id : request.processIds) {
        auto it = std::find_if(processes.begin(), processes.end(), [&](const ProcessInfo& p) {
            return IsWholeNumber(id) && p.pid == std::stol(id);
        });
        if (it == processes.end()) {
            std::cout << "ERROR: The process \"" << id << "\" not found.\n";
            notFound = true;
        } else {
            endWithTree(*it);
        }
    }
    if (notFound) return 128;
    return failed ? 1 : 0;
}

// ---- cmd ----------------------------------------------------------------

// "exit" ends the interpreter; "exit /b" only the batch file that runs it.
struct ExitInterpreter {
    int code;
};
struct ExitBatchFile {
    int code;
};

constexpr int kNotRecognized = 9009;

class Redirections {
public:
    ~Redirections() { Restore(); }

    // Takes "> file", ">> file", "2> nul", "2>&1" and "< file" out of a line
    // (outside quotes) and applies them; false when a target cannot be opened.
    bool Apply(std::string& line) {
        std::string kept;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') quoted = !quoted;
            if (quoted || (c != '>' && c != '<')) {
                kept += c;
                continue;
            }
            int fd = c == '<' ? 0 : 1;
            if (!kept.empty() && (kept.back() == '1' || kept.back() == '2') &&
                (kept.size() == 1 || IsCommandLineBlank(kept[kept.size() - 2]))) {
                fd = kept.back() - '0';
                kept.pop_back();
            }
            bool append = false;
            if (c == '>' && i + 1 < line.size() && line[i + 1] == '>') {
                append = true;
                ++i;
            }
            size_t j = i + 1;
            while (j < line.size() && IsCommandLineBlank(line[j])) ++j;
            if (j + 1 < line.size() && line[j] == '&' && (line[j + 1] >= '0' && line[j + 1] <= '2')) {
                if (!Redirect(fd, dup(line[j + 1] - '0'))) return false;
                i = j + 1;
                continue;
            }
            std::string target;
            bool targetQuoted = false;
            while (j < line.size() && (targetQuoted || !IsCommandLineBlank(line[j]))) {
                if (line[j] == '"') targetQuoted = !targetQuoted;
                else target += line[j];
                ++j;
            }
            i = j - 1;
            if (!Redirect(fd, OpenTarget(target, c == '<', append))) return false;
        }
        line = kept;
        return true;
    }

private:
    static int OpenTarget(const std::string& target, bool forInput, bool append) {
        if (TextCompareEqual(target, "nul")) return open("/dev/null", forInput ? O_RDONLY : O_WRONLY);
        const auto hostPath = ToHostPath(target);
        if (!hostPath) return -1;
        if (forInput) return open(hostPath->c_str(), O_RDONLY);
        return open(hostPath->c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
    }

    bool Redirect(int fd, int source) {
        if (source < 0) {
            std::cerr << "The system cannot find the path specified.\n";
            return false;
        }
        FlushOutput();
        saved_.emplace_back(fd, dup(fd));
        dup2(source, fd);
        close(source);
        return true;
    }

    void Restore() {
        FlushOutput();
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            dup2(it->second, it->first);
            close(it->second);
        }
        saved_.clear();
    }

    std::vector<std::pair<int, int>> saved_;
};

struct BatchContext {
    std::string invokedAs;               // %0 as it was written
    std::string windowsPath;
    std::vector<std::string> arguments;  // %1 ... with their quotes
    std::string argumentText;            // %*
};

// Batch parameters as cmd reads them: blanks, commas, semicolons and equal
// signs separate, quotes group and are kept.
std::vector<std::string> BatchParameters(const std::string& text) {
    std::vector<std::string> parameters;
    std::string current;
    bool quoted = false;
    auto isDelimiter = [](char c) { return IsCommandLineBlank(c) || c == ',' || c == ';' || c == '='; };
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && isDelimiter(c)) {
            if (!current.empty()) parameters.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parameters.push_back(current);
    return parameters;
}

std::string StripQuotes(const std::string& text) {
    std::string stripped;
    for (char c : text)
        if (c != '"') stripped += c;
    return stripped;
}

std::string FolderWithBackslash(const std::string& windowsPath) {
    const size_t slash = windowsPath.rfind('\\');
    return slash == std::string::npos ? std::string() : windowsPath.substr(0, slash + 1);
}

bool EnvironmentHas(const std::string& name) {
    std::string value;
    return win::GetEnvironmentVariableA(name, value) > 0 || !vb::Environ(name).empty();
}

// A tool of the table that a command line names runs in cmd's own process:
// the tool and the text after its name, unless a reading of the command line
// before names a program or batch file.
std::optional<std::pair<const WindowsTool*, std::string>> ToolOfCommandLine(const std::string& line) {
    for (const ProgramPartReading& reading : ProgramPartReadings(line)) {
        if (const WindowsTool* tool = FindWindowsTool(reading.program)) return std::make_pair(tool, reading.rest);
        if (ResolveProgramName(reading.program)) return std::nullopt;
    }
    return std::nullopt;
}

class Interpreter {
public:
    int RunLine(const std::string& line, const BatchContext* batch) {
        const std::string expanded = Expand(line, batch);
        for (const auto& [part, condition] : SplitChain(expanded)) {
            if (condition == Condition::OnSuccess && errorLevel_ != 0) continue;
            if (condition == Condition::OnFailure && errorLevel_ == 0) continue;
            errorLevel_ = RunSimple(part, batch);
        }
        return errorLevel_;
    }

    int RunBatchFile(const ResolvedCommand& file, const std::string& invokedAs) {
        std::ifstream in(file.hostPath, std::ios::binary);
        if (!in) {
            std::cout << "The system cannot find the path specified.\n";
            return 1;
        }
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        BatchContext context{invokedAs, file.windowsPath, BatchParameters(file.arguments), file.arguments};
        try {
            for (size_t i = 0; i < lines.size(); ++i) {
                const std::string statement = TrimCommandLineBlanks(lines[i]);
                if (statement.empty() || statement[0] == ':') continue;
                if (const auto jump = GotoTarget(statement)) {
                    if (TextCompareEqual(*jump, "eof")) break;
                    const auto target = FindLabel(lines, *jump);
                    if (!target) {
                        std::cout << "The system cannot find the batch label specified - " << *jump << "\n";
                        return 1;
                    }
                    i = *target;
                    continue;
                }
                Echo(statement);
                RunLine(statement, &context);
            }
        } catch (const ExitBatchFile& exit) {
            errorLevel_ = exit.code;
        }
        return errorLevel_;
    }

    bool echoOn = true;

private:
    enum class Condition { Always, OnSuccess, OnFailure };

    static std::vector<std::pair<std::string, Condition>> SplitChain(const std::string& line) {
        std::vector<std::pair<std::string, Condition>> parts;
        std::string current;
        Condition condition = Condition::Always;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') quoted = !quoted;
            if (!quoted && c == '^' && i + 1 < line.size()) {
                current += line[++i];
                continue;
            }
            const bool andThen = !quoted && c == '&';
            const bool orElse = !quoted && c == '|' && i + 1 < line.size() && line[i + 1] == '|';
            if (!andThen && !orElse) {
                current += c;
                continue;
            }
            // "2>&1" is a redirection, not a chain.
            if (andThen && !current.empty() && current.back() == '>') {
                current += c;
                continue;
            }
            parts.emplace_back(current, condition);
            current.clear();
            if (andThen && i + 1 < line.size() && line[i + 1] == '&') {
                condition = Condition::OnSuccess;
                ++i;
            } else if (orElse) {
                condition = Condition::OnFailure;
                ++i;
            } else {
                condition = Condition::Always;
            }
        }
        parts.emplace_back(current, condition);
        return parts;
    }

    static std::string Expand(const std::string& line, const BatchContext* batch) {
        std::string out;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '%') {
                out += line[i];
                continue;
            }
            if (batch) {
                if (i + 1 < line.size() && line[i + 1] == '%') {
                    out += '%';
                    ++i;
                    continue;
                }
                if (auto parameter = ExpandParameter(line, i, *batch)) {
                    out += *parameter;
                    continue;
                }
            }
            const size_t close = line.find('%', i + 1);
            if (close != std::string::npos && close > i + 1) {
                const std::string name = line.substr(i + 1, close - i - 1);
                if (name.find_first_of(" \t") == std::string::npos && EnvironmentHas(name)) {
                    out += vb::Environ(name);
                    i = close;
                    continue;
                }
                if (batch && name.find_first_of(" \t") == std::string::npos) {
                    i = close;   // an unset variable reads as nothing in a batch file
                    continue;
                }
            }
            out += '%';
        }
        return out;
    }

    // %0 ... %9, %*, %~1, %~dp0; i is moved to the last character used.
    static std::optional<std::string> ExpandParameter(const std::string& line, size_t& i, const BatchContext& batch) {
        size_t j = i + 1;
        if (j < line.size() && line[j] == '*') {
            i = j;
            return batch.argumentText;
        }
        bool tilde = false;
        std::string modifiers;
        if (j < line.size() && line[j] == '~') {
            tilde = true;
            ++j;
            while (j < line.size() && std::isalpha(static_cast<unsigned char>(line[j]))) modifiers += line[j++];
        }
        if (j >= line.size() || line[j] < '0' || line[j] > '9') return std::nullopt;
        const int index = line[j] - '0';
        i = j;
        std::string value = index == 0 ? batch.invokedAs
                                       : (static_cast<size_t>(index) <= batch.arguments.size() ? batch.arguments[index - 1] : "");
        if (!tilde) return value;
        value = StripQuotes(value);
        if (TextLower(modifiers) == "dp" && index == 0) return FolderWithBackslash(batch.windowsPath);
        return value;
    }

    static std::optional<std::string> GotoTarget(const std::string& statement) {
        std::string text = statement;
        if (!text.empty() && text[0] == '@') text.erase(0, 1);
        if (text.size() < 5 || !TextCompareEqual(text.substr(0, 4), "goto") || !IsCommandLineBlank(text[4]))
            return std::nullopt;
        std::string label = TrimCommandLineBlanks(text.substr(5));
        if (!label.empty() && label[0] == ':') label.erase(0, 1);
        return label;
    }

    static std::optional<size_t> FindLabel(const std::vector<std::string>& lines, const std::string& label) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string text = TrimCommandLineBlanks(lines[i]);
            if (text.size() > 1 && text[0] == ':' && TextCompareEqual(TrimCommandLineBlanks(text.substr(1)), label))
                return i;
        }
        return std::nullopt;
    }

    void Echo(const std::string& statement) const {
        if (!echoOn || statement[0] == '@') return;
        std::error_code ec;
        std::cout << "\n" << ToWindowsPath(fs::current_path(ec)) << ">" << statement << "\n";
    }

    int RunSimple(const std::string& text, const BatchContext* batch) {
        std::string line = TrimCommandLineBlanks(text);
        while (!line.empty() && line[0] == '@') line = TrimCommandLineBlanks(line.substr(1));
        if (line.empty()) return errorLevel_;
        Redirections redirections;
        if (!redirections.Apply(line)) return 1;
        line = TrimCommandLineBlanks(line);
        if (line.empty()) return errorLevel_;
        const size_t wordEnd = line.find_first_of(" \t.");
        const std::string word = TextLower(line.substr(0, wordEnd));
        const std::string rest = wordEnd == std::string::npos ? "" : line.substr(wordEnd);
        if (word == "rem" || line.rfind("::", 0) == 0) return errorLevel_;
        if (word == "echo") return EchoCommand(rest);
        if (word == "exit") return ExitCommand(DropLeadingCommandLineBlanks(rest), batch);
        if (word == "call") return RunLine(DropLeadingCommandLineBlanks(rest), batch);
        if (word == "set") return SetCommand(DropLeadingCommandLineBlanks(rest));
        if (word == "setlocal" || word == "endlocal" || word == "title" || word == "cls") return 0;
        return RunProgram(line);
    }

    int EchoCommand(const std::string& rest) {
        if (!rest.empty() && rest[0] == '.') {
            std::cout << rest.substr(1) << "\n";
            return 0;
        }
        const std::string text = DropLeadingCommandLineBlanks(rest);
        if (TextCompareEqual(TrimCommandLineBlanks(text), "off")) echoOn = false;
        else if (TextCompareEqual(TrimCommandLineBlanks(text), "on")) echoOn = true;
        else if (text.empty()) std::cout << (echoOn ? "ECHO is on.\n" : "ECHO is off.\n");
        else std::cout << text << "\n";
        return 0;
    }

    int ExitCommand(const std::string& rest, const BatchContext* batch) {
        std::vector<std::string> words = SplitCommandLineArguments(rest);
        bool batchOnly = false;
        if (!words.empty() && IsSwitch(words[0], "b")) {
            batchOnly = true;
            words.erase(words.begin());
        }
        int code = batchOnly ? errorLevel_ : 0;
        if (!words.empty()) code = std::atoi(words[0].c_str());
        FlushOutput();
        if (batchOnly && batch) throw ExitBatchFile{code};
        throw ExitInterpreter{code};
    }

    static int SetCommand(const std::string& rest) {
        const size_t equals = rest.find('=');
        if (equals == std::string::npos || equals == 0) return 1;
        setenv(StripQuotes(rest.substr(0, equals)).c_str(), rest.substr(equals + 1).c_str(), 1);
        return 0;
    }

    int RunProgram(const std::string& line) {
        if (const auto tool = ToolOfCommandLine(line)) return RunWindowsTool(tool->first->name, tool->second);
        const auto command = ResolveCommandLine(line);
        if (!command) {
            const auto readings = ProgramPartReadings(line);
            std::cerr << "'" << (readings.empty() ? line : readings.front().program)
                      << "' is not recognized as an internal or external command,\n"
                         "operable program or batch file.\n";
            return kNotRecognized;
        }
        FlushOutput();
        switch (command->kind) {
        case ResolvedCommand::Kind::BatchFile: return RunBatchFile(*command, command->windowsPath);
        case ResolvedCommand::Kind::HostProgram: break;
        }
        try {
            const long pid = StartCommandLine(line);
            return static_cast<int>(WaitForChildExit(pid));
        } catch (const RuntimeError&) {
            std::cerr << "The system cannot execute the specified program.\n";
            return 1;
        }
    }

    int errorLevel_ = 0;
};

// cmd drops the first and the last quote of a /c command line unless it has
// exactly two quotes around a program that exists and nothing special.
std::string CmdCommandText(const std::string& text, bool stripQuotes) {
    const std::string command = DropLeadingCommandLineBlanks(text);
    if (command.empty() || command[0] != '"') return command;
    const size_t quotes = std::count(command.begin(), command.end(), '"');
    const size_t close = command.find('"', 1);
    if (!stripQuotes && quotes == 2) {
        const std::string inner = command.substr(1, close - 1);
        const bool plain = inner.find_first_of("&<>()@^|") == std::string::npos &&
                           inner.find_first_of(" \t") != std::string::npos;
        if (plain && ResolveProgramName(inner)) return command;
    }
    const size_t last = command.rfind('"');
    std::string stripped = command.substr(1, last - 1);
    if (last != 0) stripped += command.substr(last + 1);
    return stripped;
}

int RunInteractive(Interpreter& interpreter) {
    std::string line;
    int code = 0;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        code = interpreter.RunLine(line, nullptr);
    }
    return code;
}

int RunCmd(const std::string& argumentText) {
    std::string text = DropLeadingCommandLineBlanks(argumentText);
    bool stripQuotes = false;
    std::optional<std::string> command;
    while (!text.empty() && text[0] == '/' && text.size() >= 2) {
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[1])));
        if (letter == 'c' || letter == 'k') {
            command = text.substr(2);
            break;
        }
        if (letter == 's') stripQuotes = true;
        const size_t end = text.find_first_of(" \t");
        text = end == std::string::npos ? "" : DropLeadingCommandLineBlanks(text.substr(end));
    }
    Interpreter interpreter;
    try {
        if (!command) return RunInteractive(interpreter);
        const int code = interpreter.RunLine(CmdCommandText(*command, stripQuotes), nullptr);
        FlushOutput();
        return code;
    } catch (const ExitInterpreter& exit) {
        return exit.code;
    } catch (const ExitBatchFile& exit) {
        return exit.code;
    }
}

}  // namespace

const WindowsTool* FindWindowsTool(const std::string& program) {
    const std::string name = TextLower(WithoutExe(FileNameOf(program)));
    for (const WindowsTool& tool : kTools)
        if (name == tool.name) return &tool;
    return nullptr;
}

std::string ToolArgumentText(const std::string& toolName, const std::vector<std::string>& arguments) {
    const WindowsTool* tool = FindWindowsTool(toolName);
    if (!tool || std::string(tool->name) != "cmd") return JoinCommandLineArguments(arguments);
    std::string text;
    for (const std::string& argument : arguments) {
        if (!text.empty()) text += ' ';
        text += argument.find('"') != std::string::npos ? argument : QuoteCommandLineArgument(argument);
    }
    return text;
}

int RunWindowsTool(const std::string& toolName, const std::string& argumentText) {
    const WindowsTool* tool = FindWindowsTool(toolName);
    if (!tool) {
        std::cerr << "'" << toolName << "' is not a tool of this host.\n";
        return 1;
    }
    const int code = tool->run(argumentText);
    FlushOutput();
    return code;
}

fs::path WindowsToolProgram() {
    const fs::path own = OwnExecutableFolder();
    if (own.empty()) return {};
    const fs::path candidate = own / "wintool";
    return access(candidate.c_str(), X_OK) == 0 ? candidate : fs::path();
}

}  // namespace platform
