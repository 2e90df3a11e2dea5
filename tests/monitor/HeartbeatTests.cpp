// The heartbeat report in process: the service lines and the automatic
// services from the host's service database, the partitions with drives of
// known sizes, the installed-applications snapshots and the new applications
// found against them, and the report mailed to the real SMTP server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "monitor/modDHM.h"
#include "monitor/modEmail.h"
#include "platform/api/Environment.h"
#include "platform/api/MessageBox.h"
#include "platform/api/ServiceControl.h"
#include "support/SmtpPeer.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kWowUninstall = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr unsigned long long kGB = 1024ull * 1024 * 1024;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Heartbeat : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        platform::ClearMessageBoxQueue();
    }
    void Set(const std::string& section, const std::string& key, const std::string& value) {
        CommonModule::WriteIniString(CommonModule::sINI, section, key, value);
    }
    fs::path ProgramFile(const std::string& name) const { return host.HostOf("C:\\Program Files\\Quarnel\\" + name); }
    void List(const std::string& name, const std::string& bytes) { WriteHostFile(ProgramFile("Rules\\" + name), bytes); }

    void Service(const std::string& name, win::DWORD startType, win::DWORD state) {
        platform::ServiceRecord record;
        record.name = name;
        record.startType = startType;
        ASSERT_EQ(platform::CreateService(record), 0u) << name;
        ASSERT_EQ(platform::SetServiceStatus(name, state), 0u) << name;
    }
    // A drive of the machine with fixed sizes; one other than C: is mapped to a folder of its own.
    void Drive(char letter, unsigned long long total, unsigned long long free) {
        if (letter != 'C') {
            const fs::path folder = host.Folder() / ("drive_" + std::string(1, letter));
            fs::create_directories(folder);
            host.WriteHostIni("Drives", std::string(1, letter), folder.string());
        }
        host.WriteHostIni("DriveSpace", std::string(1, letter), std::to_string(total) + "," + std::to_string(free));
    }
    void App(const std::string& keyPath, const std::string& name, const std::string& displayName) {
        modRegistry::fWriteValue("HKLM", keyPath + "\\" + name, "DisplayName", "S", displayName);
        modRegistry::fWriteValue("HKLM", keyPath + "\\" + name, "Publisher", "S", "Pub " + displayName);
        modRegistry::fWriteValue("HKLM", keyPath + "\\" + name, "InstallLocation", "S", "C:\\Apps\\" + displayName);
    }

    testsupport::ProgramHost host;
};

// --- Services ---------------------------------------------------------------

TEST_F(Heartbeat, ServiceLinesGiveStateAndStartTypeInListOrder) {
    Service("Spooler", win::SERVICE_AUTO_START, win::SERVICE_RUNNING);
    Service("Fax", win::SERVICE_DEMAND_START, win::SERVICE_STOPPED);
    Service("Telnet", win::SERVICE_DISABLED, win::SERVICE_PAUSED);
    Service("Dienst Ä", win::SERVICE_AUTO_START, win::SERVICE_START_PENDING);
    // Windows-1252 on disk, an empty line, a name in another case and one that is not there.
    List("Heartbeat_Services_List.txt", "spooler\r\n\r\nFax\r\nTelnet\r\nDienst \xC4\r\nNoSuchService\r\n");
    EXPECT_EQ(modDHM::ReportServices(),
              "\r\nService:  spooler is running.  (Service set to start automatically.)"
              "\r\nService:  Fax is stopped.  (Service set to start manually.)"
              "\r\nService:  Telnet is paused.  (Service is disabled!)"
              "\r\nService:  Dienst Ä is pending start.  (Service set to start automatically.)"
              "\r\nService:  NoSuchService is in an UNKNOWN state.  (Service does not appear to exist!)");
}

