#pragma once
// The host's painter of the visual style's "ExplorerBar" parts: gradient
// header bands, round chevron buttons and pale group bodies, in the colours
// below (the tests' pixel probes read them from here).
#include <QColor>
#include <QRect>

class QPainter;

namespace platform::explorerbartheme {

// The control's background, a vertical gradient.
inline const QColor kBackgroundTop{123, 162, 231};
inline const QColor kBackgroundBottom{99, 117, 214};
// Normal group header band: white on the left to pale blue on the right.
inline const QColor kNormalHeadLeft{255, 255, 255};
inline const QColor kNormalHeadRight{198, 211, 247};
// Special group header band: dark blue to a lighter blue.
inline const QColor kSpecialHeadLeft{0, 73, 181};
inline const QColor kSpecialHeadRight{41, 93, 206};
// Group bodies, framed in white.
inline const QColor kNormalBody{214, 223, 247};
inline const QColor kSpecialBody{239, 243, 255};
inline const QColor kBodyFrame{255, 255, 255};
// Chevron buttons: face and arrows, per state (normal, hot, pressed).
inline const QColor kChevronFace{255, 255, 255};
inline const QColor kChevronBorder{180, 196, 240};
inline const QColor kNormalArrow[3] = {{33, 93, 198}, {66, 142, 255}, {20, 60, 150}};
inline const QColor kSpecialArrow[3] = {{33, 93, 198}, {66, 142, 255}, {20, 60, 150}};

// The visual style's font, Tahoma, from the folder where Wine's fonts lie
// (fontconfig does not index it), registered with the application once it
// has one; its bold file only where that draws heavier than the regular one.
// Where the files are missing, "Tahoma" stays what fontconfig makes of it.
inline constexpr const char* kFontFolder = "/usr/share/wine/fonts";
void RegisterFonts();

bool IsPart(int part);
bool IsState(int state);
// Draws a part in a state over the pixel rectangle.
void PaintPart(QPainter& painter, int part, int state, const QRect& area);

}  // namespace platform::explorerbartheme
