#pragma once
// The URL-moniker download of urlmon.dll over libcurl: URLDownloadToFileW
// fetches an http or https URL into a file and calls back on the calling
// thread while it runs. The body goes to a temporary file beside the target,
// which replaces the target only after a complete 2xx transfer, so a partial
// body or an error page never stands under the target's name. Redirects
// between http and https are followed (ten at most), TLS is verified, names
// resolve through the hosts file first at every host a redirect reaches
// (platform/host/InternetSettings.h), and a
// transfer that receives nothing for host.ini [Internet] ReceiveTimeout
// seconds (60) fails. A callback object that is also an IAuthenticate is
// asked for credentials when the server answers 401.
#include <cstdint>
#include <string>

#include "platform/api/WinTypes.h"

namespace win {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

constexpr HRESULT Hresult(std::uint32_t code) { return static_cast<HRESULT>(code); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_ABORT = Hresult(0x80004004);
constexpr HRESULT E_OUTOFMEMORY = Hresult(0x8007000E);
constexpr HRESULT INET_E_INVALID_URL = Hresult(0x800C0002);
constexpr HRESULT INET_E_CANNOT_CONNECT = Hresult(0x800C0004);
constexpr HRESULT INET_E_RESOURCE_NOT_FOUND = Hresult(0x800C0005);
constexpr HRESULT INET_E_DOWNLOAD_FAILURE = Hresult(0x800C0008);
constexpr HRESULT INET_E_AUTHENTICATION_REQUIRED = Hresult(0x800C0009);
constexpr HRESULT INET_E_CONNECTION_TIMEOUT = Hresult(0x800C000B);
constexpr HRESULT INET_E_UNKNOWN_PROTOCOL = Hresult(0x800C000D);
constexpr HRESULT INET_E_SECURITY_PROBLEM = Hresult(0x800C000E);
constexpr HRESULT INET_E_REDIRECT_FAILED = Hresult(0x800C0014);

// Status codes of OnProgress.
constexpr ULONG BINDSTATUS_CONNECTING = 2;
constexpr ULONG BINDSTATUS_BEGINDOWNLOADDATA = 4;
constexpr ULONG BINDSTATUS_DOWNLOADINGDATA = 5;
constexpr ULONG BINDSTATUS_ENDDOWNLOADDATA = 6;

struct BINDINFO {
    ULONG cbSize = sizeof(BINDINFO);
    DWORD dwBindVerb = 0;  // 0: GET
};

// The running download, handed to OnStartBinding; valid until OnStopBinding.
class IBinding {
public:
    virtual HRESULT Abort() = 0;

protected:
    ~IBinding() = default;
};

// The members carry their interface's name in front, as an implementing
// class names them, so that a class can also raise events named like them.
class IBindStatusCallback {
public:
    virtual HRESULT IBindStatusCallback_OnStartBinding(DWORD reserved, IBinding* binding) = 0;
    virtual HRESULT IBindStatusCallback_GetPriority(LONG* priority) = 0;
    virtual HRESULT IBindStatusCallback_OnLowResource(DWORD reserved) = 0;
    // progressMax is 0 while the length of the body is unknown.
    virtual HRESULT IBindStatusCallback_OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, const std::string& statusText) = 0;
    // result S_OK after a complete transfer, else the failure's code.
    virtual HRESULT IBindStatusCallback_OnStopBinding(HRESULT result, const std::string& error) = 0;
    virtual HRESULT IBindStatusCallback_GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) = 0;
    virtual HRESULT IBindStatusCallback_OnDataAvailable(DWORD flags, DWORD size) = 0;
    virtual HRESULT IBindStatusCallback_OnObjectAvailable() = 0;

protected:
    ~IBindStatusCallback() = default;
};

class IAuthenticate {
public:
    // Each text is a CoTaskMemAlloc copy (UTF-16 and a terminating zero) that
    // the caller frees, or null for none.
    virtual HRESULT IAuthenticate_Authenticate(HWND* window, char16_t** userName, char16_t** password) = 0;

protected:
    ~IAuthenticate() = default;
};

// ole32's task allocator, in which callbacks hand out texts.
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* memory);

// The UTF-16 texts of the interfaces from and to the UTF-8 of the callers
// (invalid sequences become U+FFFD).
std::u16string Utf16Of(const std::string& utf8);
std::string Utf8Of(const char16_t* wide);

// Blocks until the transfer has ended; S_OK when the file is in place.
// caller is unused, reserved must be 0, callback may be null.
HRESULT URLDownloadToFileW(void* caller, const std::string& url, const std::string& fileName, DWORD reserved,
                           IBindStatusCallback* callback);

}  // namespace win
