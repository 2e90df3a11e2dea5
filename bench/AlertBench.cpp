// Alert latency and throughput of the live monitor, measured on the real
// Quarnel.exe of the build installed into a temporary host:
//  - latency: from ReportEvent returning in this process to the monitor's
//    "DoAction Initiated" line, 50 rule files (one matches) and three
//    exclusion lists of 100 lines, over 1,000 records;
//  - throughput: 4 writer processes, 10,000 records in all, each alert
//    checked off by the unique text it carries (none lost, none twice);
//  - the floor beside them: a pipe round trip between two processes, and
//    reading the 50 rule files once.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "platform/api/EventLog.h"
#include "platform/api/Process.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Program.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRules = 50;
constexpr int kListLines = 100;
constexpr int kLatencyRecords = 1000;
constexpr int kWriters = 4;
constexpr int kThroughputRecords = 10000;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void PrepareRules(const fs::path& programFolder) {
    const fs::path rules = programFolder / "Rules";
    for (int i = 0; i < kRules; ++i) {
        const bool matching = i == kRules / 2;
        testsupport::WriteHostFile(rules / ("Rule " + std::to_string(i) + ".DAT"),
                                   "[LogFile]\r\nApplication=1\r\nSecurity=0\r\nSystem=1\r\n"
                                   "[EventType]\r\nInfo=1\r\nWarning=1\r\nError=1\r\nSuccess=0\r\nFailure=0\r\n"
                                   "[EventDetail]\r\nEventID=" +
                                       std::string(matching ? "7036" : std::to_string(20000 + i)) +
                                       "\r\nEventSource=Bench Source\r\nEventDesc=\r\nEventDescEx=\r\n");
    }
    std::string ids, sources, descriptions;
    for (int i = 0; i < kListLines; ++i) {
        ids += std::to_string(40000 + i) + "\r\n";
        sources += "Excluded Source " + std::to_string(i) + "\r\n";
        descriptions += "excluded words " + std::to_string(i) + "\r\n";
    }
    testsupport::WriteHostFile(rules / "GlobalExclusion_EventID_List.txt", ids);
    testsupport::WriteHostFile(rules / "GlobalExclusion_EventSource_List.txt", sources);
    testsupport::WriteHostFile(rules / "GlobalExclusion_EventDesc_List.txt", descriptions);
}

// The installed monitor with its debug output on a pipe this process reads.
struct Monitor {
    pid_t pid = -1;
    int output = -1;
    std::string buffer;

    Monitor(const testsupport::TempHost& host, const fs::path& exe) {
        int fds[2];
        if (pipe(fds) != 0) std::perror("pipe");
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDERR_FILENO);
            close(fds[0]);
            setenv("QUARNEL_HOST", host.Folder().c_str(), 1);
            setenv("QUARNEL_CMDLINE", "", 1);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        output = fds[0];
    }
    ~Monitor() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(output);
    }
    // Reads until a whole line holding the text arrives; the line.
    std::string WaitForLine(const std::string& text) {
        for (;;) {
            for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                if (line.find(text) != std::string::npos) return line;
            }
            char chunk[65536];
            const ssize_t n = read(output, chunk, sizeof chunk);
            if (n <= 0) {
                std::fprintf(stderr, "monitor output ended: %s\n", buffer.c_str());
                return "";
            }
            buffer.append(chunk, static_cast<size_t>(n));
        }
    }
};

void Report(const char* source, const std::string& message, std::uint32_t id = 7036) {
    const win::HANDLE log = win::RegisterEventSourceA(nullptr, source);
    const char* strings[] = {message.c_str()};
    win::ReportEventA(log, win::EVENTLOG_ERROR_TYPE, 0, id, nullptr, 1, 0, strings, nullptr);
    win::DeregisterEventSource(log);
}

void Latency(const testsupport::TempHost& host, const fs::path& programFolder) {
    platform::WriteIniValue(programFolder / "Quarnel.ini", "General", "ShowTaskBar", "0");
    Monitor monitor(host, programFolder / "Quarnel.exe");
    monitor.WaitForLine("subscribed to new event-log records");
    std::vector<double> latencies;
    for (int i = 0; i < kLatencyRecords; ++i) {
        Report("Bench Source", "record " + std::to_string(i));
        const auto written = Clock::now();
        monitor.WaitForLine("DoAction Initiated");
        latencies.push_back(Micros(Clock::now() - written));
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("alert latency over %d records: median %.0f us, 99th percentile %.0f us, max %.0f us\n",
                kLatencyRecords, latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100],
                latencies.back());
}

