// The cloud buttons and Save & Zip through the real window: the upload and
// the download against a real FTP server named by the registry, and the
// configuration archive on the public desktop.
#include <QTreeWidget>

#include "ConfigWindowFixture.h"
#include "common/modRegistry.h"
#include "config/frmConfig.h"
#include "monitor/modDHM.h"
#include "net/modBase85.h"
#include "net/modCloud.h"
#include "net/modZip.h"
#include "platform/api/FileApi.h"
#include "support/FtpPeer.h"
#include "support/StderrCapture.h"

namespace configtest {
namespace {

using testsupport::FtpPeer;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CloudButtons : public ConfigWindowTest {
protected:
    void SetUp() override {
        ConfigWindowTest::SetUp();
        host_.WriteHostIni("Scheduler", "Crontab", "0");
        host_.WriteHostIni("Scheduler", "Autostart", "0");
        modDHM::ConnectConfigWindows();
    }

    ConfigWindow* OpenConfig() {
        if (window_) delete window_.data();
        window_ = new frmConfig("Quarnel  v1.0", false);
        return window_;
    }
    void SetCloud(const std::string& password) const {
        Box("txtCloudUser")->setText(FtpPeer::kUser);
        Box("txtCloudPass")->setText(QString::fromStdString(password));
    }
    void SetServer(const std::string& address) const {
        modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, modCloud::kCloudServerValue, "S", address);
    }
    fs::path Remote(const std::string& name) const { return server_.Root() / "Quarnel" / name; }
    void AddSnmp(const std::string& host) const {
        Box("txtSNMPHost")->setText(QString::fromStdString(host));
        Click("cmdAddSNMP");
    }
    std::vector<std::string> SnmpHosts() const {
        std::vector<std::string> hosts;
        auto* view = C<QTreeWidget>("lvHeartbeatSNMP");
        for (int i = 0; i < view->topLevelItemCount(); ++i) hosts.push_back(view->topLevelItem(i)->text(0).toStdString());
        return hosts;
    }
    bool NoArchiveLeft() const {
        return !fs::exists(HostFile("QuarnelConfig.zip")) && !fs::exists(HostFile("Rules.zip"));
    }

