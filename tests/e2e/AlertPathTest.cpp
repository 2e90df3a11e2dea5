// The alert path of the real Quarnel.exe on what real machines give it:
// rules in German, in Windows-1252, in Windows-932 and in UTF-16LE, a FIFO
// in place of a rule file, several copies started at once, a doorbell that
// cannot ring, a long run of records, and a session without a tray whose
// balloons go to the desktop's notification service on a private session bus.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/api/EventLog.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Process.h"
#include "support/ProgramRun.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"
#include "support/EventCreateRun.h"
#include "support/RuleFile.h"
#include "support/Utf16Text.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::RunningProgram;

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
    return count;
}

// Waits until the debug output holds the text that many times (or a minute passes).
bool OutputCounts(const RunningProgram& program, const std::string& text, int times) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Count(program.DebugOutput(), text) < times && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Count(program.DebugOutput(), text) >= times;
}

std::string RuleText(const std::string& desc, const std::string& descEx = "") {
    testsupport::RuleFile rule;
    rule.security = "0";
    rule.info = rule.warning = rule.success = rule.failure = "0";
    rule.desc = desc;
    rule.descEx = descEx;
    return testsupport::RuleFileText(rule);
}

class AlertPath : public testing::Test {
protected:
    void SetUp() override {
        programFolder_ = testsupport::InstallProgram(host_);
        platform::WriteIniValue(testsupport::InstalledIni(host_), "General", "ShowTrayIcon", "1");
        platform::WriteIniValue(testsupport::InstalledIni(host_), "General", "ShowTaskBar", "1");
        fs::create_directories(programFolder_ / "Rules");
    }

    void Rule(const std::string& name, const std::string& bytes) {
        testsupport::WriteHostFile(programFolder_ / "Rules" / name, bytes);
    }

    void EventCreate(const std::string& arguments) {
        ASSERT_EQ(testsupport::RunInstalledEventCreate(arguments), 0u) << arguments;
    }

    std::unique_ptr<RunningProgram> StartMonitor() {
        auto monitor = std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", "");
        EXPECT_TRUE(monitor->WaitForOutput(testsupport::kSubscribed)) << monitor->DebugOutput();
        return monitor;
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
};

}  // namespace

TEST_F(AlertPath, GermanRulesMatchIgnoringCaseAndAnExcludedWordExcludes) {
    Rule("A upper.DAT", RuleText("ÄRGER"));
    Rule("B ansi.DAT", RuleText("\xC4RGER IM"));  // saved in Windows-1252
    Rule("C excluded.DAT", RuleText("netz", "ÄRGER"));
    Rule("D ansi excluded.DAT", "\xEF\xBB\xBF" + RuleText("netz", "\xC3\xA4rger"));  // UTF-8 with its mark
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 100 /SO Netzdienst /D \"Der Dienst meldet ärger im Netz.\"");
    testsupport::WriteOwnRecord(host_);
    const ProgramResult result = monitor->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.debugOutput, "\tDoAction Initiated\n"), 2) << result.debugOutput;
}

// On a machine whose code page is 932, a rule saved in it and one saved as
// UTF-16LE (Notepad's "Unicode") both alert on a record in Japanese that
// eventcreate.exe writes; a third rule, for another word, does not.
TEST_F(AlertPath, RulesInADoubleByteCodePageAndInUnicodeAlertOnAJapaneseRecord) {
    host_.WriteHostIni("International", "ANSICodePage", "932");
    Rule("A shift-jis.DAT", RuleText("\x83\x47\x83\x89\x81\x5B"));  // エラー
    Rule("B unicode.DAT", testsupport::Utf16LeWithMark(RuleText("ディスク")));
    Rule("C other word.DAT", RuleText("\x83\x6C\x83\x62\x83\x67"));  // ネット
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 100 /SO Disk /D \"ディスク エラー\"");
    testsupport::WriteOwnRecord(host_);
    const ProgramResult result = monitor->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.debugOutput, "\tDoAction Initiated\n"), 2) << result.debugOutput;
}

