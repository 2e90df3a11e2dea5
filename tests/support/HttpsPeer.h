#pragma once
// The web server of the tests (peers/https_server.py) on a loopback port of
// its own: it serves the files of <folder>/root over HTTPS with a server
// certificate of the test CA (or over plain HTTP), and misbehaves on the
// paths under "/_/" that the script lists (status codes, redirects, stalls,
// short bodies, no length, Basic authentication). Requests are logged to
// <folder>/requests.log.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/PeerProcess.h"
#include "support/TestCa.h"

namespace testsupport {

class HttpsPeer {
public:
    struct Options {
        bool tls = true;
        std::string user;      // with a user, /_/auth/ paths want these credentials
        std::string password;
        std::vector<std::string> names;  // host names the certificate also holds

        static Options Plain() {
            Options o;
            o.tls = false;
            return o;
        }
        static Options Guarded(const std::string& user, const std::string& password) {
            Options o;
            o.user = user;
            o.password = password;
            return o;
        }
        static Options Named(const std::vector<std::string>& names) {
            Options o;
            o.names = names;
            return o;
        }
    };

    explicit HttpsPeer(const std::filesystem::path& folder) : HttpsPeer(folder, Options{}) {}
    HttpsPeer(const std::filesystem::path& folder, const Options& options);

    bool Ready() const { return peer_ && peer_->Ready(); }
    // The folder served, and the CA that signed the server's certificate
    // (for host.ini [Internet] CAFile).
    const std::filesystem::path& Root() const { return root_; }
    const std::filesystem::path& CaFile() const { return certificates_.caCertificate; }
    std::string Port() const { return peer_ ? peer_->FirstLine() : ""; }
    // "https://<host>:<port>" + path; the host defaults to 127.0.0.1.
    std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const;
    // Request lines received so far ("GET /path HTTP/1.1", with " | " and
    // the Authorization header when one came).
    std::vector<std::string> Requests() const;
    void Stop() { if (peer_) peer_->Stop(); }

private:
    std::filesystem::path folder_;
    std::filesystem::path root_;
    bool tls_;
    TestCertificates certificates_;
    std::unique_ptr<PeerProcess> peer_;
};

}  // namespace testsupport
