// Mouse sequences through real Qt events: event order, buttons, borders,
// leaving the window, and handlers that clear or delete the control.
#include <QCursor>

#include "ExplorerBarFixture.h"
#include "platform/api/UxTheme.h"

namespace {

using Mouse = testsupport::ExplorerBarTest;
using Events = std::vector<std::string>;

// Header of group 1 from y = 240 to 615; its first row from 715 to 955.
constexpr double kHeaderX = 1500, kHeaderY = 405;
constexpr double kRowX = 1500, kRowY = 810;

TEST_F(Mouse, AHeaderClickTogglesTheGroupInOrder) {
    const auto group = bar->AddNormalItem("Tasks");
    bar->AddSubItem(group, "One");
    Click(kHeaderX, kHeaderY);
    EXPECT_EQ(events, (Events{"MouseDown(1,0,1500,405)", "MouseMove(1,0,1500,405)", "MouseUp(1,0,1500,405)",
                              "ItemExpanded(1)", "HeaderClick(1)", "MouseMove(0,0,1500,405)"}));
    EXPECT_TRUE(Group(group).expanded);
    EXPECT_EQ(Group(group).headerState, XPexplorerbar::kStateHot);
    EXPECT_EQ(Row(group, 1).top, 715) << "the rows are laid out in the click's repaint";

    events.clear();
    Click(kHeaderX, kHeaderY);
    EXPECT_EQ(events.at(3), "ItemCollapsed(1)");
    EXPECT_FALSE(Group(group).expanded);
}

TEST_F(Mouse, ASubItemClickRaisesSubItemClickThenAMove) {
    const auto group = bar->AddNormalItem("Tasks", true);
    bar->AddSubItem(group, "One");
    Click(kRowX, kRowY);
    EXPECT_EQ(events, (Events{"MouseDown(1,0,1500,810)", "MouseMove(1,0,1500,810)", "MouseUp(1,0,1500,810)",
                              "SubItemClick(1,1)", "MouseMove(0,0,1500,810)"}));
    EXPECT_EQ(Row(group, 1).state, XPexplorerbar::kStateHot);
    EXPECT_EQ(bar->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(Mouse, PressingTheLeftButtonOverAHeaderShowsItPressed) {
    bar->AddNormalItem("Tasks");
    Move(kHeaderX, kHeaderY);
    EXPECT_EQ(Group(1).headerState, XPexplorerbar::kStateHot);
    Press(kHeaderX, kHeaderY);
    EXPECT_EQ(Group(1).headerState, XPexplorerbar::kStatePressed);
    Move(kHeaderX, 2000);
    EXPECT_EQ(Group(1).headerState, XPexplorerbar::kStateNormal);
    EXPECT_EQ(bar->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Mouse, TheRightButtonNeitherTogglesNorClicksAndLeavesLaterHeadersAlone) {
    bar->AddNormalItem("First");
    bar->AddNormalItem("Second");
    Move(kHeaderX, 240 + 615 + 100);  // over the second header
    ASSERT_EQ(Group(2).headerState, XPexplorerbar::kStateHot);
    events.clear();
    Release(kHeaderX, kHeaderY, Qt::RightButton);
    EXPECT_EQ(events, (Events{"MouseUp(2,0,1500,405)"}));
    EXPECT_FALSE(Group(1).expanded);
    EXPECT_EQ(Group(2).headerState, XPexplorerbar::kStateHot) << "the walk stopped at the first header";
}

TEST_F(Mouse, BorderLinesBelongToNoArea) {
    const auto group = bar->AddNormalItem("Tasks", true);
    bar->AddSubItem(group, "One");
    const struct {
        double x, y;
    } borders[] = {{kHeaderX, 240}, {kHeaderX, 615}, {120, kHeaderY}, {2880, kHeaderY}, {kRowX, 715}, {240, kRowY}};
    for (const auto& point : borders) {
        Click(point.x, point.y);
        EXPECT_TRUE(Group(group).expanded) << point.x << "," << point.y;
    }
    for (const std::string& event : events) EXPECT_EQ(event.find("Click"), std::string::npos) << event;
}

TEST_F(Mouse, LeavingTheWindowClearsHoverWithAMoveAtMinusOne) {
    const auto group = bar->AddNormalItem("Tasks", true);
    bar->AddSubItem(group, "One");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(bar.get(), &enter);
    EXPECT_TRUE(events.empty()) << "entering raises no move";
    Move(kRowX, kRowY);
    ASSERT_EQ(Row(group, 1).state, XPexplorerbar::kStateHot);
    events.clear();
    Leave();
    EXPECT_EQ(events, (Events{"MouseMove(0,0,-1,-1)"}));
    EXPECT_EQ(Row(group, 1).state, XPexplorerbar::kStateNormal);
    EXPECT_EQ(bar->cursor().shape(), Qt::ArrowCursor);
    events.clear();
    Leave();
    EXPECT_TRUE(events.empty()) << "one leave notice per tracking request";
}

TEST_F(Mouse, PlainRowsAreHotOnlyOverTheIconGapAndCaption) {
    const auto group = bar->AddNormalItem("Tasks", true);
    bar->AddSubItem(group, "One");
    Move(2400, kRowY);
    EXPECT_EQ(Row(group, 1).state, XPexplorerbar::kStateHot) << "themed: the whole row";
    platform::SetVisualStyles(false);
    Move(2400, kRowY);
    EXPECT_EQ(Row(group, 1).state, XPexplorerbar::kStateNormal);
    EXPECT_LT(Row(group, 1).width, 2400 - 240);
    Move(700, kRowY);
    EXPECT_EQ(Row(group, 1).state, XPexplorerbar::kStateHot);
}

TEST_F(Mouse, AHandlerThatClearsTheControlEndsTheWalk) {
    const auto first = bar->AddNormalItem("First", true);
    bar->AddSubItem(first, "One");
    const auto second = bar->AddNormalItem("Second", true);
    bar->AddSubItem(second, "Two");
    QObject::connect(bar.get(), &XPexplorerbar::SubItemClick, bar.get(), [this] {
        bar->Cls();
        bar->AddDetailItem("Only", "", "");
    });
    Click(kRowX, kRowY);
    EXPECT_EQ(bar->GroupCount(), 1);
    EXPECT_EQ(bar->Header(1), "Only");
}

TEST_F(Mouse, AHandlerThatDeletesTheControlEndsTheEvent) {
    const auto group = bar->AddNormalItem("Tasks", true);
    bar->AddSubItem(group, "One");
    QObject::connect(bar.get(), &XPexplorerbar::SubItemClick, bar.get(), [this] { bar.reset(); });
    XPexplorerbar* target = bar.get();
    const QPointF at = Pixels(kRowX, kRowY);
    QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
    EXPECT_EQ(bar, nullptr);
}

TEST_F(Mouse, AHeaderHandlerThatDeletesTheControlEndsTheEvent) {
    bar->AddNormalItem("Tasks");
    QObject::connect(bar.get(), &XPexplorerbar::ItemExpanded, bar.get(), [this] { bar.reset(); });
    XPexplorerbar* target = bar.get();
    const QPointF at = Pixels(kHeaderX, kHeaderY);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
    EXPECT_EQ(bar, nullptr);
}

}  // namespace
