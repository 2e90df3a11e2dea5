// Positions the paint stores, the scroll bar and the content height, on a
// 200 x 300 pixel control (3000 x 4500 twips; the scroll bar is 255 twips).
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include "ExplorerBarFixture.h"

namespace {

using Layout = testsupport::ExplorerBarTest;

constexpr int kWidth = 3000;
constexpr int kRightWithScrollBar = 3000 - 255;

void AddRows(XPexplorerbar& bar, std::int16_t group, int rows) {
    for (int i = 1; i <= rows; ++i) bar.AddSubItem(group, "Row " + std::to_string(i));
}

TEST_F(Layout, AnEmptyControlHasTheTopMarginOnlyAndNoScrollBar) {
    bar->Redraw();
    EXPECT_EQ(bar->ContentHeight(), 240);
    EXPECT_TRUE(bar->Scoller()->isHidden());
    EXPECT_EQ(bar->Scoller()->objectName(), "Scoller");
}

TEST_F(Layout, HeadersAndRowsSitAtTheFixedMetrics) {
    const auto first = bar->AddNormalItem("First", true);
    AddRows(*bar, first, 2);
    const auto second = bar->AddSpecialItem("Second");
    const auto third = bar->AddDetailItem("Third", "Title", "Short text.", {}, true);

    EXPECT_EQ(Group(first).headerLeft, 120);
    EXPECT_EQ(Group(first).headerTop, 240);
    EXPECT_EQ(Group(first).headerHeight, 375);
    EXPECT_EQ(Group(first).headerWidth, kWidth - 240);
    for (int row = 1; row <= 2; ++row) {
        EXPECT_EQ(Row(first, row).left, 240);
        EXPECT_EQ(Row(first, row).top, 240 + 375 + 100 + 300 * (row - 1));
        EXPECT_EQ(Row(first, row).height, 240);
        EXPECT_EQ(Row(first, row).width, kWidth - 480) << "themed rows are hot across the row";
    }
    const int firstBody = 100 + 300 * 2;
    EXPECT_EQ(Group(second).headerTop, 240 + 375 + firstBody + 240);
    EXPECT_EQ(Group(third).headerTop, Group(second).headerTop + 375 + 240);
    const int detailTop = Group(third).headerTop + 375;
    const int contentWithoutPicture = bar->ContentHeight();
    EXPECT_GT(contentWithoutPicture, detailTop + 440 + 240);

    QPixmap picture(32, 32);
    picture.fill(Qt::green);
    bar->SetDetailsPicture(third, picture);
    EXPECT_EQ(bar->ContentHeight(), contentWithoutPicture + 1320);
}

TEST_F(Layout, TheScrollBarShowsOnlyWhenTheContentIsTaller) {
    bar->AddNormalItem("One");
    bar->AddNormalItem("Two");
    ASSERT_EQ(bar->ContentHeight(), 240 + 2 * 615);  // 1470 twips = 98 pixels
    bar->resize(200, 98);
    EXPECT_TRUE(bar->Scoller()->isHidden()) << "content exactly as tall as the control";
    EXPECT_EQ(Group(1).headerWidth, kWidth - 240);
    bar->resize(200, 97);
    EXPECT_FALSE(bar->Scoller()->isHidden());
    EXPECT_EQ(bar->Scoller()->geometry(), QRect(200 - 17, 0, 17, 97));
    EXPECT_EQ(Group(1).headerWidth, kRightWithScrollBar - 240) << "drawn narrower in the same redraw";
    bar->resize(200, 98);
    EXPECT_TRUE(bar->Scoller()->isHidden());
    EXPECT_EQ(Group(1).headerWidth, kWidth - 240);
}

TEST_F(Layout, OpeningAGroupShowsTheScrollBarWithItsMaximumAndScrollingMovesTheGroups) {
    const auto group = bar->AddNormalItem("Long");
    AddRows(*bar, group, 8);
    // 240 + 375 + (100 + 8 * 300) + 240 = 3355 twips of content.
    bar->resize(200, (3355 - 1000) / 15);
    EXPECT_TRUE(bar->Scoller()->isHidden()) << "closed, the group fits";
    bar->Expand(group);
    EXPECT_FALSE(bar->Scoller()->isHidden());
    EXPECT_EQ(bar->Scoller()->maximum(), 100);
    EXPECT_EQ(Group(group).headerWidth, kRightWithScrollBar - 240);
    EXPECT_EQ(Row(group, 1).width, kRightWithScrollBar - 480);
    EXPECT_EQ(bar->ContentHeight(), 3355);

    bar->Scoller()->setValue(100);
    EXPECT_EQ(Group(group).headerTop, 240 - 1000);
    EXPECT_EQ(bar->ContentHeight(), 3355) << "the content height does not depend on the scroll position";
}

TEST_F(Layout, TheMaximumRoundsHalfToEven) {
    // Content 240 + 615 = 855 twips; a control of 57 pixels (855 twips) fits it,
    // 56 pixels (840 twips) leaves 15 twips: 1.5 steps, rounded to 2.
    bar->AddNormalItem("One");
    bar->resize(200, 56);
    EXPECT_EQ(bar->Scoller()->maximum(), 2);
    // 2 + 615 twips more per group: 1470 - 1425 = 45 twips, 4.5 steps, rounded to 4.
    bar->AddNormalItem("Two");
    bar->resize(200, 95);
    EXPECT_EQ(bar->Scoller()->maximum(), 4);
}

TEST_F(Layout, AfterOverflowTheContentHeightIsTheLimitAndUnreachedGroupsAreNotHit) {
    bar->resize(200, 2200);  // 33000 twips: no scroll bar
    for (int i = 0; i < 50; ++i) bar->AddNormalItem("Group " + std::to_string(i + 1));
    const auto last = static_cast<std::int16_t>(50);
    ASSERT_EQ(Group(last).headerTop, 240 + 615 * 49);
    AddRows(*bar, 1, 10);
    bar->Expand(1);
    EXPECT_EQ(bar->ContentHeight(), 32767);
    EXPECT_EQ(Group(last).headerTop, 240 + 615 * 49) << "group 50 kept the header of an earlier paint";

    // In the gap below group 44, inside the stale header of group 50.
    Click(1500, 30390);
    EXPECT_FALSE(Group(last).expanded);
    for (const std::string& event : events) EXPECT_EQ(event.find("HeaderClick"), std::string::npos) << event;
}

// On a control too low for its groups: an arrow click moves them by a row,
// a notch of the wheel by three, and the control asks to be no lower than its
// last group needs to show whole.
TEST_F(Layout, TheArrowsAndTheWheelScrollByRows) {
    for (const char* title : {"One", "Two", "Three"}) AddRows(*bar, bar->AddNormalItem(title, true), 4);
    bar->resize(200, 100);
    QScrollBar* scroller = bar->Scoller();
    ASSERT_FALSE(scroller->isHidden());
    const int top = Group(1).headerTop;

    QStyleOptionSlider option;
    option.initFrom(scroller);
    option.orientation = Qt::Vertical;
    option.minimum = scroller->minimum();
    option.maximum = scroller->maximum();
    option.sliderPosition = option.sliderValue = scroller->value();
    const QPointF arrow =
        scroller->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, scroller).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, arrow, scroller->mapToGlobal(arrow), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(scroller, &event);
    }
    EXPECT_EQ(Group(1).headerTop, top - 300);

    const QPointF centre(50, 50);
    QWheelEvent wheel(centre, bar->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(bar.get(), &wheel);
    EXPECT_EQ(Group(1).headerTop, top - 300 - 3 * 300);

    EXPECT_EQ(bar->minimumSizeHint().height(), (240 + 375 + 100 + 4 * 300 + 240 + 7) / 15);
}

}  // namespace
