#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kDefaultTwipsPerPixel = 15.0;

QScreen* Screen() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                        : nullptr;
}

double TwipsPerPixelOf(double dpi) { return dpi > 0 ? kTwipsPerInch / dpi : kDefaultTwipsPerPixel; }

}  // namespace

long RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5) return static_cast<long>(lower) + 1;
    if (fraction < 0.5) return static_cast<long>(lower);
    const long even = static_cast<long>(lower);
    return even % 2 == 0 ? even : even + 1;
}

double TwipsPerPixelX() {
    QScreen* screen = Screen();
    return screen ? TwipsPerPixelOf(screen->logicalDotsPerInchX()) : kDefaultTwipsPerPixel;
}

double TwipsPerPixelY() {
    QScreen* screen = Screen();
    return screen ? TwipsPerPixelOf(screen->logicalDotsPerInchY()) : kDefaultTwipsPerPixel;
}

int PixelsX(double twips) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixelX())); }
int PixelsY(double twips) { return static_cast<int>(RoundHalfEven(twips / TwipsPerPixelY())); }
double TwipsX(double pixels) { return pixels * TwipsPerPixelX(); }
double TwipsY(double pixels) { return pixels * TwipsPerPixelY(); }

}  // namespace platform
