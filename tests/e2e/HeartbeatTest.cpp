// "/heartbeat" through the real Quarnel.exe of a fresh machine against the
// real SMTP server: services made with the real sc.exe, drives of known sizes,
// the report body section by section, the SNMP block from a real agent, the
// new applications of a second report, and the message of a machine without
// mail settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "common/modRegistry.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Process.h"
#include "platform/api/ServiceControl.h"
#include "support/ProgramRun.h"
#include "support/SmtpPeer.h"
#include "support/SnmpPeer.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramResult;

constexpr unsigned long long kGB = 1024ull * 1024 * 1024;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class HeartbeatRun : public testing::Test {
protected:
    void SetUp() override {
        programFolder_ = testsupport::InstallProgram(host_);
        fs::copy_file(fs::path(QUARNEL_BIN_DIR) / "sc.exe", programFolder_ / "sc.exe");
    }

    // sc.exe run as a program of this machine; its Windows exit code.
    win::DWORD Sc(const std::string& arguments) {
        const long pid = vb::Shell("\"" + std::string(testsupport::kProgramFolder) + "sc.exe\" " + arguments, 0);
        return platform::WaitForChildExit(pid);
    }
    void Setting(const std::string& section, const std::string& key, const std::string& value) {
        platform::WriteIniValue(testsupport::InstalledIni(host_), section, key, value);
    }
    void List(const std::string& name, const std::string& bytes) {
        testsupport::WriteHostFile(programFolder_ / "Rules" / name, bytes);
    }
    void Drive(char letter, unsigned long long total, unsigned long long free) {
        const std::string name(1, letter);
        if (letter != 'C') {
            fs::create_directories(host_.Folder() / ("drive_" + name));
            host_.WriteHostIni("Drives", name, (host_.Folder() / ("drive_" + name)).string());
        }
        host_.WriteHostIni("DriveSpace", name, std::to_string(total) + "," + std::to_string(free));
    }
    void MailTo(const testsupport::SmtpPeer& peer) {
        Setting("EmailConfig", "FromEmail", "quarnel@example.test");
        Setting("EmailConfig", "ToEmail", "tech@example.test");
        Setting("EmailConfig", "SMTPServer", "127.0.0.1");
        Setting("EmailConfig", "SMTPPort", peer.Port());
    }
    ProgramResult Heartbeat() {
        ProgramResult result = testsupport::RunInstalled(host_, "Quarnel.exe", "/heartbeat");
        EXPECT_FALSE(result.killed) << result.debugOutput;
        EXPECT_EQ(result.exitCode, 0) << result.debugOutput;
        return result;
    }

    testsupport::TempHost host_;
    fs::path programFolder_;
};

// The report between the computer line and the footer, its uptime replaced by "<uptime>".
std::string ReportOf(const testsupport::ReceivedMail& mail) {
    const std::string body = testsupport::MailPart(mail.raw, "text/plain");
    const std::size_t start = body.find("\r\n\r\n");
    const std::size_t end = body.rfind("\r\n\r\nThis message sent by ");
    if (start == std::string::npos || end == std::string::npos || end < start) return "unexpected mail: " + body;
    const std::string report = body.substr(start + 4, end - start - 4);
    static const std::regex uptime("System Uptime:  \\d+ Day\\(s\\), \\d+ Hour\\(s\\) and \\d+ Minutes");
    return std::regex_replace(report, uptime, "System Uptime:  <uptime>");
}

}  // namespace

