// The live monitor's speed, measured on the real Quarnel.exe of the build
// installed into a temporary host, each figure beside a floor measured in
// the same run by plain code that does the least work possible, the ratio,
// and the figure's target:
//  - alert latency: from before ReportEvent to the monitor's "DoAction
//    Initiated" line, over 1,000 records that only the last of 50 rule files
//    (in folder order) matches, with three exclusion lists of 100 lines;
//    floor: the record written to a copy of the store and read back from it
//    in plain SQLite calls, then the Rules folder listed and every file the
//    monitor reads for one such record read with plain POSIX calls;
//  - throughput: 4 writer processes, 10,000 records, each alert checked off
//    by the unique text it carries (none lost, none twice); floor: the file
//    work per record; and the writers' own ceiling without a monitor, beside
//    4 processes that each keep one plain SQLite connection to the same store
//    and append their records to it;
//  - one eventcreate.exe as a whole process, median of 100, beside /bin/true
//    and beside the same two store operations in plain SQLite calls;
//  - the event-log store's size (database and write-ahead log) after the
//    throughput run;
//  - the monitor's wake-ups in 10 s without records.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "PlainStore.h"
#include "platform/api/EventLog.h"
#include "platform/api/Program.h"
#include "platform/api/ProfileIni.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::PointersOf;

constexpr int kRules = 50;
constexpr int kListLines = 100;
constexpr int kLatencyRecords = 1000;
constexpr int kFloorRounds = 1000;
constexpr int kWriters = 4;
constexpr int kThroughputRecords = 10000;
constexpr int kProcessRuns = 100;
constexpr int kIdleSeconds = 10;
constexpr const char* kSource = "Bench Source";
constexpr const char* kListNames[] = {"GlobalExclusion_EventID_List.txt", "GlobalExclusion_EventSource_List.txt",
                                      "GlobalExclusion_EventDesc_List.txt"};

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Spread {
    double median = 0;
    double p99 = 0;
};

Spread SpreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() * 99 / 100]};
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// --- the installed program's files ------------------------------------------------------

// Rule 00 to Rule 49: only the last in folder order matches the records.
void PrepareRules(const fs::path& programFolder) {
    const fs::path rules = programFolder / "Rules";
    for (int i = 0; i < kRules; ++i) {
        const bool matching = i == kRules - 1;
        char name[32];
        std::snprintf(name, sizeof name, "Rule %02d.DAT", i);
        testsupport::WriteHostFile(rules / name,
                                   "[LogFile]\r\nApplication=1\r\nSecurity=0\r\nSystem=1\r\n"
                                   "[EventType]\r\nInfo=1\r\nWarning=1\r\nError=1\r\nSuccess=0\r\nFailure=0\r\n"
                                   "[EventDetail]\r\nEventID=" +
                                       std::string(matching ? "7036" : std::to_string(20000 + i)) +
                                       "\r\nEventSource=" + kSource + "\r\nEventDesc=\r\nEventDescEx=\r\n");
    }
    std::string lists[3];
    for (int i = 0; i < kListLines; ++i) {
        lists[0] += std::to_string(40000 + i) + "\r\n";
        lists[1] += "Excluded Source " + std::to_string(i) + "\r\n";
        lists[2] += "excluded words " + std::to_string(i) + "\r\n";
    }
    for (int i = 0; i < 3; ++i) testsupport::WriteHostFile(rules / kListNames[i], lists[i]);
}

// --- floors: plain code, no project code ---------------------------------------------------

void ReadWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buffer[16384];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
}

bool EndsWithDat(const char* name) {
    const std::size_t n = std::strlen(name);
    return n > 4 && strcasecmp(name + n - 4, ".dat") == 0;
}

