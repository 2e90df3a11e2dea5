// Windows Sockets over the host's sockets: start-up counting, Winsock error
// numbers, WSAAsyncSelect's notifications re-armed as on Windows, Windows'
// option constants, and host names through the host folder's hosts file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/api/MessageWindow.h"
#include "platform/api/Winsock.h"
#include "support/SnmpPeer.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using testsupport::PumpUntil;

struct Notification {
    win::SOCKET socket;
    long event;
    int error;
};
std::vector<Notification> notifications;
constexpr win::UINT kSocketMessage = 0xC200;
constexpr win::UINT kResolveMessage = 0xC201;

win::LRESULT Record(win::HWND, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
    if (message == kSocketMessage || message == kResolveMessage)
        notifications.push_back({static_cast<win::SOCKET>(wParam), win::WSAGETSELECTEVENT(lParam),
                                 win::WSAGETSELECTERROR(lParam)});
    return 0;
}

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        notifications.clear();
        win::WSADATA data;
        ASSERT_EQ(win::WSAStartup(0x0101, &data), 0);
        window = win::CreateWindowExA(0, "STATIC", "SOCKET_WINDOW", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
        win::SetWindowLongA(window, win::GWL_WNDPROC, reinterpret_cast<win::LONG_PTR>(&Record));
    }
    void TearDown() override {
        for (win::SOCKET s : opened) win::closesocket(s);
        win::DestroyWindow(window);
        win::WSACleanup();
    }

    win::SOCKET Open(int type, bool watched = true) {
        const win::SOCKET s = win::socket(win::WS_AF_INET, type, 0);
        EXPECT_NE(s, win::INVALID_SOCKET);
        opened.push_back(s);
        if (watched) {
            EXPECT_EQ(win::WSAAsyncSelect(s, window, kSocketMessage, 59), 0);
        }
        return s;
    }
    static win::SOCKADDR_IN Loopback(std::uint16_t port = 0) {
        win::SOCKADDR_IN address;
        address.sin_family = win::WS_AF_INET;
        address.sin_port = win::htons(port);
        address.sin_addr = win::inet_addr("127.0.0.1");
        return address;
    }
    static std::uint16_t PortOf(win::SOCKET s) {
        win::SOCKADDR_IN address;
        int length = sizeof(address);
        EXPECT_EQ(win::getsockname(s, &address, &length), 0);
        return win::ntohs(address.sin_port);
    }
    static size_t Count(win::SOCKET s, long event) {
        return static_cast<size_t>(std::count_if(notifications.begin(), notifications.end(), [&](const Notification& n) {
            return n.socket == s && n.event == event;
        }));
    }
    // Enough turns of the loop for a notification that is due to arrive.
    static void Settle() { PumpUntil([] { return false; }, std::chrono::milliseconds(150)); }
    void Close(win::SOCKET s) {
        win::closesocket(s);
        opened.erase(std::remove(opened.begin(), opened.end(), s), opened.end());
    }

    win::HWND window = 0;
    std::vector<win::SOCKET> opened;
};

TEST(WinsockStartupTest, StartupsAreCountedAndCleanupWithoutOneFails) {
    ASSERT_EQ(platform::WinsockStartups(), 0);
    EXPECT_EQ(win::WSACleanup(), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), 10093);
    EXPECT_EQ(win::socket(win::WS_AF_INET, win::WS_SOCK_DGRAM, 0), win::INVALID_SOCKET);
    EXPECT_EQ(win::WSAGetLastError(), 10093);

    win::WSADATA data;
    EXPECT_EQ(win::WSAStartup(0x0000, &data), 10092);
    ASSERT_EQ(win::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.iMaxUdpDg, 65467);
    ASSERT_EQ(win::WSAStartup(0x0101, &data), 0);
    EXPECT_EQ(platform::WinsockStartups(), 2);
    EXPECT_EQ(win::WSACleanup(), 0);
    EXPECT_EQ(win::WSACleanup(), 0);
    EXPECT_EQ(win::WSACleanup(), win::SOCKET_ERROR);
}

