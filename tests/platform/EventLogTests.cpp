#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/tools/EventCreateTool.h"
#include "platform/api/EventLog.h"
#include "platform/api/MessageTable.h"
#include "platform/api/Registry.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/HostProcess.h"
#include "platform/host/HostTools.h"
#include "platform/host/WinPath.h"
#include "support/TempHost.h"
#include "support/EventCreateRun.h"


namespace {

namespace fs = std::filesystem;
using testsupport::TempHost;

std::vector<platform::EventRecord> AllRecords() {
    platform::EventLogStore store;
    return store.AllRecords();
}

void CreateSourceKey(const std::string& log, const std::string& source) {
    const std::string path = std::string(platform::kEventLogKey) + "\\" + log + "\\" + source;
    win::HKEY key = 0;
    ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr),
              0);
    win::RegCloseKey(key);
}

bool Report(const std::string& source, win::WORD type, win::DWORD id, const std::vector<std::string>& strings,
            const std::string& data = "") {
    const win::HANDLE handle = win::RegisterEventSourceA(nullptr, source.c_str());
    if (!handle) return false;
    std::vector<const char*> texts;
    for (const std::string& s : strings) texts.push_back(s.c_str());
    const bool ok = win::ReportEventA(handle, type, 3, id, nullptr, static_cast<win::WORD>(texts.size()),
                                      static_cast<win::DWORD>(data.size()), texts.data(), data.data()) != 0;
    win::DeregisterEventSource(handle);
    return ok;
}

// --- the store ---------------------------------------------------------------------------

TEST(EventLogStore, RecordsKeepTheirFieldsAndNumberPerLogInOneSequence) {
    TempHost host;
    platform::EventLogStore store;
    struct Written {
        std::string log;
        std::vector<std::string> strings;
        std::string data;
    };
    const std::vector<Written> written = {
        {"Application", {"one", ""}, std::string("\x01\x00\x02", 3)},
        {"System", {}, ""},
        {"application", {"x\r\ny", "\xC3\xA9"}, ""},
    };
    for (const Written& w : written) {
        platform::EventRecord record;
        record.log = w.log;
        record.source = "Src";
        record.type = 2;
        record.eventId = 0xC0000001u;
        record.strings = w.strings;
        record.data = w.data;
        store.Append(record);
    }
    const auto records = store.AllRecords();
    ASSERT_EQ(records.size(), 3u);
    const std::vector<std::int64_t> recordNumbers = {1, 1, 2};
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i].sequence, static_cast<std::int64_t>(i + 1));
        EXPECT_EQ(records[i].recordNumber, recordNumbers[i]);
        EXPECT_EQ(records[i].strings, written[i].strings);
        EXPECT_EQ(records[i].data, written[i].data);
        EXPECT_EQ(records[i].eventId, 0xC0000001u);
        EXPECT_GT(records[i].timeGenerated, 0);
        EXPECT_FALSE(records[i].computerName.empty());
    }
    EXPECT_EQ(store.RecordsAfter(1, 10).size(), 2u);
    EXPECT_EQ(store.RecordsAfter(3, 10).size(), 0u);
    EXPECT_EQ(store.LastSequence(), 3);
}

TEST(EventLogStore, AStoreThatCannotBeOpenedRaisesAndReportEventFails) {
    TempHost host;
    fs::create_directories(platform::EventLogStoreFile());  // a folder where the file belongs
    EXPECT_THROW(platform::EventLogStore(), RuntimeError);
    EXPECT_FALSE(Report("Src", win::EVENTLOG_ERROR_TYPE, 1, {"x"}));
}

// Several processes append at once: every record is kept, the sequence has
// no gap, record numbers run 1..n per log and each writer's order stays.
TEST(EventLogStore, ConcurrentWritersLoseNothing) {
    TempHost host;
    { platform::EventLogStore create; }
    constexpr int kWriters = 4, kEach = 150;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            try {
                platform::EventLogStore store;
                for (int i = 0; i < kEach; ++i) {
                    platform::EventRecord record;
                    record.log = w % 2 ? "System" : "Application";
                    record.source = "Writer" + std::to_string(w);
                    record.strings = {std::to_string(i)};
                    store.Append(record);
                }
            } catch (...) {
                failures = 1;
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kWriters * kEach));
    std::map<std::string, std::int64_t> lastNumber;
    std::map<std::string, int> nextOfWriter;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].sequence, static_cast<std::int64_t>(i + 1));
        EXPECT_EQ(records[i].recordNumber, ++lastNumber[records[i].log]);
        EXPECT_EQ(records[i].strings.at(0), std::to_string(nextOfWriter[records[i].source]++));
    }
    EXPECT_EQ(lastNumber["Application"] + lastNumber["System"], kWriters * kEach);
}