// The file work of one record: list the Rules folder, read each rule file
// once and the three lists once (for the one rule that passes).
void FileWorkOfOneRecord(const fs::path& rules) {
    DIR* folder = ::opendir(rules.c_str());
    if (!folder) return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(folder))
        if (EndsWithDat(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(folder);
    for (const std::string& name : names) ReadWhole(rules.string() + "/" + name);
    for (const char* list : kListNames) ReadWhole(rules.string() + "/" + list);
}

// The store's two connections of one record, on a copy of the store: a
// writer's that appends and rings, the monitor's that reads the record back.
class FloorStore {
public:
    explicit FloorStore(const fs::path& hostFolder)
        : scratch_(hostFolder / "floor-store"),
          copied_(fs::create_directories(scratch_ / "eventlog.doorbell") &&
                  plainstore::CopyStore((hostFolder / "eventlog.db").string(), (scratch_ / "eventlog.db").string())),
          writer_(copied_ ? plainstore::Open((scratch_ / "eventlog.db").string()) : nullptr),
          reader_(copied_ ? plainstore::Open((scratch_ / "eventlog.db").string()) : nullptr) {
        appender_.emplace(writer_);
        if (!writer_ || !reader_) std::printf("floor: the copy of the event-log store did not open\n");
    }
    ~FloorStore() {
        appender_.reset();
        sqlite3_close(reader_);
        sqlite3_close(writer_);
        std::error_code ec;
        fs::remove_all(scratch_, ec);
    }
    FloorStore(const FloorStore&) = delete;
    FloorStore& operator=(const FloorStore&) = delete;

    void WriteAndReadOne(int n) {
        const sqlite3_int64 number =
            appender_->Append("Application", kSource, "record " + std::to_string(n));
        plainstore::Ring(scratch_.string());
        plainstore::ReadRecord(reader_, "Application", number);
    }

private:
    fs::path scratch_;
    bool copied_;
    sqlite3* writer_;
    sqlite3* reader_;
    std::optional<plainstore::Writer> appender_;
};

struct RecordFloors {
    Spread record;  // the store's part and the file work
    Spread store;   // the store's part alone
};

// One record's least work: written and read back through the store, then the files read.
RecordFloors RecordFloor(const fs::path& hostFolder, const fs::path& rules) {
    FloorStore store(hostFolder);
    std::vector<double> rounds, storeParts;
    for (int i = 0; i < kFloorRounds; ++i) {
        const auto start = Clock::now();
        store.WriteAndReadOne(i);
        const auto stored = Clock::now();
        FileWorkOfOneRecord(rules);
        rounds.push_back(Micros(Clock::now() - start));
        storeParts.push_back(Micros(stored - start));
    }
    return {SpreadOf(rounds), SpreadOf(storeParts)};
}

// The file work alone, the floor of throughput: the writers work beside the monitor.
Spread FileWorkFloor(const fs::path& rules) {
    std::vector<double> rounds;
    for (int i = 0; i < kFloorRounds; ++i) {
        const auto start = Clock::now();
        FileWorkOfOneRecord(rules);
        rounds.push_back(Micros(Clock::now() - start));
    }
    return SpreadOf(rounds);
}

std::vector<std::string> EnvironmentOf(const testsupport::TempHost& host) {
    std::vector<std::string> variables = {"QUARNEL_HOST=" + host.Folder().string()};
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "QUARNEL_", 8) != 0) variables.emplace_back(*entry);
    return variables;
}

// Four processes, each keeping one plain SQLite connection to the same store
// and appending its share of the records (BEGIN IMMEDIATE, next number,
// insert, COMMIT, doorbell): the least the writers do.
double WritersFloor(const testsupport::TempHost& host) {
    std::vector<std::string> floorWriter = {(fs::path(QUARNEL_BIN_DIR) / "quarnel_store_floor").string(),
                                            host.Folder().string(), "Application", kSource,
                                            std::to_string(kThroughputRecords / kWriters)};
    std::vector<std::string> variables = EnvironmentOf(host);
    std::vector<char*> argv = PointersOf(floorWriter), envp = PointersOf(variables);
    const auto start = Clock::now();
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0) writers.push_back(pid);
    }
    int failures = 0;
    for (pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    if (failures || writers.size() != kWriters) std::printf("floor writers: %d failed\n", failures);
    return kThroughputRecords / Seconds(Clock::now() - start);
}

// --- the monitor ------------------------------------------------------------------------------

// The installed monitor with its debug output on a pipe this process reads.
class Monitor {
public:
    Monitor(const testsupport::TempHost& host, const fs::path& exe) {
        int fds[2];
        if (pipe(fds) != 0) std::perror("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], STDERR_FILENO);
            close(fds[0]);
            setenv("QUARNEL_HOST", host.Folder().c_str(), 1);
            setenv("QUARNEL_CMDLINE", "", 1);
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"}) unsetenv(name);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        output_ = fds[0];
    }
    ~Monitor() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        close(output_);
    }
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    pid_t Pid() const { return pid_; }

    // The next whole line holding the text; empty when none comes within the limit.
    std::string WaitForLine(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(30)) {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            for (std::size_t end; (end = buffer_.find('\n', scanned_)) != std::string::npos;) {
                const std::size_t begin = scanned_;
                scanned_ = end + 1;
                if (std::string_view(buffer_).substr(begin, end - begin).find(text) != std::string_view::npos) {
                    std::string line = buffer_.substr(begin, end - begin);
                    Consume();
                    return line;
                }
            }
            Consume();
            const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            pollfd wait{output_, POLLIN, 0};
            if (left <= 0 || ::poll(&wait, 1, left) <= 0) return "";
            char chunk[65536];
            const ssize_t n = read(output_, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Context switches of all its threads: each one a wake-up.
    long Switches() const {
        long total = 0;
        std::error_code ec;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ec)) {
            std::ifstream status(task.path() / "status");
            std::string key;
            long value = 0;
            while (status >> key) {
                if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
                    status >> value;
                    total += value;
                }
            }
        }
        return total;
    }

