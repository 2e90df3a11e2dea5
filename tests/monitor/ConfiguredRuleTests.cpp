// A rule and an exclusion made in the configuration window and saved there
// decide what the monitor's matching alerts on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include "common/CommonModule.h"
#include "config/frmConfig2.h"
#include "monitor/frmDHM.h"
#include "monitor/frmSysTray.h"
#include "monitor/modDHM.h"
#include "platform/api/Program.h"
#include "support/Controls.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using testsupport::Control;

class ConfiguredRule : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        modDHM::bShowTrayIcon = true;
        modDHM::bShowTaskBar = true;
    }

    int Alerts(frmDHM& monitor, const std::string& code, const std::string& source, const std::string& message) {
        testsupport::StderrCapture capture;
        monitor.CheckAllRules("Error", code, source, message, "System");
        const std::string text = capture.Text();
        int count = 0;
        for (size_t at = 0; (at = text.find("\tDoAction Initiated\n", at)) != std::string::npos; ++at) ++count;
        return count;
    }

    testsupport::ProgramHost host_;
};

TEST_F(ConfiguredRule, ARuleSavedInTheWindowAlertsAndItsExclusionsHold) {
    {
        frmConfig2 window("Quarnel  v1.0", false);
        Control<QLineEdit>(&window, "txtRuleName")->setText("Spooler stops");
        Control<QCheckBox>(&window, "chkSys")->setChecked(true);
        Control<QCheckBox>(&window, "chkError")->setChecked(true);
        Control<QLineEdit>(&window, "txtEventID")->setText("7036");
        Control<QLineEdit>(&window, "txtEventDesc")->setText("Stopped\r\nstate");
        Control<QPushButton>(&window, "cmdAddRule")->click();
        Control<QRadioButton>(&window, "optEventSourceEx")->setChecked(true);
        Control<QLineEdit>(&window, "txtAddEx")->setText("Noisy Source");
        Control<QPushButton>(&window, "cmdAddEx")->click();
        ASSERT_TRUE(window.SaveSettings());
    }
    auto* monitor = new frmDHM;
    monitor->m_frmSysTray = new frmSysTray;
    EXPECT_EQ(Alerts(*monitor, "7036", "Service Control Manager", "The spooler entered the stopped\r\nstate."), 1);
    EXPECT_EQ(Alerts(*monitor, "7036", "NOISY SOURCE", "The spooler entered the stopped state."), 0);
    EXPECT_EQ(Alerts(*monitor, "7035", "Service Control Manager", "The spooler entered the stopped state."), 0);
    monitor->Unload();
    QApplication::processEvents();
}

}  // namespace
