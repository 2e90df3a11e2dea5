#include "platform/api/SystemMessages.h"

#include <cstring>
#include <map>

#include "platform/host/Text.h"

namespace win {

namespace {

HMODULE WinInetModule() { return GetModuleHandleA("wininet.dll"); }

const std::map<DWORD, const char*>& SystemTexts() {
    static const std::map<DWORD, const char*> texts{
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {18, "There are no more files."},
        {80, "The file exists."},
        {87, "The parameter is incorrect."},
        {122, "The data area passed to a system call is too small."},
        {123, "The filename, directory name, or volume label syntax is incorrect."},
    };
    return texts;
}

const std::map<DWORD, const char*>& WinInetTexts() {
    static const std::map<DWORD, const char*> texts{
        {12002, "The operation timed out"},
        {12003, "The server returned extended information"},
        {12004, "An internal error occurred in the internet extensions"},
        {12007, "The server name or address could not be resolved"},
        {12018, "The type of handle supplied is incorrect for this operation"},
        {12029, "A connection with the server could not be established"},
        {12030, "The connection with the server was terminated abnormally"},
        {12110, "The requested operation cannot be made on the FTP session handle because an operation is "
                "already in progress"},
    };
    return texts;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, HMODULE source, DWORD messageId, DWORD languageId, char* buffer, DWORD size,
                     void* arguments) {
    const char* text = nullptr;
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) && source == WinInetModule() && source != 0) {
        const auto found = WinInetTexts().find(messageId);
        if (found != WinInetTexts().end()) text = found->second;
    }
    if (!text && (flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
        const auto found = SystemTexts().find(messageId);
        if (found != SystemTexts().end()) text = found->second;
    }
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string message = std::string(text) + "\r\n";
    if (!buffer || message.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, message.c_str(), message.size() + 1);
    return static_cast<DWORD>(message.size());
}

}  // namespace win