    FtpPeer server_{host_.Folder() / "ftproot"};
};

// The upload saves first and sends both archives; the download brings them
// back and the window then shows what arrived, in place of what it showed.
TEST_F(CloudButtons, UploadThenDownloadBringsTheSavedConfigurationBackIntoTheWindow) {
    ASSERT_TRUE(server_.Ready());
    SetServer(server_.Address());
    WriteHostFile(ListFile("Disk.DAT"), "[EventDetail]\r\nEventID=7\r\n");
    OpenConfig();
    SetCloud(FtpPeer::kPassword);
    Box("txtIdentifier")->setText("Cloud PC");
    Box("txtSchTime")->setText("04:00:00");
    List("listEventIDEx")->addItem("4624");
    AddSnmp("printer.example");
    {
        testsupport::StderrCapture debug;
        Click("Command5");
        EXPECT_TRUE(Has(debug.Text(), "Done!")) << debug.Text();
    }
    ASSERT_TRUE(fs::exists(Remote("QuarnelConfig.zip")));
    ASSERT_TRUE(fs::exists(Remote("Rules.zip")));
    EXPECT_TRUE(NoArchiveLeft());
    EXPECT_EQ(Stored("General", "Identifier"), "Cloud PC");

    // Meanwhile this machine changes: other lists, another rule, other settings.
    fs::remove(ListFile("Disk.DAT"));
    WriteHostFile(ListFile("Local.DAT"), "[EventDetail]\r\nEventID=8\r\n");
    Setting("General", "Identifier", "Local PC");
    List("listEventIDEx")->addItem("1111");
    AddSnmp("local.example");
    Box("txtIdentifier")->setText("Unsaved");
    {
        testsupport::StderrCapture debug;
        Click("Command4");
        EXPECT_TRUE(Has(debug.Text(), "Done!")) << debug.Text();
    }
    EXPECT_EQ(Text(Window(), "txtIdentifier"), "Cloud PC");
    EXPECT_EQ(Text(Window(), "txtSchTime"), "04:00:00");
    EXPECT_EQ(Entries(Window(), "listEventIDEx"), std::vector<std::string>{"4624"});
    EXPECT_EQ(SnmpHosts(), std::vector<std::string>{"printer.example"});
    // The rules archive stores its names in lower case.
    EXPECT_TRUE(CommonModule::DoesFileExist(kProgramFolder + "Rules\\Disk.DAT"));
    const std::vector<std::string> rules = Entries(Window(), "listRules");
    EXPECT_NE(std::find(rules.begin(), rules.end(), "disk"), rules.end());
    EXPECT_TRUE(NoArchiveLeft());
    EXPECT_TRUE(Window()->isEnabled());
}

// A failure is told as such, never as "Done!", and the window keeps what it shows.
TEST_F(CloudButtons, AFailedTransferSaysWhatFailedAndChangesNothing) {
    ASSERT_TRUE(server_.Ready());
    struct Case {
        const char* password;
        bool serverSet;
        const char* message;
    };
    const Case cases[] = {
        {"wrong password", true, "Could not connect to the cloud server."},
        {FtpPeer::kPassword, false, "No cloud server is set up on this computer."},
        {"", true, "Enter your Nimbrel username and password first!"},
    };
    OpenConfig();
    List("listEventIDEx")->addItem("1111");
    for (const Case& c : cases) {
        SetServer(c.serverSet ? server_.Address() : "");
        SetCloud(c.password);
        for (const char* button : {"Command5", "Command4"}) {
            testsupport::StderrCapture debug;
            Click(button);
            EXPECT_TRUE(Has(debug.Text(), c.message)) << button << ": " << debug.Text();
            EXPECT_FALSE(Has(debug.Text(), "Done!")) << button;
        }
        EXPECT_EQ(Entries(Window(), "listEventIDEx"), std::vector<std::string>{"1111"});
        EXPECT_TRUE(NoArchiveLeft());
    }
    EXPECT_FALSE(fs::exists(Remote("QuarnelConfig.zip")));
}

// The twin starts the program again instead of reloading, and shows nothing.
TEST_F(CloudButtons, TheTwinUnloadsAfterADownload) {
    ASSERT_TRUE(server_.Ready());
    SetServer(server_.Address());
    Open();
    SetCloud(FtpPeer::kPassword);
    Click("Command5");  // stores the credentials and sends the current configuration
    ASSERT_TRUE(fs::exists(Remote("QuarnelConfig.zip")));
    testsupport::StderrCapture debug;
    Click("Command4");
    RunDeferredDeletes();
    EXPECT_TRUE(window_.isNull());
    EXPECT_FALSE(Has(debug.Text(), "Done!")) << debug.Text();
}

// A server whose configuration archive arrives and whose rules archive is
// refused after the transfer began.
class CloudButtonsRulesRefused : public CloudButtons {
protected:
    void SetUp() override {
        CloudButtons::SetUp();
        const std::string staged = kProgramFolder + "Staged\\Quarnel.ini";
        WriteHostFile(host_.HostOf(staged), "[General]\r\nIdentifier=From the cloud\r\n");
        modZip::ZipSingleFile(staged, kProgramFolder + "Staged\\QuarnelConfig.zip");
        fs::create_directories(refusing_.Root() / "Quarnel");
        fs::copy_file(HostFile("Staged\\QuarnelConfig.zip"), refusing_.Root() / "Quarnel" / "QuarnelConfig.zip");
        WriteHostFile(refusing_.Root() / "Quarnel" / "Rules.zip", "never arrives");
        fs::remove_all(HostFile("Staged"));
        ASSERT_TRUE(refusing_.Ready());
        SetServer(refusing_.Address());
        Setting("General", "Identifier", "Before");
        Setting("Nimbrel", "UserName", FtpPeer::kUser);
        Setting("Nimbrel", "Password", modBase85::XorEncode(FtpPeer::kPassword, modBase85::kMailPasswordKey));
        WriteHostFile(ListFile("Old.DAT"), "[EventDetail]\r\nEventID=9\r\n");
    }
    // The message names the rules and says they stay, and claims no success.
    static void ExpectRulesFailureTold(const std::string& debug) {
        EXPECT_TRUE(Has(debug, "Your rules could not be downloaded from the cloud server")) << debug;
        EXPECT_FALSE(Has(debug, "Done!")) << debug;
    }

