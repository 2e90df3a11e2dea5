#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/api/Registry.h"
#include "platform/api/ServiceControl.h"
#include "platform/api/Wmi.h"
#include "platform/host/HostProcess.h"
#include "platform/tools/ScTool.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;

struct ScRun {
    int exitCode;
    std::string out;
};

ScRun Sc(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    const int code = platform::RunScTool(arguments, out);
    return {code, out.str()};
}

win::DWORD QueriedState(const wchar_t* name, win::DWORD access = win::SERVICE_QUERY_STATUS) {
    const win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    if (!manager) return 0;
    win::DWORD state = 0;
    if (const win::SC_HANDLE service = win::OpenServiceW(manager, name, access)) {
        win::SERVICE_STATUS status{};
        if (win::QueryServiceStatus(service, &status)) state = status.dwCurrentState;
        win::CloseServiceHandle(service);
    }
    win::CloseServiceHandle(manager);
    return state;
}

TEST(ServiceControl, ScCreatesStartsStopsAndDeletesWithWindowsExitCodes) {
    TempHost host;
    EXPECT_EQ(Sc({"create", "Spooler", "binPath=", "C:\\Windows\\spoolsv.exe", "start=", "auto",
                  "DisplayName=", "Print Spooler"}).exitCode, 0);
    EXPECT_EQ(Sc({"create", "SPOOLER", "binPath=", "x"}).exitCode, 1073);
    EXPECT_EQ(Sc({"stop", "Spooler"}).exitCode, 1062);
    EXPECT_EQ(Sc({"start", "spooler"}).exitCode, 0);
    EXPECT_EQ(Sc({"start", "Spooler"}).exitCode, 1056);

    const ScRun query = Sc({"query", "SPOOLER"});
    EXPECT_EQ(query.exitCode, 0);
    EXPECT_NE(query.out.find("SERVICE_NAME: Spooler\n"), std::string::npos) << query.out;
    EXPECT_NE(query.out.find("        STATE              : 4  RUNNING\n"), std::string::npos) << query.out;

    EXPECT_EQ(Sc({"stop", "Spooler"}).exitCode, 0);
    EXPECT_NE(Sc({"query", "Spooler"}).out.find(": 1  STOPPED"), std::string::npos);
    EXPECT_EQ(Sc({"delete", "Spooler"}).exitCode, 0);
    const ScRun gone = Sc({"query", "Spooler"});
    EXPECT_EQ(gone.exitCode, 1060);
    EXPECT_NE(gone.out.find("[SC] EnumQueryServicesStatus:OpenService FAILED 1060:"), std::string::npos);
    EXPECT_EQ(Sc({"delete", "Spooler"}).exitCode, 1060);

    EXPECT_EQ(Sc({"create", "Off", "start=", "disabled"}).exitCode, 0);
    EXPECT_EQ(Sc({"start", "Off"}).exitCode, 1058);
    EXPECT_NE(Sc({"create", "Bad", "start=", "sometimes"}).exitCode, 0);
    EXPECT_FALSE(platform::FindService("Bad"));
}

TEST(ServiceControl, QueryStatusFindsNamesInAnyCaseAndFailsWithZero) {
    TempHost host;
    ASSERT_EQ(Sc({"create", "QuarnelService", "start=", "auto"}).exitCode, 0);
    EXPECT_EQ(QueriedState(L"quarnelservice"), win::SERVICE_STOPPED);
    ASSERT_EQ(platform::StartService("QuarnelService"), 0u);
    EXPECT_EQ(QueriedState(L"QUARNELSERVICE"), win::SERVICE_RUNNING);
    for (const win::DWORD state : {win::SERVICE_START_PENDING, win::SERVICE_PAUSE_PENDING, win::SERVICE_PAUSED}) {
        ASSERT_EQ(platform::SetServiceStatus("QuarnelService", state), 0u);
        EXPECT_EQ(QueriedState(L"QuarnelService"), state);
    }
    EXPECT_EQ(QueriedState(L""), 0u);
    EXPECT_EQ(QueriedState(L"NoSuchService"), 0u);
    // Opened without the right to query its status.
    EXPECT_EQ(QueriedState(L"QuarnelService", win::SERVICE_START), 0u);
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
}

const std::string kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Keeper";

void SetText(const std::string& path, const char* name, const std::string& text) {
    win::HKEY key = 0;
    ASSERT_EQ(win::RegCreateKeyA(win::HKEY_LOCAL_MACHINE, path.c_str(), &key), 0);
    win::RegSetValueExA(key, name, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(text.c_str()),
                        static_cast<win::DWORD>(text.size() + 1));
    win::RegCloseKey(key);
}

// Each value of the key as "name=data" (numbers in decimal), in the order written.
std::vector<std::string> Values(const std::string& path) {
    std::vector<std::string> values;
    win::HKEY key = 0;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, win::KEY_READ, &key) != 0) return {"(no key)"};
    for (win::DWORD index = 0;; ++index) {
        char name[256];
        win::BYTE data[512];
        win::DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
        if (win::RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength) != 0) break;
        std::string text;
        if (type == win::REG_DWORD) {
            win::DWORD number = 0;
            std::memcpy(&number, data, sizeof number);
            text = std::to_string(number);
        } else {
            text.assign(reinterpret_cast<const char*>(data), dataLength ? dataLength - 1 : 0);
        }
        values.push_back(std::string(name, nameLength) + "=" + text);
    }
    win::RegCloseKey(key);
    return values;
}

