#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "support/ErrorNumber.h"
#include "platform/api/Environment.h"
#include "platform/host/HostFolder.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Wmi.h"
#include "support/TempHost.h"

namespace {

using testsupport::TempHost;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

using testsupport::ErrorNumberOf;

// A `sleep` of the machine whose host folder is given (the test's own by default).
class SleepChild {
public:
    explicit SleepChild(const std::string& hostFolder = "") {
        std::vector<std::string> variables;
        for (char** v = environ; *v; ++v)
            if (hostFolder.empty() || std::string(*v).rfind("QUARNEL_HOST=", 0) != 0) variables.emplace_back(*v);
        if (!hostFolder.empty()) variables.push_back("QUARNEL_HOST=" + hostFolder);
        std::vector<char*> envp;
        for (std::string& v : variables) envp.push_back(v.data());
        envp.push_back(nullptr);
        char program[] = "sleep";
        char seconds[] = "600";
        char* argv[] = {program, seconds, nullptr};
        if (posix_spawnp(&pid_, "sleep", nullptr, nullptr, argv, envp.data()) != 0) pid_ = 0;
    }
    ~SleepChild() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    SleepChild(const SleepChild&) = delete;
    SleepChild& operator=(const SleepChild&) = delete;

    pid_t Pid() const { return pid_; }
    // Waits for the child's end; true when a signal ended it.
    bool EndedBySignal() {
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFSIGNALED(status);
    }

private:
    pid_t pid_ = 0;
    bool reaped_ = false;
};

wmi::Services LocalWmi() { return wmi::GetObject("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2"); }

wmi::ObjectSet ProcessById(pid_t pid) {
    return LocalWmi().ExecQuery("Select * from Win32_Process Where ProcessId = " + std::to_string(pid));
}

std::vector<long> ProcessIds(const wmi::ObjectSet& processes) {
    std::vector<long> ids;
    for (const wmi::Object& p : processes) ids.push_back(static_cast<long>(p.Property("ProcessId").ToNumber()));
    return ids;
}

bool Has(const std::vector<long>& ids, pid_t pid) { return std::find(ids.begin(), ids.end(), pid) != ids.end(); }

// --- WQL ---------------------------------------------------------------------------

TEST(Wql, ReadsTheQueriesOfTheProgram) {
    using Op = wmi::WqlCondition::Op;
    auto q = wmi::ParseWql("Select * from Win32_Service Where StartMode='Auto' AND State<>'Running'");
    EXPECT_EQ(q.className, "Win32_Service");
    EXPECT_TRUE(q.properties.empty());
    ASSERT_EQ(q.conditions.size(), 2u);
    EXPECT_EQ(q.conditions[0].property, "StartMode");
    EXPECT_EQ(q.conditions[0].op, Op::Equal);
    EXPECT_EQ(q.conditions[0].literal.ToText(), "Auto");
    EXPECT_EQ(q.conditions[1].property, "State");
    EXPECT_EQ(q.conditions[1].op, Op::NotEqual);
    EXPECT_EQ(q.conditions[1].literal.ToText(), "Running");

    q = wmi::ParseWql("Select * from Win32_Service ");
    EXPECT_EQ(q.className, "Win32_Service");
    EXPECT_TRUE(q.conditions.empty());

    q = wmi::ParseWql("select Name, ProcessId FROM win32_process where processid != -42 and Name = \"a\\\"b\\\\c\"");
    EXPECT_EQ(q.className, "win32_process");
    EXPECT_EQ(q.properties, (std::vector<std::string>{"Name", "ProcessId"}));
    ASSERT_EQ(q.conditions.size(), 2u);
    EXPECT_EQ(q.conditions[0].op, Op::NotEqual);
    EXPECT_EQ(q.conditions[0].literal.ToNumber(), -42);
    EXPECT_EQ(q.conditions[1].literal.ToText(), "a\"b\\c");
}

TEST(Wql, ReadsNullTestsAndBooleans) {
    using Op = wmi::WqlCondition::Op;
    struct Case {
        const char* where;
        Op op;
    };
    const Case cases[] = {
        {"ExecutablePath IS NULL", Op::IsNull},
        {"ExecutablePath is not null", Op::IsNotNull},
        {"ExecutablePath = NULL", Op::IsNull},
        {"ExecutablePath <> NULL", Op::IsNotNull},
        {"Started = TRUE", Op::Equal},
    };
    for (const Case& c : cases) {
        const auto q = wmi::ParseWql(std::string("SELECT * FROM Win32_Process WHERE ") + c.where);
        ASSERT_EQ(q.conditions.size(), 1u) << c.where;
        EXPECT_EQ(q.conditions[0].op, c.op) << c.where;
    }
    EXPECT_TRUE(wmi::ParseWql("SELECT * FROM x WHERE a = TRUE").conditions[0].literal.ToBool());
    EXPECT_FALSE(wmi::ParseWql("SELECT * FROM x WHERE a = false").conditions[0].literal.ToBool());
}

TEST(Wql, RejectsWhatItCannotRead) {
    const char* const bad[] = {
        "",
        "   ",
        "SELECT",
        "SELECT *",
        "SELECT * FROM",
        "SELECT * Win32_Process",
        "DELETE FROM Win32_Process",
        "SELECT * FROM Win32_Process Win32_Service",
        "SELECT Name, FROM Win32_Process",
        "SELECT * FROM Win32_Process WHERE",
        "SELECT * FROM Win32_Process WHERE Name",
        "SELECT * FROM Win32_Process WHERE Name =",
        "SELECT * FROM Win32_Process WHERE Name = 'open",
        "SELECT * FROM Win32_Process WHERE Name = 'x\\",
        "SELECT * FROM Win32_Process WHERE Name = bare",
        "SELECT * FROM Win32_Process WHERE Name = 'a' OR Name = 'b'",
        "SELECT * FROM Win32_Process WHERE Name = 'a' AND",
        "SELECT * FROM Win32_Process WHERE ProcessId > 4",
        "SELECT * FROM Win32_Process WHERE ProcessId = 12abc",
        "SELECT * FROM Win32_Process WHERE 'x' = Name",
        "SELECT * FROM Win32_Process WHERE Name IS 'x'",
        "SELECT * FROM Win32_Process;",
    };
    for (const char* wql : bad) EXPECT_EQ(ErrorNumberOf([&] { wmi::ParseWql(wql); }), wmi::WBEM_E_INVALID_QUERY) << wql;
}

// --- monikers -------------------------------------------------------------------------

TEST(WmiMoniker, ServesTheFormsOfTheProgram) {
    TempHost host;
    const char* const forms[] = {
        "winmgmts:",
        "WINMGMTS:",
        "winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2",
        "winmgmts:{impersonationLevel=impersonate}!\\\\.\\ROOT\\CIMV2",
        "winmgmts://.",
        "winmgmts:\\\\.\\root\\cimv2",
        "winmgmts:{(Security)}\\\\.\\root\\cimv2",
        "winmgmts:{impersonationLevel=impersonate, (Debug, !Shutdown)}",
        "winmgmts:{impersonationLevel=Impersonate,authenticationLevel=pktPrivacy}!root/cimv2",
        "winmgmts://localhost/root/cimv2",
    };
    for (const char* form : forms) {
        SCOPED_TRACE(form);
        const wmi::Services services = wmi::GetObject(form);
        EXPECT_EQ(services.InstancesOf("Win32_OperatingSystem").size(), 1u);
    }
    const auto m = wmi::ParseMoniker("winmgmts:{impersonationLevel=impersonate,(Security,Debug)}!\\\\srv\\root\\cimv2");
    EXPECT_EQ(m.server, "srv");
    EXPECT_EQ(m.nameSpace, "root\\cimv2");
    EXPECT_EQ(m.impersonationLevel, "impersonate");
    EXPECT_EQ(m.privileges, (std::vector<std::string>{"Security", "Debug"}));
}

TEST(WmiMoniker, ThisMachineByItsComputerName) {
    TempHost host;
    const std::string name = vb::Environ("COMPUTERNAME");
    ASSERT_FALSE(name.empty());
    EXPECT_NO_THROW(wmi::GetObject("winmgmts:\\\\" + name + "\\root\\cimv2"));
}

TEST(WmiMoniker, BadMonikersRaiseWmiErrors) {
    TempHost host;
    struct Case {
        const char* moniker;
        long number;
    };
    const Case cases[] = {
        {"", wmi::MK_E_SYNTAX},
        {"winmgmts", wmi::MK_E_SYNTAX},
        {"winmgmt:", wmi::MK_E_SYNTAX},
        {" winmgmts:", wmi::MK_E_SYNTAX},
        {"wmi:\\\\.\\root\\cimv2", wmi::MK_E_SYNTAX},
        {"winmgmts:{impersonationLevel=impersonate", wmi::MK_E_SYNTAX},
        {"winmgmts:{impersonationLevel=sometimes}", wmi::MK_E_SYNTAX},
        {"winmgmts:{impersonate}", wmi::MK_E_SYNTAX},
        {"winmgmts:{colour=blue}", wmi::MK_E_SYNTAX},
        {"winmgmts:{(Security}", wmi::MK_E_SYNTAX},
        {"winmgmts:{(Sec urity)}", wmi::MK_E_SYNTAX},
        {"winmgmts:{impersonationLevel=impersonate,}", wmi::MK_E_SYNTAX},
        {"winmgmts:\\\\", wmi::MK_E_SYNTAX},
        {"winmgmts:\\\\.\\root\\cimv2:", wmi::MK_E_SYNTAX},
        {"winmgmts:\\\\otherhost\\root\\cimv2", wmi::RPC_S_SERVER_UNAVAILABLE},
        {"winmgmts:\\\\.\\root\\default", wmi::WBEM_E_INVALID_NAMESPACE},
        {"winmgmts:root\\cimv3", wmi::WBEM_E_INVALID_NAMESPACE},
        {"winmgmts:\\\\.\\root\\cimv2:Win32_Process", wmi::WBEM_E_NOT_SUPPORTED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorNumberOf([&] { wmi::GetObject(c.moniker); }), c.number) << c.moniker;
}

// --- Win32_Process ----------------------------------------------------------------------

TEST(Win32Process, ListsAChildOfThisMachineWithItsProperties) {
    TempHost host;
    SleepChild child;
    ASSERT_GT(child.Pid(), 0);
    const wmi::ObjectSet all = wmi::GetObject("winmgmts://.").ExecQuery("Select * from win32_Process");
    EXPECT_TRUE(Has(ProcessIds(all), child.Pid()));

    const wmi::ObjectSet found = ProcessById(child.Pid());
    ASSERT_EQ(found.size(), 1u);
    const wmi::Object& p = found[0];
    EXPECT_EQ(p.ClassName(), "Win32_Process");
    const std::string name = p.Property("Name").ToText();
    EXPECT_NE(Upper(name).find("SLEEP"), std::string::npos) << name;
    EXPECT_EQ(p.Property("caption").ToText(), name);
    EXPECT_EQ(p.Property("HANDLE").ToText(), std::to_string(child.Pid()));
    EXPECT_EQ(p.Property("processid").ToNumber(), child.Pid());
    EXPECT_TRUE(p.HasProperty("ExecutablePath"));
    EXPECT_EQ(ErrorNumberOf([&] { p.Property("CommandLineOfSomethingElse"); }), wmi::OBJECT_DOESNT_SUPPORT);
    std::vector<vb::Variant> none;
    EXPECT_EQ(ErrorNumberOf([&] { p.ExecMethod("Reboot", none); }), wmi::OBJECT_DOESNT_SUPPORT);
}

TEST(Win32Process, WhereFiltersByEveryConditionIgnoringCase) {
    TempHost host;
    SleepChild first;
    SleepChild second;
    ASSERT_GT(first.Pid(), 0);
    ASSERT_GT(second.Pid(), 0);
    const std::string name = ProcessById(first.Pid()).at(0).Property("Name").ToText();
    const std::string p1 = std::to_string(first.Pid());
    const std::string p2 = std::to_string(second.Pid());
    struct Case {
        std::string where;
        bool hasFirst;
        bool hasSecond;
    };
    const Case cases[] = {
        {"Name = '" + name + "'", true, true},
        {"NAME = \"" + Upper(name) + "\"", true, true},
        {"name = '" + name + "' AND ProcessId <> " + p1, false, true},
        {"Name = '" + name + "' and processid != " + p2, true, false},
        {"Handle = '" + p2 + "'", false, true},
        {"Handle = " + p1, true, false},
        {"ProcessId = '" + p1 + "'", true, false},
        {"Name <> '" + name + "'", false, false},
        {"Name = 'no such program.exe'", false, false},
        {"ProcessId = " + p1 + " AND ProcessId = " + p2, false, false},
        {"Caption IS NOT NULL AND ProcessId = " + p1, true, false},
        {"Name IS NULL", false, false},
    };
    for (const Case& c : cases) {
        const auto ids = ProcessIds(LocalWmi().ExecQuery("SELECT * FROM WIN32_PROCESS WHERE " + c.where));
        EXPECT_EQ(Has(ids, first.Pid()), c.hasFirst) << c.where;
        EXPECT_EQ(Has(ids, second.Pid()), c.hasSecond) << c.where;
    }
    const auto selected = LocalWmi().ExecQuery("Select name, processid from Win32_Process where ProcessId = " + p1);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].Property("Name").ToText(), name);
}

