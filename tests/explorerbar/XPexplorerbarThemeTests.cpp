// A change of the visual style repaints a shown control at once: by the
// explicit call, and by an edit of host.ini that its folder's watch sees.
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QPainter>
#include <QRawFont>
#include <QThread>

#include "ExplorerBarFixture.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/UxTheme.h"
#include "platform/api/ExplorerBarTheme.h"

namespace {

using Theme = testsupport::ExplorerBarTest;

QColor BackgroundPixel(const XPexplorerbar& bar) { return bar.Surface().pixelColor(190, 290); }

TEST_F(Theme, SwitchingVisualStylesRepaintsTheShownControl) {
    bar->AddSpecialItem("Special", true);
    EXPECT_NE(BackgroundPixel(*bar), QColor(Qt::white)) << "themed background";
    platform::SetVisualStyles(false);
    EXPECT_EQ(BackgroundPixel(*bar), QColor(Qt::white));
    EXPECT_EQ(win::OpenThemeData(bar->hwnd(), "ExplorerBar"), 0);

    // Another program (or a person) writes host.ini.
    platform::WriteIniValue(host.Folder() / "host.ini", "Display", std::string("VisualStyles"), std::string("1"));
    QElapsedTimer timer;
    timer.start();
    while (BackgroundPixel(*bar) == QColor(Qt::white) && timer.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_NE(BackgroundPixel(*bar), QColor(Qt::white)) << "the watch repainted the control themed";
    EXPECT_EQ(platform::OpenThemeCount(), 0) << "every element closes its theme handle";
}

TEST_F(Theme, ThemeCallsRefuseUnknownClassesPartsStatesAndHandles) {
    EXPECT_EQ(win::OpenThemeData(0, "Button"), 0);
    const win::HTHEME theme = win::OpenThemeData(0, "explorerbar");
    ASSERT_NE(theme, 0);
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    const win::RECT area{0, 0, 10, 10};
    EXPECT_EQ(win::DrawThemeBackground(theme, &painter, 5, 1, &area, &area), win::S_OK);
    for (int part : {0, 2, 4, 13}) EXPECT_EQ(win::DrawThemeBackground(theme, &painter, part, 1, &area, &area), win::E_INVALIDARG) << part;
    for (int state : {0, 4}) EXPECT_EQ(win::DrawThemeBackground(theme, &painter, 6, state, &area, &area), win::E_INVALIDARG) << state;
    EXPECT_EQ(win::CloseThemeData(theme), win::S_OK);
    EXPECT_EQ(win::DrawThemeBackground(theme, &painter, 5, 1, &area, &area), win::E_HANDLE);
}

// The darkness of a line drawn in the font, per pixel of its width.
double InkPerPixel(const QFont& font) {
    const QString line = QStringLiteral("Config Scheduling");
    const int width = QFontMetrics(font).horizontalAdvance(line);
    QImage image(width + 4, 40, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(QPointF(2, 28), line);
    painter.end();
    double ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ink += 255 - qGray(image.pixel(x, y));
    return ink / width;
}

// The texts come out in the host's Tahoma, and bold titles visibly heavier
// than the captions.
TEST_F(Theme, TextsAreDrawnInTahomaAndTitlesBold) {
    bar->AddNormalItem("Config", true);
    QFont title = bar->font();
    title.setBold(true);
    for (const QFont& font : {bar->font(), title})
        EXPECT_EQ(QRawFont::fromFont(font).familyName().toStdString(), "Tahoma") << font.bold();
    EXPECT_GT(InkPerPixel(title), 1.3 * InkPerPixel(bar->font()));
}

}  // namespace
