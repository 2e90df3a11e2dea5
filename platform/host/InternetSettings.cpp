#include "platform/host/InternetSettings.h"

#include <fstream>
#include <sstream>

#include "platform/host/HostFolder.h"
#include "platform/host/HostsFile.h"

namespace platform {
namespace {

constexpr const char* kSystemBundle = "/etc/ssl/certs/ca-certificates.crt";

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct UrlParts {
    std::string host;
    std::string port;
};

bool SplitUrl(const std::string& url, UrlParts& parts) {
    CURLU* handle = curl_url();
    if (!handle) return false;
    bool ok = curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
    char* host = nullptr;
    char* port = nullptr;
    ok = ok && curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK;
    ok = ok && curl_url_get(handle, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK;
    if (ok) {
        parts.host = host;
        parts.port = port;
    }
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(handle);
    return ok;
}

std::string ResolveEntry(const UrlParts& parts) {
    std::string addresses;
    for (const auto& address : HostsFileAddresses(parts.host)) {
        if (!addresses.empty()) addresses += ',';
        addresses += address.find(':') == std::string::npos ? address : "[" + address + "]";
    }
    if (addresses.empty()) return {};
    return parts.host + ":" + parts.port + ":" + addresses;
}

}  // namespace

InternetSettings::~InternetSettings() {
    curl_slist_free_all(resolve_);
}

bool InternetSettings::Apply(CURL* handle, const std::string& url) {
    UrlParts parts;
    if (url.empty() || !SplitUrl(url, parts)) {
        curl_easy_setopt(handle, CURLOPT_URL, nullptr);
        return false;
    }
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROXY, "");

    curl_slist_free_all(resolve_);
    resolve_ = nullptr;
    if (const auto entry = ResolveEntry(parts); !entry.empty()) resolve_ = curl_slist_append(nullptr, entry.c_str());
    curl_easy_setopt(handle, CURLOPT_RESOLVE, resolve_);

    const std::string extraBundle = HostSetting("Internet", "CAFile", "");
    if (!extraBundle.empty()) {
        std::string certificates = ReadWhole(kSystemBundle) + "\n" + ReadWhole(extraBundle);
        curl_blob blob{certificates.data(), certificates.size(), CURL_BLOB_COPY};
        curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
    }
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    return true;
}

}  // namespace platform
