// Detail text wrapping as the layout measures it: greedy at single blanks, a
// word wider than the width alone on its line, with no empty line before it.
#include "ExplorerBarFixture.h"
#include "platform/api/Gdi.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

using Text = testsupport::ExplorerBarTest;

TEST_F(Text, ADetailTextWrapsAtBlanksAndKeepsAWideFirstWordWhole) {
    bar->resize(60, 300);  // right limit 900 twips: wrap width 420
    const int line = platform::TextExtent(bar->font(), "x").height() * 15;
    const auto group = bar->AddDetailItem("D", "T", "Supercalifragilistic", {}, true);
    const int oneLine = bar->ContentHeight();
    EXPECT_EQ(oneLine, 240 + 375 + line + 440 + 240);
    bar->SetDetails(group, "Supercalifragilistic word");
    EXPECT_EQ(bar->ContentHeight(), oneLine + line) << "the next word starts the second line";
    bar->SetDetails(group, "a b");
    EXPECT_EQ(bar->ContentHeight(), oneLine) << "short words share a line";
}

TEST(DrawText, PrefixesAndEllipsisKeepTheDrawnTextOnOneLine) {
    testsupport::TestApplication();
    QImage image(200, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    win::RECT wide{0, 0, 200, 40};
    const int lineHeight = QFontMetrics(painter.font(), &image).height();
    EXPECT_EQ(win::DrawTextA(&painter, "Save && Close", -1, &wide, win::DT_WORD_ELLIPSIS), lineHeight);
    win::RECT narrow{0, 0, 30, 40};
    EXPECT_EQ(win::DrawTextA(&painter, "A title much too long to fit", -1, &narrow, win::DT_WORD_ELLIPSIS),
              lineHeight);
    EXPECT_EQ(win::DrawTextA(&painter, "one\r\ntwo\r\nthree", -1, &wide, 0), 3 * lineHeight);
    EXPECT_EQ(win::DrawTextA(&painter, "one\ntwo", -1, &wide, 0), lineHeight) << "only CR LF breaks lines";
    painter.end();
}

}  // namespace
