#pragma once
// The visual-style calls. While host.ini [Display] VisualStyles is on (the
// default) OpenThemeData opens the "ExplorerBar" class, whose parts the host's
// own theme painter draws; with it off, or for another class, it returns 0
// and the caller draws plainly. A change of the setting, by SetVisualStyles or
// by an edit of host.ini, reaches every window as a theme-change event.
#include <string>

#include "platform/api/Gdi.h"

namespace win {

using HTHEME = std::intptr_t;
using HRESULT = LONG;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

constexpr int EBP_HEADERBACKGROUND = 1;
constexpr int EBP_NORMALGROUPBACKGROUND = 5;
constexpr int EBP_NORMALGROUPCOLLAPSE = 6;
constexpr int EBP_NORMALGROUPEXPAND = 7;
constexpr int EBP_NORMALGROUPHEAD = 8;
constexpr int EBP_SPECIALGROUPBACKGROUND = 9;
constexpr int EBP_SPECIALGROUPCOLLAPSE = 10;
constexpr int EBP_SPECIALGROUPEXPAND = 11;
constexpr int EBP_SPECIALGROUPHEAD = 12;

// 0 when visual styles are off or the class is unknown.
HTHEME OpenThemeData(HWND window, const std::string& classList);
// E_HANDLE for a handle that is not open, E_INVALIDARG for an unknown part or
// state (states 1 to 3) or a missing rectangle.
HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect, const RECT* clip);
HRESULT CloseThemeData(HTHEME theme);

}  // namespace win

namespace platform {

bool VisualStylesEnabled();
// Writes host.ini [Display] VisualStyles and tells every window.
void SetVisualStyles(bool on);
// Starts watching host.ini for a change of the setting (once per host
// folder; needs the application object). OpenThemeData starts it too.
void WatchVisualStyles();
// Number of theme handles open now.
int OpenThemeCount();

}  // namespace platform
