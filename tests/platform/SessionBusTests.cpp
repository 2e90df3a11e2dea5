// The bounded probe of the session bus, against sockets that stand where a
// bus would be: silent, answering, or missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/host/SessionBus.h"
#include "support/BusSocket.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

namespace {

struct ProbeCase {
    const char* name;
    bool abstract;
    std::optional<std::string> answer;  // nothing: the peer never writes
    bool alive;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class SessionBusProbe : public testing::TestWithParam<ProbeCase> {};

TEST_P(SessionBusProbe, TellsWhetherTheBusAnswersWithinTheBound) {
    const ProbeCase& c = GetParam();
    testsupport::TempHost host;
    std::filesystem::create_directories(host.DriveC());
    const std::string name = c.abstract ? "quarnel-bus-test-" + std::to_string(::getpid())
                                        : (host.DriveC() / "bus").string();
    const testsupport::BusSocket bus(name, c.abstract, c.answer);
    ASSERT_TRUE(bus.Listening());
    EXPECT_EQ(platform::SessionBusAnswers(bus.Address()), c.alive);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, SessionBusProbe,
    testing::Values(ProbeCase{"silent path", false, std::nullopt, false},
                    ProbeCase{"silent abstract", true, std::nullopt, false},
                    ProbeCase{"OK path", false, "OK 0123456789abcdef0123456789abcdef\r\n", true},
                    ProbeCase{"OK abstract", true, "OK 0123456789abcdef0123456789abcdef\r\n", true},
                    ProbeCase{"REJECTED", false, "REJECTED EXTERNAL\r\n", true},
                    ProbeCase{"garbage", false, "HELLO\r\n", false}),
    [](const testing::TestParamInfo<ProbeCase>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

TEST(SessionBusProbe, AMissingSocketIsNotAlive) {
    testsupport::TempHost host;
    EXPECT_FALSE(platform::SessionBusAnswers("unix:path=" + (host.DriveC() / "no-bus").string()));
}

TEST(SessionBusSetAside, ASilentBusIsSetAsideAndStillGivenToNotifications) {
    testsupport::TempHost host;
    std::filesystem::create_directories(host.DriveC());
    const testsupport::BusSocket bus((host.DriveC() / "bus").string(), false, std::nullopt);
    testsupport::ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    platform::SetAsideSilentSessionBus();
    const std::string now = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_NE(now, bus.Address());
    EXPECT_FALSE(platform::SessionBusAnswers(now));
    EXPECT_EQ(platform::SessionBusAddress(), bus.Address());
}

}  // namespace
