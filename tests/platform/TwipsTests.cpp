// Twips and pixels: 15 twips per pixel at 96 dpi, rounding half to even.
#include <gtest/gtest.h>

#include "platform/api/Twips.h"
#include "support/TestApplication.h"

namespace {

TEST(Twips, RoundsHalfToEven) {
    const struct {
        double value;
        long rounded;
    } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-7.6, -8}};
    for (const auto& c : cases) EXPECT_EQ(platform::RoundHalfEven(c.value), c.rounded) << c.value;
}

TEST(Twips, ConvertsAtFifteenTwipsPerPixelOnTheTestScreen) {
    testsupport::TestApplication();
    EXPECT_DOUBLE_EQ(platform::TwipsPerPixelX(), 15.0);
    EXPECT_DOUBLE_EQ(platform::TwipsPerPixelY(), 15.0);
    // 7.5 and 22.5 pixels: half-way values go to the even pixel.
    EXPECT_EQ(platform::PixelsX(112.5), 8);
    EXPECT_EQ(platform::PixelsY(337.5), 22);
    EXPECT_EQ(platform::PixelsX(255), 17);
    EXPECT_DOUBLE_EQ(platform::TwipsY(20), 300.0);
}

}  // namespace
