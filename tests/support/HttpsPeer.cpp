#include "support/HttpsPeer.h"

#include <fstream>

#include "support/FtpPeer.h"  // PeerScript

namespace testsupport {

HttpsPeer::HttpsPeer(const std::filesystem::path& folder, const Options& options)
    : folder_(folder), root_(folder / "root"), tls_(options.tls) {
    std::filesystem::create_directories(root_);
    std::vector<std::string> arguments{kSystemPython, PeerScript("https_server.py"), "--root", root_.string()};
    if (tls_) {
        certificates_ = MakeTestCertificates(folder_ / "certificates", options.names);
        if (!certificates_.ok) return;
        arguments.insert(arguments.end(), {"--cert", certificates_.serverCertificate.string(), "--key",
                                           certificates_.serverKey.string()});
    }
    if (!options.user.empty()) arguments.insert(arguments.end(), {"--user", options.user, "--password", options.password});
    peer_ = std::make_unique<PeerProcess>(arguments);
}

std::string HttpsPeer::Url(const std::string& path, const std::string& host) const {
    return std::string(tls_ ? "https://" : "http://") + host + ":" + Port() + path;
}

std::vector<std::string> HttpsPeer::Requests() const {
    std::vector<std::string> lines;
    std::ifstream log(folder_ / "requests.log");
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

}  // namespace testsupport