TEST_F(Heartbeat, ServicesSectionIsEmptyWithoutAReadableList) {
    EXPECT_EQ(modDHM::ReportServices(), "");
    fs::create_directories(ProgramFile("Rules"));
    ASSERT_EQ(::mkfifo(ProgramFile("Rules\\Heartbeat_Services_List.txt").c_str(), 0644), 0);
    EXPECT_EQ(modDHM::ReportServices(), "");
}

TEST_F(Heartbeat, AutomaticServicesThatDoNotRunAreListedUnlessSwitchedOff) {
    Service("Spooler", win::SERVICE_AUTO_START, win::SERVICE_RUNNING);
    Service("Fax", win::SERVICE_DEMAND_START, win::SERVICE_STOPPED);
    EXPECT_EQ(modDHM::ReportAutoServices(), "All automatic services are running.\r\n\r\n") << "setting missing: on";

    Service("Wuauserv", win::SERVICE_AUTO_START, win::SERVICE_STOPPED);
    Service("Bits", win::SERVICE_AUTO_START, win::SERVICE_STOP_PENDING);
    Set("Heartbeat", "ReportAutoSvcsNotRunning", "1");
    EXPECT_EQ(modDHM::ReportAutoServices(),
              "Auto-start Services currently not running:  \r\n------------------------------------------\r\n"
              "Bits - Stop Pending\r\nWuauserv - Stopped\r\n\r\n\r\n");

    Set("Heartbeat", "ReportAutoSvcsNotRunning", "0");
    EXPECT_EQ(modDHM::ReportAutoServices(), "");
}

// --- Partitions ----------------------------------------------------------------

struct DriveCase {
    unsigned long long total;
    unsigned long long free;
    const char* expected;
};

void PrintTo(const DriveCase& c, std::ostream* out) { *out << c.free << " of " << c.total; }

class DriveSpace : public Heartbeat, public testing::WithParamInterface<DriveCase> {};

