// Pictures of the control under a private X server, themed and plain, kept in
// build/screenshots and probed at the positions the layout gives: a 240-pixel
// wide control (right limit 3600 twips) whose three groups are open; the
// normal header starts at 240 twips, the special one at 1855 and the detail
// one (with a big icon) at 3170.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/api/ExplorerBarTheme.h"
#include "support/XvfbServer.h"

namespace {

namespace theme = platform::explorerbartheme;

constexpr int Px(int twips) { return (twips + 7) / 15; }

constexpr int kRight = 3600;
constexpr int kNormalTop = 240, kSpecialTop = 1855, kDetailTop = 3170;

std::filesystem::path Folder() { return std::filesystem::path(QUARNEL_BIN_DIR).parent_path() / "screenshots"; }

bool Near(QRgb pixel, const QColor& expected, int tolerance) {
    return std::abs(qRed(pixel) - expected.red()) <= tolerance &&
           std::abs(qGreen(pixel) - expected.green()) <= tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

std::string Describe(QRgb pixel) {
    return "(" + std::to_string(qRed(pixel)) + "," + std::to_string(qGreen(pixel)) + "," +
           std::to_string(qBlue(pixel)) + ")";
}

// The first column from x = 9 whose pixels in the rows hold the colour.
int FirstColumnOf(const QImage& image, int top, int bottom, const std::function<bool(QRgb)>& matches) {
    for (int x = 9; x < image.width(); ++x)
        for (int y = top; y <= bottom; ++y)
            if (matches(image.pixel(x, y))) return x;
    return -1;
}

bool AnyIn(const QImage& image, QRect area, const std::function<bool(QRgb)>& matches) {
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (matches(image.pixel(x, y))) return true;
    return false;
}

bool Dark(QRgb p) { return qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 90; }
bool Light(QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200; }

class Screenshots : public testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::XvfbServer server;
        ASSERT_TRUE(server.Started()) << "Xvfb did not start";
        const std::string command = "DISPLAY=" + server.Display() + " QT_QPA_PLATFORM=xcb '" +
                                    std::string(QUARNEL_BIN_DIR) + "/quarnel_screenshots' '" + Folder().string() +
                                    "' 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    static QImage Picture(const std::string& name) {
        QImage image(QString::fromStdString((Folder() / (name + ".png")).string()));
        EXPECT_FALSE(image.isNull()) << name;
        return image.convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(Screenshots, EveryWindowIsWritten) {
    for (const char* name : {"explorerbar-themed", "explorerbar-plain", "frmDHM", "frmPassword", "frmClientInfo",
                             "frmProfilePrompt"})
        EXPECT_TRUE(std::filesystem::is_regular_file(Folder() / (std::string(name) + ".png"))) << name;
}

TEST_F(Screenshots, PlainGroupsHaveButtonFaceAndDarkBlueHeadersAndLineChevrons) {
    const QImage image = Picture("explorerbar-plain");
    ASSERT_EQ(image.width(), 240);
    EXPECT_TRUE(Near(image.pixel(230, 500), Qt::white, 0)) << Describe(image.pixel(230, 500));
    const QColor buttonFace(240, 240, 240), darkBlue(10, 36, 106);
    EXPECT_TRUE(Near(image.pixel(Px(2400), Px(kNormalTop + 40)), buttonFace, 0));
    EXPECT_TRUE(Near(image.pixel(Px(2400), Px(kSpecialTop + 40)), darkBlue, 0));
    EXPECT_TRUE(Near(image.pixel(Px(2400), Px(kDetailTop + 40)), buttonFace, 0));

    // Titles start at x = 300 twips, or 600 beside a big icon.
    const int specialTitle = FirstColumnOf(image, Px(kSpecialTop + 90), Px(kSpecialTop + 270), Light);
    EXPECT_GE(specialTitle, Px(300));
    EXPECT_LE(specialTitle, Px(300) + 2);
    const int detailTitle = FirstColumnOf(image, Px(kDetailTop + 90), Px(kDetailTop + 270), Dark);
    EXPECT_GE(detailTitle, Px(600));
    EXPECT_LE(detailTitle, Px(600) + 2);

    // The open group's double chevron: lines from R - 405 to R - 315, nothing right of it.
    const QRect chevron(QPoint(Px(kRight - 405), Px(kNormalTop + 125)), QPoint(Px(kRight - 315), Px(kNormalTop + 245)));
    EXPECT_TRUE(AnyIn(image, chevron, Dark));
    EXPECT_FALSE(AnyIn(image, QRect(QPoint(Px(kRight - 290), Px(kNormalTop + 20)), QPoint(Px(kRight - 130), Px(kNormalTop + 360))), Dark));
}

TEST_F(Screenshots, ThemedGroupsUseTheThemeColoursAndRoundChevrons) {
    const QImage image = Picture("explorerbar-themed");
    const QRgb background = image.pixel(230, 500);
    EXPECT_TRUE(qBlue(background) > 200 && qRed(background) < 130) << Describe(background);
    const QRgb normalLeft = image.pixel(Px(120) + 1, Px(kNormalTop + 40));
    EXPECT_TRUE(Near(normalLeft, theme::kNormalHeadLeft, 6)) << Describe(normalLeft);
    const QRgb normalRight = image.pixel(Px(kRight - 120) - 2, Px(kNormalTop + 300));
    EXPECT_TRUE(Near(normalRight, theme::kNormalHeadRight, 6)) << Describe(normalRight);
    const QRgb special = image.pixel(Px(120) + 1, Px(kSpecialTop + 40));
    EXPECT_TRUE(Near(special, theme::kSpecialHeadLeft, 6)) << Describe(special);
    const QRgb body = image.pixel(Px(2400), Px(kNormalTop + 375 + 50));
    EXPECT_TRUE(Near(body, theme::kNormalBody, 0)) << Describe(body);

    // The chevron's 24-pixel box starts at (R - 480, top + 20): its face is
    // inside the circle, the band shows just left of the box.
    const int left = Px(kRight - 480), top = Px(kNormalTop + 20);
    EXPECT_TRUE(Near(image.pixel(left + 6, top + 12), theme::kChevronFace, 10)) << Describe(image.pixel(left + 6, top + 12));
    EXPECT_FALSE(Near(image.pixel(left - 3, top + 12), theme::kChevronFace, 10));
    EXPECT_TRUE(AnyIn(image, QRect(left + 8, top + 6, 9, 12),
                      [](QRgb p) { return Near(p, theme::kNormalArrow[0], 40); }));
}

}  // namespace
