#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "monitor/modDHM.h"
#include "platform/api/Program.h"
#include "platform/api/MessageBox.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using modDHM::Switch;

struct SwitchCase {
    const char* commandLine;
    Switch expected;
};

void PrintTo(const SwitchCase& c, std::ostream* out) { *out << '"' << c.commandLine << '"'; }

class MatchSwitchTest : public testing::TestWithParam<SwitchCase> {};

TEST_P(MatchSwitchTest, NamesTheTaskOfTheWholeLine) {
    EXPECT_EQ(modDHM::MatchSwitch(GetParam().commandLine), GetParam().expected) << '"' << GetParam().commandLine << '"';
}

INSTANTIATE_TEST_SUITE_P(
    EverySwitch, MatchSwitchTest,
    testing::Values(SwitchCase{"/configonly", Switch::ConfigOnly}, SwitchCase{"/config", Switch::Config},
                    SwitchCase{"/configsafe", Switch::ConfigSafe}, SwitchCase{"/updateonly", Switch::UpdateOnly},
                    SwitchCase{"/updatesilent", Switch::UpdateSilent}, SwitchCase{"/showform", Switch::ShowForm},
                    SwitchCase{"/uninstaller", Switch::Uninstaller},
                    SwitchCase{"/cloudupdate", Switch::CloudUpdate}, SwitchCase{"/installer", Switch::Installer},
                    SwitchCase{"/updaterules0", Switch::UpdateRules0},
                    SwitchCase{"/updaterules1", Switch::UpdateRules1},
                    SwitchCase{"/updaterules2", Switch::UpdateRules2},
                    SwitchCase{"/updaterules3", Switch::UpdateRules3},
                    SwitchCase{"/heartbeat", Switch::Heartbeat}));

INSTANTIATE_TEST_SUITE_P(
    DashAndLetterCase, MatchSwitchTest,
    testing::Values(SwitchCase{"-UpdateRules2", Switch::UpdateRules2}, SwitchCase{"-CONFIG", Switch::Config},
                    SwitchCase{"/ShowForm", Switch::ShowForm}, SwitchCase{"-configSAFE", Switch::ConfigSafe},
                    SwitchCase{"/UNINSTALLER", Switch::Uninstaller}));

INSTANTIATE_TEST_SUITE_P(
    LinesThatNameNoSwitch, MatchSwitchTest,
    testing::Values(SwitchCase{"", Switch::Default}, SwitchCase{"/startup", Switch::Default},
                    SwitchCase{"/updaterules4", Switch::Default}, SwitchCase{"/updaterules", Switch::Default},
                    SwitchCase{"/updaterules2 ", Switch::Default}, SwitchCase{" /config", Switch::Default},
                    SwitchCase{"/config /showform", Switch::Default}, SwitchCase{"config", Switch::Default},
                    SwitchCase{"//config", Switch::Default}, SwitchCase{"/config\t", Switch::Default},
                    SwitchCase{"\"/config\"", Switch::Default}, SwitchCase{"/c\xc3\xb6nfig", Switch::Default}));

// Every "-" is read as "/", not only the first one.
TEST(MatchSwitch, ReadsEveryDashAsSlash) {
    EXPECT_EQ(modDHM::MatchSwitch("/config-"), Switch::Default);
    EXPECT_EQ(modDHM::MatchSwitch("-config"), Switch::Config);
    EXPECT_EQ(modDHM::MatchSwitch("/-config"), Switch::Default);
}

TEST(GetAppTitle, ShowsTheRevisionOnlyFromOne) {
    EXPECT_EQ(modDHM::FormatAppTitle("Quarnel", 1, 7, 6), "Quarnel  v1.7.6");
    EXPECT_EQ(modDHM::FormatAppTitle("Quarnel", 1, 7, 0), "Quarnel  v1.7");
    EXPECT_EQ(modDHM::FormatAppTitle("Quarnel", 2, 10, 1), "Quarnel  v2.10.1");
}

TEST(GetAppTitle, CarriesTheProgramTitleAndVersion) {
    const std::string expected = modDHM::FormatAppTitle("Quarnel", vb::App::Major(), vb::App::Minor(), vb::App::Revision());
    EXPECT_EQ(modDHM::GetAppTitle(), expected);
    EXPECT_EQ(modDHM::GetAppTitle().rfind("Quarnel  v", 0), 0u);
}

// The update windows the launchers open, each loaded once and hidden until
// its work starts; the tests remove them before their timers fire.
int LoadedWindowsNamed(const char* name, bool& anyVisible) {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == name) {
            ++count;
            anyVisible = anyVisible || window->isVisible();
        }
    return count;
}

void DiscardWindowsNamed(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == name) delete window;
}

TEST(Launchers, RulesUpdateRecordsProfileAndCommandLineOrigin) {
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    modDHM::bRulesUpdateCmdLine = false;
    for (std::int16_t profile : {3, 0, 2}) {
        modDHM::StartRulesUpdate(profile);
        EXPECT_EQ(modDHM::iRulesProfile, profile);
        EXPECT_TRUE(modDHM::bRulesUpdateCmdLine);
    }
    bool visible = false;
    EXPECT_EQ(LoadedWindowsNamed("frmRulesUpdate", visible), 1);
    EXPECT_FALSE(visible);
    DiscardWindowsNamed("frmRulesUpdate");
}

TEST(Launchers, ProgramUpdateOnlyEverTurnsSilentOn) {
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    modDHM::bUpdateSilent = false;
    modDHM::StartProgramUpdate(false);
    EXPECT_FALSE(modDHM::bUpdateSilent);
    bool visible = false;
    EXPECT_EQ(LoadedWindowsNamed("frmCompUpdateBeta", visible), 1);
    EXPECT_TRUE(visible);
    DiscardWindowsNamed("frmCompUpdateBeta");
    modDHM::StartProgramUpdate(true);
    EXPECT_TRUE(modDHM::bUpdateSilent);
    modDHM::StartProgramUpdate(false);
    EXPECT_TRUE(modDHM::bUpdateSilent);
    visible = false;
    EXPECT_EQ(LoadedWindowsNamed("frmCompUpdateBeta", visible), 1);
    EXPECT_FALSE(visible);
    DiscardWindowsNamed("frmCompUpdateBeta");
}

// Without a display the password window closes as its close box would: refused.
TEST(Launchers, PasswordPromptClosedUnansweredRefuses) {
    testsupport::TestApplication();
    testsupport::TempHost host;
    modDHM::bPasswordOK = false;
    EXPECT_FALSE(modDHM::PromptPassword());
}

TEST(Launchers, PasswordPromptClearsAMatchOnceRead) {
    testsupport::TestApplication();
    testsupport::TempHost host;
    modDHM::bPasswordOK = true;
    EXPECT_TRUE(modDHM::PromptPassword());
    EXPECT_FALSE(modDHM::bPasswordOK);
    EXPECT_FALSE(modDHM::PromptPassword());
}

// The line of an error nothing trapped has the form of every other error line.
TEST(Launchers, AnUntrappedErrorWritesItsErrorLine) {
    testsupport::TestApplication();
    testsupport::TempHost host;
    testsupport::StderrCapture capture;
    platform::QueueMessageBoxAnswer(vb::vbOK);
    modDHM::ReportUntrappedError(RuntimeError::InvalidProcedureCall());
    EXPECT_NE(capture.Text().find("\tmodDHM\\Main VB ERROR: 5 Invalid procedure call or argument\n"), std::string::npos)
        << capture.Text();
}

}  // namespace
