// The socket window and registries behind every clsSocket.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "common/modSocketSupport.h"
#include "platform/api/GlobalMemory.h"
#include "support/SnmpPeer.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using namespace modSocketSupport;
using testsupport::PumpUntil;

struct Listener : SocketEvents {
    void PostSocketEvent(long event, long error) override { events.push_back({event, error}); }
    void PostGetHostEvent(long task, std::uint32_t address, const std::string& name, long error) override {
        answers.push_back({task, address, name, error});
    }
    struct Answer {
        long task;
        std::uint32_t address;
        std::string name;
        long error;
    };
    std::vector<std::pair<long, long>> events;
    std::vector<Answer> answers;
};

class SocketSupportTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                                   "127.0.0.9 agent.test\n127.0.0.10 other.test\n");
        InitWinsockService();
    }
    testsupport::ProgramHost host;
};

TEST_F(SocketSupportTest, WindowLivesWhileASocketIsRegisteredAndWinsockUntilTheLastCleanup) {
    EXPECT_EQ(InitWinsockService(), 65467);
    Listener one;
    const win::SOCKET first = win::socket(2, 2, 17);
    ASSERT_TRUE(RegisterSocket(first, &one));
    const win::HWND window = SocketWindow();
    EXPECT_NE(window, 0);
    CleanupWinsock();
    EXPECT_TRUE(WinsockStarted()) << "a registered socket keeps Winsock started";
    ASSERT_TRUE(PumpUntil([&] { return !one.events.empty(); }));
    EXPECT_EQ(one.events[0], (std::pair<long, long>{win::FD_WRITE, 0}));

    // A notification for a socket no longer registered reaches nobody.
    UnregisterSocket(first);
    EXPECT_EQ(SocketWindow(), 0);
    EXPECT_FALSE(win::IsWindow(window));
    const win::SOCKET second = win::socket(2, 2, 17);
    ASSERT_TRUE(RegisterSocket(second, &one));
    EXPECT_NE(SocketWindow(), 0);
    EXPECT_NE(SocketWindow(), window) << "a new socket window";
    WindowProc(SocketWindow(), SocketMessage(), static_cast<win::WPARAM>(first), win::FD_READ);
    EXPECT_EQ(one.events.size(), 1u);
    UnregisterSocket(second);
    win::closesocket(first);
    win::closesocket(second);
    CleanupWinsock();
    EXPECT_FALSE(WinsockStarted());
    EXPECT_EQ(platform::WinsockStartups(), 0);
}

TEST_F(SocketSupportTest, ResolutionsKeepOneBlockPerObjectAndFreeItWhenAnswered) {
    Listener one, two;
    const win::SOCKET s = win::socket(2, 2, 17);
    ASSERT_TRUE(RegisterSocket(s, &one));
    const std::size_t blocks = platform::GlobalBlocksInUse();
    ASSERT_NE(ResolveHost("agent.test", &one), 0);
    const win::HANDLE twoTask = ResolveHost("other.test", &two);
    ASSERT_NE(twoTask, 0);
    EXPECT_EQ(platform::GlobalBlocksInUse(), blocks + 2);
    const win::HANDLE oneTask = ResolveHost("agent.test", &one);
    EXPECT_EQ(platform::GlobalBlocksInUse(), blocks + 2) << "the object's new block replaces its old one";

    ASSERT_TRUE(PumpUntil([&] { return RunningResolutions() == 0; }));
    EXPECT_EQ(platform::GlobalBlocksInUse(), blocks);
    ASSERT_EQ(two.answers.size(), 1u);
    EXPECT_EQ(two.answers[0].task, twoTask);
    EXPECT_EQ(win::inet_ntoa(two.answers[0].address), "127.0.0.10");
    EXPECT_EQ(two.answers[0].name, "other.test");
    ASSERT_EQ(one.answers.size(), 1u) << "the replaced resolution never answers";
    EXPECT_EQ(one.answers.back().task, oneTask);
    EXPECT_EQ(win::inet_ntoa(one.answers.back().address), "127.0.0.9");
    UnregisterSocket(s);
    win::closesocket(s);
}

TEST_F(SocketSupportTest, FailedOrCancelledResolutionLeavesNoBlockBehind) {
    Listener one;
    const std::size_t blocks = platform::GlobalBlocksInUse();
    EXPECT_EQ(ResolveHost("agent.test", &one), 0) << "no socket window to answer to";
    EXPECT_EQ(ErrorRecord().Number(), 10022);
    EXPECT_EQ(ErrorRecord().Source(), "MSocketSupport.ResolveHost");
    EXPECT_EQ(ErrorRecord().Description(), "Invalid argument.");
    EXPECT_EQ(platform::GlobalBlocksInUse(), blocks);
    EXPECT_EQ(RunningResolutions(), 0u);

    const win::SOCKET s = win::socket(2, 2, 17);
    ASSERT_TRUE(RegisterSocket(s, &one));
    ASSERT_NE(ResolveHost("agent.test", &one), 0);
    CancelResolve(&one);
    EXPECT_EQ(platform::GlobalBlocksInUse(), blocks);
    PumpUntil([] { return false; }, std::chrono::milliseconds(150));
    EXPECT_TRUE(one.answers.empty());
    UnregisterSocket(s);
    win::closesocket(s);
}

TEST(SocketSupportHelpersTest, WordsPortsAndErrorTexts) {
    EXPECT_EQ(UnsignedToInteger(65535), -1);
    EXPECT_EQ(UnsignedToInteger(32768), -32768);
    EXPECT_EQ(UnsignedToInteger(161), 161);
    EXPECT_THROW(UnsignedToInteger(65536), RuntimeError);
    EXPECT_THROW(UnsignedToInteger(-1), RuntimeError);
    EXPECT_EQ(IntegerToUnsigned(-1), 65535);
    EXPECT_EQ(LoWord(static_cast<std::int32_t>(0x277D0010)), 0x10);
    EXPECT_EQ(HiWord(static_cast<std::int32_t>(0xFFFF0001)), 0xFFFF);
    EXPECT_EQ(GetErrorDescription(10061), "Connection refused.");
    EXPECT_EQ(GetErrorDescription(11004), "Valid name, no data record of requested type.");
    EXPECT_EQ(GetErrorDescription(10059), "Unknown error.");
}

}  // namespace
