#pragma once
// A real FTP server for a test (pyftpdlib under Debian's Python, the script
// tests/support/peers/ftp_server.py): one user whose home is a host folder,
// on port 21 of a loopback address of its own, so tests running at once never
// share a server. The behaviour names a misbehaving server: "no-mlsd",
// "stall-transfer", "stall-greeting", "drop-transfer", "short-transfer".
#include <filesystem>
#include <memory>
#include <string>

#include "support/PeerProcess.h"

namespace testsupport {

class FtpPeer {
public:
    static constexpr const char* kUser = "quarnel";
    static constexpr const char* kPassword = "S3cret pass";

    explicit FtpPeer(const std::filesystem::path& root, const std::string& behaviour = "normal");

    bool Ready() const { return peer_ && peer_->Ready(); }
    const std::string& Address() const { return address_; }
    const std::filesystem::path& Root() const { return root_; }
    void Stop() { peer_.reset(); }

private:
    std::filesystem::path root_;
    std::string address_;
    std::unique_ptr<PeerProcess> peer_;
};

// The full path of a peer script of tests/support/peers.
std::string PeerScript(const std::string& name);

}  // namespace testsupport
