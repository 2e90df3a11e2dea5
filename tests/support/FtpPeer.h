#pragma once
// FTP servers for a test, each on port 21 of a loopback address of its own,
// so tests running at once never share a server:
// - FtpPeer: a real server (pyftpdlib under Debian's Python, the script
//   tests/support/peers/ftp_server.py) with one user whose home is a host
//   folder. The behaviour names a misbehaving server: "no-mlsd",
//   "stall-transfer", "stall-greeting", "drop-transfer", "short-transfer",
//   or an account that may not rename, "no-rename".
// - ScriptedFtpPeer: tests/support/peers/ftp_script.py, a small server that
//   answers as a real one except where its rules say to refuse or cut
//   ("refuse-rnto", "refuse-stor:NAME", "retr-451:NAME", "retr-426:NAME"),
//   and that logs every command it is sent.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

protected:
    FtpPeer(const std::filesystem::path& root, const std::vector<std::string>& scriptAndArguments);

private:
    std::filesystem::path root_;
    std::string address_;
    std::unique_ptr<PeerProcess> peer_;
};

class ScriptedFtpPeer : public FtpPeer {
public:
    ScriptedFtpPeer(const std::filesystem::path& root, const std::vector<std::string>& rules);

    // The command lines the server was sent so far, each "<connection> <line>"
    // (connections numbered from 1; a password shows as "****").
    std::vector<std::string> Commands() const;
    // How many of them begin with the verb (USER, MLSD, ...).
    int CountOf(const std::string& verb) const;

private:
    static std::filesystem::path LogOf(const std::filesystem::path& root);
};

// The full path of a peer script of tests/support/peers.
std::string PeerScript(const std::string& name);

}  // namespace testsupport
