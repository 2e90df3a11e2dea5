// The heartbeat's SNMP checks against Debian's snmpd.
#include "net/frmSNMP.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/PeerProcess.h"
#include "support/SnmpPeer.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kSysServices = "1.3.6.1.2.1.1.7.0";

// An agent in front of the real one: on port 161 of an address of its own it
// passes each request to snmpd and sends snmpd's answer back as its answer
// plan says, one "copies:delay" per request, the last one for the rest: so
// many times, after so many seconds (a far or slow device).
class RelayAgent {
public:
    RelayAgent(int firstInnerByte, const std::string& agent, const std::string& plan)
        : address_(testsupport::OwnLoopbackAddress(firstInnerByte)),
          peer_(std::make_unique<testsupport::PeerProcess>(std::vector<std::string>{
              testsupport::kSystemPython, "-c",
              "import socket, sys, time\n"
              "listen, agent = sys.argv[1], sys.argv[2]\n"
              "plan = [(int(c), float(d)) for c, d in (p.split(':') for p in sys.argv[3].split(','))]\n"
              "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
              "s.bind((listen, 161))\n"
              "up = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
              "up.settimeout(5)\n"
              "print('ready', flush=True)\n"
              "served = 0\n"
              "while True:\n"
              "    request, client = s.recvfrom(4096)\n"
              "    up.sendto(request, (agent, 161))\n"
              "    try:\n"
              "        answer = up.recv(4096)\n"
              "    except socket.timeout:\n"
              "        continue\n"
              "    copies, delay = plan[min(served, len(plan) - 1)]\n"
              "    served += 1\n"
              "    time.sleep(delay)\n"
              "    for _ in range(copies):\n"
              "        s.sendto(answer, client)\n",
              address_, agent, plan})) {}
    bool Ready() const { return peer_->Ready(); }
    const std::string& Address() const { return address_; }

private:
    std::string address_;
    std::unique_ptr<testsupport::PeerProcess> peer_;
};

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

// A target that answers twice counts once: the wait goes on for the slower
// target, whose answer is in time and belongs in the report.
TEST_F(frmSNMPTest, ATargetThatAnswersTwiceCountsOnce) {
    RelayAgent twice(165, agent.Address(), "2:0");
    RelayAgent slow(166, agent.Address(), "1:0.3");
    ASSERT_TRUE(twice.Ready() && slow.Ready());
    WriteList(twice.Address() + "|" + community + "|" + kSysServices + "\r\n" + slow.Address() + "|" + community + "|" +
              kSysDescr + "\r\n");
    const std::string descr = agent.SnmpGet(kSysDescr);
    EXPECT_EQ(frmSNMP::CollectResults(), Block(twice.Address(), community, kSysServices) +
                                             Block(slow.Address(), community, kSysDescr) + "72" + "72" +
                                             descr.substr(1, descr.size() - 2));
}

// Two objects of one agent, the first answer coming twice at once, the
// second later: the repeat is not the second object's answer.
TEST_F(frmSNMPTest, ARepeatedAnswerDoesNotAnswerAnotherObjectOfTheSameAgent) {
    RelayAgent relay(165, agent.Address(), "2:0,1:0.3");
    ASSERT_TRUE(relay.Ready());
    WriteList(relay.Address() + "|" + community + "|" + kSysServices + "\r\n" + relay.Address() + "|" + community +
              "|" + kSysDescr + ".\r\n");
    const std::string descr = agent.SnmpGet(kSysDescr);
    EXPECT_EQ(frmSNMP::CollectResults(), Block(relay.Address(), community, kSysServices) +
                                             Block(relay.Address(), community, kSysDescr + std::string(".")) +
                                             "7272" + descr.substr(1, descr.size() - 2));
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
