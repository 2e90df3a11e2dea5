// The heartbeat's SNMP checks against Debian's snmpd.
#include "net/frmSNMP.h"

#include <gtest/gtest.h>

#include "support/SnmpPeer.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kSysServices = "1.3.6.1.2.1.1.7.0";

class frmSNMPTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        ASSERT_TRUE(agent.Ready());
        testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                                   agent.Address() + " snmp-agent.test\n");
    }
    void WriteList(const std::string& text) {
        testsupport::WriteHostFile(host.HostOf("C:\\Program Files\\Quarnel\\Rules\\Heartbeat_SNMP_List.txt"), text);
    }
    static std::string Block(const std::string& host, const std::string& community, const std::string& oid) {
        return "\r\n" + host + ", " + community + ", " + oid + "\r\n\tResult:  ";
    }
    testsupport::ProgramHost host;
    testsupport::SnmpPeer agent;
    const std::string community = testsupport::SnmpPeer::kCommunity;
};

TEST_F(frmSNMPTest, AnswersFollowTheLastBlockInTheOrderTheyArrive) {
    WriteList("snmp-agent.test|" + community + "|" + kSysDescr + "\r\n\r\n" + agent.Address() + "|" + community + "|" +
              kSysServices + "\r\n");
    frmSNMP form;
    form.Form_Load();
    EXPECT_EQ(sSNMPResults, Block("snmp-agent.test", community, kSysDescr) + Block(agent.Address(), community, kSysServices))
        << "the blocks are written at once, the answers come later";
    EXPECT_TRUE(form.WaitForAnswers());
    form.Form_Unload();
    const std::string descr = agent.SnmpGet(kSysDescr);
    EXPECT_EQ(sSNMPResults, Block("snmp-agent.test", community, kSysDescr) +
                                Block(agent.Address(), community, kSysServices) +
                                descr.substr(1, descr.size() - 2) + agent.SnmpGet(kSysServices));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(frmSNMPTest, SilentAgentAndUnknownHostEachKeepTheirBlock) {
    const std::string silent = testsupport::OwnLoopbackAddress(163);
    WriteList(silent + "|public|" + kSysDescr + "\r\nno-such-host.invalid|public|" + kSysDescr + "\r\n");
    EXPECT_EQ(frmSNMP::CollectResults(),
              Block(silent, "public", kSysDescr) + Block("no-such-host.invalid", "public", kSysDescr) +
                  "[Missing parameter (DestHost or Oid)!] in 'SNMPGet()'");
}

TEST_F(frmSNMPTest, ALineWithoutThreeFieldsStopsTheRunAndIsLogged) {
    WriteList(agent.Address() + "|" + community + "|" + kSysServices + "\r\njust-a-host\r\n" + agent.Address() + "|" +
              community + "|" + kSysDescr + "\r\n");
    testsupport::StderrCapture debug;
    const std::string results = frmSNMP::CollectResults();
    EXPECT_EQ(results, Block(agent.Address(), community, kSysServices) + "72") << "the target before it is answered";
    EXPECT_NE(debug.Text().find("frmSNMP\\Form_Load VB ERROR: "), std::string::npos);
    EXPECT_NE(debug.Text().find("Subscript out of range"), std::string::npos);
}

TEST_F(frmSNMPTest, NoListFileLeavesTheTextEmpty) {
    sSNMPResults = "left from before";
    EXPECT_EQ(frmSNMP::CollectResults(), "");
}

}  // namespace
