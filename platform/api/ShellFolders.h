#pragma once
// The shell's folder services: the folder picker (a Qt dialog that answers
// with a Windows path) and the Properties window of a file, which the
// desktop's file manager shows over D-Bus (org.freedesktop.FileManager1)
// where one runs; without one nothing is shown.
#include <cstdint>
#include <string>

#include "platform/api/WinTypes.h"

class QWidget;

namespace win {

constexpr UINT BIF_RETURNONLYFSDIRS = 0x1;

struct BROWSEINFOA {
    HWND hwndOwner = 0;
    QWidget* owner = nullptr;   // the owner window as this host knows it
    std::string lpszTitle;
    UINT ulFlags = 0;
};

// The picked folder; null when the picker was cancelled.
struct ITEMIDLIST;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
PIDLIST_ABSOLUTE SHBrowseForFolderA(const BROWSEINFOA& info);
// Writes the Windows path (at most MAX_PATH characters with its NUL).
BOOL SHGetPathFromIDListA(PIDLIST_ABSOLUTE idList, char* path);
void CoTaskMemFree(PIDLIST_ABSOLUTE idList);

constexpr std::uint32_t SEE_MASK_INVOKEIDLIST = 0xC;

struct SHELLEXECUTEINFOA {
    DWORD cbSize = sizeof(SHELLEXECUTEINFOA);
    std::uint32_t fMask = 0;
    HWND hwnd = 0;
    std::string lpVerb;
    std::string lpFile;
    std::string lpParameters;
    std::string lpDirectory;
    int nShow = 0;
    std::intptr_t hInstApp = 0;
};

// The verb "properties" asks the file manager for the file's Properties
// window; other verbs go to ShellExecuteA. FALSE with hInstApp
// SE_ERR_NOASSOC when nobody can show it.
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

}  // namespace win