private:
    void Consume() {
        buffer_.erase(0, scanned_);
        scanned_ = 0;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffer_;
    std::size_t scanned_ = 0;
};

class EventSource {
public:
    EventSource() : handle_(win::RegisterEventSourceA(nullptr, kSource)) {}
    ~EventSource() { win::DeregisterEventSource(handle_); }
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;
    bool Report(const std::string& message) {
        const char* strings[] = {message.c_str()};
        return win::ReportEventA(handle_, win::EVENTLOG_ERROR_TYPE, 0, 7036, nullptr, 1, 0, strings, nullptr) != 0;
    }

private:
    win::HANDLE handle_;
};

void SetShowTaskBar(const fs::path& programFolder, bool on) {
    platform::WriteIniValue(programFolder / "Quarnel.ini", "General", "ShowTaskBar", on ? "1" : "0");
}

void Latency(const testsupport::TempHost& host, const fs::path& programFolder, const RecordFloors& floors) {
    const Spread& floor = floors.record;
    SetShowTaskBar(programFolder, false);
    Monitor monitor(host, programFolder / "Quarnel.exe");
    if (monitor.WaitForLine(testsupport::kSubscribed).empty()) {
        std::printf("latency: the monitor did not subscribe\n");
        return;
    }
    EventSource source;
    std::vector<double> latencies;
    int missing = 0;
    for (int i = 0; i < kLatencyRecords; ++i) {
        const auto before = Clock::now();
        source.Report("record " + std::to_string(i));
        if (monitor.WaitForLine("DoAction Initiated").empty()) ++missing;
        latencies.push_back(Micros(Clock::now() - before));
    }
    const Spread latency = SpreadOf(latencies);
    std::printf("alert latency, %d records, last of %d rules matching: median %.0f us; floor %.0f us (the store's "
                "write and read %.0f us, the file work the rest); ratio %.1f; target <= 2x floor: %s\n",
                kLatencyRecords, kRules, latency.median, floor.median, floors.store.median, latency.median / floor.median,
                Verdict(latency.median <= 2 * floor.median));
    std::printf("alert latency, 99th percentile %.0f us; floor %.0f us; ratio %.1f; target < 2000 us: %s%s\n",
                latency.p99, floor.p99, latency.p99 / floor.p99, Verdict(latency.p99 < 2000),
                missing ? (", " + std::to_string(missing) + " alerts missing").c_str() : "");

    // The same monitor, now without records.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long before = monitor.Switches();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    const long wakeUps = monitor.Switches() - before;
    std::printf("idle monitor, %d s without records: %ld wake-ups; floor 0 (a process blocked in a read); "
                "target 0: %s\n",
                kIdleSeconds, wakeUps, Verdict(wakeUps == 0));
}

// 4 forked writers, kThroughputRecords in all; the seconds they took.
double RunWriters() {
    const auto start = Clock::now();
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            EventSource source;
            int failed = 0;
            for (int n = 0; n < kThroughputRecords / kWriters; ++n)
                if (!source.Report("w" + std::to_string(w) + "n" + std::to_string(n) + ".")) ++failed;
            _exit(failed ? 1 : 0);
        }
        writers.push_back(pid);
    }
    int failures = 0;
    for (pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    if (failures) std::printf("writers: %d of %d writers reported failed records\n", failures, kWriters);
    return Seconds(Clock::now() - start);
}

void Throughput(const testsupport::TempHost& host, const fs::path& programFolder, const Spread& floor) {
    SetShowTaskBar(programFolder, true);
    Monitor monitor(host, programFolder / "Quarnel.exe");
    if (monitor.WaitForLine(testsupport::kSubscribed).empty()) {
        std::printf("throughput: the monitor did not subscribe\n");
        return;
    }
    const auto start = Clock::now();
    std::thread writers(RunWriters);
    std::set<std::string> seen;
    int twice = 0;
    for (int i = 0; i < kThroughputRecords; ++i) {
        const std::string line = monitor.WaitForLine("Message: w");
        if (line.empty()) break;
        const std::size_t at = line.find("Message: w") + 9;
        if (!seen.insert(line.substr(at, line.find('.', at) - at)).second) ++twice;
    }
    const double seconds = Seconds(Clock::now() - start);
    writers.join();
    const int lost = kThroughputRecords - static_cast<int>(seen.size());
    const double rate = static_cast<double>(seen.size()) / seconds;
    const double floorRate = 1e6 / floor.median;
    std::printf("throughput, %d writers, %d records: %.0f records/s, lost %d, twice %d; floor %.0f records/s "
                "(the file work per record); ratio %.2f; target >= 2000 records/s, none lost or twice: %s\n",
                kWriters, kThroughputRecords, rate, lost, twice, floorRate, rate / floorRate,
                Verdict(rate >= 2000 && lost == 0 && twice == 0));
}