    testsupport::ScriptedFtpPeer refusing_{host_.Folder() / "refusing", {"retr-451:Rules.zip"}};
};

// What arrived is what the window shows and saves; the rules stay as they were.
TEST_F(CloudButtonsRulesRefused, TheWindowLoadsTheSettingsThatArrivedAndSaysTheRulesDidNot) {
    OpenConfig();
    ASSERT_EQ(Text(Window(), "txtIdentifier"), "Before");
    {
        testsupport::StderrCapture debug;
        Click("Command4");
        ExpectRulesFailureTold(debug.Text());
    }
    EXPECT_EQ(Text(Window(), "txtIdentifier"), "From the cloud");
    EXPECT_EQ(ReadHostFile(ListFile("Old.DAT")), "[EventDetail]\r\nEventID=9\r\n");
    EXPECT_TRUE(NoArchiveLeft());
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_EQ(Stored("General", "Identifier"), "From the cloud");
}

// The twin loads what arrived the way it loads a download: by starting the program again.
TEST_F(CloudButtonsRulesRefused, TheTwinStartsAgainWithWhatArrivedAndSaysTheRulesDidNot) {
    Open();
    testsupport::StderrCapture debug;
    Click("Command4");
    RunDeferredDeletes();
    ExpectRulesFailureTold(debug.Text());
    EXPECT_TRUE(window_.isNull());
    EXPECT_EQ(Stored("General", "Identifier"), "From the cloud");
}

TEST_F(CloudButtons, SaveAndZipLeavesTheArchiveOnThePublicDesktopOnly) {
    WriteHostFile(ListFile("Disk.DAT"), "[EventDetail]\r\nEventID=7\r\n");
    const std::string desktopArchive = "C:\\Users\\Public\\Desktop\\QuarnelConfig.zip";
    WriteHostFile(host_.HostOf(desktopArchive), "an older archive");
    OpenConfig();
    Box("txtIdentifier")->setText("Zipped PC");
    testsupport::StderrCapture debug;
    static_cast<frmConfig*>(Window())->SideBar_SubItemClick(3, 1);
    EXPECT_TRUE(Has(debug.Text(), "Your config is saved to your desktop.")) << debug.Text();
    EXPECT_TRUE(NoArchiveLeft());
    EXPECT_FALSE(window_.isNull());

    const std::string unpacked = kProgramFolder + "Unpacked\\";
    ASSERT_TRUE(modZip::UnzipFile(desktopArchive, unpacked, true));
    EXPECT_TRUE(Has(ReadHostFile(HostFile("Unpacked\\Quarnel.ini")), "Identifier=Zipped PC"));
    ASSERT_TRUE(modZip::UnzipFile(unpacked + "Rules.zip", unpacked + "Rules\\", true));
    EXPECT_EQ(ReadHostFile(HostFile("Unpacked\\Rules\\disk.dat")), "[EventDetail]\r\nEventID=7\r\n");
}

TEST_F(CloudButtons, ASaveThatFailsMakesNoArchiveAndClaimsNoSuccess) {
    Setting("General", "Identifier", "Before");
    win::SetFileAttributesA(CommonModule::sINI, win::FILE_ATTRIBUTE_READONLY);
    OpenConfig();
    testsupport::StderrCapture debug;
    Window()->SaveAndZipConfig();
    EXPECT_FALSE(Has(debug.Text(), "Your config is saved to your desktop.")) << debug.Text();
    EXPECT_FALSE(fs::exists(host_.HostOf("C:\\Users\\Public\\Desktop\\QuarnelConfig.zip")));
    EXPECT_TRUE(NoArchiveLeft());
    win::SetFileAttributesA(CommonModule::sINI, win::FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace configtest
