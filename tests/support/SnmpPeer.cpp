#include "support/SnmpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace testsupport {

namespace {

// A GetRequest for sysDescr.0 with the test community.
std::string ProbeRequest() {
    const std::string community = SnmpPeer::kCommunity;
    const std::string name = {'\x2B', 6, 1, 2, 1, 1, 1, 0};
    std::string binding = std::string{'\x06', static_cast<char>(name.size())} + name + std::string{'\x05', 0};
    binding = std::string{'\x30', static_cast<char>(binding.size())} + binding;
    const std::string bindings = std::string{'\x30', static_cast<char>(binding.size())} + binding;
    const std::string pdu = std::string{2, 1, 1, 2, 1, 0, 2, 1, 0} + bindings;
    const std::string message = std::string{2, 1, 0, 4, static_cast<char>(community.size())} + community +
                                std::string{'\xA0', static_cast<char>(pdu.size())} + pdu;
    return std::string{'\x30', static_cast<char>(message.size())} + message;
}

}  // namespace

SnmpPeer::SnmpPeer(const std::string& extraConfig) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarnel-snmpd-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    folder_ = pattern;
    const std::filesystem::path& folder = folder_;
    std::filesystem::create_directories(folder / "persistent" / "cert_indexes");
    for (unsigned attempt = 0; attempt < 4 && !ready_; ++attempt) {
        address_ = OwnLoopbackAddress(161, attempt);
        const auto config = folder / "snmpd.conf";
        {
            std::ofstream out(config, std::ios::binary | std::ios::trunc);
            out << "agentAddress udp:" << address_ << ":161\n"
                << "rocommunity " << kCommunity << " 127.0.0.0/8\n"
                << "sysDescr Quarnel test agent\n"
                << "sysServices 72\n"
                << extraConfig;
        }
        const std::string command = "echo started; exec /usr/sbin/snmpd -f -C -c '" + config.string() +
                                    "' --persistentDir='" + (folder / "persistent").string() + "' -Lf '" +
                                    (folder / "snmpd.log").string() + "' -M /nonexistent";
        peer_ = std::make_unique<PeerProcess>(std::vector<std::string>{"/bin/sh", "-c", command});
        for (int probe = 0; probe < 50 && peer_->Ready() && !ready_; ++probe) ready_ = Answers();
    }
}

SnmpPeer::~SnmpPeer() {
    peer_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool SnmpPeer::Answers() const {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in agent{};
    agent.sin_family = AF_INET;
    agent.sin_port = htons(161);
    ::inet_pton(AF_INET, address_.c_str(), &agent.sin_addr);
    const std::string request = ProbeRequest();
    ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&agent), sizeof(agent));
    pollfd reply{fd, POLLIN, 0};
    const bool answered = ::poll(&reply, 1, 200) == 1 && (reply.revents & POLLIN);
    ::close(fd);
    return answered;
}

std::string SnmpPeer::SnmpGet(const std::string& oid) const {
    const std::string command = "/usr/bin/snmpget -v1 -c " + std::string(kCommunity) +
                                " -M /nonexistent -Oqv -On -Ot -t 2 -r 1 " + address_ + " " + oid + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string output;
    std::array<char, 512> chunk;
    while (std::fgets(chunk.data(), chunk.size(), pipe)) output += chunk.data();
    ::pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace testsupport
