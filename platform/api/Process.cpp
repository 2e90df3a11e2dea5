#include "platform/api/Process.h"
#include "platform/host/HostSearchPath.h"

#include "platform/api/Registry.h"
#include "platform/api/Security.h"
#include "platform/api/Toolhelp.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/api/CommandLine.h"
#include "platform/api/Environment.h"
#include "platform/api/FileApi.h"
#include "platform/host/HostFolder.h"
#include "platform/host/HostProcess.h"
#include "platform/host/HostTools.h"
#include "platform/api/Program.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

extern char** environ;

namespace platform {

namespace fs = std::filesystem;

namespace {

int PidfdOpen(int pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

bool PidfdSendSignal(int pidfd, int signal) {
    return syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

bool PidfdHasExited(int pidfd) {
    pollfd entry{pidfd, POLLIN, 0};
    return poll(&entry, 1, 0) > 0;
}

// ---- processes started here -------------------------------------------------

struct Child {
    int pid = 0;
    int pidfd = -1;
    int exitCodePipe = -1;   // read end of the channel for a tool's full exit code
    std::filesystem::path machine;   // host folder it was started in
    bool exited = false;
    win::DWORD exitCode = win::STILL_ACTIVE;
    std::optional<win::DWORD> terminateCode;
};

// The exit code Windows would report for a process that ended this way.
win::DWORD ExitCodeOf(const siginfo_t& info, const Child& child) {
    if (info.si_code == CLD_EXITED) return static_cast<win::DWORD>(info.si_status);
    if (child.terminateCode) return *child.terminateCode;
    switch (info.si_status) {
    case SIGSEGV:
    case SIGBUS: return 0xC0000005;
    case SIGILL: return 0xC000001D;
    case SIGFPE: return 0xC0000094;
    case SIGABRT: return 3;
    case SIGINT: return 0xC000013A;
    default: return 1;
    }
}

class ChildTable {
public:
    void Add(std::shared_ptr<Child> child) {
        std::lock_guard lock(mutex_);
        children_[child->pid] = std::move(child);
        PruneLocked();
    }

    std::shared_ptr<Child> Find(int pid) {
        std::lock_guard lock(mutex_);
        auto it = children_.find(pid);
        return it == children_.end() ? nullptr : it->second;
    }

    void ReapExited() {
        std::lock_guard lock(mutex_);
        for (auto& [pid, child] : children_)
            if (!child->exited) Collect(*child, WNOHANG);
    }

    void Wait(Child& child) {
        std::lock_guard lock(mutex_);
        while (!child.exited) Collect(child, 0);
    }

private:
    static void Collect(Child& child, int flags) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | flags) != 0) {
            if (errno == EINTR) return;
            // Someone else collected it; its code is lost.
            MarkExited(child, child.terminateCode.value_or(0));
            return;
        }
        if (info.si_pid == 0) return;
        MarkExited(child, FullExitCode(child, info, ExitCodeOf(info, child)));
    }

    // The host keeps 8 bits of an exit status; our tool hands over all 32.
    static win::DWORD FullExitCode(Child& child, const siginfo_t& info, win::DWORD status) {
        if (child.exitCodePipe < 0) return status;
        win::DWORD full = 0;
        const ssize_t got = read(child.exitCodePipe, &full, sizeof full);
        close(child.exitCodePipe);
        child.exitCodePipe = -1;
        if (info.si_code == CLD_EXITED && got == sizeof full && (full & 0xFF) == status) return full;
        return status;
    }

    static void MarkExited(Child& child, win::DWORD code) {
        child.exited = true;
        child.exitCode = code;
        if (child.pidfd >= 0) close(child.pidfd);
        child.pidfd = -1;
        if (child.exitCodePipe >= 0) close(child.exitCodePipe);
        child.exitCodePipe = -1;
    }

