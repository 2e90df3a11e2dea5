#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/ErrorNumber.h"
#include "support/TestApplication.h"
#include "platform/api/EventLog.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Wmi.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/EventCreateRun.h"


namespace {

namespace fs = std::filesystem;
using testsupport::TempHost;

const char* const kQuery = "Select * From __InstanceCreationEvent Where TargetInstance isa 'Win32_NTLogEvent'";

using testsupport::ErrorNumberOf;

void Append(const std::string& log, const std::string& source, int type, std::uint32_t id,
            std::vector<std::string> strings = {"text"}) {
    platform::EventLogStore store;
    platform::EventRecord record;
    record.log = log;
    record.source = source;
    record.type = type;
    record.eventId = id;
    record.strings = std::move(strings);
    store.Append(record);
}

// Runs the call from inside the next wait of the event loop.
void WhileWaiting(std::function<void()> call, int milliseconds = 0) {
    QTimer::singleShot(milliseconds, &testsupport::TestApplication(), std::move(call));
}

int WaitForChild(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class WmiEvents : public ::testing::Test {
protected:
    void SetUp() override { testsupport::TestApplication(); }
    wmi::EventSource Subscribe() { return wmi::GetObject("winmgmts:{(Security)}\\\\.\\root\\cimv2").ExecNotificationQuery(kQuery); }
    TempHost host_;
};

TEST_F(WmiEvents, OnlyThePartsQueryIsServed) {
    const wmi::Services services = wmi::GetObject("winmgmts:\\\\.\\root\\cimv2");
    for (const char* text : {kQuery, "SELECT * FROM __InstanceCreationEvent WHERE TargetInstance ISA 'Win32_NTLogEvent'",
                             "  select *   from __instancecreationevent where targetinstance isa \"win32_ntlogevent\" "})
        EXPECT_EQ(ErrorNumberOf([&] { services.ExecNotificationQuery(text); }), 0) << text;
    for (const char* text : {"Select * From __InstanceCreationEvent Where TargetInstance isa 'Win32_Process'",
                             "Select * From __InstanceCreationEvent Within 5 Where TargetInstance isa 'Win32_NTLogEvent'",
                             "Select * From __InstanceDeletionEvent Where TargetInstance isa 'Win32_NTLogEvent'",
                             "Select * From Win32_NTLogEvent", ""})
        EXPECT_EQ(ErrorNumberOf([&] { services.ExecNotificationQuery(text); }), wmi::WBEM_E_INVALID_QUERY) << text;
}

TEST_F(WmiEvents, AStoreThatCannotBeOpenedFailsTheQuery) {
    fs::create_directories(platform::EventLogStoreFile());
    EXPECT_EQ(ErrorNumberOf([&] { Subscribe(); }), wmi::WBEM_E_FAILED);
}

// Records written before the subscription are not events; a burst is handed
// out one record per NextEvent, in order, with the properties the rules read.
TEST_F(WmiEvents, ABurstIsDeliveredOnePerNextEventInOrder) {
    Append("Application", "Before", 4, 1);
    wmi::EventSource events = Subscribe();
    struct Written {
        const char* log;
        int type;
        std::uint32_t id;
        const char* typeText;
    };
    const std::vector<Written> burst = {
        {"System", 1, 7036, "Error"},          {"Application", 2, 0x80000011u, "Warning"},
        {"Application", 4, 3, "Information"},  {"Application", 0, 4, "Information"},
        {"Security", 8, 4624, "Success Audit"}, {"Security", 16, 4625, "Failure Audit"},
    };
    for (const Written& w : burst) Append(w.log, "Burst", w.type, w.id);
    std::map<std::string, long> recordNumbers{{"Application", 1}};
    for (const Written& w : burst) {
        SCOPED_TRACE(w.typeText);
        const wmi::Object event = events.NextEvent();
        EXPECT_EQ(event.ClassName(), "__InstanceCreationEvent");
        const wmi::Object& record = event.TargetInstance();
        EXPECT_EQ(record.ClassName(), "Win32_NTLogEvent");
        EXPECT_EQ(record.Property("Type").ToText(), w.typeText);
        EXPECT_EQ(record.Property("EventCode").ToText(), std::to_string(w.id & 0xFFFF));
        EXPECT_EQ(record.Property("SourceName").ToText(), "Burst");
        EXPECT_EQ(record.Property("Logfile").ToText(), w.log);
        EXPECT_TRUE(record.Property("Message").IsNull());
        EXPECT_EQ(record.Property("RecordNumber").ToNumber(), ++recordNumbers[w.log]);
        EXPECT_TRUE(std::regex_match(record.Property("TimeGenerated").ToText(),
                                     std::regex(R"(\d{14}\.\d{6}\+000)")));
    }
}

// The wait keeps Qt's events running: the timer that starts the writer fires
// inside it, and the record of that other process ends the wait.
TEST_F(WmiEvents, ARecordOfAnotherProcessEndsTheWait) {
    wmi::EventSource events = Subscribe();
    pid_t writer = -1;
    WhileWaiting([&] {
        writer = testsupport::StartBuiltEventCreate({"/L", "SYSTEM", "/T", "ERROR", "/ID", "7036", "/SO", "Service Control Manager",
                                   "/D", "The Print Spooler service entered the stopped state."});
    });
    const wmi::Object record = events.NextEvent().TargetInstance();
    ASSERT_GT(writer, 0);
    EXPECT_EQ(WaitForChild(writer), 0);
    EXPECT_EQ(record.Property("Logfile").ToText(), "System");
    EXPECT_EQ(record.Property("Type").ToText(), "Error");
    EXPECT_EQ(record.Property("EventCode").ToText(), "7036");
    EXPECT_EQ(record.Property("SourceName").ToText(), "Service Control Manager");
    EXPECT_EQ(record.Property("Message").ToText(), "The Print Spooler service entered the stopped state.");
}

TEST_F(WmiEvents, ADoorbellWithoutARecordKeepsWaiting) {
    wmi::EventSource events = Subscribe();
    WhileWaiting([] { platform::RingEventLogDoorbell(); });
    WhileWaiting([] { Append("Application", "Later", 4, 9); }, 200);
    EXPECT_EQ(events.NextEvent().TargetInstance().Property("SourceName").ToText(), "Later");
}

// Writers in several processes at once: every record arrives once, in the
// store's order, each writer's records in the order it wrote them.
TEST_F(WmiEvents, ConcurrentWritersAreDeliveredOnceInOrder) {
    wmi::EventSource events = Subscribe();
    constexpr int kWriters = 4, kEach = 100;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                for (int i = 0; i < kEach; ++i) Append("Application", "Writer" + std::to_string(w), 4, 1, {std::to_string(i)});
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    std::map<std::string, int> next;
    long lastRecordNumber = 0;
    for (int n = 0; n < kWriters * kEach; ++n) {
        const wmi::Object record = events.NextEvent().TargetInstance();
        const long number = static_cast<long>(record.Property("RecordNumber").ToNumber());
        ASSERT_EQ(number, lastRecordNumber + 1);
        lastRecordNumber = number;
        const std::string source = record.Property("SourceName").ToText();
        ASSERT_EQ(record.Property("Message").IsNull(), true);
        ++next[source];
    }
    for (pid_t pid : children) EXPECT_EQ(WaitForChild(pid), 0);
    for (int w = 0; w < kWriters; ++w) EXPECT_EQ(next["Writer" + std::to_string(w)], kEach);
    platform::EventLogStore store;
    std::map<std::string, int> order;
    for (const platform::EventRecord& r : store.AllRecords())
        EXPECT_EQ(r.strings.at(0), std::to_string(order[r.source]++));
}

TEST_F(WmiEvents, TheWaitFailsWhenTheStoreGoes) {
    struct Case {
        const char* what;
        std::function<void()> remove;
    };
    const std::vector<Case> cases = {
        {"store file removed",
         [] {
             for (const char* suffix : {"", "-wal", "-shm"})
                 fs::remove(platform::EventLogStoreFile().string() + suffix);
         }},
        {"doorbell folder removed", [] { fs::remove_all(platform::EventLogDoorbellFolder()); }},
        {"store replaced", [] {
             fs::rename(platform::EventLogStoreFile(), platform::EventLogStoreFile().string() + ".old");
             { platform::EventLogStore fresh; }
             Append("Application", "AfterReplace", 4, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wmi::EventSource events = Subscribe();
        WhileWaiting(c.remove);
        EXPECT_EQ(ErrorNumberOf([&] { events.NextEvent(); }), wmi::WBEM_E_FAILED);
        EXPECT_EQ(ErrorNumberOf([&] { events.NextEvent(); }), wmi::WBEM_E_FAILED);
        fs::remove_all(host_.Folder() / "eventlog.doorbell");
        for (const char* suffix : {"", "-wal", "-shm", ".old"}) fs::remove(platform::EventLogStoreFile().string() + suffix);
    }
}

// A bell that writers cannot ring: the subscription says so and fails at
// once, or, when the bell is replaced during a wait, hands over the records
// written before and then fails its wait with one line that says why.
TEST_F(WmiEvents, ABellThatCannotRingIsNamedInsteadOfWaitedOnDeaf) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& bell)> make;
    };
    const std::vector<Case> cases = {
        {"a FIFO", [](const fs::path& bell) { ::mkfifo(bell.c_str(), 0644); }},
        {"a folder", [](const fs::path& bell) { fs::create_directory(bell); }},
        {"a symbolic link", [](const fs::path& bell) { fs::create_symlink(platform::EventLogStoreFile(), bell); }},
    };
    const fs::path bell = platform::EventLogDoorbellFolder() / platform::kEventLogDoorbellName;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string why = "is " + std::string(c.what) + ", not a file: writers cannot ring it";
        { platform::EventLogStore create; }
        fs::remove(bell);
        c.make(bell);
        try {
            Subscribe();
            ADD_FAILURE() << "subscribed";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), wmi::WBEM_E_FAILED);
            EXPECT_NE(e.Description().find(why), std::string::npos) << e.Description();
        }
        fs::remove(bell);

