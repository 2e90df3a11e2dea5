#include "net/Download.h"

#include <cstring>
#include <utility>

void Download::StartDownload(std::string Source, std::string Dest, std::string Username, std::string Password) {
    if (binding_) return;
    userName_ = std::move(Username);
    password_ = std::move(Password);
    win::URLDownloadToFileW(this, Source, Dest, 0, this);
    userName_.clear();
    password_.clear();
}

void Download::StopDownload() {
    if (!binding_) return;
    binding_->Abort();
    binding_ = nullptr;
}

win::HRESULT Download::IBindStatusCallback_OnStartBinding(win::DWORD, win::IBinding* binding) {
    binding_ = binding;
    if (DownloadStarted) DownloadStarted();
    return win::S_OK;
}

win::HRESULT Download::IBindStatusCallback_GetPriority(win::LONG* priority) {
    if (priority) *priority = 0;
    return win::S_OK;
}

win::HRESULT Download::IBindStatusCallback_OnLowResource(win::DWORD) { return win::S_OK; }

win::HRESULT Download::IBindStatusCallback_OnProgress(win::ULONG progress, win::ULONG progressMax, win::ULONG, const std::string&) {
    if (progressMax > 0 && DownloadProgress)
        DownloadProgress(static_cast<std::int32_t>(progress), static_cast<std::int32_t>(progressMax));
    return win::S_OK;
}

win::HRESULT Download::IBindStatusCallback_OnStopBinding(win::HRESULT result, const std::string&) {
    if (result == win::S_OK || result == win::S_FALSE) {
        if (DownloadComplete) DownloadComplete();
    } else if (DownloadAborted) {
        DownloadAborted(result, BindErrorText(result));
    }
    binding_ = nullptr;
    return win::S_OK;
}

win::HRESULT Download::IBindStatusCallback_GetBindInfo(win::DWORD*, win::BINDINFO*) { return win::S_OK; }

win::HRESULT Download::IBindStatusCallback_OnDataAvailable(win::DWORD, win::DWORD) { return win::S_OK; }

win::HRESULT Download::IBindStatusCallback_OnObjectAvailable() { return win::S_OK; }

win::HRESULT Download::IAuthenticate_Authenticate(win::HWND*, char16_t** userName, char16_t** password) {
    if (userName_.empty() && password_.empty() && Authenticate) Authenticate(userName_, password_);
    if (userName) *userName = CopyToTaskMem(userName_);
    if (password) *password = CopyToTaskMem(password_);
    return win::S_OK;
}

char16_t* Download::CopyToTaskMem(const std::string& text) {
    if (text.empty()) return nullptr;
    const std::u16string wide = win::Utf16Of(text);
    const std::size_t bytes = (wide.size() + 1) * sizeof(char16_t);
    auto* copy = static_cast<char16_t*>(win::CoTaskMemAlloc(bytes));
    if (copy) std::memcpy(copy, wide.c_str(), bytes);
    return copy;
}

std::string Download::BindErrorText(std::int32_t code) {
    switch (static_cast<std::uint32_t>(code)) {
        case 0x800C0002: return "Invalid URL.";
        case 0x800C0003: return "No Session.";
        case 0x800C0004: return "Cannot Connect";
        case 0x800C0005: return "Resource Not Found.";
        case 0x800C0006: return "File Not Found.";
        case 0x800C0007: return "Data Not Available.";
        case 0x800C0008: return "Download Failure.";
        case 0x800C0009: return "Authentication Failure.";
        case 0x800C000A: return "No Valid Media.";
        case 0x800C000B: return "Connection Timeout.";
        case 0x800C000C: return "Invalid Request.";
        case 0x800C000D: return "Unknown Protocol.";
        case 0x800C000E: return "Security Problem.";
        case 0x800C000F: return "Cannot Load Data.";
        case 0x800C0010: return "Cannot Instantiate Object.";
        case 0x800C0011: return "Default Action.";
        case 0x800C0013: return "QueryOption Unknown.";
        case 0x800C0014: return "Redirect Failed.";
        case 0x800C0015: return "Redirect To Dir.";
        case 0x800C0016: return "Cannot Lock Request.";
        case 0x800C0100: return "Code Download Declined.";
        case 0x800C0200: return "Result Dispatched.";
        case 0x800C0300: return "Cannot Replace SFP File.";
        default: return "Unknown Error.";
    }
}