    // Ended children stay known for a while, so that a handle opened after
    // the end still reads the exit code.
    void PruneLocked() {
        constexpr size_t kKeptEnded = 128;
        size_t ended = 0;
        for (auto& entry : children_)
            if (entry.second->exited) ++ended;
        for (auto it = children_.begin(); it != children_.end() && ended > kKeptEnded;) {
            if (it->second->exited && it->second.use_count() == 1) {
                it = children_.erase(it);
                --ended;
            } else {
                ++it;
            }
        }
    }

    std::mutex mutex_;
    std::map<int, std::shared_ptr<Child>> children_;
};

ChildTable& Children() {
    static ChildTable table;
    return table;
}

// ---- which machine a process belongs to ------------------------------------

std::map<std::string, std::string> ReadEnvironmentOnce(int pid) {
    std::map<std::string, std::string> variables;
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    std::string entry;
    while (std::getline(in, entry, '\0')) {
        const size_t equals = entry.find('=');
        if (equals != std::string::npos && equals > 0) variables.emplace(entry.substr(0, equals), entry.substr(equals + 1));
    }
    return variables;
}

// A process in the middle of an exec shows an empty environment for a moment;
// one that stays empty for a while really has none.
std::map<std::string, std::string> ReadProcessEnvironment(int pid) {
    auto variables = ReadEnvironmentOnce(pid);
    for (int attempt = 0; variables.empty() && attempt < 20; ++attempt) {
        usleep(1000);
        variables = ReadEnvironmentOnce(pid);
    }
    return variables;
}

uid_t ProcessOwner(int pid) {
    struct stat info {};
    if (stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0) return static_cast<uid_t>(-1);
    return info.st_uid;
}

std::string HomeOf(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_dir;
    return "/tmp";
}

fs::path Canonical(const fs::path& path) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : canonical;
}

// The host folder a process's environment names, chosen as HostFolder() chooses it.
std::optional<fs::path> HostFolderOfProcess(int pid) {
    std::ifstream probe("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    if (!probe) return std::nullopt;
    probe.close();
    auto variables = ReadProcessEnvironment(pid);
    if (variables.empty()) {
        // A child of ours still without one belongs where we started it. Its
        // environment comes first: a child may have left our host folder by
        // the time it execs, and for a moment in the exec it reads as empty.
        if (const auto child = Children().Find(pid); child && !child->exited && !child->machine.empty())
            return child->machine;
    }
    auto value = [&](const char* name) {
        auto it = variables.find(name);
        return it == variables.end() ? std::string() : it->second;
    };
    if (const std::string host = value("QUARNEL_HOST"); !host.empty()) {
        fs::path folder = host;
        if (folder.is_relative()) {
            std::error_code ec;
            folder = fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd", ec) / folder;
        }
        return Canonical(folder);
    }
    if (const std::string data = value("XDG_DATA_HOME"); !data.empty()) return Canonical(fs::path(data) / "quarnel-host");
    std::string home = value("HOME");
    if (home.empty()) home = HomeOf(ProcessOwner(pid));
    return Canonical(fs::path(home) / ".local" / "share" / "quarnel-host");
}

bool IsOfThisMachine(int pid, const fs::path& thisMachine) {
    if (pid == getpid()) return true;
    const auto folder = HostFolderOfProcess(pid);
    return folder && *folder == thisMachine;
}

fs::path ThisMachineFolder() { return Canonical(HostFolder()); }

std::optional<fs::path> ExecutableOf(int pid) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    if (ec || exe.empty()) return std::nullopt;
    std::string text = exe.string();
    const std::string deleted = " (deleted)";
    if (text.size() > deleted.size() && text.ends_with(deleted)) text.resize(text.size() - deleted.size());
    return fs::path(text);
}

std::string LoginNameOf(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

// The fields of /proc/<pid>/stat after the command name (the state first).
std::vector<std::string> StatFields(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos) return fields;
    std::istringstream words(stat.substr(close + 1));
    for (std::string word; words >> word;) fields.push_back(word);
    return fields;
}

// Seconds since 1970 at which the host started.
std::int64_t BootTime() {
    static const std::int64_t boot = [] {
        std::ifstream in("/proc/stat");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("btime ", 0) == 0) return static_cast<std::int64_t>(std::atoll(line.c_str() + 6));
        return std::int64_t{0};
    }();
    return boot;
}