void StoreSize(const testsupport::TempHost& host) {
    std::error_code ec;
    const fs::path store = host.Folder() / "eventlog.db";
    const auto database = fs::file_size(store, ec);
    const auto wal = fs::exists(store.string() + "-wal") ? fs::file_size(store.string() + "-wal", ec) : 0;
    // The records' own text: log name, source and message.
    double ownBytes = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int n = 0; n < kThroughputRecords / kWriters; ++n)
            ownBytes += static_cast<double>(std::strlen("Application") + std::strlen(kSource) +
                                            ("w" + std::to_string(w) + "n" + std::to_string(n) + ".").size());
    std::printf("event-log store after the throughput run: database %.1f MB, write-ahead log %.2f MB; floor %.2f MB "
                "(the records' own text); ratio %.1f; target write-ahead log < 8 MB: %s\n",
                database / 1e6, wal / 1e6, ownBytes / 1e6, (database + wal) / ownBytes, Verdict(wal < 8u * 1024 * 1024));
}

void WritersCeiling(const testsupport::TempHost& host) {
    const double rate = kThroughputRecords / RunWriters();
    const double floor = WritersFloor(host);
    std::printf("writers' ceiling without a monitor, %d writers, %d records: %.0f records/s; floor %.0f records/s "
                "(%d processes, each one plain SQLite connection to the same store); ratio %.2f; "
                "target >= 2000 records/s: %s\n",
                kWriters, kThroughputRecords, rate, floor, kWriters, rate / floor, Verdict(rate >= 2000));
}

// One run of a program, start to end, in microseconds; failed is counted up
// when it does not end with exit code 0.
double ProcessRun(std::vector<char*>& argv, std::vector<char*>& envp, const posix_spawn_file_actions_t* quiet,
                  int& failed) {
    const auto start = Clock::now();
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, argv[0], quiet, nullptr, argv.data(), envp.data()) == 0) waitpid(pid, &status, 0);
    const double micros = Micros(Clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    return micros;
}

// eventcreate.exe, the plain store floor and /bin/true are run in turn, so
// that all three see the machine alike.
void EventCreateProcess(const testsupport::TempHost& host, const fs::path& programFolder) {
    std::vector<std::string> tool = {(programFolder / "eventcreate.exe").string(), "/L", "APPLICATION", "/T",
                                     "INFORMATION", "/ID", "1", "/SO", kSource, "/D", "One record of the benchmark."};
    std::vector<std::string> storeFloor = {(fs::path(QUARNEL_BIN_DIR) / "quarnel_store_floor").string(),
                                           host.Folder().string(), "Application", kSource};
    std::vector<std::string> nothing = {"/bin/true"};
    std::vector<std::string> variables = EnvironmentOf(host);
    std::vector<char*> toolArgv = PointersOf(tool), floorArgv = PointersOf(storeFloor), nothingArgv = PointersOf(nothing);
    std::vector<char*> envp = PointersOf(variables);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    std::vector<double> toolRuns, floorRuns, nothingRuns;
    int failed = 0, floorFailed = 0, nothingFailed = 0;
    for (int i = 0; i < kProcessRuns; ++i) {
        toolRuns.push_back(ProcessRun(toolArgv, envp, &quiet, failed));
        floorRuns.push_back(ProcessRun(floorArgv, envp, &quiet, floorFailed));
        nothingRuns.push_back(ProcessRun(nothingArgv, envp, &quiet, nothingFailed));
    }
    posix_spawn_file_actions_destroy(&quiet);
    const double median = SpreadOf(toolRuns).median, floor = SpreadOf(nothingRuns).median;
    const double storeMedian = SpreadOf(floorRuns).median;
    std::printf("eventcreate.exe as a whole process, median of %d: %.2f ms%s; floor %.2f ms (/bin/true); ratio %.1f; "
                "store floor %.2f ms%s (its two store operations in plain SQLite calls, one process); ratio %.2f; "
                "target <= 1.1x store floor: %s\n",
                kProcessRuns, median / 1000, failed ? (", " + std::to_string(failed) + " failed").c_str() : "",
                floor / 1000, median / floor, storeMedian / 1000,
                floorFailed ? (", " + std::to_string(floorFailed) + " failed").c_str() : "", median / storeMedian,
                Verdict(median <= 1.1 * storeMedian && failed == 0));
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
    EventCreateProcess(host, programFolder);
    Latency(host, programFolder, RecordFloor(host.Folder(), programFolder / "Rules"));
    Throughput(host, programFolder, FileWorkFloor(programFolder / "Rules"));
    StoreSize(host);
    WritersCeiling(host);
    return 0;
}
