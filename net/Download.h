#pragma once
// Fetches one URL into a local file through URLDownloadToFileW, acting as the
// download's own callback object, and turns the callbacks into its events.
// StartDownload blocks until the transfer has ended; the events are raised
// inside it, on the calling thread. Failures are reported only through
// DownloadAborted: callers judge success by whether the file exists.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/api/UrlMon.h"

class Download : public win::IBindStatusCallback, public win::IAuthenticate {
public:
    std::function<void()> DownloadStarted;
    std::function<void()> DownloadComplete;
    std::function<void(std::int32_t result, const std::string& errorText)> DownloadAborted;
    std::function<void(std::int32_t bytesSoFar, std::int32_t bytesExpected)> DownloadProgress;
    std::function<void(std::string& userName, std::string& password)> Authenticate;

    Download() = default;
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;
    virtual ~Download() = default;

    // Does nothing while a download runs.
    void StartDownload(std::string Source, std::string Dest, std::string Username = "", std::string Password = "");
    void StopDownload();

    // IBindStatusCallback
    win::HRESULT IBindStatusCallback_OnStartBinding(win::DWORD reserved, win::IBinding* binding) override;
    win::HRESULT IBindStatusCallback_GetPriority(win::LONG* priority) override;
    win::HRESULT IBindStatusCallback_OnLowResource(win::DWORD reserved) override;
    win::HRESULT IBindStatusCallback_OnProgress(win::ULONG progress, win::ULONG progressMax, win::ULONG statusCode,
                            const std::string& statusText) override;
    win::HRESULT IBindStatusCallback_OnStopBinding(win::HRESULT result, const std::string& error) override;
    win::HRESULT IBindStatusCallback_GetBindInfo(win::DWORD* bindFlags, win::BINDINFO* bindInfo) override;
    win::HRESULT IBindStatusCallback_OnDataAvailable(win::DWORD flags, win::DWORD size) override;
    win::HRESULT IBindStatusCallback_OnObjectAvailable() override;

    // IAuthenticate
    win::HRESULT IAuthenticate_Authenticate(win::HWND* window, char16_t** userName, char16_t** password) override;

    static std::string BindErrorText(std::int32_t code);

private:
    static char16_t* CopyToTaskMem(const std::string& text);

    win::IBinding* binding_ = nullptr;
    std::string userName_;
    std::string password_;
};