std::int64_t StartMicrosecondsOf(const std::vector<std::string>& fields) {
    // starttime is the 22nd field of the line, the 20th after the name.
    if (fields.size() < 20) return 0;
    static const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const std::int64_t ticks = std::atoll(fields[19].c_str());
    return BootTime() * 1000000 + ticks * 1000000 / ticksPerSecond;
}

std::vector<int> ProcessIds() {
    std::vector<int> ids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        ids.push_back(std::stoi(name));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Signals a process of this machine through a pidfd, so that an id reused
// after the checks is never hit.
bool SignalProcessOfThisMachine(int pid, int signal, const std::string& imageName, std::optional<unsigned> exitCode) {
    if (pid <= 0) return false;
    Children().ReapExited();
    const int pidfd = PidfdOpen(pid);
    if (pidfd < 0) return false;
    bool ok = IsOfThisMachine(pid, ThisMachineFolder());
    if (ok && !imageName.empty()) {
        const auto exe = ExecutableOf(pid);
        ok = exe && TextCompareEqual(exe->filename().string(), imageName);
    }
    if (ok) {
        const auto child = Children().Find(pid);
        if (child && !child->exited && exitCode) child->terminateCode = *exitCode;
        ok = PidfdSendSignal(pidfd, signal);
    }
    close(pidfd);
    return ok;
}

// ---- finding the program ----------------------------------------------------

bool IsRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool HasFolderPart(const std::string& program) { return program.find_first_of("\\/:") != std::string::npos; }

std::string FileNamePart(const std::string& program) {
    const size_t slash = program.find_last_of("\\/:");
    return slash == std::string::npos ? program : program.substr(slash + 1);
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && TextCompareEqual(text.substr(text.size() - tail.size()), tail);
}

bool HasExtension(const std::string& fileName) { return fileName.find('.') != std::string::npos; }

// The names one program name may have on the host: ".exe" is optional.
std::vector<std::string> NameVariants(const std::string& name) {
    if (EndsWithNoCase(name, ".exe")) return {name, name.substr(0, name.size() - 4)};
    if (!HasExtension(FileNamePart(name))) return {name, name + ".exe"};
    return {name};
}

// A file named *.exe is a program whatever its execute bit, as Windows sees
// it (an archive unpacked by another tool leaves the bit clear); starting it
// gives it the bit. Any other host file must be executable.
bool CountsAsProgram(const fs::path& hostPath) {
    return EndsWithNoCase(hostPath.filename().string(), ".exe") || access(hostPath.c_str(), X_OK) == 0;
}

std::optional<ResolvedCommand> ProgramOrBatchFile(const fs::path& hostPath, bool mustBeExecutable) {
    if (!IsRegularFile(hostPath)) return std::nullopt;
    ResolvedCommand found;
    found.hostPath = hostPath;
    found.windowsPath = ToWindowsPath(hostPath);
    if (IsBatchFileName(hostPath.filename().string())) {
        found.kind = ResolvedCommand::Kind::BatchFile;
        return found;
    }
    if (mustBeExecutable && !CountsAsProgram(hostPath)) return std::nullopt;
    found.kind = ResolvedCommand::Kind::HostProgram;
    return found;
}

// The exact name first, then a case-insensitive match, as Windows finds names.
std::optional<ResolvedCommand> FindInFolder(const fs::path& folder, const std::string& name) {
    for (const std::string& variant : NameVariants(name)) {
        if (auto found = ProgramOrBatchFile(folder / variant, true)) return found;
        if (auto mapped = ToHostPath(ToWindowsPath(folder) + "\\" + variant))
            if (auto found = ProgramOrBatchFile(*mapped, true)) return found;
    }
    return std::nullopt;
}

// Where Windows looks for a bare program name: the program's own folder, the
// system folders, then the search path (here the host's).
std::vector<fs::path> SearchFolders() {
    std::vector<fs::path> folders;
    if (auto programFolder = ToHostPath(vb::App::Path())) folders.push_back(*programFolder);
    if (fs::path own = OwnExecutableFolder(); !own.empty()) folders.push_back(own);
    for (const char* system : {"C:\\Windows\\System32", "C:\\Windows"})
        if (auto folder = ToHostPath(system)) folders.push_back(*folder);
    for (fs::path& folder : HostSearchPathFolders()) folders.push_back(std::move(folder));
    return folders;
}

std::optional<ResolvedCommand> FindByPath(const std::string& program) {
    const std::string windowsPath = NormalizeWindowsPath(program);
    if (windowsPath.empty()) return std::nullopt;
    for (const std::string& variant : NameVariants(windowsPath)) {
        const auto hostPath = ToHostPath(variant);
        if (!hostPath) continue;
        if (auto found = ProgramOrBatchFile(*hostPath, false)) return found;
    }
    return std::nullopt;
}

std::optional<ResolvedCommand> FindBareName(const std::string& program) {
    for (const fs::path& folder : SearchFolders())
        if (auto found = FindInFolder(folder, program)) return found;
    return std::nullopt;
}

// ---- starting ---------------------------------------------------------------

struct LaunchPlan {
    std::vector<std::string> argv;
    std::string rawArguments;
};

LaunchPlan PlanLaunch(const ResolvedCommand& command) {
    LaunchPlan plan;
    if (command.kind == ResolvedCommand::Kind::HostProgram) {
        platform::MakeExeRunnable(command.hostPath);
        plan.argv.push_back(command.hostPath.string());
        plan.rawArguments = command.arguments;
    } else {
        // A batch file runs as Windows runs one: %ComSpec% /c ""<file>" <arguments>".
        const auto commandProcessor = ToHostPath(vb::Environ("ComSpec"));
        if (!commandProcessor) throw RuntimeError::FileNotFound();
        plan.argv = {commandProcessor->string()};
        std::string inner = "\"" + command.windowsPath + "\"";
        if (!command.arguments.empty()) inner += " " + command.arguments;
        plan.rawArguments = "/c \"" + inner + "\"";
    }
    for (std::string& argument : SplitCommandLineArguments(plan.rawArguments)) plan.argv.push_back(std::move(argument));
    return plan;
}

std::vector<std::string> ChildEnvironment(const std::string& rawArguments, bool withExitCodeChannel) {
    std::vector<std::string> variables;
    const std::string rawPrefix = std::string(kRawCommandLineVariable) + "=";
    const std::string channelPrefix = std::string(kExitCodeChannelVariable) + "=";
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind(rawPrefix, 0) != 0 && variable.rfind(channelPrefix, 0) != 0) variables.push_back(variable);
    }
    variables.push_back(rawPrefix + rawArguments);
    if (withExitCodeChannel) variables.push_back(channelPrefix + std::to_string(kPassedDescriptorInChild));
    return variables;
}