TEST_F(AlertPath, AFifoRuleFileLeavesTheGoodRuleAlertingAndTheStopRecordObeyed) {
    ASSERT_EQ(::mkfifo((programFolder_ / "Rules" / "A fifo.DAT").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", programFolder_ / "Rules" / "B device.DAT");
    Rule("C good.DAT", RuleText("spooler"));
    fs::create_symlink("/dev/zero", programFolder_ / "Rules" / "GlobalExclusion_EventDesc_List.txt");
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"");
    ASSERT_TRUE(monitor->WaitForOutput("\tDoAction Initiated\n", std::chrono::seconds(30))) << monitor->DebugOutput();
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor, std::chrono::seconds(30));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(Count(result.debugOutput, "\tDoAction Initiated\n"), 1) << result.debugOutput;
}

// A sparse gigabyte named as a rule and a hundred megabytes as a list cost
// the live monitor one line each, not a read per record.
TEST_F(AlertPath, FilesFarLargerThanAnyRuleOrListAreSkippedWithOneLineEach) {
    Rule("A huge.DAT", "");
    fs::resize_file(programFolder_ / "Rules" / "A huge.DAT", std::uintmax_t{1} << 30);
    Rule("GlobalExclusion_EventID_List.txt", "");
    fs::resize_file(programFolder_ / "Rules" / "GlobalExclusion_EventID_List.txt", 100u << 20);
    Rule("B spooler.DAT", RuleText("spooler"));
    auto monitor = StartMonitor();
    for (int i = 0; i < 3; ++i)
        EventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"");
    ASSERT_TRUE(OutputCounts(*monitor, "\tDoAction Initiated\n", 3)) << monitor->DebugOutput();
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor);
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(Count(result.debugOutput, "skipped a rule file of 1073741824 bytes"), 1) << result.debugOutput;
    EXPECT_EQ(Count(result.debugOutput, "skipped an exclusion list of 104857600 bytes"), 1) << result.debugOutput;
}