TEST(Win32Process, ProcessesOfAnotherMachineAreNotSeen) {
    TempHost host;
    TempHost other;
    const std::string otherFolder = other.Folder().string();
    SleepChild foreign(otherFolder);
    SleepChild own(host.Folder().string());
    ASSERT_GT(foreign.Pid(), 0);
    ASSERT_GT(own.Pid(), 0);
    setenv("QUARNEL_HOST", host.Folder().c_str(), 1);
    EXPECT_TRUE(ProcessById(foreign.Pid()).empty());
    EXPECT_EQ(ProcessById(own.Pid()).size(), 1u);
}

TEST(Win32Process, GetOwnerGivesTheUserAndTheComputer) {
    TempHost host;
    SleepChild child;
    const wmi::ObjectSet found = ProcessById(child.Pid());
    ASSERT_EQ(found.size(), 1u);
    std::string user = "unset";
    std::string domain = "unset";
    EXPECT_EQ(found[0].GetOwner(user, domain), 0);
    EXPECT_EQ(user, platform::LoginName());
    EXPECT_EQ(domain, vb::Environ("COMPUTERNAME"));

    std::vector<vb::Variant> arguments(2);
    EXPECT_EQ(found[0].ExecMethod("getowner", arguments).ToNumber(), 0);
    EXPECT_EQ(arguments[0].ToText(), user);
}

