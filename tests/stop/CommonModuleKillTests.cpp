// The stop program's process-ending procedures against real processes of the
// test's machine: copies of a sleeping program carrying the image names.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/api/Process.h"
#include "stop/CommonModuleKill.h"
#include "support/ProgramRun.h"
#include "support/ScopedVariable.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunningProgram;

// Copies the host's sleep program under a Windows path of the machine's drive C.
fs::path PlaceSleeper(const testsupport::TempHost& machine, const std::string& windowsPath) {
    const fs::path copy = machine.HostOf(windowsPath);
    fs::create_directories(copy.parent_path());
    fs::copy_file("/bin/sleep", copy, fs::copy_options::overwrite_existing);
    return copy;
}

std::unique_ptr<RunningProgram> StartSleeper(const testsupport::TempHost& machine, const std::string& windowsPath) {
    return std::make_unique<RunningProgram>(machine, PlaceSleeper(machine, windowsPath), "300");
}

void ExpectEnded(RunningProgram& program, const std::string& what) {
    EXPECT_FALSE(program.Wait(std::chrono::seconds(60)).killed) << what << " was left running";
}

void ExpectRunning(RunningProgram& program, const std::string& what) {
    EXPECT_TRUE(program.IsRunning()) << what << " was ended";
}

struct EndingMethod {
    const char* name;
    std::function<void(const std::string&)> end;
};

void PrintTo(const EndingMethod& method, std::ostream* out) { *out << method.name; }

std::string PrintMethod(const testing::TestParamInfo<EndingMethod>& info) { return info.param.name; }

const EndingMethod kMethods[] = {
    {"Snapshot", [](const std::string& name) { CommonModule::KillProcess(name); }},
    {"Wmi", [](const std::string& name) { CommonModule::KillProcessViaWMI(name); }},
    {"AllMethods", [](const std::string& name) { CommonModule::KillProcessAllMethods(name, true); }},
};

class EndingByName : public testing::TestWithParam<EndingMethod> {
protected:
    testsupport::TempHost host_;
};

INSTANTIATE_TEST_SUITE_P(Methods, EndingByName, testing::ValuesIn(kMethods), PrintMethod);

// The whole image name counts, in any letter case; a name that merely ends in
// the target (or the stop program's own) stays running.
TEST_P(EndingByName, EndsExactlyTheProcessesOfThatImageName) {
    struct Case {
        std::string path;
        bool ended;
    };
    const std::vector<Case> cases = {
        {"C:\\Program Files\\Quarnel\\Quarnel.exe", true},
        {"C:\\Old\\QUARNEL.EXE", true},
        {"C:\\Other\\OldQuarnel.exe", false},
        {"C:\\Other\\Quarnel.exe.bak", false},
        {"C:\\Other\\Quarnel_Stop.exe", false},
    };
    std::vector<std::unique_ptr<RunningProgram>> programs;
    for (const Case& c : cases) programs.push_back(StartSleeper(host_, c.path));

    GetParam().end("Quarnel.exe");

    for (size_t i = 0; i < cases.size(); ++i)
        if (cases[i].ended) ExpectEnded(*programs[i], cases[i].path);
    for (size_t i = 0; i < cases.size(); ++i)
        if (!cases[i].ended) ExpectRunning(*programs[i], cases[i].path);
}

// An empty name is no image name: nothing is ended, this test process included.
TEST_P(EndingByName, EndsNothingForAnEmptyName) {
    auto program = StartSleeper(host_, "C:\\Other\\Quarnel.exe");
    GetParam().end("");
    ExpectRunning(*program, "Quarnel.exe");
}

TEST_P(EndingByName, LeavesTheProcessesOfAnotherMachineRunning) {
    testsupport::TempHost otherMachine;
    auto foreign = StartSleeper(otherMachine, "C:\\Program Files\\Quarnel\\Quarnel.exe");
    auto own = StartSleeper(host_, "C:\\Program Files\\Quarnel\\Quarnel.exe");
    {
        const testsupport::ScopedVariable machine("QUARNEL_HOST", host_.Folder().string());
        GetParam().end("Quarnel.exe");
    }
    ExpectEnded(*own, "this machine's Quarnel.exe");
    ExpectRunning(*foreign, "the other machine's Quarnel.exe");
}

class EndingAll : public testing::Test {
protected:
    testsupport::TempHost host_;
};

TEST_F(EndingAll, TakesTheImageNameFromAPath) {
    auto program = StartSleeper(host_, "C:\\Other\\Quarnel.exe");
    CommonModule::KillProcessAllMethods("C:\\Program Files\\Quarnel\\Quarnel.exe", false);
    ExpectEnded(*program, "Quarnel.exe");
}

TEST_F(EndingAll, EndsTheProcessWhoseIdentifierIsGivenAsTheName) {
    auto target = StartSleeper(host_, "C:\\Other\\Target.exe");
    auto bystander = StartSleeper(host_, "C:\\Other\\Bystander.exe");
    CommonModule::KillProcessAllMethods(std::to_string(target->Pid()), true);
    ExpectEnded(*target, "the process of that identifier");
    ExpectRunning(*bystander, "another process");
}

// A name that would break out of the tools' quotes reaches no tool; the
// process-list methods still compare it as a name and find nothing.
TEST_F(EndingAll, GivesNoToolANameWithAQuote) {
    auto program = StartSleeper(host_, "C:\\Other\\Quarnel.exe");
    testsupport::StderrCapture debug;
    CommonModule::KillProcessAllMethods("x\" /a & taskkill /f /im \"Quarnel.exe", true);
    ExpectRunning(*program, "Quarnel.exe");
    EXPECT_EQ(debug.Text().find("ShellX"), std::string::npos) << debug.Text();
}

class EndingById : public testing::Test {
protected:
    testsupport::TempHost host_;
};

TEST_F(EndingById, EndsTheProcessWithTheExitCodeGiven) {
    PlaceSleeper(host_, "C:\\Other\\Quarnel.exe");
    const long pid = platform::StartCommandLine("C:\\Other\\Quarnel.exe 60");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(CommonModule::KillProcess2(static_cast<std::int32_t>(pid), 7));
    EXPECT_EQ(platform::WaitForChildExit(pid), 7u);
}

TEST_F(EndingById, ReportsFalseWhenThereIsNoSuchProcessOfThisMachine) {
    testsupport::TempHost otherMachine;
    auto foreign = StartSleeper(otherMachine, "C:\\Other\\Quarnel.exe");
    auto gone = StartSleeper(host_, "C:\\Other\\Quarnel.exe");
    const pid_t gonePid = gone->Pid();
    gone.reset();
    const testsupport::ScopedVariable machine("QUARNEL_HOST", host_.Folder().string());
    for (const std::int32_t id : {0, -1, static_cast<std::int32_t>(gonePid), static_cast<std::int32_t>(foreign->Pid())})
        EXPECT_FALSE(CommonModule::KillProcess2(id, 0)) << "identifier " << id;
    ExpectRunning(*foreign, "the other machine's process");
}

}  // namespace
