// The explorer bar's records and public members on a real widget.
#include <QPixmap>

#include "ExplorerBarFixture.h"
#include "support/ErrorNumber.h"

#include <functional>

namespace {

using testsupport::ErrorNumberOf;
using Model = testsupport::ExplorerBarTest;

QPixmap Icon() {
    QPixmap icon(16, 16);
    icon.fill(Qt::red);
    return icon;
}

TEST_F(Model, GroupsAreNumberedFromOneAndStartClosedUnlessAskedOpen) {
    EXPECT_EQ(bar->AddNormalItem("Tasks"), 1);
    EXPECT_EQ(bar->AddSpecialItem("Special", true), 2);
    EXPECT_EQ(bar->AddDetailItem("Details", "Title", "Some text"), 3);
    EXPECT_EQ(bar->GroupCount(), 3);
    ASSERT_EQ(bar->Groups().size(), 4u);
    EXPECT_EQ(Group(1).kind, XPexplorerbar::kNormal);
    EXPECT_FALSE(Group(1).expanded);
    EXPECT_EQ(Group(2).kind, XPexplorerbar::kSpecial);
    EXPECT_TRUE(Group(2).expanded);
    EXPECT_EQ(Group(3).kind, XPexplorerbar::kDetail);
    EXPECT_EQ(Group(3).DetailTitle, "Title");
    EXPECT_EQ(Group(3).Details, "Some text");
    EXPECT_EQ(Group(3).headerState, XPexplorerbar::kStateNormal);
    EXPECT_EQ(bar->Header(2), "Special");
}

TEST_F(Model, SubItemsGrowPerGroupAndDetailGroupsTakeNone) {
    const auto tasks = bar->AddNormalItem("Tasks", true);
    const auto details = bar->AddDetailItem("About", "", "");
    EXPECT_EQ(bar->AddSubItem(tasks, "One"), 1);
    EXPECT_EQ(bar->AddSubItem(tasks, "Two", Icon()), 2);
    EXPECT_EQ(bar->AddSubItem(details, "Never"), 0);
    EXPECT_EQ(bar->AddSubItem(0, "Slot zero"), 0);
    EXPECT_EQ(Group(details).subItemCount, 0);
    EXPECT_EQ(bar->SubItem(tasks, 2), "Two");
    EXPECT_FALSE(bar->SubItemIcon(tasks, 2).isNull());
    EXPECT_TRUE(bar->SubItemIcon(tasks, 1).isNull());
    EXPECT_EQ(bar->SubItem(details, 5), "");
    EXPECT_EQ(Row(tasks, 1).state, XPexplorerbar::kStateNormal);
}

TEST_F(Model, ClearingStartsNumberingAgain) {
    const auto tasks = bar->AddNormalItem("Tasks");
    for (const char* caption : {"a", "b", "c"}) bar->AddSubItem(tasks, caption);
    bar->ClsSubItems(tasks);
    EXPECT_EQ(Group(tasks).subItemCount, 0);
    EXPECT_EQ(bar->AddSubItem(tasks, "again"), 1);
    bar->Cls();
    EXPECT_EQ(bar->GroupCount(), 0);
    EXPECT_EQ(bar->Groups().size(), 1u);
    EXPECT_EQ(bar->AddNormalItem("Fresh"), 1);
}

TEST_F(Model, SettersReplaceOrClearPicturesAndDetailSettersSkipOtherKinds) {
    const auto tasks = bar->AddNormalItem("Tasks", false, Icon(), Icon());
    const auto details = bar->AddDetailItem("About", "Old", "old text", Icon());
    EXPECT_FALSE(bar->BackGround(tasks).isNull());
    bar->SetBackGround(tasks);
    EXPECT_TRUE(bar->BackGround(tasks).isNull());
    bar->SetBigIcon(tasks);
    EXPECT_TRUE(bar->HeaderIcon(tasks).isNull());
    bar->SetBigIcon(tasks, Icon());
    EXPECT_FALSE(bar->HeaderIcon(tasks).isNull());

    bar->SetDetailsTitle(tasks, "ignored");
    bar->SetDetails(tasks, "ignored");
    bar->SetDetailsPicture(tasks, Icon());
    EXPECT_EQ(Group(tasks).DetailTitle, "");
    EXPECT_TRUE(Group(tasks).DetailPicture.isNull());
    bar->SetDetailsTitle(details, "New");
    bar->SetDetails(details, "new text");
    bar->SetDetailsPicture(details);
    EXPECT_EQ(Group(details).DetailTitle, "New");
    EXPECT_EQ(Group(details).Details, "new text");
    EXPECT_TRUE(Group(details).DetailPicture.isNull());
}

TEST_F(Model, CollapseAndExpandRaiseNoEvents) {
    const auto tasks = bar->AddNormalItem("Tasks");
    EXPECT_TRUE(bar->Expand(tasks).IsEmpty());
    EXPECT_TRUE(Group(tasks).expanded);
    bar->Collapse(tasks);
    EXPECT_FALSE(Group(tasks).expanded);
    EXPECT_TRUE(events.empty());
}

TEST_F(Model, IndicesOutsideTheArraysRaiseSubscriptOutOfRangeAndChangeNothing) {
    const auto tasks = bar->AddNormalItem("Tasks");
    bar->AddSubItem(tasks, "One");
    const std::vector<std::function<void()>> calls = {
        [&] { bar->Header(2); },           [&] { bar->Header(-1); },
        [&] { bar->AddSubItem(5, "x"); },  [&] { bar->SubItem(tasks, 2); },
        [&] { bar->SubItemIcon(tasks, -1); }, [&] { bar->Expand(9); },
        [&] { bar->Collapse(2); },         [&] { bar->SetBackGround(3); },
        [&] { bar->ClsSubItems(4); },      [&] { bar->SetDetails(2, "x"); },
    };
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(ErrorNumberOf(calls[i]), 9) << "call " << i;
    EXPECT_EQ(bar->GroupCount(), 1);
    EXPECT_EQ(Group(tasks).subItemCount, 1);
}

}  // namespace