TEST(Win32Process, TerminateEndsTheProcessOnceThenReportsItGone) {
    TempHost host;
    SleepChild child;
    const wmi::ObjectSet found = ProcessById(child.Pid());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Terminate(), 0);
    EXPECT_TRUE(child.EndedBySignal());
    EXPECT_EQ(found[0].Terminate(), 2);
    std::string user, domain;
    EXPECT_NE(found[0].GetOwner(user, domain), 0);
    EXPECT_TRUE(ProcessById(child.Pid()).empty());
}

TEST(Win32Process, OtherProcessesSurviveATerminate) {
    TempHost host;
    SleepChild target;
    SleepChild bystander;
    const auto found = ProcessById(target.Pid());
    ASSERT_EQ(found.size(), 1u);
    std::vector<vb::Variant> reason{0};
    EXPECT_EQ(found[0].ExecMethod("TERMINATE", reason).ToNumber(), 0);
    EXPECT_TRUE(target.EndedBySignal());
    EXPECT_EQ(ProcessById(bystander.Pid()).size(), 1u);
}

// --- classes and properties ---------------------------------------------------------------

TEST(WmiQuery, UnknownClassIsAnInvalidClass) {
    TempHost host;
    const wmi::Services services = wmi::GetObject("winmgmts:");
    EXPECT_EQ(ErrorNumberOf([&] { services.ExecQuery("Select * from Win32_NoSuchThing"); }), -2147217392);
    EXPECT_EQ(ErrorNumberOf([&] { services.InstancesOf("Win32_NoSuchThing"); }), -2147217392);
    EXPECT_EQ(ErrorNumberOf([&] { services.InstancesOf(""); }), wmi::WBEM_E_INVALID_CLASS);
    try {
        services.InstancesOf("Win32_Nothing");
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Description(), "Invalid class");
    }
}