TEST_F(AlertPath, FourCopiesStartedTogetherLeaveExactlyOneMonitor) {
    std::vector<std::unique_ptr<RunningProgram>> copies;
    for (int i = 0; i < 4; ++i)
        copies.push_back(std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", ""));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto running = [&] {
        int count = 0;
        for (auto& copy : copies) count += copy->IsRunning() ? 1 : 0;
        return count;
    };
    while (running() > 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(running(), 1);
    for (auto& copy : copies) {
        if (!copy->IsRunning()) continue;
        EXPECT_TRUE(copy->WaitForOutput(testsupport::kSubscribed)) << copy->DebugOutput();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(copy->IsRunning()) << copy->DebugOutput();
        const ProgramResult result = testsupport::StopLiveMonitor(host_, *copy);
        EXPECT_FALSE(result.killed) << result.debugOutput;
    }
}

TEST_F(AlertPath, AMonitorThatCannotListenSaysWhyAndEnds) {
    fs::remove_all(host_.Folder() / "eventlog.doorbell");
    testsupport::WriteHostFile(host_.Folder() / "eventlog.doorbell", "not a folder");
    RunningProgram monitor(host_, programFolder_ / "Quarnel.exe", "");
    const ProgramResult result = monitor.Wait(std::chrono::seconds(60));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(Count(result.debugOutput, "cannot listen for new event-log records"), 1) << result.debugOutput;
    // A writer whose record is stored says so.
    EventCreate("/L APPLICATION /T ERROR /ID 1 /SO Quarnel /D \"Stored.\"");
}

namespace {

enum class SpoiltBell { Fifo, Folder, Link };

std::string NameOf(SpoiltBell bell) {
    switch (bell) {
        case SpoiltBell::Fifo: return "Fifo";
        case SpoiltBell::Folder: return "Folder";
        case SpoiltBell::Link: return "LinkOutOfTheHost";
    }
    return "";
}

class AlertPathSpoiltBell : public AlertPath, public testing::WithParamInterface<SpoiltBell> {
protected:
    // What the case names where the writers' bell should be; a link points
    // at a file that must stay as it is.
    void SpoilTheBell() {
        const fs::path bell = host_.Folder() / "eventlog.doorbell" / "ring";
        fs::remove(bell);
        switch (GetParam()) {
            case SpoiltBell::Fifo: ASSERT_EQ(::mkfifo(bell.c_str(), 0644), 0); break;
            case SpoiltBell::Folder: fs::create_directory(bell); break;
            case SpoiltBell::Link:
                testsupport::WriteHostFile(outside_, "kept");
                fs::create_symlink(outside_, bell);
                break;
        }
    }

    int StoredRecordsOf(const std::string& source) {
        platform::EventLogStore store;
        int count = 0;
        for (const platform::EventRecord& r : store.AllRecords()) count += r.source == source ? 1 : 0;
        return count;
    }

    fs::path outside_ = host_.Folder().parent_path() / (host_.Folder().filename().string() + "-outside.txt");
};

}  // namespace

// The bell spoilt under a running monitor: it says why it can hear no more
// in one line and ends, and so does a monitor started then. The writers,
// eventcreate.exe and the removal, neither hang on the bell nor follow it,
// and their records are stored.
TEST_P(AlertPathSpoiltBell, TheMonitorSaysWhyItCannotHearAndTheWritersGoOn) {
    Rule("A spooler.DAT", RuleText("spooler"));
    const std::string record = "/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"";
    const std::string cannotHear = "not a file: writers cannot ring it";
    auto monitor = StartMonitor();
    EventCreate(record);
    ASSERT_TRUE(monitor->WaitForOutput("\tDoAction Initiated\n", std::chrono::seconds(30))) << monitor->DebugOutput();
    SpoilTheBell();
    const ProgramResult ended = monitor->Wait(std::chrono::seconds(30));
    EXPECT_FALSE(ended.killed) << ended.debugOutput;
    EXPECT_EQ(Count(ended.debugOutput, cannotHear), 1) << ended.debugOutput;

    RunningProgram later(host_, programFolder_ / "Quarnel.exe", "");
    const ProgramResult refused = later.Wait(std::chrono::seconds(60));
    EXPECT_FALSE(refused.killed) << refused.debugOutput;
    EXPECT_EQ(Count(refused.debugOutput, cannotHear), 1) << refused.debugOutput;

    RunningProgram writer(host_, programFolder_ / "eventcreate.exe", record);
    const ProgramResult written = writer.Wait(std::chrono::seconds(30));
    EXPECT_FALSE(written.killed) << written.debugOutput;
    EXPECT_EQ(written.exitCode, 0) << written.debugOutput;
    const ProgramResult removal = testsupport::RunInstalled(host_, "Quarnel.exe", "/uninstaller", std::chrono::seconds(60));
    EXPECT_FALSE(removal.killed) << removal.debugOutput;
    EXPECT_EQ(StoredRecordsOf("Service Control Manager"), 2);
    EXPECT_EQ(StoredRecordsOf("Quarnel"), 1);
    if (GetParam() == SpoiltBell::Link) {
        EXPECT_EQ(testsupport::ReadHostFile(outside_), "kept");
        fs::remove(outside_);
    }
}

INSTANTIATE_TEST_SUITE_P(Bells, AlertPathSpoiltBell,
                         testing::Values(SpoiltBell::Fifo, SpoiltBell::Folder, SpoiltBell::Link),
                         [](const testing::TestParamInfo<SpoiltBell>& info) { return NameOf(info.param); });

TEST_F(AlertPath, TheWriteAheadLogStaysBoundedWithAMonitorRunning) {
    Rule("A all.DAT", RuleText(""));
    auto monitor = StartMonitor();
    const win::HANDLE source = win::RegisterEventSourceA(nullptr, "Bench Writer");
    ASSERT_NE(source, 0u);
    const std::string text = "Record of the long run, written while the monitor reads.";
    const char* strings[] = {text.c_str()};
    std::uintmax_t largest = 0;
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(win::ReportEventA(source, win::EVENTLOG_INFORMATION_TYPE, 0, 1000, nullptr, 1, 0, strings, nullptr));
        if (i % 500 == 0) {
            std::error_code ec;
            const auto size = fs::file_size(host_.Folder() / "eventlog.db-wal", ec);
            if (!ec) largest = std::max(largest, size);
        }
    }
    win::DeregisterEventSource(source);
    std::error_code ec;
    largest = std::max(largest, fs::file_size(host_.Folder() / "eventlog.db-wal", ec));
    EXPECT_LT(largest, 8u * 1024 * 1024);
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor);
    EXPECT_FALSE(result.killed) << result.debugOutput;
}