TEST_F(HeartbeatRun, ReportGivesEverySectionAndTheNewApplicationsOfTheSecondReport) {
    testsupport::SmtpPeer peer(host_.Folder() / "smtp");
    ASSERT_TRUE(peer.Ready());
    MailTo(peer);
    Setting("Heartbeat", "ReportNewlyInstalledApps", "1");
    ASSERT_EQ(Sc("create QuarnelService binPath= C:\\QuarnelService.exe start= auto"), 0u);
    ASSERT_EQ(Sc("create Spooler binPath= C:\\Windows\\spoolsv.exe start= auto"), 0u);
    ASSERT_EQ(Sc("start Spooler"), 0u);
    ASSERT_EQ(Sc("create Fax start= demand"), 0u);
    ASSERT_EQ(Sc("create wuauserv start= auto"), 0u);
    ASSERT_EQ(Sc("create Tlntsvr start= disabled"), 0u);
    ASSERT_EQ(platform::SetServiceStatus("Tlntsvr", win::SERVICE_PAUSED), 0u);
    List("Heartbeat_Services_List.txt", "Spooler\r\nFax\r\nTlntsvr\r\nGhost\r\n");
    Drive('C', 50 * kGB, 25 * kGB);
    Drive('D', 100 * kGB, 5 * kGB);
    Drive('E', 5 * kGB, kGB);
    List("Heartbeat_Partition_List.txt", "D:\r\nE:\r\nQ:\r\n");
    modRegistry::fWriteValue("HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Editor", "DisplayName",
                             "S", "Editor");

    const ProgramResult first = Heartbeat();
    ASSERT_TRUE(Has(first.debugOutput, "\tEmail sent!")) << first.debugOutput;
    const std::string services =
        "\r\nService:  Spooler is running.  (Service set to start automatically.)"
        "\r\nService:  Fax is stopped.  (Service set to start manually.)"
        "\r\nService:  Tlntsvr is paused.  (Service is disabled!)"
        "\r\nService:  Ghost is in an UNKNOWN state.  (Service does not appear to exist!)";
    const std::string partitions =
        "C: 50. GB, 25. GB available\r\nFree Space is OK\r\n"
        "D: 100. GB, 5. GB available\r\nPartition has less than 10% free space available!!\r\n"
        "E: 5. GB, 1. GB available\r\nFree up disk space and/or upgrade the hard drive ASAP!!\r\n"
        "Q: . GB, . GB available\r\nFree up disk space and/or upgrade the hard drive ASAP!!";
    ASSERT_EQ(peer.Received().size(), 1u);
    EXPECT_EQ(ReportOf(peer.Received()[0]),
              "WARNING:  Quarnel Service is NOT running!!!\r\n" + services +
                  "\r\n\r\nAuto-start Services currently not running:  \r\n"
                  "------------------------------------------\r\n"
                  "QuarnelService - Stopped\r\nwuauserv - Stopped\r\n\r\n\r\n"
                  "System Uptime:  <uptime>\r\n\r\n" + partitions + "\r\n\r\n\r\n\r\n");
    EXPECT_EQ(testsupport::ReadHostFile(programFolder_ / "InstalledApps.txt"), "Editor\r\n");
    EXPECT_TRUE(fs::exists(programFolder_ / "InstalledAppsWow6432.txt"));

    ASSERT_EQ(Sc("start QuarnelService"), 0u);
    ASSERT_EQ(Sc("start wuauserv"), 0u);
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Viewer";
    modRegistry::fWriteValue("HKLM", key, "DisplayName", "S", "Bildbetrachter Ä");
    modRegistry::fWriteValue("HKLM", key, "Publisher", "S", "Müller GmbH");
    modRegistry::fWriteValue("HKLM", key, "InstallLocation", "S", "C:\\Program Files\\Viewer\\");
    modRegistry::fWriteValue("HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KB5005565",
                             "DisplayName", "S", "Security Update");
    Heartbeat();
    ASSERT_EQ(peer.Received().size(), 2u);
    EXPECT_EQ(ReportOf(peer.Received()[1]),
              "Quarnel Service is running.\r\n" + services +
                  "\r\n\r\nAll automatic services are running.\r\n\r\n"
                  "System Uptime:  <uptime>\r\n\r\n" + partitions + "\r\n\r\n\r\n\r\n"
                  "Newly Installed Applications:\r\n-----------------------------\r\n"
                  "DisplayName:  Bildbetrachter Ä\r\nPublisher:  Müller GmbH\r\n"
                  "InstallLocation:  C:\\Program Files\\Viewer\\\r\nRegKey:  Viewer\r\n"
                  "-----------------------------\r\n");
}

TEST_F(HeartbeatRun, ScExitCodesReachItsStarterWhole) {
    EXPECT_EQ(Sc("create Spooler start= auto"), 0u);
    EXPECT_EQ(Sc("create SPOOLER start= auto"), 1073u);
    EXPECT_EQ(Sc("stop Spooler"), 1062u);
    EXPECT_EQ(Sc("start Spooler"), 0u);
    EXPECT_EQ(Sc("start spooler"), 1056u);
    EXPECT_EQ(Sc("query Ghost"), 1060u);
}