TEST(WmiQuery, UnknownPropertyIsAnInvalidQuery) {
    TempHost host;
    const wmi::Services services = wmi::GetObject("winmgmts:");
    EXPECT_EQ(ErrorNumberOf([&] { services.ExecQuery("Select * from Win32_Process where Colour = 'red'"); }),
              wmi::WBEM_E_INVALID_QUERY);
    EXPECT_EQ(ErrorNumberOf([&] { services.ExecQuery("Select Colour from Win32_Process"); }),
              wmi::WBEM_E_INVALID_QUERY);
}

// --- Win32_OperatingSystem --------------------------------------------------------------------

TEST(Win32OperatingSystem, DefaultsDescribeWindows7Professional64Bit) {
    TempHost host;
    const auto systems = wmi::GetObject("winmgmts:").InstancesOf("win32_operatingsystem");
    ASSERT_EQ(systems.size(), 1u);
    const wmi::Object& os = systems[0];
    EXPECT_EQ(os.Property("OperatingSystemSKU").ToNumber(), 48);
    EXPECT_EQ(os.Property("Version").ToText(), "6.1.7601");
    EXPECT_EQ(os.Property("BuildNumber").ToText(), "7601");
    EXPECT_EQ(os.Property("CSDVersion").ToText(), "Service Pack 1");
    EXPECT_EQ(os.Property("OSArchitecture").ToText(), "64-bit");
    EXPECT_EQ(os.Property("Caption").ToText(), "Microsoft Windows 7 Professional");
}

