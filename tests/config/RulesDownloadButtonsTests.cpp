// The rules "Download Now" through the real window: it stores the four rules
// locations and nothing else, asks for a profile number first, and starts the
// rules update of the chosen profile against a real HTTPS server.
#include "ConfigWindowFixture.h"
#include "monitor/modDHM.h"
#include "support/SnmpPeer.h"
#include "support/StderrCapture.h"
#include "support/UpdateSite.h"

namespace configtest {
namespace {

class RulesDownloadButton : public ConfigWindowTest {
protected:
    void SetUp() override {
        ConfigWindowTest::SetUp();
        Setting("General", "Identifier", "kept");
        Open();
        Box("txtIdentifier")->setText("typed, not saved");
        for (int profile = 0; profile < 4; ++profile)
            Box(LocationBox(profile))->setText(QString("http://rules.example/%1/").arg(profile));
    }
    static std::string LocationBox(int profile) {
        return profile == 0 ? "txtRulesLoc" : "txtRulesLoc" + std::to_string(profile);
    }
};

TEST_F(RulesDownloadButton, StoresTheFourLocationsAndNothingElse) {
    C<QComboBox>("ComboProfiles")->setEditText("3");
    Click("cmdDownloadRulesNow");
    EXPECT_EQ(Stored("General", "RulesWebLoc"), "http://rules.example/0/");
    EXPECT_EQ(Stored("General", "RulesWebLoc3"), "http://rules.example/3/");
    EXPECT_EQ(Stored("General", "Identifier"), "kept");
    EXPECT_FALSE(Stored("EmailConfig", "SMTPServer").has_value());
    EXPECT_TRUE(Window()->isEnabled());
}

TEST_F(RulesDownloadButton, AProfileTextOtherThanZeroToThreeIsRefused) {
    for (const char* profile : {"", "4", " 1", "x"}) {
        C<QComboBox>("ComboProfiles")->setEditText(profile);
        testsupport::StderrCapture debug;
        Click("cmdDownloadRulesNow");
        EXPECT_NE(debug.Text().find("You must select a profile number first!"), std::string::npos) << profile;
    }
    EXPECT_FALSE(Stored("General", "RulesWebLoc").has_value());
}

TEST_F(RulesDownloadButton, StartsTheRulesUpdateOfTheChosenProfileWithoutBlocking) {
    testsupport::UpdateSite site(host_);
    ASSERT_TRUE(site.Ready());
    site.PublishArchive("/profile2.zip", {{"Downloaded.DAT", "[LogFile]\r\nSystem=1\r\n"}});
    const fs::path log = host_.Folder() / "started.log";
    testsupport::WriteStandInProgram(HostFile("Quarnel.exe"), "Quarnel.exe", log);
    Box("txtRulesLoc2")->setText(QString::fromStdString(site.Url("/profile2.zip")));
    C<QComboBox>("ComboProfiles")->setEditText("2");
    modDHM::ConnectConfigWindows();

    Click("cmdDownloadRulesNow");
    EXPECT_EQ(modDHM::iRulesProfile, 2);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return fs::exists(ListFile("Downloaded.DAT")); }, std::chrono::seconds(60)));
    EXPECT_EQ(site.RequestedPaths(), std::vector<std::string>{"/profile2.zip"});
    EXPECT_TRUE(testsupport::WaitForText(log, "Quarnel.exe")) << "the update starts the program again";
    ConfigWindow::Services() = {};
}

}  // namespace
}  // namespace configtest
