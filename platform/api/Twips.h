#pragma once
// Twips, the Windows program's unit of length (1440 to the inch), and the
// screen's pixels: the twips per pixel follow the screen's logical dpi (15 at
// 96 dpi, and 15 without a screen). Every conversion rounds half to even, as
// the run time's rounding does.
namespace platform {

// The nearest whole number; a value half-way between two goes to the even one.
long RoundHalfEven(double value);

double TwipsPerPixelX();
double TwipsPerPixelY();

// Pixels of a length in twips, and twips of a length in pixels.
int PixelsX(double twips);
int PixelsY(double twips);
double TwipsX(double pixels);
double TwipsY(double pixels);

}  // namespace platform
