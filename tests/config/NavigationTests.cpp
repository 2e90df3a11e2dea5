// Navigation and closing of the configuration windows: side-bar items show
// their panel, the closing commands save or not and restart the monitor's
// history view, the close box does neither.
#include <QLabel>
#include <QLayout>

#include "ConfigWindowFixture.h"
#include "support/StderrCapture.h"

namespace configtest {
namespace {

const char* const kPanels[] = {"picGeneral",   "picEmail",        "picRules",    "picExclusions",
                               "picHeartbeat", "picHeartbeatAdv", "picRulesLoc", "picAutoUpdate"};

class Navigation : public ConfigWindowTest {
protected:
    frmConfig2* Twin() const { return static_cast<frmConfig2*>(Window()); }
    // The panels not hidden (each panel's own flag; the window is never shown).
    std::vector<std::string> VisiblePanels() const {
        std::vector<std::string> shown;
        for (const char* panel : kPanels)
            if (!C<QWidget>(panel)->isHidden()) shown.push_back(panel);
        return shown;
    }
    std::vector<std::int16_t> BoldLabels() const {
        std::vector<std::int16_t> bold;
        for (std::int16_t index = 0; index <= 11; ++index)
            if (QLabel* label = Twin()->SideBarLabel(index); label && label->font().bold()) bold.push_back(index);
        return bold;
    }
};

TEST_F(Navigation, TheWindowOpensOnTheGeneralPanel) {
    Open();
    EXPECT_EQ(Window()->windowTitle().toStdString(), "Quarnel  v1.0  Configuration");
    EXPECT_EQ(VisiblePanels(), std::vector<std::string>{"picGeneral"});
    EXPECT_NE(C<QLabel>("lblVer")->text().toStdString(), "---");
    EXPECT_EQ(C<QLabel>("lblSideBar(11)")->text().toStdString(), "Save & Zip");
    EXPECT_EQ(Window()->findChild<QLabel*>("lblSideBar(4)"), nullptr);
}

TEST_F(Navigation, EachTwinLabelShowsItsPanelAndIsTheOnlyBoldOne) {
    Open();
    const std::vector<std::pair<std::int16_t, std::vector<std::string>>> cases{
        {0, {"picGeneral"}},   {1, {"picEmail"}},        {2, {"picRules"}},    {3, {"picExclusions"}},
        {5, {"picHeartbeat"}}, {6, {"picHeartbeatAdv"}}, {7, {"picRulesLoc"}}, {8, {"picAutoUpdate"}},
        {4, {}},               {12, {}},                 {11, {}}};
    for (const auto& [index, panels] : cases) {
        Twin()->lblSideBar_Click(index);
        EXPECT_EQ(VisiblePanels(), panels) << index;
        if (index == 4 || index == 12)
            EXPECT_TRUE(BoldLabels().empty()) << index;
        else
            EXPECT_EQ(BoldLabels(), std::vector<std::int16_t>{index});
    }
}

// The label column does not scroll: at the window's lowest, the closing commands still show.
TEST_F(Navigation, AtItsLowestTheTwinShowsEveryLabel) {
    Open();
    Window()->show();
    Window()->layout()->activate();
    Window()->resize(Window()->width(), 1);
    QCoreApplication::processEvents();
    for (const std::int16_t index : {std::int16_t{9}, std::int16_t{10}, std::int16_t{11}}) {
        QLabel* label = Twin()->SideBarLabel(index);
        EXPECT_LE(label->mapTo(Window(), QPoint(0, label->height())).y(), Window()->height()) << index;
    }
}

// Clicks from outside the program (xdotool) aim at these rows.
TEST_F(Navigation, TwinLabelsSitInTheirFixedRows) {
    Open();
    Window()->layout()->activate();
    for (std::int16_t index = 0; index <= 11; ++index) {
        QLabel* label = Twin()->SideBarLabel(index);
        if (SideBarRow(index) < 0) {
            EXPECT_EQ(label, nullptr) << index;
            continue;
        }
        ASSERT_NE(label, nullptr) << index;
        const QPoint topLeft = label->mapTo(Window(), QPoint(0, 0));
        EXPECT_EQ(topLeft, QPoint(0, kSideBarTop + SideBarRow(index) * kSideBarRowHeight)) << index;
        EXPECT_EQ(label->height(), kSideBarRowHeight) << index;
    }
}

TEST_F(Navigation, AlertRulesReReadsTheRulesFolder) {
    Open();
    EXPECT_TRUE(Entries(Window(), "listRules").empty());
    testsupport::WriteHostFile(ListFile("Added Outside.DAT"), "[LogFile]\r\nSystem=1\r\n");
    Twin()->lblSideBar_Click(2);
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Added Outside"});
}

TEST_F(Navigation, CancelAndCloseSavesNothingAndRestartsTheHistoryView) {
    Setting("General", "Identifier", "before");
    Open();
    Box("txtIdentifier")->setText("edited");
    testsupport::StderrCapture capture;
    Twin()->lblSideBar_Click(10);
    RunDeferredDeletes();
    EXPECT_TRUE(Window() == nullptr);
    EXPECT_EQ(Stored("General", "Identifier"), "before");
    EXPECT_NE(capture.Text().find("Quarnel_Stop.exe"), std::string::npos) << capture.Text();
}

TEST_F(Navigation, SaveAndCloseSaves) {
    Open();
    Box("txtIdentifier")->setText("saved");
    Twin()->lblSideBar_Click(9);
    RunDeferredDeletes();
    EXPECT_TRUE(Window() == nullptr);
    EXPECT_EQ(Stored("General", "Identifier"), "saved");
    EXPECT_EQ(Stored("General", "StartupSet"), "0");
}

TEST_F(Navigation, NoRestartWithoutTrayIconOrForConfigurationOnly) {
    for (const bool configOnly : {false, true}) {
        Open(configOnly);
        Check("chkShowTrayIcon")->setChecked(configOnly);
        testsupport::StderrCapture capture;
        Twin()->lblSideBar_Click(10);
        RunDeferredDeletes();
        EXPECT_TRUE(Window() == nullptr);
        EXPECT_EQ(capture.Text().find("Quarnel_Stop.exe"), std::string::npos) << capture.Text();
    }
}

TEST_F(Navigation, TheCloseBoxNeitherSavesNorRestarts) {
    Open();
    Box("txtIdentifier")->setText("edited");
    testsupport::StderrCapture capture;
    Window()->close();
    RunDeferredDeletes();
    EXPECT_TRUE(Window() == nullptr);
    EXPECT_FALSE(fs::exists(IniFile()));
    EXPECT_EQ(capture.Text().find("Quarnel_Stop.exe"), std::string::npos) << capture.Text();
}

TEST_F(Navigation, AFailedSaveKeepsTheWindowOpen) {
    Open();
    Box("txtCloudPass")->setText(QString::fromUtf8("密码"));
    testsupport::StderrCapture capture;
    Twin()->lblSideBar_Click(9);
    RunDeferredDeletes();
    ASSERT_FALSE(Window() == nullptr);
    EXPECT_NE(capture.Text().find("Nimbrel Password"), std::string::npos) << capture.Text();
    EXPECT_EQ(capture.Text().find("Quarnel_Stop.exe"), std::string::npos) << capture.Text();
    EXPECT_FALSE(fs::exists(IniFile()));
}

// The user clicks a label as shown on the screen.
TEST_F(Navigation, AFailedSaveAndCloseStaysOnThePanelTheUserWasOn) {
    Open();
    Window()->show();
    for (const std::int16_t index : {std::int16_t{3}, std::int16_t{9}}) {
        if (index == 9) Box("txtCloudPass")->setText(QString::fromUtf8("密码"));
        QLabel* label = Twin()->SideBarLabel(index);
        LeftClick(label, QPointF(label->width() / 2.0, label->height() / 2.0));
    }
    RunDeferredDeletes();
    ASSERT_FALSE(Window() == nullptr);
    EXPECT_EQ(VisiblePanels(), std::vector<std::string>{"picExclusions"});
    EXPECT_EQ(BoldLabels(), std::vector<std::int16_t>{3});
}

TEST_F(Navigation, ShowPasswordUnmasksOnlyTheConfigurationPassword) {
    Open();
    Click("Command3");
    EXPECT_EQ(Box("txtPassword")->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(Box("txtSMTPPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Box("txtCloudPass")->echoMode(), QLineEdit::Password);
}

}  // namespace
}  // namespace configtest