TEST_P(DriveSpace, GivesSizesAndVerdict) {
    Drive('D', GetParam().total, GetParam().free);
    EXPECT_EQ(modDHM::DriveSpaceText("D:"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, DriveSpace,
    testing::Values(
        DriveCase{100 * kGB, 5 * kGB, "D: 100. GB, 5. GB available\r\nPartition has less than 10% free space available!!"},
        DriveCase{100 * kGB, 1 * kGB,
                  "D: 100. GB, 1. GB available\r\nPartition has less than 10% free space available!!\r\n"
                  "Free up disk space and/or upgrade the hard drive ASAP!!"},
        DriveCase{5 * kGB, 1 * kGB, "D: 5. GB, 1. GB available\r\nFree up disk space and/or upgrade the hard drive ASAP!!"},
        DriveCase{2000 * kGB + kGB / 2, 300 * kGB, "D: 2,000.5 GB, 300. GB available\r\nFree Space is OK"},
        DriveCase{20 * kGB, 2 * kGB, "D: 20. GB, 2. GB available\r\nFree Space is OK"},
        DriveCase{kGB / 4, kGB / 8, "D: .25 GB, .13 GB available\r\nFree up disk space and/or upgrade the hard drive ASAP!!"}));

TEST_F(Heartbeat, ADriveThatIsNotThereHasZeroSizes) {
    EXPECT_EQ(modDHM::DriveSpaceText("Q:"), "Q: . GB, . GB available\r\nFree up disk space and/or upgrade the hard drive ASAP!!");
    EXPECT_EQ(modDHM::DriveSpaceText("not a drive"),
              "not a drive . GB, . GB available\r\nFree up disk space and/or upgrade the hard drive ASAP!!");
}

TEST_F(Heartbeat, PartitionsStartWithTheSystemDriveAndFollowTheList) {
    Drive('C', 50 * kGB, 25 * kGB);
    Drive('D', 100 * kGB, 5 * kGB);
    host.WriteHostIni("International", "Decimal", ",");
    host.WriteHostIni("International", "Thousand", ".");
    List("Heartbeat_Partition_List.txt", "D:\r\n\r\nC:\r\n");
    EXPECT_EQ(modDHM::ReportPartitions(),
              "C: 50, GB, 25, GB available\r\nFree Space is OK\r\n"
              "D: 100, GB, 5, GB available\r\nPartition has less than 10% free space available!!\r\n"
              "C: 50, GB, 25, GB available\r\nFree Space is OK");
}

// --- New applications ------------------------------------------------------------

struct NewAppsCase {
    std::vector<std::string> oldApps;
    std::vector<std::string> currentApps;
    std::vector<std::string> expected;
};

void PrintTo(const NewAppsCase& c, std::ostream* out) {
    *out << c.oldApps.size() << " old, current";
    for (const std::string& name : c.currentApps) *out << " \"" << name << '"';
}

class FindNewApps : public testing::TestWithParam<NewAppsCase> {};

TEST_P(FindNewApps, KeepsUnknownNamesInCurrentOrder) {
    EXPECT_EQ(modDHM::FindNewApps(GetParam().oldApps, GetParam().currentApps), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindNewApps,
    testing::Values(NewAppsCase{{}, {"Zip", "App"}, {"Zip", "App"}},
                    NewAppsCase{{"App", "Zip"}, {"Zip", "New", "App"}, {"New"}},
                    NewAppsCase{{"app"}, {"App"}, {"App"}},
                    NewAppsCase{{}, {"KB2918614", "kb1", "Kb2", "kB3", "{90140000-0011-0000-0000-0000000FF1CE}"}, {}},
                    NewAppsCase{{}, {"{90140000-0011-0000-0000-00000000ff1ce}", "K", "Skb", ""},
                                {"{90140000-0011-0000-0000-00000000ff1ce}", "K", "Skb"}}));

TEST_F(Heartbeat, FirstReportTakesTheBaselineAndTheNextReportsEachNewAppOnce) {
    App(kUninstall, "Editor", "Editor");
    App(kUninstall, "KB123456", "Security Update");
    App(kWowUninstall, "Old32", "Old 32-bit tool");
    EXPECT_EQ(modDHM::ReportNewApps(), "");
    EXPECT_EQ(ReadHostFile(ProgramFile("InstalledApps.txt")), "Editor\r\n");
    EXPECT_EQ(ReadHostFile(ProgramFile("InstalledAppsWow6432.txt")), "Old32\r\n");

    App(kUninstall, "Äpfel Büro 日本", "Äpfel Büro");
    App(kUninstall, "{90140000-0011-0000-0000-0000000FF1CE}", "Office Update");
    App(kWowUninstall, "New32", "New 32-bit tool");
    modRegistry::fWriteValue("HKLM", std::string(kUninstall) + "\\Bare", "Comments", "S", "no names");
    EXPECT_EQ(modDHM::ReportNewApps(),
              "Newly Installed Applications:\r\n-----------------------------\r\n"
              "DisplayName:  \r\nPublisher:  \r\nInstallLocation:  \r\nRegKey:  Bare\r\n-----------------------------\r\n"
              "DisplayName:  Äpfel Büro\r\nPublisher:  Pub Äpfel Büro\r\nInstallLocation:  C:\\Apps\\Äpfel Büro\r\n"
              "RegKey:  Äpfel Büro 日本\r\n-----------------------------\r\n"
              "DisplayName:  New 32-bit tool\r\nPublisher:  Pub New 32-bit tool\r\n"
              "InstallLocation:  C:\\Apps\\New 32-bit tool\r\nRegKey:  New32\r\n-----------------------------\r\n");
    EXPECT_EQ(modDHM::ReportNewApps(), "");
}

TEST_F(Heartbeat, SnapshotFilesAreWrittenEmptyWithoutAnUninstallKey) {
    WriteHostFile(ProgramFile("InstalledApps.txt"), "Gone\r\n");
    modDHM::SaveAppsSnapshot();
    EXPECT_EQ(ReadHostFile(ProgramFile("InstalledApps.txt")), "");
    ASSERT_TRUE(fs::exists(ProgramFile("InstalledAppsWow6432.txt")));
    EXPECT_EQ(ReadHostFile(ProgramFile("InstalledAppsWow6432.txt")), "");
    // With the baseline kept, the first application installed is reported.
    App(kUninstall, "First", "First app");
    EXPECT_TRUE(Has(modDHM::ReportNewApps(), "RegKey:  First\r\n"));
}

TEST_F(Heartbeat, ThirtyTwoBitWindowsKeepsOnlyTheOneSnapshot) {
    host.WriteHostIni("Machine", "Is64Bit", "0");
    App(kUninstall, "Editor", "Editor");
    modDHM::SaveAppsSnapshot();
    EXPECT_EQ(ReadHostFile(ProgramFile("InstalledApps.txt")), "Editor\r\n");
    EXPECT_FALSE(fs::exists(ProgramFile("InstalledAppsWow6432.txt")));
}

TEST_F(Heartbeat, ASnapshotInPlaceOfAFifoIsWrittenWithoutBlocking) {
    App(kUninstall, "Editor", "Editor");
    ASSERT_EQ(::mkfifo(ProgramFile("InstalledApps.txt").c_str(), 0644), 0);
    modDHM::SaveAppsSnapshot();
    EXPECT_EQ(ReadHostFile(ProgramFile("InstalledApps.txt")), "Editor\r\n");
}

// --- The whole report ---------------------------------------------------------------

TEST_F(Heartbeat, ReportIsMailedWithItsSectionsInOrder) {
    testsupport::SmtpPeer peer(host.Folder() / "peer");
    ASSERT_TRUE(peer.Ready());
    Set("EmailConfig", "FromEmail", "quarnel@example.test");
    Set("EmailConfig", "ToEmail", "tech@example.test");
    Set("EmailConfig", "SMTPServer", "127.0.0.1");
    Set("EmailConfig", "SMTPPort", peer.Port());
    Set("Heartbeat", "ReportAutoSvcsNotRunning", "0");
    Service("QuarnelService", win::SERVICE_AUTO_START, win::SERVICE_RUNNING);
    Service("Spooler", win::SERVICE_AUTO_START, win::SERVICE_RUNNING);
    List("Heartbeat_Services_List.txt", "Spooler\r\n");
    Drive('C', 50 * kGB, 25 * kGB);

    testsupport::StderrCapture debug;
    modDHM::SendHeartbeat();
    ASSERT_TRUE(Has(debug.Text(), "\tEmail sent!")) << debug.Text();
    const auto mails = peer.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(testsupport::MailHeader(mails[0].raw, "Subject").rfind("Heartbeat", 0), 0u);
    const std::string body = testsupport::MailPart(mails[0].raw, "text/plain");
    // No SNMP list and no applications option: their parts are empty, the line breaks stay.
    const std::regex expected(
        "Quarnel Service is running\\.\r\n\r\nService:  Spooler is running\\.  \\(Service set to start automatically\\.\\)"
        "\r\n\r\nSystem Uptime:  \\d+ Day\\(s\\), \\d+ Hour\\(s\\) and \\d+ Minutes\r\n\r\n"
        "C: 50\\. GB, 25\\. GB available\r\nFree Space is OK\r\n\r\n\r\n\r\n\r\n\r\nThis message sent by .*");
    EXPECT_TRUE(std::regex_search(body, expected)) << body;
}

TEST_F(Heartbeat, ReportWithoutMailSettingsShowsTheMessageAndSendsNothing) {
    testsupport::StderrCapture debug;
    modDHM::SendHeartbeat();
    EXPECT_TRUE(Has(debug.Text(), ": You must configure an email account before you can send email! -> ")) << debug.Text();
    EXPECT_FALSE(Has(debug.Text(), "Email sent!")) << debug.Text();
}

}  // namespace