ScRun BuiltSc(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {(std::filesystem::path(QUARNEL_BIN_DIR) / "sc.exe").string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const platform::HostRun run = platform::RunHostProgram(argv, "");
    return {run.exitCode, run.output};
}

// sc config writes only what it is given, into the key as it stands, with
// the service's own values and subkeys; sc delete takes the key whole.
TEST(ServiceControl, ConfigChangesOnlyTheValuesGivenAndDeleteTakesTheWholeKey) {
    TempHost host;
    ASSERT_EQ(Sc({"create", "Keeper", "binPath=", "C:\\keeper.exe", "DisplayName=", "Keeper"}).exitCode, 0);
    SetText(kServiceKey, "Description", "Keeps what it is given.");
    SetText(kServiceKey, "ObjectName", ".\\keeper");
    SetText(kServiceKey + "\\Parameters", "Interval", "60");
    ASSERT_EQ(platform::SetServiceStatus("Keeper", win::SERVICE_RUNNING), 0u);
    const std::vector<std::string> before = Values(kServiceKey);

    const ScRun config = BuiltSc({"config", "keeper", "start=", "auto"});
    EXPECT_EQ(config.exitCode, 0) << config.out;
    EXPECT_EQ(config.out, "[SC] ChangeServiceConfig SUCCESS\n");
    std::vector<std::string> expected = before;
    std::replace(expected.begin(), expected.end(), std::string("Start=3"), std::string("Start=2"));
    EXPECT_EQ(Values(kServiceKey), expected);
    EXPECT_EQ(Values(kServiceKey + "\\Parameters"), std::vector<std::string>{"Interval=60"});
    EXPECT_EQ(QueriedState(L"Keeper"), win::SERVICE_RUNNING);

    ASSERT_EQ(Sc({"config", "Keeper", "obj=", "LocalSystem", "error=", "severe", "DisplayName=", "Keeper Two"}).exitCode,
              0);
    std::replace(expected.begin(), expected.end(), std::string("ObjectName=.\\keeper"), std::string("ObjectName=LocalSystem"));
    std::replace(expected.begin(), expected.end(), std::string("ErrorControl=1"), std::string("ErrorControl=2"));
    std::replace(expected.begin(), expected.end(), std::string("DisplayName=Keeper"), std::string("DisplayName=Keeper Two"));
    EXPECT_EQ(Values(kServiceKey), expected);
    // A value sc does not know changes nothing.
    EXPECT_EQ(Sc({"config", "Keeper", "start=", "auto", "error=", "often"}).exitCode, 87);
    EXPECT_EQ(Values(kServiceKey), expected);

    const ScRun deleted = BuiltSc({"delete", "Keeper"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.out;
    EXPECT_EQ(deleted.out, "[SC] DeleteService SUCCESS\n");
    EXPECT_EQ(Values(kServiceKey + "\\Parameters"), std::vector<std::string>{"(no key)"});
    EXPECT_EQ(Values(kServiceKey), std::vector<std::string>{"(no key)"});
    EXPECT_FALSE(platform::FindService("Keeper"));
}

TEST(ServiceControl, OnlyWin32ServiceKeysAreServices) {
    TempHost host;
    win::HKEY key = 0;
    ASSERT_EQ(win::RegCreateKeyA(win::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application",
                                 &key), 0);
    win::RegCloseKey(key);
    ASSERT_EQ(win::RegCreateKeyA(win::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\disk", &key), 0);
    const win::DWORD driver = win::SERVICE_KERNEL_DRIVER;
    win::RegSetValueExA(key, "Type", 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&driver), 4);
    win::RegCloseKey(key);
    ASSERT_EQ(Sc({"create", "Shared", "type=", "share", "start=", "demand"}).exitCode, 0);

    const auto services = platform::ListServices();
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].name, "Shared");
    EXPECT_EQ(QueriedState(L"Eventlog"), 0u);
    EXPECT_EQ(QueriedState(L"disk"), 0u);
}

TEST(ServiceControl, Win32ServiceAnswersFromTheSameDatabase) {
    TempHost host;
    struct Case {
        const char* name;
        const char* start;
        win::DWORD state;
        const char* startMode;
        const char* stateText;
    };
    const std::vector<Case> cases = {
        {"AutoRunning", "auto", win::SERVICE_RUNNING, "Auto", "Running"},
        {"AutoStopped", "auto", win::SERVICE_STOPPED, "Auto", "Stopped"},
        {"AutoPending", "auto", win::SERVICE_START_PENDING, "Auto", "Start Pending"},
        {"ManualPaused", "demand", win::SERVICE_PAUSED, "Manual", "Paused"},
        {"Off", "disabled", win::SERVICE_STOPPED, "Disabled", "Stopped"},
        {"Early", "boot", win::SERVICE_CONTINUE_PENDING, "Boot", "Continue Pending"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Sc({"create", c.name, "start=", c.start}).exitCode, 0);
        ASSERT_EQ(platform::SetServiceStatus(c.name, c.state), 0u);
    }
    const auto wmi = wmi::GetObject("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
    for (const Case& c : cases) {
        const auto found = wmi.ExecQuery(std::string("Select * from Win32_Service Where Name='") + c.name + "'");
        ASSERT_EQ(found.size(), 1u) << c.name;
        EXPECT_EQ(found[0].Property("StartMode").ToText(), c.startMode);
        EXPECT_EQ(found[0].Property("State").ToText(), c.stateText);
    }
    std::vector<std::string> notRunning;
    for (const auto& service : wmi.ExecQuery("Select * from Win32_Service Where StartMode='Auto' AND State<>'Running'"))
        notRunning.push_back(service.Property("Name").ToText());
    EXPECT_EQ(notRunning, (std::vector<std::string>{"AutoPending", "AutoStopped"}));
}

}  // namespace