int Spawn(const LaunchPlan& plan, int exitCodeChannel, ChildOutput output) {
    const std::vector<std::string> environment = ChildEnvironment(plan.rawArguments, exitCodeChannel >= 0);
    HostProgramStart start;
    start.argv = plan.argv;
    start.environment = &environment;
    start.passedDescriptor = exitCodeChannel;
    start.defaultSignals = true;
    start.discardOutput = output == ChildOutput::Hidden;
    const HostSpawn spawned = SpawnHostProgram(start);
    if (spawned.error == ENOENT || spawned.error == ENOTDIR) throw RuntimeError::FileNotFound();
    if (spawned.error != 0) throw RuntimeError::InvalidProcedureCall();
    return spawned.pid;
}

// ---- handles ----------------------------------------------------------------

struct HandleEntry {
    std::shared_ptr<Child> child;   // a process started here
    int pidfd = -1;                 // any other process of this machine
    int pid = 0;
    std::optional<win::DWORD> terminateCode;
};

class HandleTable {
public:
    win::HANDLE Add(HandleEntry entry) {
        std::lock_guard lock(mutex_);
        const win::HANDLE handle = next_;
        next_ += 4;
        entries_.emplace(handle, std::move(entry));
        return handle;
    }

    HandleEntry* Find(win::HANDLE handle) {
        auto it = entries_.find(handle);
        return it == entries_.end() ? nullptr : &it->second;
    }

