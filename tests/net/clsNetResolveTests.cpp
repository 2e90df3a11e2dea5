// Blocking name look-ups through the hosts file and the host's resolver.
#include "net/clsNetResolve.h"

#include <gtest/gtest.h>

#include "support/StderrCapture.h"
#include "support/TempHost.h"

namespace {

class clsNetResolveTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                                   "\xEF\xBB\xBF# hosts\r\n127.0.0.9\tagent.test\r\n");
    }
    testsupport::ProgramHost host;
    clsNetResolve resolve;
};

TEST_F(clsNetResolveTest, NamesBecomeDottedAddresses) {
    testsupport::StderrCapture debug;
    EXPECT_EQ(resolve.GetIPFromHostName("agent.test"), "127.0.0.9");
    EXPECT_EQ(resolve.GetIPFromHostName("AGENT.TEST"), "127.0.0.9");
    EXPECT_EQ(resolve.GetIPFromHostName("10.20.30.40"), "10.20.30.40");
    EXPECT_EQ(resolve.GetIPFromHostName("localhost"), "127.0.0.1");
    EXPECT_EQ(resolve.GetIPFromHostName("no-such-host.invalid"), "");
    EXPECT_EQ(resolve.GetIPFromHostName(""), "");
    EXPECT_EQ(debug.Text(), "") << "an unknown host is not logged";
}

TEST_F(clsNetResolveTest, AddressesBecomeNamesAndFailuresAreLogged) {
    EXPECT_EQ(resolve.GetHostNameFromIP("127.0.0.9"), "agent.test");
    testsupport::StderrCapture debug;
    EXPECT_EQ(resolve.GetHostNameFromIP("not an address"), "");
    EXPECT_NE(debug.Text().find("Invalid IP address"), std::string::npos);
    EXPECT_EQ(resolve.GetHostNameFromIP("192.0.2.77"), "");
    EXPECT_NE(debug.Text().find("Call to gethostbyaddr failed."), std::string::npos);
}

}  // namespace