void Throughput(const testsupport::TempHost& host, const fs::path& programFolder) {
    platform::WriteIniValue(programFolder / "Quarnel.ini", "General", "ShowTaskBar", "1");
    Monitor monitor(host, programFolder / "Quarnel.exe");
    monitor.WaitForLine("subscribed to new event-log records");
    const auto start = Clock::now();
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (int n = 0; n < kThroughputRecords / kWriters; ++n)
                Report("Bench Source", "w" + std::to_string(w) + "n" + std::to_string(n) + ".");
            _exit(0);
        }
        writers.push_back(pid);
    }
    std::set<std::string> seen;
    int duplicates = 0;
    for (int i = 0; i < kThroughputRecords; ++i) {
        const std::string line = monitor.WaitForLine("Message: w");
        const size_t at = line.find("Message: w") + 9;
        const std::string key = line.substr(at, line.find('.', at) - at);
        if (!seen.insert(key).second) ++duplicates;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (pid_t pid : writers) waitpid(pid, nullptr, 0);
    std::printf("throughput: %d writers, %d records delivered in %.2f s = %.0f records/s; distinct %zu, lost %d, twice %d\n",
                kWriters, kThroughputRecords, seconds, kThroughputRecords / seconds, seen.size(),
                kThroughputRecords - static_cast<int>(seen.size()), duplicates);
}

void PipeRoundTrip() {
    int there[2], back[2];
    if (pipe(there) != 0 || pipe(back) != 0) std::perror("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(there[1]);
        close(back[0]);
        char c;
        while (read(there[0], &c, 1) == 1) write(back[1], &c, 1);
        _exit(0);
    }
    std::vector<double> trips;
    for (int i = 0; i < kLatencyRecords; ++i) {
        char c = 'x';
        const auto start = Clock::now();
        write(there[1], &c, 1);
        read(back[0], &c, 1);
        trips.push_back(Micros(Clock::now() - start));
    }
    close(there[1]);
    waitpid(pid, nullptr, 0);
    std::sort(trips.begin(), trips.end());
    std::printf("floor: pipe round trip median %.1f us, 99th percentile %.1f us\n", trips[trips.size() / 2],
                trips[trips.size() * 99 / 100]);
}

void ReadRulesOnce(const fs::path& programFolder) {
    platform::SetProgramPathForTests(CommonModule::AppPath().empty() ? "" : "C:\\Program Files\\Quarnel\\Quarnel.exe");
    const auto start = Clock::now();
    constexpr int kRounds = 100;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::string> files;
        CommonModule::FindFiles(CommonModule::AppPath() + "Rules", "*.DAT", files, false);
        for (const std::string& file : files)
            for (const char* key : {"System", "Error", "EventID", "EventSource", "EventDesc", "EventDescEx"})
                CommonModule::ReadIniString(file, key[0] == 'E' && key[1] == 'v' ? "EventDetail" : "LogFile", key);
    }
    std::printf("floor: listing and reading the %d rule files once (6 keys each): %.0f us\n", kRules,
                Micros(Clock::now() - start) / kRounds);
}

}  // namespace

int main(int argc, char** argv) {
    platform::InitProgram(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    testsupport::TempHost host;
    const fs::path programFolder = testsupport::InstallProgram(host);
    platform::WriteIniValue(programFolder / "Quarnel.ini", "General", "ShowTrayIcon", "1");
    PrepareRules(programFolder);
    // eventcreate registers the source with its message table, so records of it carry their text.
    platform::WaitForChildExit(vb::Shell("\"C:\\Program Files\\Quarnel\\eventcreate.exe\" /L APPLICATION /T INFORMATION "
                                         "/ID 1 /SO \"Bench Source\" /D \"Registering the source.\"", 0));
    PipeRoundTrip();
    ReadRulesOnce(programFolder);
    Latency(host, programFolder);
    Throughput(host, programFolder);
    return 0;
}
