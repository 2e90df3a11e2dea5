#pragma once
// How this machine reaches a server through libcurl, for every internet call
// of the layer (mail, downloads, FTP): a name that the hosts file lists is
// resolved from it, TLS is verified against the system's certificate store
// plus the bundle that host.ini [Internet] CAFile names (a host path), and no
// proxy of the host's environment is used.
#include <curl/curl.h>

#include <string>

namespace platform {

// Holds what libcurl reads during a transfer: keep it alive until the
// transfer on the handle has ended.
class InternetSettings {
public:
    InternetSettings() = default;
    ~InternetSettings();
    InternetSettings(const InternetSettings&) = delete;
    InternetSettings& operator=(const InternetSettings&) = delete;

    // Sets the handle's URL and the settings above for it; false when the URL
    // cannot be parsed, and the handle is then left without a URL.
    bool Apply(CURL* handle, const std::string& url);

private:
    curl_slist* resolve_ = nullptr;
};

}  // namespace platform