TEST_F(WinsockTest, StreamNotificationsAreRearmedAsOnWindows) {
    const win::SOCKET listener = Open(win::WS_SOCK_STREAM);
    const win::SOCKADDR_IN any = Loopback();
    ASSERT_EQ(win::bind(listener, &any, sizeof(any)), 0);
    ASSERT_EQ(win::listen(listener, 5), 0);
    const win::SOCKET client = Open(win::WS_SOCK_STREAM);
    const win::SOCKADDR_IN server = Loopback(PortOf(listener));
    ASSERT_EQ(win::connect(client, &server, sizeof(server)), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAEWOULDBLOCK);

    ASSERT_TRUE(PumpUntil([&] { return Count(client, win::FD_CONNECT) && Count(listener, win::FD_ACCEPT); }));
    Settle();
    EXPECT_EQ(Count(listener, win::FD_ACCEPT), 1u) << "no second FD_ACCEPT before accept";
    EXPECT_EQ(Count(client, win::FD_CONNECT), 1u);
    EXPECT_EQ(Count(client, win::FD_WRITE), 1u) << "one FD_WRITE after the connection, no more while idle";
    EXPECT_EQ(notifications.front().error, 0);

    win::SOCKADDR_IN peer;
    int peerLength = sizeof(peer);
    const win::SOCKET accepted = win::accept(listener, &peer, &peerLength);
    ASSERT_NE(accepted, win::INVALID_SOCKET);
    opened.push_back(accepted);
    EXPECT_EQ(win::ntohs(peer.sin_port), PortOf(client));
    ASSERT_EQ(win::WSAAsyncSelect(accepted, window, kSocketMessage, 59), 0);

    ASSERT_EQ(win::send(client, "hello world", 11, 0), 11);
    ASSERT_TRUE(PumpUntil([&] { return Count(accepted, win::FD_READ) == 1; }));
    Settle();
    EXPECT_EQ(Count(accepted, win::FD_READ), 1u) << "unread data gives one FD_READ, not a stream of them";
    EXPECT_EQ(Count(accepted, win::FD_WRITE), 1u);

    char bytes[16] = {};
    ASSERT_EQ(win::recv(accepted, bytes, 5, 0), 5);
    ASSERT_TRUE(PumpUntil([&] { return Count(accepted, win::FD_READ) == 2; })) << "data left: FD_READ again";
    ASSERT_EQ(win::recv(accepted, bytes + 5, sizeof(bytes) - 5, 0), 6);
    EXPECT_STREQ(bytes, "hello world");
    Settle();
    EXPECT_EQ(Count(accepted, win::FD_READ), 2u);
    EXPECT_EQ(win::recv(accepted, bytes, sizeof(bytes), 0), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAEWOULDBLOCK);

    Close(client);
    ASSERT_TRUE(PumpUntil([&] { return Count(accepted, win::FD_CLOSE) == 1; }));
    Settle();
    EXPECT_EQ(Count(accepted, win::FD_CLOSE), 1u) << "FD_CLOSE comes once at the end of the stream";
    EXPECT_EQ(notifications.back().error, 0);
    EXPECT_EQ(win::recv(accepted, bytes, sizeof(bytes), 0), 0);
}

TEST_F(WinsockTest, RefusedConnectionArrivesAsConnectNotificationWithItsError) {
    const win::SOCKET probe = Open(win::WS_SOCK_STREAM, false);
    const win::SOCKADDR_IN any = Loopback();
    ASSERT_EQ(win::bind(probe, &any, sizeof(any)), 0);
    const std::uint16_t freePort = PortOf(probe);
    Close(probe);

    const win::SOCKET client = Open(win::WS_SOCK_STREAM);
    const win::SOCKADDR_IN nobody = Loopback(freePort);
    ASSERT_EQ(win::connect(client, &nobody, sizeof(nobody)), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAEWOULDBLOCK);
    ASSERT_TRUE(PumpUntil([&] { return Count(client, win::FD_CONNECT) == 1; }));
    Settle();
    ASSERT_EQ(notifications.size(), 1u) << "no FD_WRITE or FD_CLOSE after a refused connection";
    EXPECT_EQ(notifications[0].error, win::WSAECONNREFUSED);
}