namespace {

// A notification server of its own on a private session bus: every Notify
// call becomes one line "<summary>|<body>|<urgency>|<timeout>" of a file.
constexpr const char* kNotificationServer = R"(
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
out = open(sys.argv[1], 'a', buffering=1)
class Server(dbus.service.Object):
    @dbus.service.method('org.freedesktop.Notifications', in_signature='susssasa{sv}i', out_signature='u')
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        out.write('%s|%s|%d|%d\n' % (summary, body.replace('\r', '\\r').replace('\n', '\\n'), int(hints.get('urgency', -1)), timeout))
        return 1
    @dbus.service.method('org.freedesktop.Notifications', in_signature='', out_signature='as')
    def GetCapabilities(self):
        return ['body']
bus = dbus.SessionBus()
name = dbus.service.BusName('org.freedesktop.Notifications', bus)
Server(bus, '/org/freedesktop/Notifications')
print('ready', flush=True)
GLib.MainLoop().run()
)";

// A child process whose standard output is read line by line.
struct Child {
    pid_t pid = -1;
    FILE* output = nullptr;
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        if (output) std::fclose(output);
    }
    std::string Line() {
        char buffer[1024];
        if (!output || !std::fgets(buffer, sizeof buffer, output)) return "";
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        return line;
    }
};

void Start(Child& child, const std::vector<std::string>& arguments) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    child.pid = ::fork();
    if (child.pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    child.output = ::fdopen(pipeFds[0], "r");
}

}  // namespace

