#pragma once
// Message-only windows: a window made by CreateWindowExA that is never shown
// and exists to receive messages. Its window procedure can be replaced
// (SetWindowLongA with GWL_WNDPROC) and the previous one called on
// (CallWindowProcA). PostMessageA always queues the message on the Qt event
// loop; it reaches the window procedure when the loop runs, and is dropped
// when the window is gone by then.
#include <cstdint>
#include <string>

#include "platform/api/WinTypes.h"

namespace win {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using HINSTANCE = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr int GWL_WNDPROC = -4;

HWND CreateWindowExA(DWORD exStyle, const std::string& className, const std::string& windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, std::intptr_t menu, HINSTANCE instance,
                     void* parameter);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// Window procedures are full-width here: the value is the procedure's address.
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR newValue);
LONG_PTR GetWindowLongA(HWND window, int index);
LRESULT CallWindowProcA(LONG_PTR previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same name gives the same number in one program, from 0xC000 on; 0 for an empty name.
UINT RegisterWindowMessageA(const std::string& name);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HINSTANCE ProgramInstance();

// The 32-bit lParam halves of a notification.
constexpr LPARAM MAKELONG(std::uint16_t low, std::uint16_t high) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}

}  // namespace win

namespace platform {

// Hands a message to the window procedure at once; false when the window is gone.
bool DeliverWindowMessage(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam);

}  // namespace platform
