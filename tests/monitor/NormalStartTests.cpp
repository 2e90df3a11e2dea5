// The normal start of the monitor in a fresh host: the display and client
// settings, the client prompt, the finish of a pending self-update on real
// files, the snapshot rule, and the end without a window when the tray icon
// is switched off (in process and through the real Quarnel.exe).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "support/TestApplication.h"
#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "config/frmClientInfo.h"
#include "monitor/modDHM.h"
#include "platform/api/FileApi.h"
#include "platform/api/MessageBox.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Program.h"
#include "support/ProgramRun.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

// The start at log-on, once registered, is remembered in the settings.
bool StartAtLogonRegistered(const fs::path& ini) {
    return platform::ReadIniValue(ini, "General", "StartupSet").value_or("") == "1";
}
const std::string kMonitorWindow = testsupport::kTrayIconAdded;
const std::string kSnapshot = "modDHM\\SaveAppsSnapshot: ";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}


void ResetStartValues() {
    modDHM::sClientName.clear();
    modDHM::sClientPhone.clear();
    modDHM::sPCDesc.clear();
    modDHM::bClientPrompt = false;
    modDHM::bShowTrayIcon = false;
    modDHM::bShowTaskBar = false;
    modDHM::bShowForm = false;
}

// The running program placed as C:\Program Files\Quarnel\Quarnel.exe of a fresh host.
class NormalStart : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        ResetStartValues();
    }
    void TearDown() override {
        platform::ClearMessageBoxQueue();
        ResetStartValues();
    }

    fs::path ProgramFile(const std::string& name) const {
        return host.HostOf("C:\\Program Files\\Quarnel\\" + name);
    }
    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        CommonModule::WriteIniString(CommonModule::sINI, section, key, value);
    }
    void StoreClientName(const std::string& name) {
        ASSERT_EQ(modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, kClientNameValue, "S", name), 0);
    }
    // An executable script of the program folder.
    void WriteScript(const std::string& name, const std::string& body) {
        WriteHostFile(ProgramFile(name), "#!/bin/sh\n" + body + "\n");
        chmod(ProgramFile(name).c_str(), 0755);
    }

    testsupport::ProgramHost host;
};

// --- Settings -------------------------------------------------------------------

TEST(IntegerValueIsOne, AcceptsOnlyWholeNumbersOfValueOne) {
    for (const char* on : {"1", "01", "+1", " 1 ", "0001"})
        EXPECT_TRUE(modDHM::IntegerValueIsOne(on)) << '"' << on << '"';
    for (const char* off : {"", " ", "0", "2", "11", "10", "-1", "1.0", "1a", "yes", "+", "+-1", "1 1"})
        EXPECT_FALSE(modDHM::IntegerValueIsOne(off)) << '"' << off << '"';
}

struct SwitchCase {
    std::optional<std::string> clientPrompt, showTrayIcon, showTaskBar;
    bool expectClientPrompt, expectShowTrayIcon, expectShowTaskBar;
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
    auto text = [](const std::optional<std::string>& v) { return v ? "\"" + *v + "\"" : std::string("missing"); };
    *out << text(c.clientPrompt) << "/" << text(c.showTrayIcon) << "/" << text(c.showTaskBar);
}

class DisplaySwitches : public NormalStart, public testing::WithParamInterface<SwitchCase> {};

TEST_P(DisplaySwitches, FollowTheSettingsFile) {
    const SwitchCase& c = GetParam();
    if (c.clientPrompt) Setting("General", "ClientPrompt", *c.clientPrompt);
    if (c.showTrayIcon) Setting("General", "ShowTrayIcon", *c.showTrayIcon);
    if (c.showTaskBar) Setting("General", "ShowTaskBar", *c.showTaskBar);
    Setting("General", "Identifier", "present");
    modDHM::LoadGeneralSettings();
    EXPECT_EQ(modDHM::bClientPrompt, c.expectClientPrompt);
    EXPECT_EQ(modDHM::bShowTrayIcon, c.expectShowTrayIcon);
    EXPECT_EQ(modDHM::bShowTaskBar, c.expectShowTaskBar);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplaySwitches,
    testing::Values(SwitchCase{std::nullopt, std::nullopt, std::nullopt, false, true, false},
                    SwitchCase{"", "", "", false, true, false}, SwitchCase{"1", "1", "1", true, true, true},
                    SwitchCase{"0", "0", "0", false, false, false},
                    SwitchCase{"word", "word", "word", false, false, false},
                    SwitchCase{"01", "2", "1", true, false, true}, SwitchCase{"2", "-1", "0", false, false, false}));