TEST_F(WinsockTest, SendingToAClosedPeerFailsWithoutEndingTheProgram) {
    const win::SOCKET listener = Open(win::WS_SOCK_STREAM, false);
    const win::SOCKADDR_IN any = Loopback();
    ASSERT_EQ(win::bind(listener, &any, sizeof(any)), 0);
    ASSERT_EQ(win::listen(listener, 1), 0);
    const win::SOCKET client = Open(win::WS_SOCK_STREAM, false);
    const win::SOCKADDR_IN server = Loopback(PortOf(listener));
    ASSERT_EQ(win::connect(client, &server, sizeof(server)), 0) << "a socket never selected blocks";
    const win::SOCKET accepted = win::accept(listener, nullptr, nullptr);
    ASSERT_NE(accepted, win::INVALID_SOCKET);
    win::closesocket(accepted);

    int result = 0;
    for (int i = 0; i < 50 && result != win::SOCKET_ERROR; ++i) result = win::send(client, "x", 1, 0);
    ASSERT_EQ(result, win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAECONNRESET);
}

TEST_F(WinsockTest, DatagramsAndTheirErrors) {
    const win::SOCKET receiver = Open(win::WS_SOCK_DGRAM);
    const win::SOCKADDR_IN any = Loopback();
    ASSERT_EQ(win::bind(receiver, &any, sizeof(any)), 0);
    const win::SOCKET sender = Open(win::WS_SOCK_DGRAM);
    ASSERT_TRUE(PumpUntil([&] { return Count(sender, win::FD_WRITE) == 1; })) << "FD_WRITE once after registration";

    char bytes[8] = {};
    EXPECT_EQ(win::recv(receiver, bytes, sizeof(bytes), 0), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAEWOULDBLOCK);

    const win::SOCKADDR_IN to = Loopback(PortOf(receiver));
    ASSERT_EQ(win::sendto(sender, "0123456789", 10, 0, &to, sizeof(to)), 10);
    ASSERT_EQ(win::sendto(sender, "abc", 3, 0, &to, sizeof(to)), 3);
    ASSERT_TRUE(PumpUntil([&] { return Count(receiver, win::FD_READ) == 1; }));

    win::SOCKADDR_IN from;
    int fromLength = sizeof(from);
    EXPECT_EQ(win::recvfrom(receiver, bytes, 4, 0, &from, &fromLength), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAEMSGSIZE) << "a datagram longer than the buffer";
    EXPECT_EQ(std::string(bytes, 4), "0123");
    EXPECT_EQ(win::ntohs(from.sin_port), PortOf(sender));
    EXPECT_EQ(win::inet_ntoa(from.sin_addr), "127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return Count(receiver, win::FD_READ) == 2; }));
    EXPECT_EQ(win::recv(receiver, bytes, sizeof(bytes), 0), 3);
    Settle();
    EXPECT_EQ(Count(receiver, win::FD_READ), 2u);
    EXPECT_EQ(Count(sender, win::FD_WRITE), 1u);
}

TEST_F(WinsockTest, OptionsTakeWindowsConstants) {
    const win::SOCKET stream = Open(win::WS_SOCK_STREAM, false);
    const win::SOCKET datagram = Open(win::WS_SOCK_DGRAM, false);
    auto get = [](win::SOCKET s, int level, int name) {
        std::int32_t value = -1;
        int length = sizeof(value);
        const int result = win::getsockopt(s, level, name, reinterpret_cast<char*>(&value), &length);
        return result == 0 ? value : -1000 - win::WSAGetLastError();
    };
    EXPECT_EQ(get(stream, 0xFFFF, 0x1008), 1);
    EXPECT_EQ(get(datagram, 0xFFFF, 0x1008), 2);
    EXPECT_GT(get(stream, 0xFFFF, 0x1001), 0);
    EXPECT_GT(get(stream, 0xFFFF, 0x1002), 0);
    EXPECT_EQ(get(datagram, 0xFFFF, 0x20), 0);
    const std::int32_t on = 1;
    ASSERT_EQ(win::setsockopt(datagram, 0xFFFF, 0x20, reinterpret_cast<const char*>(&on), sizeof(on)), 0);
    EXPECT_EQ(get(datagram, 0xFFFF, 0x20), 1);
    EXPECT_EQ(get(datagram, 1, 0x20), -1000 - win::WSAENOPROTOOPT) << "the host's own SOL_SOCKET is not Windows'";
    EXPECT_EQ(win::closesocket(12345), win::SOCKET_ERROR);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAENOTSOCK);
}