        wmi::EventSource events = Subscribe();
        WhileWaiting([&] {
            Append("Application", "Before", 4, 1);
            fs::remove(bell);
            c.make(bell);
        });
        // Should the wait stay deaf, the test still ends.
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(); });
        giveUp.start(30000);
        EXPECT_EQ(events.NextEvent().TargetInstance().Property("SourceName").ToText(), "Before");
        testsupport::StderrCapture debugOutput;
        EXPECT_EQ(ErrorNumberOf([&] { events.NextEvent(); }), wmi::WBEM_E_FAILED);
        const std::string lines = debugOutput.Text();
        EXPECT_EQ(lines.rfind("\tWMI NextEvent: cannot listen for new event-log records any more: ", 0), 0u) << lines;
        EXPECT_NE(lines.find(why), std::string::npos) << lines;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
        fs::remove(bell);
    }
}

TEST_F(WmiEvents, RecordsCanBeQueriedAsInstances) {
    Append("System", "A", 1, 7036);
    Append("Application", "B", 4, 1);
    const wmi::ObjectSet system =
        wmi::GetObject("winmgmts:").ExecQuery("SELECT * FROM Win32_NTLogEvent WHERE Logfile = 'system'");
    ASSERT_EQ(system.size(), 1u);
    EXPECT_EQ(system[0].Property("SourceName").ToText(), "A");
    EXPECT_EQ(system[0].Property("EventType").ToNumber(), 1);
}

}  // namespace