TEST_F(AlertPath, WithoutATrayTheBalloonGoesToTheNotificationService) {
    Child bus;
    Start(bus, {"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
    const std::string address = bus.Line();
    ASSERT_FALSE(address.empty());
    testsupport::ScopedVariable busVariable("DBUS_SESSION_BUS_ADDRESS", address);
    const fs::path script = host_.Folder() / "notification_server.py";
    const fs::path shown = host_.Folder() / "notifications.txt";
    testsupport::WriteHostFile(script, kNotificationServer);
    Child server;
    Start(server, {"/usr/bin/python3", script.string(), shown.string()});
    ASSERT_EQ(server.Line(), "ready");

    Rule("A spooler.DAT", RuleText("spooler"));
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"");
    ASSERT_TRUE(monitor->WaitForOutput("balloon shown by the desktop's notification service", std::chrono::seconds(30)))
        << monitor->DebugOutput();
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor);
    EXPECT_FALSE(result.killed) << result.debugOutput;
    const std::string lines = testsupport::ReadHostFile(shown);
    EXPECT_EQ(lines.rfind("Event Alert|", 0), 0u) << lines;
    EXPECT_NE(lines.find("\\r\\nEvent ID: 7036\\r\\nSource Name: Service Control Manager\\r\\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("|1|10000\n"), std::string::npos) << lines;  // an information balloon: normal urgency
}

// A monitor started at log-on before the session bus: once the bus and its
// notification service are there, the next balloon reaches them.
TEST_F(AlertPath, ASessionBusThatStartsLaterIsFoundAtTheNextBalloon) {
    const fs::path socket = host_.Folder() / "bus";
    testsupport::ScopedVariable busVariable("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socket.string());
    Rule("A spooler.DAT", RuleText("spooler"));
    auto monitor = StartMonitor();
    const std::string record = "/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"";
    EventCreate(record);
    ASSERT_TRUE(monitor->WaitForOutput("no tray and no notification service (no session bus)", std::chrono::seconds(30)))
        << monitor->DebugOutput();
    Child bus;
    Start(bus, {"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=unix:path=" + socket.string(),
                "--print-address=1"});
    ASSERT_FALSE(bus.Line().empty());
    const fs::path script = host_.Folder() / "notification_server.py";
    const fs::path shown = host_.Folder() / "notifications.txt";
    testsupport::WriteHostFile(script, kNotificationServer);
    Child server;
    Start(server, {"/usr/bin/python3", script.string(), shown.string()});
    ASSERT_EQ(server.Line(), "ready");
    EventCreate(record);
    ASSERT_TRUE(monitor->WaitForOutput("balloon shown by the desktop's notification service", std::chrono::seconds(30)))
        << monitor->DebugOutput();
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor);
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(Count(testsupport::ReadHostFile(shown), "Event Alert|"), 1);
}

TEST_F(AlertPath, WithoutASessionBusTheBalloonIsLoggedAsBefore) {
    testsupport::ScopedVariable busVariable("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quarnel-test-bus");
    Rule("A spooler.DAT", RuleText("spooler"));
    auto monitor = StartMonitor();
    EventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"");
    ASSERT_TRUE(monitor->WaitForOutput("\tShell_NotifyIcon NIM_MODIFY: balloon \"Event Alert\": ", std::chrono::seconds(30)))
        << monitor->DebugOutput();
    // The outcome is written once the notification thread knows it.
    EXPECT_TRUE(monitor->WaitForOutput("no tray and no notification service (no session bus)", std::chrono::seconds(30)))
        << monitor->DebugOutput();
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor);
    EXPECT_FALSE(result.killed) << result.debugOutput;
}

namespace {

// A notification server that takes every Notify call and never answers it;
// each call becomes a line "called" of a file.
constexpr const char* kSilentNotificationServer = R"(
import sys, dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
out = open(sys.argv[1], 'a', buffering=1)
class Server(dbus.service.Object):
    @dbus.service.method('org.freedesktop.Notifications', in_signature='susssasa{sv}i', out_signature='u',
                         async_callbacks=('reply', 'error'))
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout, reply, error):
        out.write('called\n')
bus = dbus.SessionBus()
name = dbus.service.BusName('org.freedesktop.Notifications', bus)
Server(bus, '/org/freedesktop/Notifications')
print('ready', flush=True)
GLib.MainLoop().run()
)";

// A socket that accepts every connection and never says a word on it.
constexpr const char* kSilentSocket = R"(
import socket, sys
listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
listener.bind(sys.argv[1])
listener.listen(8)
print('ready', flush=True)
held = []
while True:
    held.append(listener.accept())
)";

enum class DeafBus { Stopped, SilentSocket, SilentService };

std::string NameOf(DeafBus bus) {
    switch (bus) {
        case DeafBus::Stopped: return "StoppedBusDaemon";
        case DeafBus::SilentSocket: return "SocketThatNeverAnswers";
        case DeafBus::SilentService: return "ServiceThatNeverAnswers";
    }
    return "";
}

