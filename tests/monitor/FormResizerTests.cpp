// The proportional resizer on real Qt widgets (offscreen): controls keep
// their share of the window through any number of resizes, the font follows
// the window's proportions, and the records stay with the controls they were
// made from.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>
#include <memory>

#include "support/TestApplication.h"
#include "monitor/FormResizer.h"

namespace {


// A window laid out as the monitor window is: a label, a list and buttons.
class ResizerTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        form_ = std::make_unique<QWidget>();
        form_->resize(600, 400);
        label_ = Control(new QLabel("Previous Events:", form_.get()), "Label1", QRect(8, 8, 120, 16));
        list_ = Control(new QListWidget(form_.get()), "ListView1", QRect(8, 32, 584, 300));
        resume_ = Control(new QPushButton("Resume Desktop Monitor", form_.get()), "Command2", QRect(8, 344, 180, 40));
        exit_ = Control(new QPushButton("Exit Desktop Monitor", form_.get()), "Command1", QRect(412, 344, 180, 40));
    }

    template <typename W>
    W* Control(W* control, const char* name, const QRect& area) {
        control->setObjectName(name);
        control->setGeometry(area);
        return control;
    }

    // Resizes the window and applies the records as the monitor window's
    // resize handler does: the base is the inner width.
    void ResizeTo(int width, int height) {
        form_->resize(width, height);
        const std::int16_t base = FormResizer::BaseForScaleWidth(FormResizer::ScaleWidth(*form_));
        resizer_.ResizeControls(*form_, base);
    }

    void ResizeWithoutFont(int width, int height) {
        form_->resize(width, height);
        resizer_.ResizeControls(*form_, 0);
    }

    std::unique_ptr<QWidget> form_;
    QLabel* label_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* resume_ = nullptr;
    QPushButton* exit_ = nullptr;
    FormResizer resizer_;
};

TEST_F(ResizerTest, RecordsEachControlAsItsShareOfTheWindow) {
    resizer_.InitResizeArray(*form_);
    const auto& records = resizer_.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].Name, "Label1");
    EXPECT_EQ(records[1].Name, "ListView1");
    EXPECT_EQ(records[3].Name, "Command1");
    const ControlResizeInfo& list = records[1];
    EXPECT_TRUE(list.flgMove);
    EXPECT_TRUE(list.flgResize);
    EXPECT_FLOAT_EQ(list.LeftProportion, 8.0f / 600);
    EXPECT_FLOAT_EQ(list.TopProportion, 32.0f / 400);
    EXPECT_FLOAT_EQ(list.WidthProportion, 584.0f / 600);
    EXPECT_FLOAT_EQ(list.HeightProportion, 300.0f / 400);
}

TEST_F(ResizerTest, ControlsFollowTheWindowAndComeBackExactly) {
    const QRect listBefore = list_->geometry();
    const QRect exitBefore = exit_->geometry();
    resizer_.InitResizeArray(*form_);

    ResizeWithoutFont(1200, 800);
    EXPECT_EQ(list_->geometry(), QRect(16, 64, 1168, 600));
    EXPECT_EQ(exit_->geometry(), QRect(824, 688, 360, 80));

    // Odd sizes round each edge; the records themselves never change.
    for (const QSize& size : {QSize(523, 377), QSize(601, 399), QSize(317, 911), QSize(1999, 1001)})
        ResizeWithoutFont(size.width(), size.height());
    ResizeWithoutFont(600, 400);
    EXPECT_EQ(list_->geometry(), listBefore);
    EXPECT_EQ(exit_->geometry(), exitBefore);
}

TEST_F(ResizerTest, MinimisedWindowShrinksControlsToNothingWithoutTouchingFonts) {
    const QRect labelBefore = label_->geometry();
    const qreal fontBefore = label_->font().pointSizeF();
    resizer_.InitResizeArray(*form_);

    ResizeTo(0, 0);
    EXPECT_EQ(FormResizer::BaseForScaleWidth(FormResizer::ScaleWidth(*form_)), 0);
    EXPECT_EQ(list_->geometry(), QRect(0, 0, 0, 0));
    EXPECT_EQ(label_->font().pointSizeF(), fontBefore);

    ResizeWithoutFont(600, 400);
    EXPECT_EQ(label_->geometry(), labelBefore);
}

struct FontCase {
    int width;
    int height;
    double expected;
};

void PrintTo(const FontCase& c, std::ostream* out) { *out << c.width << "x" << c.height; }

class ResizerFontTest : public ResizerTest, public testing::WithParamInterface<FontCase> {};

// With the inner width as base the font is 8.5 * height / width: the
// window's proportions, not its size.
TEST_P(ResizerFontTest, FontFollowsTheWindowsProportions) {
    resizer_.InitResizeArray(*form_);
    ResizeTo(GetParam().width, GetParam().height);
    for (QWidget* control : {static_cast<QWidget*>(label_), static_cast<QWidget*>(list_), static_cast<QWidget*>(exit_)})
        EXPECT_DOUBLE_EQ(control->font().pointSizeF(), GetParam().expected) << control->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Windows, ResizerFontTest,
                         testing::Values(FontCase{800, 400, 4.25}, FontCase{400, 400, 8.5}, FontCase{900, 900, 8.5},
                                         FontCase{400, 800, 17.0}, FontCase{640, 480, 6.375}));