// Each store here is the only connection when it opens, as eventcreate.exe
// is when no monitor runs: the log must still start over now and then, or
// every opener reads all of it and it grows with every record.
TEST(EventLogStore, OneRecordWritersInARowKeepTheWriteAheadLogShort) {
    TempHost host;
    constexpr int kRecords = 400;
    std::uintmax_t largest = 0;
    for (int i = 0; i < kRecords; ++i) {
        {
            platform::EventLogStore store(platform::EventLogStore::Use::OneRecord);
            platform::EventRecord record;
            record.log = "Application";
            record.source = "Lone Writer";
            record.strings = {std::to_string(i)};
            store.Append(record);
        }
        std::error_code ec;
        largest = std::max(largest, fs::file_size(platform::EventLogStoreFile().string() + "-wal", ec));
    }
    EXPECT_LT(largest, 512u * 1024);
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kRecords));
    EXPECT_EQ(records.back().strings.at(0), std::to_string(kRecords - 1));
}

TEST(EventLogStore, EveryWriteRingsTheDoorbell) {
    TempHost host;
    platform::EventLogStore store;
    const fs::path bell = platform::EventLogDoorbellFolder() / "ring";
    fs::remove(bell);
    platform::EventRecord record;
    record.log = "Application";
    record.source = "Src";
    store.Append(record);
    EXPECT_TRUE(fs::exists(bell));
}