class WinsockHostsTest : public WinsockTest {
protected:
    void SetUp() override {
        WinsockTest::SetUp();
        testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                                   "# test machine\r\n127.0.0.9\tSNMP-Agent.test agent-alias\r\n"
                                   "#10.9.9.9 agent-alias\r\n127.0.0.10 localhost\r\n");
    }
    testsupport::TempHost host;
};

TEST_F(WinsockHostsTest, HostsFileComesBeforeTheHostsResolver) {
    struct Case {
        const char* name;
        const char* address;
    };
    for (const Case& c : {Case{"snmp-agent.test", "127.0.0.9"}, Case{"AGENT-ALIAS", "127.0.0.9"},
                          Case{"localhost", "127.0.0.10"}, Case{"10.1.2.3", "10.1.2.3"}}) {
        const win::HOSTENT* entry = win::gethostbyname(c.name);
        ASSERT_NE(entry, nullptr) << c.name;
        EXPECT_EQ(entry->h_addrtype, 2);
        EXPECT_EQ(entry->h_length, 4);
        std::uint32_t address = 0;
        std::memcpy(&address, entry->h_addr_list[0], 4);
        EXPECT_EQ(win::inet_ntoa(address), c.address) << c.name;
    }
    EXPECT_EQ(win::gethostbyname("no-such-host.invalid"), nullptr);
    EXPECT_EQ(win::WSAGetLastError(), win::WSAHOST_NOT_FOUND);

    const std::uint32_t agent = win::inet_addr("127.0.0.9");
    const win::HOSTENT* entry = win::gethostbyaddr(reinterpret_cast<const char*>(&agent), 4, 2);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->h_name, "SNMP-Agent.test");
    EXPECT_STREQ(entry->h_aliases[0], "agent-alias");
    EXPECT_EQ(entry->h_aliases[1], nullptr);
}

TEST_F(WinsockHostsTest, AsynchronousLookupAnswersOnTheLoopIntoTheCallersBuffer) {
    std::vector<char> buffer(1024);
    const win::HANDLE found =
        win::WSAAsyncGetHostByName(window, kResolveMessage, "snmp-agent.test", buffer.data(), 1024);
    ASSERT_NE(found, 0);
    std::vector<char> other(1024);
    const win::HANDLE missing =
        win::WSAAsyncGetHostByName(window, kResolveMessage, "no-such-host.invalid", other.data(), 1024);
    std::vector<char> tiny(20);
    const win::HANDLE cramped = win::WSAAsyncGetHostByName(window, kResolveMessage, "snmp-agent.test", tiny.data(), 20);
    std::vector<char> dropped(1024);
    const win::HANDLE cancelled =
        win::WSAAsyncGetHostByName(window, kResolveMessage, "agent-alias", dropped.data(), 1024);
    EXPECT_EQ(win::WSACancelAsyncRequest(cancelled), 0);
    EXPECT_TRUE(notifications.empty()) << "an answer is never given at once";

    ASSERT_TRUE(PumpUntil([] { return notifications.size() >= 3; }));
    Settle();
    ASSERT_EQ(notifications.size(), 3u) << "a cancelled lookup gives no message";
    auto errorOf = [](win::HANDLE task) {
        for (const auto& n : notifications)
            if (n.socket == task) return n.error;
        return -1;
    };
    EXPECT_EQ(errorOf(found), 0);
    EXPECT_EQ(errorOf(missing), win::WSAHOST_NOT_FOUND);
    EXPECT_EQ(errorOf(cramped), win::WSAENOBUFS);
    const auto* entry = reinterpret_cast<const win::HOSTENT*>(buffer.data());
    EXPECT_STREQ(entry->h_name, "snmp-agent.test");
    std::uint32_t address = 0;
    std::memcpy(&address, entry->h_addr_list[0], 4);
    EXPECT_EQ(win::inet_ntoa(address), "127.0.0.9");
    EXPECT_GE(entry->h_name, buffer.data());
    EXPECT_LT(entry->h_name, buffer.data() + buffer.size()) << "the entry's texts live in the caller's buffer";
}

}  // namespace