TEST_F(ResizerTest, AnyBaseSetsInnerHeightOverBaseTimesEightAndAHalf) {
    resizer_.InitResizeArray(*form_);
    form_->resize(600, 400);  // 6000 twips high
    resizer_.ResizeControls(*form_, 3000);
    EXPECT_DOUBLE_EQ(label_->font().pointSizeF(), 17.0);
    const qreal before = label_->font().pointSizeF();
    resizer_.ResizeControls(*form_, -3000);  // a size below 0 is refused
    EXPECT_DOUBLE_EQ(label_->font().pointSizeF(), before);
}

// A window wider than a 16-bit base can say resizes as well.
TEST_F(ResizerTest, VeryWideWindowUsesTheLargestBase) {
    resizer_.InitResizeArray(*form_);
    EXPECT_EQ(FormResizer::BaseForScaleWidth(32767), 32767);
    EXPECT_EQ(FormResizer::BaseForScaleWidth(45000), 32767);
    ResizeTo(3000, 400);  // 45000 twips wide
    EXPECT_EQ(list_->geometry(), QRect(40, 32, 2920, 300));
    EXPECT_DOUBLE_EQ(label_->font().pointSizeF(), 6000.0 / 32767 * 8.5);
}

TEST_F(ResizerTest, NamedControlsCanBeHeldInPlace) {
    auto* second = Control(new QPushButton("other", form_.get()), "Command1", QRect(300, 344, 100, 40));
    resizer_.InitResizeArray(*form_);
    resizer_.SetControlProperties("command1", false, false);  // letter case counts
    resizer_.SetControlProperties("Command1", false, false);
    ResizeWithoutFont(1200, 800);
    EXPECT_EQ(exit_->geometry(), QRect(412, 344, 180, 40));
    EXPECT_EQ(second->geometry(), QRect(300, 344, 100, 40)) << "every record of the name";
    EXPECT_EQ(resume_->geometry(), QRect(16, 688, 360, 80));

    resizer_.SetControlProperties("Command1", true, false);
    ResizeWithoutFont(600, 400);
    ResizeWithoutFont(1200, 800);
    EXPECT_EQ(exit_->geometry(), QRect(824, 688, 180, 40)) << "moves, keeps its size";
}

TEST_F(ResizerTest, RecordsStayWithTheControlsTheyWereMadeFrom) {
    resizer_.InitResizeArray(*form_);
    auto* late = Control(new QPushButton("late", form_.get()), "Command5", QRect(1, 2, 30, 40));
    delete label_;  // a control gone later is skipped
    label_ = nullptr;
    ResizeWithoutFont(1200, 800);
    EXPECT_EQ(late->geometry(), QRect(1, 2, 30, 40)) << "added after the recording: not moved";
    EXPECT_EQ(list_->geometry(), QRect(16, 64, 1168, 600));
    EXPECT_EQ(exit_->geometry(), QRect(824, 688, 360, 80));
}

TEST_F(ResizerTest, OnlyTheWindowsOwnControlsAreRecorded) {
    auto* popup = new QMenu("Selected Item", form_.get());
    popup->setObjectName("Menu_PopUp");
    resizer_.InitResizeArray(*form_);
    EXPECT_EQ(resizer_.Records().size(), 4u) << "a pop-up menu is a window of its own";
    QScrollBar* inner = list_->verticalScrollBar();
    const QRect innerBefore = inner->geometry();
    ResizeWithoutFont(1200, 800);
    EXPECT_EQ(inner->geometry(), innerBefore) << "parts of a control are the control's own business";
    for (const ControlResizeInfo& record : resizer_.Records()) EXPECT_NE(record.Name, "Menu_PopUp");
}

TEST_F(ResizerTest, RecordingAgainDropsTheEarlierRecords) {
    resizer_.InitResizeArray(*form_);
    ResizeWithoutFont(1200, 800);
    resizer_.InitResizeArray(*form_);
    ASSERT_EQ(resizer_.Records().size(), 4u);
    ResizeWithoutFont(600, 400);
    EXPECT_EQ(list_->geometry(), QRect(8, 32, 584, 300));
}

TEST_F(ResizerTest, RecordingAnEmptyWindowKeepsZeroShares) {
    form_->resize(0, 0);
    resizer_.InitResizeArray(*form_);
    for (const ControlResizeInfo& record : resizer_.Records()) {
        EXPECT_EQ(record.LeftProportion, 0.0f);
        EXPECT_EQ(record.WidthProportion, 0.0f);
    }
    ResizeWithoutFont(600, 400);
    EXPECT_EQ(list_->geometry(), QRect(0, 0, 0, 0));
}

TEST_F(ResizerTest, PropertiesBeforeAnyRecordingChangeNothing) {
    resizer_.SetControlProperties("Label1", false, false);
    resizer_.ResizeControls(*form_, 6000);
    EXPECT_TRUE(resizer_.Records().empty());
    EXPECT_EQ(label_->geometry(), QRect(8, 8, 120, 16));
}

}  // namespace
