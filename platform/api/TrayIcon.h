#pragma once
// The notification-area icon of the shell: Shell_NotifyIcon over Qt's
// QSystemTrayIcon. An icon belongs to its owner window and identifier; the
// icon's clicks and balloon clicks come back to the owner as its callback
// message (the owner's mouse-move handler for WM_MOUSEMOVE, with the code as
// the x coordinate in pixels). Every call is written to the debug output, so a
// session without a tray can be followed ("\tShell_NotifyIcon NIM_MODIFY:
// balloon "<title>": <text> (icon <kind>, <ms> ms)", the text's CR and LF
// written as \r and \n); nothing fails for want of a tray. Without one a
// balloon is handed to the desktop's notification service, and the call does
// not wait for it: the outcome is written when the service has answered.
#include <QSystemTrayIcon>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/api/WinTypes.h"
#include "platform/api/WindowMessages.h"

class QIcon;
class QWidget;

namespace win {

using HICON = std::intptr_t;
using CHAR = char;
using WCHAR = char16_t;

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;
constexpr DWORD NIM_SETVERSION = 4;

constexpr UINT NIF_MESSAGE = 1;
constexpr UINT NIF_ICON = 2;
constexpr UINT NIF_TIP = 4;
constexpr UINT NIF_INFO = 16;

constexpr DWORD NIIF_NONE = 0;
constexpr DWORD NIIF_INFO = 1;
constexpr DWORD NIIF_WARNING = 2;
constexpr DWORD NIIF_ERROR = 3;
constexpr DWORD NIIF_USER = 4;

constexpr UINT NOTIFYICON_VERSION = 3;

constexpr UINT NIN_SELECT = 0x400;
constexpr UINT NIN_BALLOONSHOW = 0x402;
constexpr UINT NIN_BALLOONHIDE = 0x403;
constexpr UINT NIN_BALLOONTIMEOUT = 0x404;
constexpr UINT NIN_BALLOONUSERCLICK = 0x405;

// Record sizes as a 32-bit Windows program writes them: with the balloon
// fields (version 5 of the shell) or without them (the 64-character tooltip).
constexpr DWORD NOTIFYICONDATAA_V2_SIZE = 488;
constexpr DWORD NOTIFYICONDATAW_V2_SIZE = 936;
constexpr DWORD NOTIFYICONDATAA_V1_SIZE = 88;
constexpr DWORD NOTIFYICONDATAW_V1_SIZE = 152;

struct NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    CHAR szInfo[256];
    UINT uTimeoutOrVersion;
    CHAR szInfoTitle[64];
    DWORD dwInfoFlags;
};

struct NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    UINT uTimeoutOrVersion;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
};

// The ANSI record's texts are UTF-8 on this host. A record whose size is not
// one of the sizes above, or a call for an unknown icon, fails (FALSE).
BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data);
BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);

}  // namespace win

namespace platform {

// The handle of a window, as the shell and the tray know it; 0 for none.
win::HWND HandleOfWindow(QWidget* window);
// The window of a handle, or nullptr once it is gone.
QWidget* WindowOfHandle(win::HWND handle);

// The icon of the program's resources ":/icons/<name>.png"; the same name
// always gives the same handle. 0 when the resource does not exist.
win::HICON LoadIconResource(const std::string& name);
// The icon of a handle; a null icon for an unknown handle.
QIcon IconOfHandle(win::HICON handle);

// What the shell holds for one icon, for tests and diagnostics.
struct TrayIconInfo {
    std::string tip;
    win::HICON icon = 0;
    win::UINT callbackMessage = 0;
    win::UINT version = 0;
    win::DWORD lastRecordSize = 0;
    int modifyCount = 0;
    int balloonCount = 0;
    std::string balloonTitle;
    std::string balloonText;
    win::DWORD balloonIconKind = 0;
    win::UINT balloonTimeoutMs = 0;
};
std::optional<TrayIconInfo> QueryTrayIcon(win::HWND owner, win::UINT id);
// Number of icons the shell currently shows for this process.
int TrayIconCount();

// Feeds the owner of an icon a callback code, as the shell does.
void SendTrayCallback(win::HWND owner, win::UINT id, win::UINT code);
// The icon was activated or its balloon clicked, as Qt reports it; the codes
// follow from these exactly as for a real tray.
void SimulateTrayActivation(win::HWND owner, win::UINT id, QSystemTrayIcon::ActivationReason reason);
void SimulateBalloonClick(win::HWND owner, win::UINT id);

}  // namespace platform