TEST_F(HeartbeatRun, WithoutMailSettingsTheMessageIsWrittenToTheDebugOutput) {
    const ProgramResult result = Heartbeat();
    EXPECT_TRUE(Has(result.debugOutput, ": You must configure an email account before you can send email! -> "))
        << result.debugOutput;
    EXPECT_FALSE(Has(result.debugOutput, "Email sent!")) << result.debugOutput;
}

// The SNMP block with a real agent (Debian's snmpd on a loopback address of
// this test), its values checked against Debian's snmpget, and a silent
// target whose block stays without an answer: the answers follow the last
// block in the order they arrive.
TEST_F(HeartbeatRun, SnmpBlockCarriesTheAgentsValuesAndLeavesTheSilentTargetOpen) {
    testsupport::SmtpPeer peer(host_.Folder() / "smtp");
    ASSERT_TRUE(peer.Ready());
    MailTo(peer);
    testsupport::SnmpPeer agent("sysLocation Serverraum 3\n");
    ASSERT_TRUE(agent.Ready());
    testsupport::WriteHostFile(host_.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                               agent.Address() + " snmp-agent.test\n");
    const std::string community = testsupport::SnmpPeer::kCommunity;
    const std::string silent = testsupport::OwnLoopbackAddress(84);
    List("Heartbeat_SNMP_List.txt", "snmp-agent.test|" + community + "|1.3.6.1.2.1.1.6.0\r\n\r\n" + silent + "|" +
                                        community + "|1.3.6.1.2.1.1.6.0\r\n" + agent.Address() + "|" + community +
                                        "|1.3.6.1.2.1.1.7.0\r\n");
    const std::string location = agent.SnmpGet("1.3.6.1.2.1.1.6.0");
    ASSERT_EQ(location, "\"Serverraum 3\"");

    const ProgramResult result = Heartbeat();
    ASSERT_EQ(peer.Received().size(), 1u) << result.debugOutput;
    const std::string snmp = "\r\nsnmp-agent.test, " + community + ", 1.3.6.1.2.1.1.6.0\r\n\tResult:  " +
                             "\r\n" + silent + ", " + community + ", 1.3.6.1.2.1.1.6.0\r\n\tResult:  " +
                             "\r\n" + agent.Address() + ", " + community + ", 1.3.6.1.2.1.1.7.0\r\n\tResult:  ";
    const std::string report = ReportOf(peer.Received()[0]);
    const std::string inOrder = snmp + "Serverraum 3" + agent.SnmpGet("1.3.6.1.2.1.1.7.0");
    const std::string reversed = snmp + agent.SnmpGet("1.3.6.1.2.1.1.7.0") + "Serverraum 3";
    EXPECT_TRUE(Has(report, "Free Space is OK\r\n\r\n" + inOrder + "\r\n\r\n") ||
                Has(report, "Free Space is OK\r\n\r\n" + reversed + "\r\n\r\n"))
        << report;
}

TEST_F(HeartbeatRun, SnmpValueInTheAgentsCodePageReachesTheMailInUtf8) {
    testsupport::SnmpPeer agent("sysLocation Rack 7, Z\xFCrich\n");
    ASSERT_TRUE(agent.Ready());
    testsupport::SmtpPeer peer(host_.Folder() / "smtp");
    ASSERT_TRUE(peer.Ready());
    MailTo(peer);
    testsupport::WriteHostFile(host_.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                               agent.Address() + "\tsnmp-agent.test\r\n");
    const std::string silent = testsupport::OwnLoopbackAddress(164);
    const std::string community = testsupport::SnmpPeer::kCommunity;
    List("Heartbeat_SNMP_List.txt", "snmp-agent.test|" + community + "|1.3.6.1.2.1.1.6.0\r\n" + silent + "|" +
                                        community + "|1.3.6.1.2.1.1.5.0\r\n");

    const ProgramResult result = Heartbeat();
    ASSERT_EQ(peer.Received().size(), 1u) << result.debugOutput;
    const std::string body = testsupport::MailPart(peer.Received()[0].raw, "text/plain");
    const std::string snmp = "\r\nsnmp-agent.test, " + community + ", 1.3.6.1.2.1.1.6.0\r\n\tResult:  \r\n" + silent +
                             ", " + community + ", 1.3.6.1.2.1.1.5.0\r\n\tResult:  Rack 7, Z\xC3\xBCrich\r\n\r\n";
    EXPECT_NE(body.find(snmp), std::string::npos) << body;
    EXPECT_EQ(result.debugOutput.find("not built"), std::string::npos) << result.debugOutput;
}