TEST_F(NormalStart, SwitchesAreOnlyEverSetNeverCleared) {
    modDHM::bShowTrayIcon = true;
    modDHM::bShowTaskBar = true;
    Setting("General", "ShowTrayIcon", "0");
    Setting("General", "ShowTaskBar", "0");
    modDHM::LoadGeneralSettings();
    EXPECT_TRUE(modDHM::bShowTrayIcon);
    EXPECT_TRUE(modDHM::bShowTaskBar);
}

TEST_F(NormalStart, ClientValuesComeFromTheRegistry) {
    modDHM::sClientPhone = "left over";
    StoreClientName("Acme Dental");
    ASSERT_EQ(modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, kPCDescValue, "S", "front desk"), 0);
    modDHM::LoadGeneralSettings();
    EXPECT_EQ(modDHM::sClientName, "Acme Dental");
    EXPECT_EQ(modDHM::sClientPhone, "");
    EXPECT_EQ(modDHM::sPCDesc, "front desk");
}

// --- The client prompt ----------------------------------------------------------

struct PromptCase {
    bool clientPrompt;
    std::string storedName;
    bool expectWindow;
};

class ClientPrompt : public NormalStart, public testing::WithParamInterface<PromptCase> {};

TEST_P(ClientPrompt, AsksOnlyWhenSwitchedOnAndNoNameIsStored) {
    const PromptCase& c = GetParam();
    if (!c.storedName.empty()) StoreClientName(c.storedName);
    Setting("General", "ClientPrompt", c.clientPrompt ? "1" : "0");
    modDHM::LoadGeneralSettings();
    std::string shown;
    platform::QueueModalAction([&](QWidget* window) {
        shown = window->objectName().toStdString();
        window->findChild<QLineEdit*>("Text1")->setText("New Client");
        window->findChild<QPushButton*>("Command1")->click();
    });
    modDHM::PromptClientInfo();
    if (c.expectWindow) {
        EXPECT_EQ(shown, "frmClientInfo");
        EXPECT_EQ(modDHM::sClientName, "New Client");
    } else {
        EXPECT_EQ(shown, "");
        EXPECT_EQ(modDHM::sClientName, c.storedName);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ClientPrompt,
                         testing::Values(PromptCase{true, "", true}, PromptCase{true, "Stored Client", false},
                                         PromptCase{true, " ", false}, PromptCase{false, "", false}));

// --- The pending-update finish --------------------------------------------------

struct PairCase {
    std::string current, keptBack;
    bool currentExists, keptBackExists;
};

std::vector<PairCase> EveryPairInEveryState() {
    const std::vector<std::pair<std::string, std::string>> pairs{{"QuarnelService.exe", "QuarnelService_old.exe"},
                                                                 {"QuarnelControl.exe", "QuarnelControl_old.exe"},
                                                                 {"Quarnel_Stop.exe", "Quarnel_Stop_old.exe"}};
    std::vector<PairCase> cases;
    for (const auto& [current, keptBack] : pairs)
        for (bool currentExists : {false, true})
            for (bool keptBackExists : {false, true})
                cases.push_back({current, keptBack, currentExists, keptBackExists});
    return cases;
}

void PrintTo(const PairCase& c, std::ostream* out) {
    *out << c.current << (c.currentExists ? "+" : "-") << " " << c.keptBack << (c.keptBackExists ? "+" : "-");
}

class UpdatedPair : public NormalStart, public testing::WithParamInterface<PairCase> {};

TEST_P(UpdatedPair, KeptBackFileComesBackOrGoes) {
    const PairCase& c = GetParam();
    if (c.currentExists) WriteHostFile(ProgramFile(c.current), "new build");
    if (c.keptBackExists) WriteHostFile(ProgramFile(c.keptBack), "old build");
    modDHM::FinishPendingUpdate();
    EXPECT_FALSE(fs::exists(ProgramFile(c.keptBack)));
    if (c.currentExists)
        EXPECT_EQ(ReadHostFile(ProgramFile(c.current)), "new build");
    else if (c.keptBackExists)
        EXPECT_EQ(ReadHostFile(ProgramFile(c.current)), "old build");
    else
        EXPECT_FALSE(fs::exists(ProgramFile(c.current)));
}

INSTANTIATE_TEST_SUITE_P(EveryPair, UpdatedPair, testing::ValuesIn(EveryPairInEveryState()));

// The kept-back name is found whatever its letter case, as on Windows.
TEST_F(NormalStart, KeptBackFileIsFoundInAnyLetterCase) {
    WriteHostFile(ProgramFile("QUARNEL_STOP_OLD.EXE"), "old build");
    modDHM::FinishPendingUpdate();
    EXPECT_FALSE(fs::exists(ProgramFile("QUARNEL_STOP_OLD.EXE")));
    EXPECT_EQ(ReadHostFile(ProgramFile("Quarnel_Stop.exe")), "old build");
}

// A kept-back file that cannot be deleted stays for the next start; the other
// pairs are finished all the same.
TEST_F(NormalStart, UndeletableKeptBackFileStaysAndTheRestGoesOn) {
    WriteHostFile(ProgramFile("QuarnelService.exe"), "new build");
    WriteHostFile(ProgramFile("QuarnelService_old.exe"), "old build");
    ASSERT_TRUE(win::SetFileAttributesA(CommonModule::AppPath() + "QuarnelService_old.exe",
                                        win::FILE_ATTRIBUTE_READONLY));
    WriteHostFile(ProgramFile("Quarnel_Stop.exe"), "new build");
    WriteHostFile(ProgramFile("Quarnel_Stop_old.exe"), "old build");
    testsupport::StderrCapture debug;
    modDHM::FinishPendingUpdate();
    EXPECT_TRUE(fs::exists(ProgramFile("QuarnelService_old.exe")));
    EXPECT_FALSE(fs::exists(ProgramFile("Quarnel_Stop_old.exe")));
    EXPECT_EQ(debug.Text(), "");
}

class AfterSelfUpdate : public NormalStart {
protected:
    // The control program leaves a mark of which build ran.
    void WriteControlProgram(const std::string& name, const std::string& build) {
        WriteScript(name, "echo " + build + " > \"$(dirname \"$0\")/control-started.txt\"");
    }
    std::string WaitForControlProgram() {
        const fs::path mark = ProgramFile("control-started.txt");
        for (int i = 0; i < 600 && !fs::exists(mark); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(mark) ? ReadHostFile(mark) : "";
    }
};

TEST_F(AfterSelfUpdate, OldProgramIsDeletedAndTheControlProgramStarted) {
    WriteHostFile(ProgramFile("Quarnel_old.exe"), "old monitor");
    WriteControlProgram("QuarnelControl.exe", "delivered");
    modDHM::FinishPendingUpdate();
    EXPECT_FALSE(fs::exists(ProgramFile("Quarnel_old.exe")));
    EXPECT_EQ(WaitForControlProgram(), "delivered\n");
}

TEST_F(AfterSelfUpdate, UndeliveredControlProgramIsRestoredBeforeItStarts) {
    WriteHostFile(ProgramFile("Quarnel_old.exe"), "old monitor");
    WriteControlProgram("QuarnelControl_old.exe", "kept-back");
    modDHM::FinishPendingUpdate();
    EXPECT_FALSE(fs::exists(ProgramFile("QuarnelControl_old.exe")));
    EXPECT_TRUE(fs::exists(ProgramFile("QuarnelControl.exe")));
    EXPECT_EQ(WaitForControlProgram(), "kept-back\n");
}

// A missing control program is no reason to keep the old program.
TEST_F(AfterSelfUpdate, MissingControlProgramStillRemovesTheOldProgram) {
    WriteHostFile(ProgramFile("Quarnel_old.exe"), "old monitor");
    modDHM::FinishPendingUpdate();
    EXPECT_FALSE(fs::exists(ProgramFile("Quarnel_old.exe")));
}

// --- The snapshot rule ----------------------------------------------------------

struct SnapshotCase {
    const char* option;
    bool is64Bit;
    bool appsFileExists;
    bool wowFileExists;
    int expectedSnapshots;
};

void PrintTo(const SnapshotCase& c, std::ostream* out) {
    *out << "option " << c.option << (c.is64Bit ? " 64-bit" : " 32-bit") << " apps " << c.appsFileExists << " wow "
         << c.wowFileExists;
}

class SnapshotRule : public NormalStart, public testing::WithParamInterface<SnapshotCase> {};

TEST_P(SnapshotRule, TakesTheBaselineOnlyWhenMissing) {
    const SnapshotCase& c = GetParam();
    host.WriteHostIni("Machine", "Is64Bit", c.is64Bit ? "1" : "0");
    Setting("Heartbeat", "ReportNewlyInstalledApps", c.option);
    if (c.appsFileExists) WriteHostFile(ProgramFile("InstalledApps.txt"), "App A\r\n");
    if (c.wowFileExists) WriteHostFile(ProgramFile("InstalledAppsWow6432.txt"), "App B\r\n");
    testsupport::StderrCapture debug;
    modDHM::TakeMissingAppsSnapshot();
    EXPECT_EQ(Count(debug.Text(), kSnapshot), c.expectedSnapshots) << debug.Text();
}

// One snapshot writes both files, so a 64-bit machine missing both takes it once.
INSTANTIATE_TEST_SUITE_P(
    Cases, SnapshotRule,
    testing::Values(SnapshotCase{"0", true, false, false, 0}, SnapshotCase{"", true, false, false, 0},
                    SnapshotCase{"1", false, false, false, 1}, SnapshotCase{"1", false, true, false, 0},
                    SnapshotCase{"1", true, false, false, 1}, SnapshotCase{"1", true, true, false, 1},
                    SnapshotCase{"1", true, false, true, 1}, SnapshotCase{"1", true, true, true, 0}));

// --- The whole start ------------------------------------------------------------

TEST_F(NormalStart, WithoutTheTrayIconFinishesTheUpdateTakesTheSnapshotAndLoadsNothing) {
    Setting("General", "ShowTrayIcon", "0");
    Setting("Heartbeat", "ReportNewlyInstalledApps", "1");
    host.WriteHostIni("Machine", "Is64Bit", "0");
    WriteHostFile(ProgramFile("Quarnel_Stop.exe"), "new build");
    WriteHostFile(ProgramFile("Quarnel_Stop_old.exe"), "old build");
    testsupport::StderrCapture debug;
    modDHM::StartDesktopMonitor();
    EXPECT_FALSE(fs::exists(ProgramFile("Quarnel_Stop_old.exe")));
    EXPECT_EQ(Count(debug.Text(), kSnapshot), 1) << debug.Text();
    EXPECT_FALSE(StartAtLogonRegistered(ProgramFile("Quarnel.ini"))) << debug.Text();
    EXPECT_FALSE(Has(debug.Text(), kMonitorWindow)) << debug.Text();
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// The client window comes before anything else of the start runs further.
TEST_F(NormalStart, ClientWindowComesBeforeTheUpdateFinish) {
    Setting("General", "ShowTrayIcon", "0");
    Setting("General", "ClientPrompt", "1");
    Setting("Heartbeat", "ReportNewlyInstalledApps", "1");
    WriteHostFile(ProgramFile("Quarnel_Stop.exe"), "new build");
    WriteHostFile(ProgramFile("Quarnel_Stop_old.exe"), "old build");
    testsupport::StderrCapture debug;
    bool keptBackWhileAsking = false;
    bool snapshotWhileAsking = true;
    platform::QueueModalAction([&](QWidget* window) {
        keptBackWhileAsking = fs::exists(ProgramFile("Quarnel_Stop_old.exe"));
        snapshotWhileAsking = Has(debug.Text(), kSnapshot);
        window->close();
    });
    modDHM::StartDesktopMonitor();
    EXPECT_TRUE(keptBackWhileAsking);
    EXPECT_FALSE(snapshotWhileAsking);
    EXPECT_FALSE(fs::exists(ProgramFile("Quarnel_Stop_old.exe")));
    EXPECT_TRUE(Has(debug.Text(), "(frmClientInfo) driven by a test")) << debug.Text();
    EXPECT_TRUE(Has(debug.Text(), kSnapshot)) << debug.Text();
    // Closed without Finish: nothing stored, the prompt comes back next time.
    EXPECT_EQ(modDHM::sClientName, "");
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// "/installer" asks whatever name is stored; the new entries replace the stored ones.
TEST_F(NormalStart, InstallerAsksEvenWithAStoredNameAndReplacesIt) {
    StoreClientName("Earlier Client");
    Setting("General", "ClientPrompt", "1");
    platform::QueueModalAction([](QWidget* window) {
        window->findChild<QLineEdit*>("Text1")->setText("Later Client");
        window->findChild<QLineEdit*>("Text2")->setText("555-0123");
        window->findChild<QPushButton*>("Command1")->click();
    });
    modDHM::RunInstaller();
    vb::Variant stored;
    modRegistry::fReadValue(kClientInfoRootKey, kClientInfoKeyPath, kClientNameValue, "S", "", stored);
    EXPECT_EQ(stored.ToText(), "Later Client");
    modRegistry::fReadValue(kClientInfoRootKey, kClientInfoKeyPath, kClientPhoneValue, "S", "", stored);
    EXPECT_EQ(stored.ToText(), "555-0123");
    EXPECT_EQ(modDHM::sClientName, "Later Client");
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

// --- Through the real program ---------------------------------------------------

class InstalledNormalStart : public testing::Test {
protected:
    void SetUp() override { programFolder = testsupport::InstallProgram(host); }
    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        platform::WriteIniValue(testsupport::InstalledIni(host), section, key, value);
    }
    testsupport::ProgramResult Run(const std::string& commandLine) {
        testsupport::ProgramResult result = testsupport::RunInstalled(host, "Quarnel.exe", commandLine);
        EXPECT_FALSE(result.killed) << "\"" << commandLine << "\" did not end:\n" << result.debugOutput;
        EXPECT_EQ(result.exitCode, 0) << "\"" << commandLine << "\":\n" << result.debugOutput;
        return result;
    }

    testsupport::TempHost host;
    fs::path programFolder;
};

TEST_F(InstalledNormalStart, TrayIconSwitchedOffEndsWithoutAWindow) {
    Setting("General", "ShowTrayIcon", "0");
    Setting("Heartbeat", "ReportNewlyInstalledApps", "1");
    for (const char* line : {"", "/showform"}) {
        WriteHostFile(programFolder / "Quarnel_Stop_old.exe", "old build");
        fs::remove(programFolder / "InstalledApps.txt");
        const testsupport::ProgramResult result = Run(line);
        EXPECT_FALSE(fs::exists(programFolder / "Quarnel_Stop_old.exe")) << "\"" << line << "\"";
        EXPECT_TRUE(Has(result.debugOutput, kSnapshot)) << "\"" << line << "\"\n" << result.debugOutput;
        EXPECT_FALSE(StartAtLogonRegistered(testsupport::InstalledIni(host))) << "\"" << line << "\"";
        EXPECT_FALSE(Has(result.debugOutput, kMonitorWindow)) << "\"" << line << "\"\n" << result.debugOutput;
    }
}

// The start at log-on is registered before the update finish; the window comes last.
TEST_F(InstalledNormalStart, TrayIconOnRegistersTheStartAtLogonThenLoadsTheWindow) {
    const testsupport::ProgramResult result = Run("");
    EXPECT_TRUE(Has(result.debugOutput, kMonitorWindow)) << result.debugOutput;
    EXPECT_TRUE(StartAtLogonRegistered(testsupport::InstalledIni(host))) << result.debugOutput;
}

// Without a display the first-run window closes as its close box would: the
// start goes on and nothing is stored.
TEST_F(InstalledNormalStart, UnansweredClientWindowLetsTheStartGoOn) {
    Setting("General", "ClientPrompt", "1");
    Setting("General", "ShowTrayIcon", "0");
    WriteHostFile(programFolder / "Quarnel_Stop_old.exe", "old build");
    const testsupport::ProgramResult result = Run("");
    EXPECT_TRUE(Has(result.debugOutput, "First Run Config\" (frmClientInfo) without a display")) << result.debugOutput;
    EXPECT_FALSE(fs::exists(programFolder / "Quarnel_Stop_old.exe"));
}

}  // namespace
