// The SNMP block of "/heartbeat" through the real Quarnel.exe: a real snmpd
// named in the machine's hosts file answers, a silent target keeps its bare
// block, and the report is mailed to the real SMTP server.
#include <gtest/gtest.h>

#include <string>

#include "platform/api/ProfileIni.h"
#include "support/ProgramRun.h"
#include "support/SmtpPeer.h"
#include "support/SnmpPeer.h"
#include "support/TempHost.h"

namespace {

TEST(HeartbeatSnmpRun, ReportCarriesTheAgentsValuesBehindTheirBlocks) {
    testsupport::TempHost host;
    const auto programFolder = testsupport::InstallProgram(host);
    testsupport::SnmpPeer agent("sysLocation Rack 7, Z\xFCrich\n");
    ASSERT_TRUE(agent.Ready());
    testsupport::SmtpPeer mail(host.Folder() / "smtp");
    ASSERT_TRUE(mail.Ready());
    const std::string ini = testsupport::InstalledIni(host);
    platform::WriteIniValue(ini, "EmailConfig", "FromEmail", "quarnel@example.test");
    platform::WriteIniValue(ini, "EmailConfig", "ToEmail", "tech@example.test");
    platform::WriteIniValue(ini, "EmailConfig", "SMTPServer", "127.0.0.1");
    platform::WriteIniValue(ini, "EmailConfig", "SMTPPort", mail.Port());
    testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                               agent.Address() + "\tsnmp-agent.test\r\n");
    const std::string silent = testsupport::OwnLoopbackAddress(164);
    const std::string community = testsupport::SnmpPeer::kCommunity;
    testsupport::WriteHostFile(programFolder / "Rules" / "Heartbeat_SNMP_List.txt",
                               "snmp-agent.test|" + community + "|1.3.6.1.2.1.1.6.0\r\n" + silent + "|" + community +
                                   "|1.3.6.1.2.1.1.5.0\r\n");

    const testsupport::ProgramResult run = testsupport::RunInstalled(host, "Quarnel.exe", "/heartbeat");
    ASSERT_EQ(run.exitCode, 0) << run.debugOutput;
    ASSERT_EQ(mail.Received().size(), 1u) << run.debugOutput;
    const std::string body = testsupport::MailPart(mail.Received()[0].raw, "text/plain");
    const std::string snmp = "\r\nsnmp-agent.test, " + community + ", 1.3.6.1.2.1.1.6.0\r\n\tResult:  \r\n" + silent +
                             ", " + community + ", 1.3.6.1.2.1.1.5.0\r\n\tResult:  Rack 7, Z\xC3\xBCrich\r\n\r\n";
    EXPECT_NE(body.find(snmp), std::string::npos) << body;
    EXPECT_EQ(run.debugOutput.find("not built"), std::string::npos) << run.debugOutput;
}

}  // namespace
