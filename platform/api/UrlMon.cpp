#include "platform/api/UrlMon.h"

#include <curl/curl.h>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/host/HostFolder.h"
#include "platform/host/InternetSettings.h"
#include "platform/host/Text.h"
#include "platform/host/WholeFile.h"
#include "platform/host/WinPath.h"

namespace win {
namespace {

constexpr long kDefaultReceiveTimeout = 60;
constexpr int kMaxRedirects = 10;

constexpr HRESULT HresultFromWin32(DWORD code) { return Hresult(0x80070000u | (code & 0xFFFFu)); }

HRESULT HresultOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return HresultFromWin32(ERROR_PATH_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return HresultFromWin32(ERROR_ACCESS_DENIED);
        default: return INET_E_DOWNLOAD_FAILURE;
    }
}

bool IsWebUrl(const std::string& url) {
    const std::string lower = platform::TextLower(url.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

// "name://" at the start, as in "ftp://".
bool HasScheme(const std::string& url) {
    const auto end = url.find("://");
    if (end == std::string::npos || end == 0) return false;
    return std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(end),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'; });
}

ULONG Clamped(curl_off_t bytes) {
    if (bytes <= 0) return 0;
    return bytes > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<ULONG>(bytes);
}

class Binding : public IBinding {
public:
    HRESULT Abort() override {
        aborted = true;
        return S_OK;
    }
    bool aborted = false;
};

class Transfer {
public:
    Transfer(const std::string& url, IBindStatusCallback* callback) : url_(url), callback_(callback) {}
    ~Transfer() {
        if (curl_) curl_easy_cleanup(curl_);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    HRESULT Run(const std::string& fileName);
    const char* Detail() const { return detail_; }
    IBinding* BindingObject() { return &binding_; }

private:
    void SetOptions();
    HRESULT Perform(platform::WholeFile& file, platform::InternetSettings& settings);
    HRESULT ResultOf(CURLcode code) const;
    bool AskCredentials();
    void UseCredentials(bool use);
    bool Progress(ULONG statusCode);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static int OnTick(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    std::string url_;
    IBindStatusCallback* callback_;
    Binding binding_;
    CURL* curl_ = nullptr;
    platform::WholeFile* file_ = nullptr;
    curl_off_t received_ = 0;
    bool writeFailed_ = false;
    bool progressAborted_ = false;
    std::string user_;
    std::string password_;
    char detail_[CURL_ERROR_SIZE] = {};
};

long ResponseCode(CURL* curl) {
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

// Where a redirect answer points (absolute), or empty for any other answer.
std::string RedirectTarget(CURL* curl) {
    switch (ResponseCode(curl)) {
        case 301: case 302: case 303: case 307: case 308: break;
        default: return {};
    }
    char* location = nullptr;
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
    return location ? location : "";
}

HRESULT ResultOfStatus(long status) {
    if (status >= 200 && status < 300) return S_OK;
    if (status == 404 || status == 410) return INET_E_RESOURCE_NOT_FOUND;
    if (status == 401 || status == 407) return INET_E_AUTHENTICATION_REQUIRED;
    if (status >= 300 && status < 400) return INET_E_REDIRECT_FAILED;
    return INET_E_DOWNLOAD_FAILURE;
}

bool Transfer::Progress(ULONG statusCode) {
    if (!callback_) return true;
    curl_off_t expected = -1;
    curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    const HRESULT answer = callback_->IBindStatusCallback_OnProgress(Clamped(received_), Clamped(expected), statusCode, url_);
    if (answer == E_ABORT) progressAborted_ = true;
    return !progressAborted_ && !binding_.aborted;
}

std::size_t Transfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<Transfer*>(self);
    const std::size_t bytes = size * count;
    const long status = ResponseCode(transfer->curl_);
    if (status < 200 || status >= 300) return bytes;  // an error page is not the file
    const bool first = transfer->received_ == 0;
    if (!transfer->file_->Write(std::string_view(data, bytes))) {
        transfer->writeFailed_ = true;
        return 0;
    }
    transfer->received_ += static_cast<curl_off_t>(bytes);
    if (first && !transfer->Progress(BINDSTATUS_BEGINDOWNLOADDATA)) return 0;
    return transfer->Progress(BINDSTATUS_DOWNLOADINGDATA) ? bytes : 0;
}

int Transfer::OnTick(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(self);
    return transfer->binding_.aborted || transfer->progressAborted_ ? 1 : 0;
}

HRESULT Transfer::ResultOf(CURLcode code) const {
    if (binding_.aborted || progressAborted_) return E_ABORT;
    switch (code) {
        case CURLE_OK: return ResultOfStatus(ResponseCode(curl_));
        case CURLE_URL_MALFORMAT: return INET_E_INVALID_URL;
        case CURLE_COULDNT_RESOLVE_HOST: return INET_E_RESOURCE_NOT_FOUND;
        case CURLE_COULDNT_CONNECT: return INET_E_CANNOT_CONNECT;
        case CURLE_OPERATION_TIMEDOUT: return INET_E_CONNECTION_TIMEOUT;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS: return INET_E_SECURITY_PROBLEM;
        default: return INET_E_DOWNLOAD_FAILURE;
    }
}

// Asks an IAuthenticate callback for credentials; true when it gave a user.
bool Transfer::AskCredentials() {
    auto* authenticate = dynamic_cast<IAuthenticate*>(callback_);
    if (!authenticate) return false;
    HWND window = 0;
    char16_t* user = nullptr;
    char16_t* password = nullptr;
    const HRESULT answer = authenticate->IAuthenticate_Authenticate(&window, &user, &password);
    user_ = user ? Utf8Of(user) : "";
    password_ = password ? Utf8Of(password) : "";
    CoTaskMemFree(user);
    CoTaskMemFree(password);
    return answer == S_OK && !user_.empty();
}

void Transfer::UseCredentials(bool use) {
    curl_easy_setopt(curl_, CURLOPT_HTTPAUTH, static_cast<long>(use ? CURLAUTH_ANY : CURLAUTH_BASIC));
    curl_easy_setopt(curl_, CURLOPT_USERNAME, use ? user_.c_str() : nullptr);
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, use ? password_.c_str() : nullptr);
}

void Transfer::SetOptions() {
    const long timeout = std::max(1L, platform::HostSettingNumber("Internet", "ReceiveTimeout", kDefaultReceiveTimeout));
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, OnTick);
    curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, detail_);
}

// Redirects are followed here, not by libcurl, so that every host they reach
// gets the settings of the first one, its name resolved through the hosts
// file. Credentials go only to the server that asked for them.
HRESULT Transfer::Perform(platform::WholeFile& file, platform::InternetSettings& settings) {
    file_ = &file;
    SetOptions();
    bool asked = false;
    for (int redirects = 0;;) {
        const CURLcode code = curl_easy_perform(curl_);
        const std::string next = code == CURLE_OK ? RedirectTarget(curl_) : std::string();
        if (!next.empty() && !binding_.aborted && !progressAborted_) {
            if (++redirects > kMaxRedirects || !IsWebUrl(next) || !settings.Apply(curl_, next))
                return INET_E_REDIRECT_FAILED;
            UseCredentials(false);
            asked = false;
            continue;
        }
        const HRESULT result = ResultOf(code);
        if (result == INET_E_AUTHENTICATION_REQUIRED && ResponseCode(curl_) == 401 && !asked) {
            asked = true;
            if (AskCredentials()) {
                if (!file.Restart()) return INET_E_DOWNLOAD_FAILURE;
                received_ = 0;
                UseCredentials(true);
                continue;
            }
        }
        if (writeFailed_ && result == INET_E_DOWNLOAD_FAILURE) return INET_E_DOWNLOAD_FAILURE;
        return result;
    }
}

HRESULT Transfer::Run(const std::string& fileName) {
    if (!IsWebUrl(url_)) return HasScheme(url_) ? INET_E_UNKNOWN_PROTOCOL : INET_E_INVALID_URL;
    curl_ = curl_easy_init();
    if (!curl_) return E_OUTOFMEMORY;
    platform::InternetSettings settings;
    if (!settings.Apply(curl_, url_)) return INET_E_INVALID_URL;
    const auto target = platform::ToHostPath(fileName);
    if (fileName.empty() || !target) return HresultFromWin32(ERROR_PATH_NOT_FOUND);
    // The body goes into a temporary of its own beside the target, put in place only when whole.
    platform::WholeFile file(*target, ".part");
    if (const int error = file.Create(); error != 0) return HresultOfErrno(error);
    const HRESULT result = Perform(file, settings);
    if (result != S_OK) return result;
    Progress(BINDSTATUS_ENDDOWNLOADDATA);
    if (const int error = file.PutInPlace(); error != 0) return HresultOfErrno(error);
    return S_OK;
}

}  // namespace

void* CoTaskMemAlloc(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void CoTaskMemFree(void* memory) { std::free(memory); }

std::u16string Utf16Of(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
}

std::string Utf8Of(const char16_t* wide) { return wide ? QString::fromUtf16(wide).toStdString() : std::string(); }

HRESULT URLDownloadToFileW(void* caller, const std::string& url, const std::string& fileName, DWORD reserved,
                           IBindStatusCallback* callback) {
    Transfer transfer(url, callback);
    if (callback) {
        DWORD bindFlags = 0;
        BINDINFO bindInfo;
        callback->IBindStatusCallback_GetBindInfo(&bindFlags, &bindInfo);
        callback->IBindStatusCallback_OnStartBinding(0, transfer.BindingObject());
    }
    const HRESULT result = reserved != 0 ? Hresult(0x80070057) : transfer.Run(fileName);
    if (callback) callback->IBindStatusCallback_OnStopBinding(result, result == S_OK ? "" : transfer.Detail());
    return result;
}

}  // namespace win
