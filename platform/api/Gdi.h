#pragma once
// The drawing calls of the Windows program: a device context is the painter
// of a window's surface (its font and text colour are the context's own),
// colours are 0xBBGGRR, system colours answer Windows 7's defaults, and
// DrawTextA writes text into a pixel rectangle.
#include <QColor>
#include <QSize>
#include <string>

#include "platform/api/WinTypes.h"

class QFont;
class QPainter;

namespace win {

using HDC = QPainter*;
using COLORREF = DWORD;

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_BTNHIGHLIGHT = 20;

// The colour of a display element; 0 for an index it does not know.
COLORREF GetSysColor(int index);

constexpr UINT DT_WORD_ELLIPSIS = 0x40000;

// Draws text (UTF-8; a count of -1 takes the whole string) into the rectangle
// with the context's font and pen colour, clipped to it. "&" marks the next
// character as the underlined prefix, "&&" draws one "&". With
// DT_WORD_ELLIPSIS one line is drawn, cut after the last word that fits
// before "..."; otherwise lines break only at CR LF. Returns the height of the
// text drawn in pixels, 0 on failure.
int DrawTextA(HDC dc, const std::string& text, int count, RECT* rect, UINT format);

}  // namespace win

namespace platform {

// 0xBBGGRR as a colour.
QColor ColorOf(win::COLORREF colour);

// The size in pixels of a text in a font as a window surface measures it:
// the widest of its lines (CR LF apart) and the height of all of them.
QSize TextExtent(const QFont& font, const std::string& text);

}  // namespace platform
