// The configuration window with the explorer bar: its side bar's groups and
// items, and what each item does.
#include <QLabel>
#include <QLayout>
#include <QScrollBar>
#include <QWheelEvent>

#include "ConfigWindowFixture.h"
#include "config/frmConfig.h"
#include "explorerbar/XPexplorerbar.h"
#include "support/StderrCapture.h"

namespace configtest {
namespace {

const char* const kPanels[] = {"picGeneral",   "picEmail",        "picRules",    "picExclusions",
                               "picHeartbeat", "picHeartbeatAdv", "picRulesLoc", "picAutoUpdate"};

class ExplorerBarWindow : public ConfigWindowTest {
protected:
    frmConfig* OpenMain(bool configOnly = false) {
        if (window_) delete window_.data();
        auto* window = new frmConfig("Quarnel  v1.0", configOnly);
        window_ = window;
        return window;
    }
    std::vector<std::string> VisiblePanels() const {
        std::vector<std::string> shown;
        for (const char* panel : kPanels)
            if (!C<QWidget>(panel)->isHidden()) shown.push_back(panel);
        return shown;
    }
};

TEST_F(ExplorerBarWindow, TheSideBarHoldsThreeOpenGroupsOfItems) {
    OpenMain();
    auto* bar = C<XPexplorerbar>("SideBar");
    ASSERT_EQ(bar->GroupCount(), 3);
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected{
        {"Config", {"General", "SMTP Config", "Alert Rules", "Global Exclusions"}},
        {"Scheduling", {"Heartbeat", "Heartbeat (Advanced)", "Rules Download", "Automatic Update"}},
        {"Config", {"Save && Zip", "Cancel && Close", "Save && Close"}}};
    for (std::int16_t group = 1; group <= 3; ++group) {
        EXPECT_EQ(bar->Header(group), expected[group - 1].first);
        EXPECT_TRUE(bar->Groups()[group].expanded) << group;
        const auto& items = expected[group - 1].second;
        ASSERT_EQ(bar->Groups()[group].subItemCount, static_cast<int>(items.size())) << group;
        for (std::int16_t item = 1; item <= static_cast<std::int16_t>(items.size()); ++item)
            EXPECT_EQ(bar->SubItem(group, item), items[item - 1]);
    }
    EXPECT_EQ(Window()->windowTitle().toStdString(), "Quarnel  v1.0  Configuration");
    EXPECT_EQ(VisiblePanels(), std::vector<std::string>{"picGeneral"});
}

TEST_F(ExplorerBarWindow, EachItemShowsItsPanel) {
    frmConfig* window = OpenMain();
    const std::vector<std::tuple<std::int16_t, std::int16_t, std::vector<std::string>>> cases{
        {1, 1, {"picGeneral"}},   {1, 2, {"picEmail"}},        {1, 3, {"picRules"}},    {1, 4, {"picExclusions"}},
        {2, 1, {"picHeartbeat"}}, {2, 2, {"picHeartbeatAdv"}}, {2, 3, {"picRulesLoc"}}, {2, 4, {"picAutoUpdate"}},
        {1, 5, {}},               {2, 0, {}}};
    for (const auto& [group, item, panels] : cases) {
        window->SideBar_SubItemClick(group, item);
        EXPECT_EQ(VisiblePanels(), panels) << group << "," << item;
    }
    // Another group, and Save & Zip, leave the panels as they are.
    window->SideBar_SubItemClick(1, 2);
    window->SideBar_SubItemClick(4, 1);
    testsupport::StderrCapture capture;
    window->SideBar_SubItemClick(3, 1);
    EXPECT_NE(capture.Text().find("Your config is saved to your desktop."), std::string::npos) << capture.Text();
    EXPECT_EQ(VisiblePanels(), std::vector<std::string>{"picEmail"});
    ASSERT_FALSE(Window() == nullptr);
}

TEST_F(ExplorerBarWindow, TheClosingItemsCancelOrSave) {
    Setting("General", "Identifier", "before");
    frmConfig* window = OpenMain();
    Box("txtIdentifier")->setText("edited");
    window->SideBar_SubItemClick(3, 2);
    RunDeferredDeletes();
    EXPECT_TRUE(Window() == nullptr);
    EXPECT_EQ(Stored("General", "Identifier"), "before");

    window = OpenMain(true);
    Box("txtIdentifier")->setText("saved");
    testsupport::StderrCapture capture;
    window->SideBar_SubItemClick(3, 3);
    RunDeferredDeletes();
    EXPECT_TRUE(Window() == nullptr);
    EXPECT_EQ(Stored("General", "Identifier"), "saved");
    EXPECT_EQ(capture.Text().find("Quarnel_Stop.exe"), std::string::npos) << capture.Text();
}

// Made as low as it goes, the window scrolls its side bar with the wheel far
// enough to show "Save && Close" whole, and a click on it saves.
TEST_F(ExplorerBarWindow, AtItsLowestTheWheelBringsSaveAndCloseIntoReach) {
    frmConfig* window = OpenMain(true);
    Box("txtIdentifier")->setText("saved");
    window->show();
    window->layout()->activate();
    window->resize(window->width(), 1);
    QCoreApplication::processEvents();
    auto* bar = C<XPexplorerbar>("SideBar");
    ASSERT_GT(window->height(), 1);
    ASSERT_FALSE(bar->Scoller()->isHidden());
    const QPointF centre(bar->width() / 3.0, bar->height() / 2.0);
    for (int notch = 0; notch < 100 && bar->Scoller()->value() < bar->Scoller()->maximum(); ++notch) {
        QWheelEvent wheel(centre, bar->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(bar, &wheel);
    }
    EXPECT_EQ(bar->Scoller()->value(), bar->Scoller()->maximum());
    const XPexplorerbar::SubItemRecord& saveAndClose = bar->Groups()[3].subItems[3];
    EXPECT_GE(saveAndClose.top, 0);
    EXPECT_LE((saveAndClose.top + saveAndClose.height) / 15, bar->height());
    LeftClick(bar, QPointF(40, (saveAndClose.top + saveAndClose.height / 2) / 15.0));
    RunDeferredDeletes();
    EXPECT_TRUE(Window() == nullptr);
    EXPECT_EQ(Stored("General", "Identifier"), "saved");
}

}  // namespace
}  // namespace configtest