// Whatever lies where the bell should be, eventcreate neither blocks on it
// nor follows it out of the doorbell folder, and its record is stored.
TEST(EventLogStore, ABellThatIsNoFileNeitherHoldsUpNorLeadsAwayTheWriter) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& bell, const fs::path& outside)> make;
    };
    const std::vector<Case> cases = {
        {"FIFO", [](const fs::path& bell, const fs::path&) { ASSERT_EQ(::mkfifo(bell.c_str(), 0644), 0); }},
        {"folder", [](const fs::path& bell, const fs::path&) { fs::create_directory(bell); }},
        {"link to a file", [](const fs::path& bell, const fs::path& outside) {
             testsupport::WriteHostFile(outside, "kept");
             fs::create_symlink(outside, bell);
         }},
        {"link to no file", [](const fs::path& bell, const fs::path& outside) { fs::create_symlink(outside, bell); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempHost host;
        { platform::EventLogStore create; }
        const fs::path bell = platform::EventLogDoorbellFolder() / platform::kEventLogDoorbellName;
        const fs::path outside = host.Folder() / "outside" / "file.txt";
        fs::create_directories(outside.parent_path());
        fs::remove(bell);
        c.make(bell, outside);
        const bool hadFile = fs::exists(outside);
        const pid_t writer = testsupport::StartBuiltEventCreate(
            {"/L", "APPLICATION", "/T", "ERROR", "/ID", "1", "/SO", "Writer", "/D", "Rang."});
        ASSERT_GT(writer, 0);
        int status = 0;
        pid_t ended = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((ended = ::waitpid(writer, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (ended == 0) {
            ::kill(writer, SIGKILL);
            ::waitpid(writer, &status, 0);
            ADD_FAILURE() << "eventcreate hung on the bell";
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(AllRecords().size(), 1u);
        EXPECT_EQ(fs::exists(outside), hadFile);
        if (hadFile) {
            EXPECT_EQ(testsupport::ReadHostFile(outside), "kept");
        }
    }
}

// --- the Windows writer -----------------------------------------------------------------------

TEST(ReportEvent, TheSourceKeyChoosesTheLogAndAnUnknownSourceWritesToApplication) {
    TempHost host;
    CreateSourceKey("System", "Service Control Manager");
    ASSERT_TRUE(Report("Service Control Manager", win::EVENTLOG_ERROR_TYPE, 7036, {"a"}, "\x01"));
    ASSERT_TRUE(Report("Nobody Registered This", win::EVENTLOG_WARNING_TYPE, 5, {}));
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].log, "System");
    EXPECT_EQ(records[0].type, 1);
    EXPECT_EQ(records[0].category, 3);
    EXPECT_EQ(records[0].eventId, 7036u);
    EXPECT_EQ(records[0].data, "\x01");
    EXPECT_EQ(records[1].log, "Application");
    EXPECT_EQ(records[1].source, "Nobody Registered This");
}

TEST(ReportEvent, HandlesAndServersAreCheckedAsWindowsDoes) {
    TempHost host;
    EXPECT_EQ(win::RegisterEventSourceA("\\\\elsewhere", "Src"), 0);
    EXPECT_EQ(win::GetLastError(), win::RPC_S_INVALID_NET_ADDR);
    EXPECT_EQ(win::RegisterEventSourceA(nullptr, ""), 0);
    const char* text = "x";
    EXPECT_FALSE(win::ReportEventA(12345, 4, 0, 1, nullptr, 1, 0, &text, nullptr));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
    const win::HANDLE handle = win::RegisterEventSourceA(".", "Src");
    ASSERT_NE(handle, 0);
    EXPECT_FALSE(win::ReportEventA(handle, 4, 0, 1, nullptr, 2, 0, nullptr, nullptr));
    EXPECT_TRUE(win::DeregisterEventSource(handle));
    EXPECT_FALSE(win::DeregisterEventSource(handle));
    EXPECT_TRUE(AllRecords().empty());
}

// --- eventcreate -------------------------------------------------------------------------------

TEST(EventCreate, WritesOneRecordRegistersTheSourceAndGivesTheDescriptionAsMessage) {
    TempHost host;
    const platform::HostRun run = testsupport::RunBuiltEventCreate(
        {"/L", "SYSTEM", "/T", "ERROR", "/ID", "7036", "/SO", "Service Control Manager", "/D", "The x service entered the stopped state."});
    EXPECT_EQ(run.exitCode, 0) << run.error;
    EXPECT_EQ(run.output,
              "SUCCESS: An event of type 'ERROR' was created in the 'SYSTEM' log with 'Service Control Manager' as "
              "the source.\n");
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].log, "System");
    EXPECT_EQ(records[0].type, win::EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(records[0].eventId, 7036u);
    EXPECT_EQ(platform::RegisteredLogOfSource("Service Control Manager"), "System");
    EXPECT_EQ(platform::EventRecordMessage(records[0]), "The x service entered the stopped state.");
}

TEST(EventCreate, TypesAndIdsAsTyped) {
    TempHost host;
    const std::vector<std::pair<std::string, int>> types = {
        {"error", 1}, {"WARNING", 2}, {"Information", 4}, {"SUCCESS", 0}, {"AUDITSUCCESS", 8}, {"AUDITFAILURE", 16}};
    for (const auto& [typed, number] : types) {
        const auto result = platform::RunEventCreate({"/T", typed, "/ID", "65535", "/D", "text"});
        EXPECT_EQ(result.exitCode, 0) << typed << result.error;
    }
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(records[i].type, types[i].second);
        EXPECT_EQ(records[i].log, "Application");
        EXPECT_EQ(records[i].source, "EventCreate");
        EXPECT_EQ(records[i].eventId, 65535u);
    }
}

TEST(EventCreate, BadArgumentsFailWithWindowsTextAndWriteNothing) {
    TempHost host;
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"/T", "ERROR", "/ID", "1"}, "ERROR: Invalid Syntax. Mandatory option '/D' is missing."},
        {{"/ID", "1", "/D", "x"}, "ERROR: Invalid Syntax. Mandatory option '/T' is missing."},
        {{"/T", "ERROR", "/D", "x"}, "ERROR: Invalid Syntax. Mandatory option '/ID' is missing."},
        {{"/T", "FATAL", "/ID", "1", "/D", "x"}, "ERROR: Invalid Argument/Option - '/T'."},
        {{"/T", "ERROR", "/ID", "0", "/D", "x"}, "ERROR: Invalid ID. The valid range is from 1 - 65535."},
        {{"/T", "ERROR", "/ID", "65536", "/D", "x"}, "ERROR: Invalid ID. The valid range is from 1 - 65535."},
        {{"/T", "ERROR", "/ID", "12a", "/D", "x"}, "ERROR: Invalid ID. The valid range is from 1 - 65535."},
        {{"/T", "ERROR", "/ID", "1", "/D"}, "ERROR: Invalid syntax. Value expected for '/D'."},
        {{"/T", "ERROR", "/T", "ERROR", "/ID", "1", "/D", "x"},
         "ERROR: Invalid syntax. '/T' option is not allowed more than '1' time(s)."},
        {{"/X", "1"}, "ERROR: Invalid argument/option - '/X'."},
        {{"/L", "Nowhere", "/T", "ERROR", "/ID", "1", "/D", "x"}, "ERROR: The specified log 'Nowhere' does not exist."},
        {{"/SO", "a\\b", "/T", "ERROR", "/ID", "1", "/D", "x"}, "ERROR: Invalid source name 'a\\b'."},
        {{"/L", "Nowhere", "/SO", "a\\b", "/T", "ERROR", "/ID", "1", "/D", "x"},
         "ERROR: The specified log 'Nowhere' does not exist."},
        {{"/S", "otherhost", "/T", "ERROR", "/ID", "1", "/D", "x"}, "ERROR: The RPC server is unavailable."},
    };
    for (const Case& c : cases) {
        const auto result = platform::RunEventCreate(c.arguments);
        EXPECT_NE(result.exitCode, 0) << c.error;
        EXPECT_EQ(result.error.substr(0, result.error.find('\n')), c.error);
        EXPECT_TRUE(result.output.empty());
    }
    const platform::HostRun run = testsupport::RunBuiltEventCreate({"/T", "ERROR"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.error.find("Type \"EVENTCREATE /?\" for usage."), std::string::npos);
    EXPECT_TRUE(AllRecords().empty());
}

