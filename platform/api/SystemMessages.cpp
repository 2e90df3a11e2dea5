#include "platform/api/SystemMessages.h"

#include <cstring>
#include <map>
#include <optional>

#include "platform/api/WinError.h"
#include "platform/host/Text.h"

namespace win {

namespace {

HMODULE WinInetModule() { return GetModuleHandleA("wininet.dll"); }

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
    std::optional<std::string> text;
    if ((flags & FORMAT_MESSAGE_FROM_HMODULE) && source == WinInetModule() && source != 0) {
        const auto found = WinInetTexts().find(messageId);
        if (found != WinInetTexts().end()) text = found->second;
    }
    if (!text && (flags & FORMAT_MESSAGE_FROM_SYSTEM)) text = platform::SystemMessageText(messageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string message = *text + "\r\n";
    if (!buffer || message.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, message.c_str(), message.size() + 1);
    return static_cast<DWORD>(message.size());
}

}  // namespace win
