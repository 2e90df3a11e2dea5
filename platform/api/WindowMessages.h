#pragma once
// Window messages that Qt does not hand a widget as such, the mouse-leave
// tracking request, and the modules and entry points a program may probe for.
// A Qt event stands for a message: a mouse move for WM_MOUSEMOVE, a leave for
// WM_MOUSELEAVE (only after TrackMouseEvent asked for one, and once per
// request), a theme change for WM_THEMECHANGED and a palette change for
// WM_SYSCOLORCHANGE.
#include <cstdint>
#include <string>

#include "platform/api/WinTypes.h"

class QEvent;
class QWidget;

namespace win {

constexpr UINT WM_SYSCOLORCHANGE = 21;
constexpr UINT WM_CTLCOLORSCROLLBAR = 311;
constexpr UINT WM_MOUSEMOVE = 0x200;
constexpr UINT WM_LBUTTONDOWN = 0x201;
constexpr UINT WM_LBUTTONUP = 0x202;
constexpr UINT WM_LBUTTONDBLCLK = 0x203;
constexpr UINT WM_RBUTTONDOWN = 0x204;
constexpr UINT WM_RBUTTONUP = 0x205;
constexpr UINT WM_RBUTTONDBLCLK = 0x206;
constexpr UINT WM_MBUTTONDOWN = 0x207;
constexpr UINT WM_MBUTTONUP = 0x208;
constexpr UINT WM_MOUSELEAVE = 675;
constexpr UINT WM_THEMECHANGED = 794;

constexpr DWORD TME_LEAVE = 2;

struct TRACKMOUSEEVENT {
    DWORD cbSize = sizeof(TRACKMOUSEEVENT);
    DWORD dwFlags = 0;
    HWND hwndTrack = 0;
    DWORD dwHoverTime = 0;
};

BOOL TrackMouseEvent(TRACKMOUSEEVENT* request);
BOOL _TrackMouseEvent(TRACKMOUSEEVENT* request);

using HMODULE = std::intptr_t;
using FARPROC = std::intptr_t;

// "user32", "gdi32", "kernel32" and "uxtheme" are loaded in every program;
// "comctl32" once LoadLibraryA loads it. Names are matched without case and
// with or without ".dll".
HMODULE GetModuleHandleA(const std::string& name);
HMODULE LoadLibraryA(const std::string& name);
FARPROC GetProcAddress(HMODULE module, const std::string& name);
BOOL FreeLibrary(HMODULE module);

}  // namespace win

namespace platform {

// The message an event delivered to the window stands for; 0 for none.
win::UINT MessageOfEvent(QWidget* window, const QEvent& event);

}  // namespace platform
