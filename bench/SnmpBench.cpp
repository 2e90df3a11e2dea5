// SNMP get latency, side by side in one run against one snmpd on loopback:
//  - in-process: clsSNMP's GetRequest until its Result event, through the
//    socket window and the event loop, the reply's sender looked up in the
//    host folder's hosts file (where the agent's address is listed);
//  - the floor: a plain UDP socket sending the same datagram and blocking in
//    recv for the reply.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "net/clsSNMP.h"
#include "platform/host/QtPlatform.h"
#include "support/SnmpPeer.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kOid = "1.3.6.1.2.1.1.1.0";
constexpr int kRequests = 2000;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile99(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() * 99 / 100];
}

std::vector<double> InProcess(const std::string& agent) {
    clsSNMP snmp;
    snmp.DestHost(agent);
    snmp.ComunityName(testsupport::SnmpPeer::kCommunity);
    QEventLoop loop;
    std::string value;
    snmp.Result = [&](const std::string& v) {
        value = v;
        loop.quit();
    };
    snmp.Error = [&](const std::string& text) { std::fprintf(stderr, "error: %s\n", text.c_str()); };
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::vector<double> times;
    for (int i = 0; i < kRequests; ++i) {
        value.clear();
        guard.start(2000);
        const auto start = Clock::now();
        snmp.SNMPGet(kOid);
        loop.exec();
        times.push_back(Micros(Clock::now() - start));
        if (value.empty()) std::fprintf(stderr, "request %d: no answer\n", i);
    }
    return times;
}

std::vector<double> RawRoundTrips(const std::string& agent, const std::array<std::uint8_t, 256>& request) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(161);
    ::inet_pton(AF_INET, agent.c_str(), &to.sin_addr);
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    std::vector<double> times;
    char reply[2048];
    for (int i = 0; i < kRequests; ++i) {
        const auto start = Clock::now();
        ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
        ::recv(fd, reply, sizeof(reply), 0);
        times.push_back(Micros(Clock::now() - start));
    }
    ::close(fd);
    return times;
}

}  // namespace

int main() {
    // Without a display the benchmark runs offscreen, as the programs do.
    platform::ChooseQtPlatform();
    testsupport::TestApplication();
    testsupport::ProgramHost host;
    testsupport::SnmpPeer peer;
    if (!peer.Ready()) {
        std::fprintf(stderr, "snmpd did not start\n");
        return 1;
    }
    testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                               peer.Address() + " snmp-agent.bench\n");

    // One request first, for the datagram the raw floor sends and to warm the agent.
    std::array<std::uint8_t, 256> request{};
    {
        clsSNMP snmp;
        snmp.DestHost(peer.Address());
        snmp.ComunityName(testsupport::SnmpPeer::kCommunity);
        bool answered = false;
        snmp.Result = [&](const std::string&) { answered = true; };
        snmp.SNMPGet(kOid);
        testsupport::PumpUntil([&] { return answered; });
        request = snmp.Datagram();
    }

    const auto raw = RawRoundTrips(peer.Address(), request);
    const auto inProcess = InProcess(peer.Address());
    const double floor = Median(raw);
    std::printf("floor: raw UDP round trip to snmpd, median %.1f us, 99th percentile %.1f us (%d requests)\n", floor,
                Percentile99(raw), kRequests);
    std::printf("clsSNMP get in-process: median %.1f us, 99th percentile %.1f us (%d requests); floor %.1f us; "
                "ratio %.2f; target <= 5x floor: %s\n",
                Median(inProcess), Percentile99(inProcess), kRequests, floor, Median(inProcess) / floor,
                Median(inProcess) <= 5 * floor ? "met" : "MISSED");
    return 0;
}