TEST(EventCreate, IdsFollowOneRuleWhateverTheLeadingZeros) {
    TempHost host;
    const std::vector<std::pair<std::string, std::uint32_t>> accepted = {
        {"007", 7}, {"000001", 1}, {"0000065535", 65535}, {"65535", 65535}};
    for (const auto& [typed, id] : accepted) {
        const auto result = platform::RunEventCreate({"/T", "ERROR", "/ID", typed, "/D", "x"});
        EXPECT_EQ(result.exitCode, 0) << typed << result.error;
    }
    for (const std::string typed : {"0000", "000065536", "1000000"}) {
        const auto result = platform::RunEventCreate({"/T", "ERROR", "/ID", typed, "/D", "x"});
        EXPECT_EQ(result.error, "ERROR: Invalid ID. The valid range is from 1 - 65535.\n") << typed;
    }
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), accepted.size());
    for (std::size_t i = 0; i < accepted.size(); ++i) EXPECT_EQ(records[i].eventId, accepted[i].second);
}

// A registry that cannot be read is reported as what it is, not as a refusal.
TEST(EventCreate, ADamagedRegistrySaysWhatFailed) {
    TempHost host;
    testsupport::WriteHostFile(host.Folder() / "registry.db", std::string(8192, '\x5A'));
    const platform::HostRun run = testsupport::RunBuiltEventCreate({"/T", "ERROR", "/ID", "1", "/SO", "Fresh Source", "/D", "x"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.error.find("Access is denied"), std::string::npos) << run.error;
    EXPECT_EQ(run.error.rfind("ERROR: An I/O operation initiated by the registry failed", 0), 0u) << run.error;
}

// The record goes through ReportEventA: a store that cannot be written fails
// the run with the system's reason, after the source was registered.
TEST(EventCreate, AnEventLogThatCannotBeWrittenFailsTheRunAndClaimsNoSuccess) {
    TempHost host;
    fs::create_directories(platform::EventLogStoreFile());  // a folder where the file belongs
    const platform::HostRun run = testsupport::RunBuiltEventCreate({"/T", "ERROR", "/ID", "1", "/SO", "Fresh Source", "/D", "x"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.error.rfind("ERROR: ", 0), 0u) << run.error;
    EXPECT_EQ(platform::RegisteredLogOfSource("Fresh Source"), "Application");
}

// A source that is already registered keeps its key; the record goes to
// the log asked for, under any name, the program's own included.
TEST(EventCreate, WritesUnderAnExistingSource) {
    TempHost host;
    CreateSourceKey("Application", "Quarnel");
    const auto result = platform::RunEventCreate({"/L", "system", "/T", "INFORMATION", "/ID", "10177", "/SO", "Quarnel", "/D", "stop"});
    EXPECT_EQ(result.exitCode, 0) << result.error;
    EXPECT_EQ(result.output, "SUCCESS: An event of type 'INFORMATION' was created in the 'system' log with 'Quarnel' as the source.\n");
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].log, "System");
    EXPECT_EQ(records[0].source, "Quarnel");
    EXPECT_EQ(platform::RegisteredLogOfSource("Quarnel"), "Application");
}