    bool Remove(win::HANDLE handle) {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(handle);
        if (it == entries_.end()) return false;
        if (it->second.pidfd >= 0) close(it->second.pidfd);
        entries_.erase(it);
        return true;
    }

    std::mutex& Mutex() { return mutex_; }

private:
    std::mutex mutex_;
    std::map<win::HANDLE, HandleEntry> entries_;
    win::HANDLE next_ = 0x1000;
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

}  // namespace

// ---- public -------------------------------------------------------------------

std::optional<ResolvedCommand> ResolveProgramName(const std::string& program) {
    if (program.empty()) return std::nullopt;
    return HasFolderPart(program) ? FindByPath(program) : FindBareName(program);
}

std::optional<ResolvedCommand> ResolveCommandLine(const std::string& commandLine) {
    for (const ProgramPartReading& reading : ProgramPartReadings(commandLine)) {
        if (auto found = ResolveProgramName(reading.program)) {
            found->arguments = reading.rest;
            return found;
        }
    }
    return std::nullopt;
}

long StartCommandLine(const std::string& commandLine, ChildOutput output) {
    Children().ReapExited();
    if (TrimCommandLineBlanks(commandLine).empty()) throw RuntimeError::InvalidProcedureCall();
    const auto command = ResolveCommandLine(commandLine);
    if (!command) throw RuntimeError::FileNotFound();
    LaunchPlan plan = PlanLaunch(*command);
    auto child = std::make_shared<Child>();
    int channel[2] = {-1, -1};
    // Any program may be one of our tools (wintool, sc.exe) that hands its full exit code back.
    if (pipe2(channel, O_CLOEXEC | O_NONBLOCK) != 0) channel[0] = channel[1] = -1;
    try {
        child->pid = Spawn(plan, channel[1], output);
    } catch (...) {
        if (channel[0] >= 0) close(channel[0]);
        if (channel[1] >= 0) close(channel[1]);
        throw;
    }
    if (channel[1] >= 0) close(channel[1]);
    child->exitCodePipe = channel[0];
    child->pidfd = PidfdOpen(child->pid);
    child->machine = ThisMachineFolder();
    Children().Add(child);
    return child->pid;
}

win::DWORD WaitForChildExit(long pid) {
    const auto child = Children().Find(static_cast<int>(pid));
    if (!child) return win::STILL_ACTIVE;
    Children().Wait(*child);
    return child->exitCode;
}

std::vector<ProcessInfo> ListProcesses() {
    Children().ReapExited();
    const fs::path thisMachine = ThisMachineFolder();
    std::vector<ProcessInfo> processes;
    for (int pid : ProcessIds()) {
        const auto exe = ExecutableOf(pid);
        if (!exe || !IsOfThisMachine(pid, thisMachine)) continue;
        ProcessInfo info;
        info.pid = pid;
        info.imageName = exe->filename().string();
        info.ownerName = LoginNameOf(ProcessOwner(pid));
        info.executablePath = ToWindowsPath(*exe);
        const auto fields = StatFields(pid);
        info.parentPid = fields.size() > 1 ? std::atoi(fields[1].c_str()) : 0;
        info.threadCount = fields.size() > 17 ? std::max(1, std::atoi(fields[17].c_str())) : 1;
        info.startMicroseconds = StartMicrosecondsOf(fields);
        processes.push_back(std::move(info));
    }
    return processes;
}

bool TerminateProcessById(int pid, unsigned exitCode) {
    return SignalProcessOfThisMachine(pid, SIGKILL, "", exitCode);
}

bool EndProcessOfImage(int pid, const std::string& imageName, unsigned exitCode, bool force) {
    if (imageName.empty()) return false;
    return SignalProcessOfThisMachine(pid, force ? SIGKILL : SIGTERM, imageName,
                                      force ? std::optional<unsigned>(exitCode) : std::nullopt);
}

