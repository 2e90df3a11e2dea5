#include "support/FtpPeer.h"

namespace testsupport {

std::string PeerScript(const std::string& name) { return std::string(QUARNEL_SOURCE_DIR) + "/tests/support/peers/" + name; }

FtpPeer::FtpPeer(const std::filesystem::path& root, const std::string& behaviour) : root_(root) {
    std::filesystem::create_directories(root_);
    // A taken address moves on to the next one.
    for (unsigned attempt = 0; attempt < 8 && !Ready(); ++attempt) {
        address_ = OwnLoopbackAddress(21, attempt);
        peer_ = std::make_unique<PeerProcess>(std::vector<std::string>{
            kSystemPython, PeerScript("ftp_server.py"), "--address", address_, "--port", "21", "--root",
            root_.string(), "--user", kUser, "--password", kPassword, "--behaviour", behaviour});
    }
}

}  // namespace testsupport
