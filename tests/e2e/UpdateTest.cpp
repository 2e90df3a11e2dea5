// The update switches of the real programs against a local HTTPS site named
// as the update host: the weekly task's Quarnel_Stop.exe "/updatesilent" over
// a live monitor, the self-update with the real Quarnel.exe in its archive and
// the first start after it, an archive without Quarnel.exe, a torn or
// garbled one that 7-Zip unpacks only in part, the four rules
// profiles, a rules archive carrying a lower-case quarnel.ini, and rules
// archives that cannot be unpacked. QuarnelControl.exe and QuarnelService.exe
// are small scripts that log what they were started with.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/api/ProfileIni.h"
#include "platform/api/Program.h"
#include "support/ProgramRun.h"
#include "support/ShellCommand.h"
#include "support/TempHost.h"
#include "support/UpdateSite.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;
using testsupport::ReadHostFile;
using testsupport::RunningProgram;

const std::string kStartingLine = " - Starting Quarnel   v";

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

std::string VersionText(int revisionsLater) {
    return std::to_string(vb::App::Major()) + "." + std::to_string(vb::App::Minor()) + "." +
           std::to_string(vb::App::Revision() + revisionsLater);
}

class UpdateRun : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site_.Ready());
        programFolder_ = testsupport::InstallProgram(host_);
        testsupport::WriteStandInProgram(programFolder_ / "QuarnelControl.exe", "old QuarnelControl.exe", Log());
        testsupport::WriteStandInProgram(programFolder_ / "QuarnelService.exe", "old QuarnelService.exe", Log());
        testsupport::WriteHostFile(programFolder_ / "Rules" / "Old.DAT", "[LogFile]\r\nSystem=1\r\n");
    }

    fs::path Log() const { return host_.Folder() / "started.log"; }
    std::string Started() const { return ReadHostFile(Log()); }

    void SetSetting(const std::string& section, const std::string& key, const std::string& value) {
        platform::WriteIniValue(testsupport::InstalledIni(host_), section, key, value);
    }

    // Runs Quarnel.exe with the switch until it has ended and the copy it
    // restarts has begun. That copy runs its normal start, which with the
    // tray icon off ends without a window; it may go on after the call.
    ProgramResult RunRestarting(const std::string& commandLine) {
        SetSetting("General", "ShowTrayIcon", "0");
        programs_.push_back(std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", commandLine));
        RunningProgram& program = *programs_.back();
        ProgramResult result = program.Wait();
        EXPECT_FALSE(result.killed) << result.debugOutput;
        EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
        EXPECT_TRUE(WaitForRestart(program)) << "no restart:\n" << program.DebugOutput();
        result.debugOutput = program.DebugOutput();
        return result;
    }

    static bool WaitForRestart(const RunningProgram& program) {
        for (int turn = 0; turn < 600; ++turn) {
            if (CountOf(program.DebugOutput(), kStartingLine) >= 2) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    testsupport::TempHost host_;
    testsupport::UpdateSite site_{host_};
    fs::path programFolder_;
    // Ended with the programs they started when the test ends.
    std::vector<std::unique_ptr<RunningProgram>> programs_;
};

// The weekly task: the live monitor is ended, the update finds nothing newer,
// and a monitor is running again.
TEST_F(UpdateRun, StopProgramUpdateSilentEndsWithAMonitorRunningAgain) {
    site_.PublishIndex(VersionText(0), site_.Url("/files/QuarnelEXE.zip"));
    auto live = std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", "");
    ASSERT_TRUE(live->WaitForOutput(testsupport::kSubscribed)) << live->DebugOutput();
    RunningProgram stop(host_, programFolder_ / "Quarnel_Stop.exe", "/updatesilent");
    EXPECT_EQ(stop.Wait().exitCode, 0);
    const ProgramResult ended = live->Wait();
    EXPECT_FALSE(ended.killed);
    EXPECT_EQ(ended.exitCode, -1) << "the monitor ended by itself";
    ASSERT_TRUE(stop.WaitForOutput("DOWNLOAD SUCCEEDED:  BrindleUpdates.zip")) << stop.DebugOutput();
    ASSERT_TRUE(stop.WaitForOutput(testsupport::kSubscribed)) << stop.DebugOutput();
    const std::string output = stop.DebugOutput();
    EXPECT_LT(output.find("DOWNLOAD SUCCEEDED:  BrindleUpdates.zip"), output.find(testsupport::kSubscribed));
    EXPECT_FALSE(site_.WasRequested("/files/QuarnelEXE.zip"));
    testsupport::WriteOwnRecord(host_);
}

// The archive carries the real Quarnel.exe and a new control program; the
// restarted program's first start removes the "_old" files, brings back the
// ones the archive did not replace, and starts the new control program.
TEST_F(UpdateRun, SelfUpdateInstallsTheNewProgramAndItsFirstStartFinishesTheUpdate) {
    site_.PublishArchive("/files/QuarnelEXE.zip",
                         {{"Quarnel.exe", ReadHostFile(programFolder_ / "Quarnel.exe")},
                          {"QuarnelControl.exe", testsupport::StandInProgramText("new QuarnelControl.exe", Log())}});
    site_.PublishIndex(VersionText(1), site_.Url("/files/QuarnelEXE.zip"));
    const ProgramResult result = RunRestarting("/updateonly");
    EXPECT_TRUE(site_.WasRequested("/files/QuarnelEXE.zip")) << result.debugOutput;
    ASSERT_TRUE(testsupport::WaitForText(Log(), "new QuarnelControl.exe \n")) << Started() << result.debugOutput;
    EXPECT_EQ(Started(), "old QuarnelControl.exe /uninstall\nnew QuarnelControl.exe \n");
    for (const char* name : {"Quarnel_old.exe", "Quarnel_Stop_old.exe", "QuarnelService_old.exe", "QuarnelControl_old.exe"})
        EXPECT_FALSE(fs::exists(programFolder_ / name)) << name;
    EXPECT_TRUE(fs::exists(programFolder_ / "Quarnel_Stop.exe"));
    EXPECT_NE(ReadHostFile(programFolder_ / "QuarnelService.exe").find("old QuarnelService.exe"), std::string::npos);
    EXPECT_TRUE(fs::exists(programFolder_ / "BrindleUpdates.ini"));
    EXPECT_FALSE(fs::exists(programFolder_ / "QuarnelEXE.zip"));
}

// Without Quarnel.exe in the archive the old files come back, the control
// program is started again, and the old program restarts.
TEST_F(UpdateRun, ProgramArchiveWithoutTheProgramKeepsTheOldProgram) {
    site_.PublishArchive("/files/QuarnelEXE.zip",
                         {{"QuarnelControl.exe", testsupport::StandInProgramText("new QuarnelControl.exe", Log())}});
    site_.PublishIndex(VersionText(1), site_.Url("/files/QuarnelEXE.zip"));
    const std::string program = ReadHostFile(programFolder_ / "Quarnel.exe");
    const ProgramResult result = RunRestarting("/updatesilent");
    EXPECT_NE(result.debugOutput.find("delivered no Quarnel.exe"), std::string::npos) << result.debugOutput;
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old QuarnelControl.exe \n")) << Started();
    EXPECT_EQ(Started(), "old QuarnelControl.exe /uninstall\nold QuarnelControl.exe \n");
    EXPECT_TRUE(ReadHostFile(programFolder_ / "Quarnel.exe") == program) << "the old program is not back";
    for (const char* name : {"Quarnel_old.exe", "Quarnel_Stop_old.exe", "QuarnelService_old.exe", "QuarnelControl_old.exe"})
        EXPECT_FALSE(fs::exists(programFolder_ / name)) << name;
}

class DamagedProgramArchive : public UpdateRun, public testing::WithParamInterface<bool> {};

// The archive of the real Quarnel.exe, torn or with a stretch of it changed:
// the built-in reader refuses it, Debian's 7-Zip unpacks a broken
// Quarnel.exe and exits with 2. The old files come back, the old program
// restarts, and it starts again afterwards.
TEST_P(DamagedProgramArchive, LeavesTheOldProgramWorking) {
    fs::create_directories(programFolder_ / "3rd Party Tools" / "Ketarin");
    fs::copy_file(fs::path(QUARNEL_BIN_DIR) / "SevenZipWrapper", programFolder_ / "3rd Party Tools" / "Ketarin" / "7z.exe");
    const std::string program = ReadHostFile(programFolder_ / "Quarnel.exe");
    std::string archive = site_.PublishArchive(
        "/files/whole.zip",
        {{"Quarnel.exe", program},
         {"QuarnelControl.exe", testsupport::StandInProgramText("new QuarnelControl.exe", Log())}});
    testsupport::DamageArchive(archive, GetParam());
    site_.PublishFile("/files/QuarnelEXE.zip", archive);
    site_.PublishIndex(VersionText(1), site_.Url("/files/QuarnelEXE.zip"));
    const ProgramResult result = RunRestarting("/updateonly");
    EXPECT_NE(result.debugOutput.find("Zip File Integrity Check FAILED!"), std::string::npos) << result.debugOutput;
    EXPECT_NE(result.debugOutput.find("could not be unpacked whole; the previous program files are restored"),
              std::string::npos)
        << result.debugOutput;
    EXPECT_TRUE(ReadHostFile(programFolder_ / "Quarnel.exe") == program) << "the old program is not back";
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old QuarnelControl.exe \n")) << Started();
    EXPECT_EQ(Started(), "old QuarnelControl.exe /uninstall\nold QuarnelControl.exe \n");
    for (const char* name : {"Quarnel_old.exe", "Quarnel_Stop_old.exe", "QuarnelService_old.exe", "QuarnelControl_old.exe"})
        EXPECT_FALSE(fs::exists(programFolder_ / name)) << name;
    EXPECT_FALSE(fs::exists(programFolder_ / "QuarnelEXE_new"));

    const ProgramResult again = testsupport::RunInstalled(host_, "Quarnel.exe", "/showform");
    EXPECT_EQ(again.exitCode, 0) << again.debugOutput;
    EXPECT_NE(again.debugOutput.find(kStartingLine), std::string::npos) << again.debugOutput;
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedProgramArchive, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Torn" : "Garbled");
                         });

TEST_F(UpdateRun, NoNewerVersionOnlyRestarts) {
    for (const std::string& version : {VersionText(0), std::string("0.9.99"), std::string("1.0"), std::string("")}) {
        site_.PublishIndex(version, site_.Url("/files/QuarnelEXE.zip"));
        const ProgramResult result = RunRestarting("-UpdateOnly");
        EXPECT_NE(result.debugOutput.find("DOWNLOAD SUCCEEDED:  BrindleUpdates.zip"), std::string::npos) << version;
        EXPECT_FALSE(site_.WasRequested("/files/QuarnelEXE.zip")) << version;
        EXPECT_FALSE(fs::exists(programFolder_ / "Quarnel_old.exe")) << version;
    }
    EXPECT_EQ(Started(), "");
}

// Each switch downloads its own profile's location (none is published, so
// every download fails and the rules stay).
TEST_F(UpdateRun, EachRulesSwitchFetchesItsProfile) {
    const char* keys[] = {"RulesWebLoc", "RulesWebLoc1", "RulesWebLoc2", "RulesWebLoc3"};
    for (int profile = 0; profile < 4; ++profile) SetSetting("General", keys[profile], site_.Url("/p" + std::to_string(profile)));
    for (const char* line : {"/updaterules3", "-UpdateRules2", "/UPDATERULES0", "/updaterules1"}) {
        const ProgramResult result = RunRestarting(line);
        EXPECT_NE(result.debugOutput.find("DOWNLOAD FAILED:  RulesUpdate.zip"), std::string::npos) << result.debugOutput;
        EXPECT_EQ(site_.RequestedPaths().back(), std::string("/p") + line[std::string(line).size() - 1]);
    }
    EXPECT_TRUE(fs::exists(programFolder_ / "Rules" / "Old.DAT"));
}

// The archive's lower-case quarnel.ini becomes the one settings file: the
// restarted monitor reads it.
TEST_F(UpdateRun, RulesArchiveWithLowerCaseSettingsFileReplacesTheSettings) {
    const std::string url = site_.Url("/rules/profile0.zip");
    site_.PublishArchive("/rules/profile0.zip",
                         {{"New.DAT", "[LogFile]\r\nApplication=1\r\n"},
                          {"quarnel.ini", "[General]\r\nShowTrayIcon=0\r\nRulesWebLoc=" + url + "\r\nFromArchive=1\r\n"}});
    SetSetting("General", "RulesWebLoc", url);
    RunRestarting("/updaterules0");
    EXPECT_TRUE(fs::exists(programFolder_ / "Rules" / "New.DAT"));
    EXPECT_FALSE(fs::exists(programFolder_ / "Rules" / "Old.DAT"));
    EXPECT_FALSE(fs::exists(programFolder_ / "Rules" / "quarnel.ini"));
    int settingsFiles = 0;
    for (const auto& entry : fs::directory_iterator(programFolder_)) {
        std::string name = entry.path().filename().string();
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "quarnel.ini") ++settingsFiles;
    }
    EXPECT_EQ(settingsFiles, 1);
    EXPECT_EQ(platform::ReadIniValue(testsupport::InstalledIni(host_), "General", "FromArchive"), "1");
}