TEST(Win32OperatingSystem, FollowsHostIni) {
    TempHost host;
    host.WriteHostIni("Version", "Major", "6");
    host.WriteHostIni("Version", "Minor", "2");
    host.WriteHostIni("Version", "Build", "9200");
    host.WriteHostIni("Version", "CSDVersion", "");
    host.WriteHostIni("Version", "SKU", "30");
    host.WriteHostIni("Machine", "Is64Bit", "0");
    const wmi::Services services = wmi::GetObject("winmgmts:");
    const auto systems = services.ExecQuery("SELECT * FROM Win32_OperatingSystem WHERE OSArchitecture = '32-BIT'");
    ASSERT_EQ(systems.size(), 1u);
    EXPECT_EQ(systems[0].Property("OperatingSystemSKU").ToNumber(), 30);
    EXPECT_EQ(systems[0].Property("Version").ToText(), "6.2.9200");
    EXPECT_TRUE(systems[0].Property("CSDVersion").IsNull());
    EXPECT_TRUE(services.ExecQuery("SELECT * FROM Win32_OperatingSystem WHERE CSDVersion IS NOT NULL").empty());
    EXPECT_EQ(services.ExecQuery("SELECT * FROM Win32_OperatingSystem WHERE OperatingSystemSKU = 30").size(), 1u);
}

}  // namespace