bool IsBatchFileName(const std::string& name) { return EndsWithNoCase(name, ".cmd") || EndsWithNoCase(name, ".bat"); }

int TakeExitCodeChannel() {
    const char* value = std::getenv(kExitCodeChannelVariable);
    int channel = -1;
    if (value && *value) {
        channel = std::atoi(value);
        if (channel < 3 || fcntl(channel, F_SETFD, FD_CLOEXEC) != 0) channel = -1;
    }
    unsetenv(kExitCodeChannelVariable);
    return channel;
}

int HandOverExitCode(int channel, win::DWORD exitCode) {
    if (channel >= 0) {
        const ssize_t written = write(channel, &exitCode, sizeof exitCode);
        (void)written;
        close(channel);
    }
    return static_cast<int>(exitCode & 0xFF);
}

}  // namespace platform

namespace vb {

long Shell(const std::string& commandLine, int windowStyle) {
    constexpr int vbHide = 0;  // the only style that matters here: this host shows no console windows
    return platform::StartCommandLine(commandLine,
                                      windowStyle == vbHide ? platform::ChildOutput::Hidden : platform::ChildOutput::Ours);
}

}  // namespace vb

namespace win {

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    (void)desiredAccess;
    (void)inheritHandle;
    const int pid = static_cast<int>(processId);
    if (pid <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    platform::HandleEntry entry;
    entry.pid = pid;
    entry.child = platform::Children().Find(pid);
    platform::Children().ReapExited();
    if (!entry.child) {
        entry.pidfd = platform::PidfdOpen(pid);
        if (entry.pidfd < 0 || !platform::IsOfThisMachine(pid, platform::ThisMachineFolder())) {
            if (entry.pidfd >= 0) close(entry.pidfd);
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return platform::Handles().Add(std::move(entry));
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    platform::Children().ReapExited();
    std::lock_guard lock(platform::Handles().Mutex());
    const platform::HandleEntry* entry = platform::Handles().Find(process);
    if (!entry || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    if (entry->child) {
        *exitCode = entry->child->exited ? entry->child->exitCode : STILL_ACTIVE;
    } else {
        // The code of a process started elsewhere is not known here; one we
        // ended reports the code we gave it.
        *exitCode = platform::PidfdHasExited(entry->pidfd) ? entry->terminateCode.value_or(0) : STILL_ACTIVE;
    }
    return TRUE_;
}

namespace {
// True once the process behind a handle has ended; nothing for a bad handle.
std::optional<bool> HasEnded(HANDLE process) {
    platform::Children().ReapExited();
    std::lock_guard lock(platform::Handles().Mutex());
    const platform::HandleEntry* entry = platform::Handles().Find(process);
    if (!entry) return std::nullopt;
    if (entry->child) return entry->child->exited;
    return platform::PidfdHasExited(entry->pidfd);
}
}  // namespace

DWORD WaitForSingleObject(HANDLE process, DWORD milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const std::optional<bool> ended = HasEnded(process);
        if (!ended) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (*ended) return WAIT_OBJECT_0;
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    platform::Children().ReapExited();
    std::lock_guard lock(platform::Handles().Mutex());
    platform::HandleEntry* entry = platform::Handles().Find(process);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    if (entry->child) {
        if (entry->child->exited || entry->child->pidfd < 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE_;
        }
        entry->child->terminateCode = exitCode;
        return platform::PidfdSendSignal(entry->child->pidfd, SIGKILL) ? TRUE_ : FALSE_;
    }
    if (platform::PidfdHasExited(entry->pidfd) || !platform::PidfdSendSignal(entry->pidfd, SIGKILL)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE_;
    }
    entry->terminateCode = exitCode;
    return TRUE_;
}

BOOL CloseHandle(HANDLE handle) {
    platform::Children().ReapExited();
    if (platform::Handles().Remove(handle)) return TRUE_;
    if (CloseTokenHandle(handle)) return TRUE_;
    if (CloseSnapshotHandle(handle)) return TRUE_;
    if (CloseTransactionHandle(handle)) return TRUE_;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE_;
}

}  // namespace win
