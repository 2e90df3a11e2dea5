#include "support/FtpPeer.h"

#include <unistd.h>

namespace testsupport {

std::string PeerScript(const std::string& name) { return std::string(QUARNEL_SOURCE_DIR) + "/tests/support/peers/" + name; }

FtpPeer::FtpPeer(const std::filesystem::path& root, const std::string& behaviour) : root_(root) {
    std::filesystem::create_directories(root_);
    // Each test runs in its own process: its number picks its own address,
    // and a taken address moves on to the next one.
    const unsigned start = static_cast<unsigned>(::getpid()) % 60000;
    for (unsigned attempt = 0; attempt < 8 && !Ready(); ++attempt) {
        const unsigned n = (start + attempt * 7919) % 60000 + 1;
        address_ = "127.21." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
        peer_ = std::make_unique<PeerProcess>(std::vector<std::string>{
            kSystemPython, PeerScript("ftp_server.py"), "--address", address_, "--port", "21", "--root",
            root_.string(), "--user", kUser, "--password", kPassword, "--behaviour", behaviour});
    }
}

}  // namespace testsupport