// The log named in any case is written under its registered name, whether
// the source is registered there or elsewhere.
TEST(EventCreate, WritesUnderTheRegisteredNameOfTheLog) {
    TempHost host;
    CreateSourceKey("System", "Service Control Manager");
    CreateSourceKey("Application", "Quarnel");
    for (const char* source : {"Service Control Manager", "Quarnel"}) {
        const auto result = platform::RunEventCreate({"/L", "SYSTEM", "/T", "ERROR", "/ID", "7036", "/SO", source, "/D", "x"});
        EXPECT_EQ(result.exitCode, 0) << result.error;
    }
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) EXPECT_EQ(record.log, "System") << record.source;
    EXPECT_EQ(platform::RegisteredLogOfSource("Quarnel"), "Application");
}

// A source registered under two logs is written under the log named, and it
// is that log's key that must carry the message file for the record to read
// with its message.
TEST(EventCreate, ASourceUnderTwoLogsGetsItsMessageInTheLogNamed) {
    TempHost host;
    const auto first =
        platform::RunEventCreate({"/L", "Application", "/T", "ERROR", "/ID", "7", "/SO", "Backup Tool", "/D", "first"});
    ASSERT_EQ(first.exitCode, 0) << first.error;
    CreateSourceKey("System", "Backup Tool");
    const auto second =
        platform::RunEventCreate({"/L", "SYSTEM", "/T", "ERROR", "/ID", "7", "/SO", "Backup Tool", "/D", "second"});
    ASSERT_EQ(second.exitCode, 0) << second.error;
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].log, "System");
    EXPECT_EQ(platform::EventRecordMessage(records[0]), "first");
    EXPECT_EQ(platform::EventRecordMessage(records[1]), "second");
}

// Runs killed at random moments, each registering a new source on a machine
// whose message table is not written yet: whatever a killed run left, every
// record stored then and every later one of those sources reads with its
// message, so each can alert.
TEST(EventCreate, RunsKilledAtAnyMomentLeaveEveryRecordItsMessage) {
    TempHost host;
    const auto table = platform::ToHostPath(platform::ExpandEnvironmentStrings(platform::kEventCreateMessageFile));
    ASSERT_TRUE(table);
    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> microseconds(0, 15000);
    constexpr int kRuns = 200;
    auto source = [](int run) { return "Killed Source " + std::to_string(run); };
    for (int run = 0; run < kRuns; ++run) {
        fs::remove(*table);
        platform::HostProgramStart start;
        start.argv = {std::string(QUARNEL_BIN_DIR) + "/eventcreate.exe", "/T", "ERROR", "/ID", "7", "/SO", source(run),
                      "/D", "killed " + std::to_string(run)};
        start.discardOutput = true;
        const pid_t pid = platform::SpawnHostProgram(start).pid;
        ASSERT_GT(pid, 0);
        usleep(static_cast<useconds_t>(microseconds(random)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    const std::size_t killedRecords = AllRecords().size();
    for (int run = 0; run < kRuns; ++run) {
        const platform::HostRun later = testsupport::RunBuiltEventCreate(
            {"/T", "ERROR", "/ID", "7", "/SO", source(run), "/D", "later " + std::to_string(run)});
        ASSERT_EQ(later.exitCode, 0) << later.error;
    }
    const auto records = AllRecords();
    ASSERT_EQ(records.size(), killedRecords + kRuns);
    int unreadable = 0;
    for (const platform::EventRecord& record : records) {
        ASSERT_EQ(record.strings.size(), 1u);
        const auto message = platform::EventRecordMessage(record);
        if (message != record.strings[0]) ++unreadable;
        EXPECT_EQ(message, record.strings[0]) << record.source << ", seed " << seed;
    }
    EXPECT_EQ(unreadable, 0) << "of " << records.size() << " records, " << killedRecords << " of killed runs; seed "
                             << seed;
    for (const auto& entry : fs::directory_iterator(table->parent_path())) {
        if (platform::IsHostToolName(entry.path().filename().string())) continue;
        EXPECT_EQ(entry.path().extension(), ".tbl") << entry.path();
    }
}

}  // namespace