class CorruptRulesArchive : public UpdateRun, public testing::WithParamInterface<bool> {};

TEST_P(CorruptRulesArchive, KeepsTheOldRulesAndRestarts) {
    if (GetParam()) {
        fs::create_directories(programFolder_ / "3rd Party Tools" / "Ketarin");
        fs::copy_file(fs::path(QUARNEL_BIN_DIR) / "SevenZipWrapper", programFolder_ / "3rd Party Tools" / "Ketarin" / "7z.exe");
    }
    const std::string archive = site_.PublishArchive("/rules.zip", {{"New.DAT", std::string(5000, 'n')}});
    site_.PublishFile("/torn.zip", archive.substr(0, archive.size() - 30));
    SetSetting("General", "RulesWebLoc", site_.Url("/torn.zip"));
    const ProgramResult result = RunRestarting("/updaterules0");
    EXPECT_NE(result.debugOutput.find("DOWNLOAD SUCCEEDED:  RulesUpdate.zip"), std::string::npos) << result.debugOutput;
    EXPECT_NE(result.debugOutput.find(GetParam() ? "Zip File Integrity Check FAILED!" : "7zip executable not found!"),
              std::string::npos)
        << result.debugOutput;
    EXPECT_TRUE(fs::exists(programFolder_ / "Rules" / "Old.DAT"));
    EXPECT_FALSE(fs::exists(programFolder_ / "Rules" / "New.DAT"));
    EXPECT_FALSE(fs::exists(programFolder_ / "RulesUpdate.zip"));
}

INSTANTIATE_TEST_SUITE_P(SevenZip, CorruptRulesArchive, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "With7z" : "Without7z");
                         });

TEST_F(UpdateRun, InstallerUnpacksTheRulesArchiveAndKeepsIt) {
    const fs::path staging = host_.Folder() / "staging";
    testsupport::WriteHostFile(staging / "Installed.DAT", "[LogFile]\r\nSecurity=1\r\n");
    ASSERT_EQ(testsupport::ShellCommand("cd '" + staging.string() + "' && zip -q -r '" +
                                        (programFolder_ / "Rules.zip").string() + "' ."),
              0);
    const ProgramResult result = testsupport::RunInstalled(host_, "Quarnel.exe", "/installer");
    EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
    EXPECT_EQ(ReadHostFile(programFolder_ / "Rules" / "Installed.DAT"), "[LogFile]\r\nSecurity=1\r\n");
    EXPECT_TRUE(fs::exists(programFolder_ / "Rules" / "Old.DAT"));
    EXPECT_TRUE(fs::exists(programFolder_ / "Rules.zip"));
}

}  // namespace
