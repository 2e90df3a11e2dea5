// clsSocket over real UDP and TCP sockets on loopback; the peers are plain
// host sockets of the test.
#include "net/clsSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/SnmpPeer.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using testsupport::PumpUntil;

// A host socket on 127.0.0.1 with a port of its own.
class HostPeer {
public:
    explicit HostPeer(int type) : fd_(::socket(AF_INET, type | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = Address(0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (type == SOCK_STREAM) ::listen(fd_, 4);
    }
    ~HostPeer() {
        if (fd_ >= 0) ::close(fd_);
        if (connection_ >= 0) ::close(connection_);
    }
    static sockaddr_in Address(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    int Port() const { return port_; }
    bool Readable(int fd, int ms = 3000) const {
        pollfd wait{fd, POLLIN, 0};
        return ::poll(&wait, 1, ms) == 1;
    }
    // The next datagram and where it came from.
    std::string ReceiveDatagram(sockaddr_in* from = nullptr) {
        if (!Readable(fd_)) return "<none>";
        char bytes[2048];
        sockaddr_in sender{};
        socklen_t length = sizeof(sender);
        const ssize_t got = ::recvfrom(fd_, bytes, sizeof(bytes), 0, reinterpret_cast<sockaddr*>(&sender), &length);
        if (from) *from = sender;
        return std::string(bytes, static_cast<size_t>(std::max<ssize_t>(got, 0)));
    }
    void SendDatagram(const std::string& bytes, const sockaddr_in& to) {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    }
    int AcceptConnection() {
        if (Readable(fd_)) connection_ = ::accept(fd_, nullptr, nullptr);
        return connection_;
    }
    std::string ReceiveStream() {
        std::string all;
        char bytes[256];
        while (Readable(connection_, 1000)) {
            const ssize_t got = ::recv(connection_, bytes, sizeof(bytes), 0);
            if (got <= 0) break;
            all.append(bytes, static_cast<size_t>(got));
        }
        return all;
    }
    void SendStream(const std::string& bytes) { ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void CloseConnection() {
        ::close(connection_);
        connection_ = -1;
    }

private:
    int fd_;
    int connection_ = -1;
    int port_ = 0;
};

// What the events of one object said, in order.
struct Heard {
    explicit Heard(clsSocket& socket) {
        socket.OnClose = [this] { log.push_back("Close"); };
        socket.OnConnect = [this] { log.push_back("Connect"); };
        socket.OnConnectionRequest = [this](std::int32_t id) {
            log.push_back("ConnectionRequest");
            requestID = id;
        };
        socket.OnDataArrival = [this, &socket](std::int32_t total) {
            log.push_back("DataArrival " + std::to_string(total));
            clsSocket::Data data;
            socket.GetData(data);
            received += std::get<std::string>(data);
        };
        socket.OnError = [this](std::int16_t number, const std::string& description, std::int32_t, const std::string& source,
                                const std::string&, std::int32_t, bool&) {
            log.push_back("Error " + std::to_string(number) + " " + description + " [" + source + "]");
        };
        socket.OnSendComplete = [this] { log.push_back("SendComplete"); };
        socket.OnSendProgress = [this](std::int32_t sent, std::int32_t left) {
            log.push_back("SendProgress " + std::to_string(sent) + " " + std::to_string(left));
        };
    }
    bool Has(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
    std::vector<std::string> log;
    std::string received;
    std::int32_t requestID = -1;
};

class clsSocketTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::TestApplication(); }
    static void Settle() { PumpUntil([] { return false; }, std::chrono::milliseconds(150)); }
    testsupport::ProgramHost host;
};

TEST_F(clsSocketTest, DatagramToDottedAddressGoesAtOnceAndTheReplyArrives) {
    HostPeer peer(SOCK_DGRAM);
    clsSocket socket;
    Heard heard(socket);
    socket.Protocol(clsSocket::sckUDPProtocol);
    socket.RemotePort(peer.Port());
    socket.RemoteHost("127.0.0.1");
    EXPECT_EQ(socket.RemoteHostIP(), "127.0.0.1");
    socket.SendData(std::string("ping \xC3\xA9"));  // "é" goes out as its single byte
    EXPECT_EQ(heard.log, (std::vector<std::string>{"SendProgress 6 0"})) << "sendto at once, nothing left";

    sockaddr_in from{};
    EXPECT_EQ(peer.ReceiveDatagram(&from), "ping \xE9");
    peer.SendDatagram("pong \xE9", from);
    ASSERT_TRUE(PumpUntil([&] { return heard.received == "pong \xC3\xA9"; }));
    Settle();
    EXPECT_EQ(heard.log,
              (std::vector<std::string>{"SendProgress 6 0", "SendComplete", "DataArrival 6"}))
        << "one OnSendComplete through the posted write notification";
    EXPECT_EQ(socket.RemotePort(), peer.Port());
    EXPECT_EQ(socket.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket.BytesReceived(), 0) << "GetData took everything";
}

TEST_F(clsSocketTest, DatagramToAHostNameIsSentOnceTheNameIsResolved) {
    testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"), "127.0.0.1 peer.test\n");
    HostPeer peer(SOCK_DGRAM);
    clsSocket socket;
    Heard heard(socket);
    socket.Protocol(clsSocket::sckUDPProtocol);
    socket.RemotePort(peer.Port());
    socket.RemoteHost("10.255.255.1");
    socket.RemoteHost("peer.test");
    EXPECT_EQ(socket.RemoteHostIP(), "") << "a new name is resolved, not sent to the old address";
    socket.SendData(std::vector<std::uint8_t>{0, 1, 2, 0xFF});
    EXPECT_EQ(heard.log, (std::vector<std::string>{"SendProgress 0 4"}));
    EXPECT_EQ(socket.State(), clsSocket::sckClosed);
    ASSERT_TRUE(PumpUntil([&] { return heard.Has("SendComplete"); }));
    EXPECT_EQ(socket.State(), clsSocket::sckHostResolved);
    EXPECT_EQ(socket.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket.RemoteHost(), "peer.test");
    EXPECT_EQ(peer.ReceiveDatagram(), std::string("\0\1\2\xFF", 4));
}

TEST_F(clsSocketTest, UnknownHostIsAnErrorEvent) {
    clsSocket socket;
    Heard heard(socket);
    socket.Protocol(clsSocket::sckUDPProtocol);
    socket.RemotePort(161);
    socket.RemoteHost("no-such-host.invalid");
    socket.SendData(std::string("x"));
    ASSERT_TRUE(PumpUntil([&] { return heard.log.size() >= 2; }));
    Settle();
    EXPECT_EQ(heard.log, (std::vector<std::string>{"SendProgress 0 1", "Error 11001 Host not found. []"}))
        << "the write notification during the resolution sends nothing twice";
    EXPECT_EQ(socket.State(), clsSocket::sckError);
}

TEST_F(clsSocketTest, StreamConnectSendReceiveAndCloseWithUnreadData) {
    HostPeer peer(SOCK_STREAM);
    clsSocket socket;
    Heard heard(socket);
    socket.Connect("127.0.0.1", peer.Port());
    EXPECT_EQ(socket.State(), clsSocket::sckConnecting);
    ASSERT_TRUE(PumpUntil([&] { return heard.Has("Connect"); }));
    EXPECT_EQ(socket.State(), clsSocket::sckConnected);
    EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
    EXPECT_GT(socket.LocalPort(), 0);
    EXPECT_FALSE(socket.LocalHostName().empty());
    ASSERT_GE(peer.AcceptConnection(), 0);

    socket.SendData(std::int32_t{0x04030201});
    EXPECT_EQ(peer.ReceiveStream(), std::string("\1\2\3\4", 4));
    peer.SendStream("first part, ");
    peer.SendStream("and the rest");
    peer.CloseConnection();
    ASSERT_TRUE(PumpUntil([&] { return heard.Has("Close"); }));
    EXPECT_EQ(heard.received, "first part, and the rest");
    auto arrival = std::find_if(heard.log.begin(), heard.log.end(),
                                [](const std::string& e) { return e.rfind("DataArrival", 0) == 0; });
    EXPECT_LT(arrival - heard.log.begin(), std::find(heard.log.begin(), heard.log.end(), "Close") - heard.log.begin())
        << "the unread data arrives before OnClose";
    EXPECT_EQ(socket.State(), clsSocket::sckClosed);
    EXPECT_EQ(socket.SocketHandle(), -1);
}

TEST_F(clsSocketTest, RefusedConnectionIsAnErrorEventAndEndsTheSocket) {
    int freePort = 0;
    {
        HostPeer gone(SOCK_DGRAM);
        freePort = gone.Port();
    }
    clsSocket socket;
    Heard heard(socket);
    socket.Connect("127.0.0.1", freePort);
    ASSERT_TRUE(PumpUntil([&] { return !heard.log.empty(); }));
    Settle();
    EXPECT_EQ(heard.log, (std::vector<std::string>{"Error 10061 Connection refused. []"}));
    EXPECT_EQ(socket.State(), clsSocket::sckError);
    EXPECT_EQ(socket.SocketHandle(), -1);
}

TEST_F(clsSocketTest, ListenAcceptAndAnOrderlyCloseBetweenTwoObjects) {
    clsSocket listener;
    Heard listening(listener);
    listener.Bind(0, "127.0.0.1");
    listener.Listen();
    EXPECT_EQ(listener.State(), clsSocket::sckListening);
    win::SOCKADDR_IN bound;
    int length = sizeof(bound);
    ASSERT_EQ(win::getsockname(listener.SocketHandle(), &bound, &length), 0);

    clsSocket client;
    Heard calling(client);
    client.Connect("127.0.0.1", ntohs(bound.sin_port));
    ASSERT_TRUE(PumpUntil([&] { return listening.requestID >= 0 && calling.Has("Connect"); }));
    clsSocket server;
    Heard serving(server);
    server.Accept(listening.requestID);
    EXPECT_EQ(server.State(), clsSocket::sckConnected);
    EXPECT_EQ(server.RemotePort(), client.LocalPort());
    EXPECT_EQ(server.Protocol(), clsSocket::sckTCPProtocol);

    client.SendData(std::string("request"));
    ASSERT_TRUE(PumpUntil([&] { return serving.received == "request"; }));
    client.CloseSocket();
    EXPECT_EQ(client.State(), clsSocket::sckClosing);
    ASSERT_TRUE(PumpUntil([&] { return serving.Has("Close"); }));
    server.CloseSocket();
    ASSERT_TRUE(PumpUntil([&] { return calling.Has("Close"); }));
    EXPECT_EQ(client.State(), clsSocket::sckClosed);
    EXPECT_EQ(listener.State(), clsSocket::sckListening);
}

TEST_F(clsSocketTest, ReceiveBufferIsTakenByLengthAndByType) {
    HostPeer peer(SOCK_DGRAM);
    clsSocket socket;
    socket.Protocol(clsSocket::sckUDPProtocol);
    socket.RemotePort(peer.Port());
    socket.RemoteHost("127.0.0.1");
    std::int32_t total = 0;
    socket.OnDataArrival = [&](std::int32_t bytes) { total = bytes; };
    socket.SendData(std::string("hello"));
    sockaddr_in from{};
    peer.ReceiveDatagram(&from);
    peer.SendDatagram(std::string("\x01\x02\x03\x04\x05\x06", 6), from);
    ASSERT_TRUE(PumpUntil([&] { return total == 6; }));

    clsSocket::Data data = std::string("unchanged");
    socket.PeekData(data, clsSocket::vbLong);
    EXPECT_EQ(std::get<std::int32_t>(data), 0x04030201);
    socket.GetData(data, clsSocket::vbByteArray, 2);
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(data), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(socket.BytesReceived(), 4);
    for (std::int32_t maxLen : {0, 99}) {
        clsSocket::Data whole;
        socket.PeekData(whole, clsSocket::vbByteArray, maxLen);
        EXPECT_EQ(std::get<std::vector<std::uint8_t>>(whole).size(), 4u) << "maxLen " << maxLen;
    }
    socket.GetData(data, clsSocket::vbInteger);
    EXPECT_EQ(std::get<std::int16_t>(data), 0x0403) << "whole buffer taken, first two bytes read";
    data = std::string("unchanged");
    socket.GetData(data);
    EXPECT_EQ(std::get<std::string>(data), "unchanged") << "an empty buffer leaves the variable alone";
}

TEST_F(clsSocketTest, CallsThatCannotWorkRaiseTheirErrors) {
    clsSocket socket;
    try {
        socket.SendData(std::string("x"));
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 40006);
        EXPECT_EQ(e.Source(), "CSocket.SendData");
    }
    try {
        socket.Connect();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 10049);
        EXPECT_EQ(e.Description(), "Cannot assign requested address.");
        EXPECT_EQ(e.Source(), "CSocket.CSocket.Connect");
    }
    socket.Protocol(clsSocket::sckUDPProtocol);
    EXPECT_EQ(socket.Protocol(), clsSocket::sckTCPProtocol) << "the protocol is fixed once a socket exists";
    socket.CloseSocket();
    EXPECT_EQ(socket.SocketHandle(), -1);
    socket.Protocol(clsSocket::sckUDPProtocol);
    EXPECT_EQ(socket.Protocol(), clsSocket::sckUDPProtocol);
    try {
        socket.RemotePort(70000);
        socket.RemoteHost("127.0.0.1");
        socket.SendData(std::string("x"));
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 6) << "a port beyond 65535";
    }
}

TEST_F(clsSocketTest, BroadcastIsSwitchedByTheRemoteAddress) {
    clsSocket socket;
    socket.Protocol(clsSocket::sckUDPProtocol);
    auto broadcast = [&] {
        std::int32_t value = -1;
        int length = sizeof(value);
        win::getsockopt(socket.SocketHandle(), win::WS_SOL_SOCKET, win::WS_SO_BROADCAST,
                        reinterpret_cast<char*>(&value), &length);
        return value;
    };
    socket.RemoteHost("127.255.255.255");
    EXPECT_EQ(broadcast(), 1);
    socket.RemoteHost("127.0.0.1");
    EXPECT_EQ(broadcast(), 0);
}

}  // namespace