bool AppearsWithin(const fs::path& file, const std::string& text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code ec;
        if (fs::exists(file, ec) && testsupport::ReadHostFile(file).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class AlertPathDeafBus : public AlertPath, public testing::WithParamInterface<DeafBus> {
protected:
    // A session bus of the kind the case names; its address.
    std::string StartDeafBus() {
        if (GetParam() == DeafBus::SilentSocket) {
            const fs::path socket = host_.Folder() / "bus";
            const fs::path script = host_.Folder() / "silent_socket.py";
            testsupport::WriteHostFile(script, kSilentSocket);
            Start(peer_, {"/usr/bin/python3", script.string(), socket.string()});
            EXPECT_EQ(peer_.Line(), "ready");
            return "unix:path=" + socket.string();
        }
        Start(daemon_, {"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
        const std::string address = daemon_.Line();
        EXPECT_FALSE(address.empty());
        if (GetParam() == DeafBus::Stopped) {
            ::kill(daemon_.pid, SIGSTOP);
            return address;
        }
        const fs::path script = host_.Folder() / "silent_notification_server.py";
        testsupport::ScopedVariable busVariable("DBUS_SESSION_BUS_ADDRESS", address);
        testsupport::WriteHostFile(script, kSilentNotificationServer);
        Start(peer_, {"/usr/bin/python3", script.string(), calls_.string()});
        EXPECT_EQ(peer_.Line(), "ready");
        return address;
    }

    void TearDown() override {
        // A stopped daemon ends on its SIGTERM only once it runs again.
        if (daemon_.pid > 0) ::kill(daemon_.pid, SIGCONT);
    }

    fs::path calls_ = host_.Folder() / "calls.txt";
    Child daemon_;
    Child peer_;
};

}  // namespace

// The first balloon finds a session bus that never completes the connection,
// or a service that takes the call and never answers: the monitor still
// alerts on the next record at once and still ends on its stop record.
TEST_P(AlertPathDeafBus, ABusThatNeverAnswersHoldsUpNoRecord) {
    testsupport::ScopedVariable busVariable("DBUS_SESSION_BUS_ADDRESS", StartDeafBus());
    Rule("A spooler.DAT", RuleText("spooler"));
    auto monitor = StartMonitor();
    const std::string record = "/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" /D \"The spooler stopped.\"";
    EventCreate(record);
    ASSERT_TRUE(monitor->WaitForOutput("\tShowing balloon...\n", std::chrono::seconds(30))) << monitor->DebugOutput();
    if (GetParam() == DeafBus::SilentService) {
        ASSERT_TRUE(AppearsWithin(calls_, "called", std::chrono::seconds(30))) << monitor->DebugOutput();
    }
    EventCreate(record);
    ASSERT_TRUE(OutputCounts(*monitor, "\tDoAction Initiated\n", 2)) << monitor->DebugOutput();
    const std::string unanswered = "dropped: the notification service did not answer within 2 s";
    if (GetParam() == DeafBus::SilentService) {
        ASSERT_TRUE(OutputCounts(*monitor, unanswered, 2)) << monitor->DebugOutput();
    }
    const ProgramResult result = testsupport::StopLiveMonitor(host_, *monitor, std::chrono::seconds(30));
    EXPECT_FALSE(result.killed) << result.debugOutput;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.debugOutput, "\tShell_NotifyIcon NIM_MODIFY: balloon \"Event Alert\": "), 2) << result.debugOutput;
    if (GetParam() == DeafBus::SilentService) {
        // The second record was matched while the first balloon still waited for its answer.
        const std::string& output = result.debugOutput;
        const size_t secondAlert = output.find("\tDoAction Initiated\n", output.find("\tDoAction Initiated\n") + 1);
        EXPECT_LT(secondAlert, output.find(unanswered)) << output;
    }
}

INSTANTIATE_TEST_SUITE_P(Buses, AlertPathDeafBus,
                         testing::Values(DeafBus::Stopped, DeafBus::SilentSocket, DeafBus::SilentService),
                         [](const testing::TestParamInfo<DeafBus>& info) { return NameOf(info.param); });
