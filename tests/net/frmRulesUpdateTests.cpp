// The rules-update window against a real HTTPS site: the profile's location,
// the Rules folder replaced only by an archive that unpacks (by the built-in
// reader or by 7-Zip), the settings file an archive carries, and the restart.
#include <gtest/gtest.h>

#include <QLabel>

#include <filesystem>
#include <string>

#include "common/CommonModule.h"
#include "net/frmRulesUpdate.h"
#include "platform/api/ProfileIni.h"
#include "platform/host/Text.h"
#include "support/ShellCommand.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"
#include "support/UpdateSite.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

const std::string kApp = "C:\\Program Files\\Quarnel\\";
const std::string kSettings = "[General]\r\nShowTrayIcon=1\r\n";

class frmRulesUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        ASSERT_TRUE(site_.Ready());
        CommonModule::sINI = kApp + "Quarnel.ini";
        WriteHostFile(App("Quarnel.ini"), kSettings);
        WriteHostFile(App("Rules/Old Rule.DAT"), "[LogFile]\r\nSystem=1\r\n");
        WriteHostFile(App("Rules/Kept.DAT"), "old");
        testsupport::WriteStandInProgram(App("Quarnel.exe"), "Quarnel.exe", Log());
    }

    fs::path App(const std::string& name) const { return host_.HostOf(kApp + name); }
    fs::path Log() const { return host_.Folder() / "started.log"; }

    void SetLocation(const std::string& key, const std::string& url) {
        platform::WriteIniValue(App("Quarnel.ini"), "General", key, url);
    }

    std::string RunUpdate(std::int16_t profile) {
        testsupport::StderrCapture debug;
        auto* window = new frmRulesUpdate(profile, true);
        window->Show();
        EXPECT_FALSE(window->isVisible()) << "started from the command line the window stays hidden";
        EXPECT_TRUE(testsupport::RunUntilUnloaded(window));
        EXPECT_TRUE(testsupport::WaitForText(Log(), "Quarnel.exe \n")) << "no restart";
        fs::remove(Log());
        return debug.Text();
    }

    void ExpectOldRules() {
        EXPECT_EQ(ReadHostFile(App("Rules/Kept.DAT")), "old");
        EXPECT_TRUE(fs::exists(App("Rules/Old Rule.DAT")));
        EXPECT_FALSE(fs::exists(App("Rules_new")));
        EXPECT_FALSE(fs::exists(App("RulesUpdate.zip")));
    }

    void PlaceSevenZip() {
        const fs::path folder = App("3rd Party Tools/Ketarin");
        fs::create_directories(folder);
        fs::copy_file(fs::path(QUARNEL_BIN_DIR) / "SevenZipWrapper", folder / "7z.exe",
                      fs::copy_options::overwrite_existing);
    }

    testsupport::ProgramHost host_;
    testsupport::UpdateSite site_{host_};
};

TEST_F(frmRulesUpdateTest, EachProfileReadsItsOwnLocation) {
    const char* keys[] = {"RulesWebLoc", "RulesWebLoc1", "RulesWebLoc2", "RulesWebLoc3"};
    for (int profile = 0; profile < 4; ++profile) SetLocation(keys[profile], site_.Url("/p" + std::to_string(profile)));
    for (std::int16_t profile : {2, 3, 0, 1}) {
        RunUpdate(profile);
        EXPECT_EQ(site_.RequestedPaths().back(), "/p" + std::to_string(profile));
    }
    // A profile outside 0 to 3 has no location at all.
    const std::size_t requests = site_.RequestedPaths().size();
    for (std::int16_t profile : {4, -1}) {
        const std::string debug = RunUpdate(profile);
        EXPECT_NE(debug.find("DOWNLOAD FAILED:  RulesUpdate.zip"), std::string::npos) << debug;
    }
    EXPECT_EQ(site_.RequestedPaths().size(), requests);
    ExpectOldRules();
}

TEST_F(frmRulesUpdateTest, ArchiveReplacesTheRulesAndItsSettingsFileReplacesTheOldOne) {
    const std::string carried = "[General]\r\nShowTrayIcon=0\r\nRulesWebLoc2=" + site_.Url("/rules.zip") + "\r\n";
    site_.PublishArchive("/rules.zip", {{"Kept.DAT", "new"}, {"Sub/List.txt", "4624\r\n"}, {"quarnel.ini", carried}});
    SetLocation("RulesWebLoc2", site_.Url("/rules.zip"));
    const std::string debug = RunUpdate(2);
    EXPECT_NE(debug.find("DOWNLOAD SUCCEEDED:  RulesUpdate.zip"), std::string::npos) << debug;
    EXPECT_EQ(ReadHostFile(App("Rules/Kept.DAT")), "new");
    EXPECT_EQ(ReadHostFile(App("Rules/Sub/List.txt")), "4624\r\n");
    EXPECT_FALSE(fs::exists(App("Rules/Old Rule.DAT")));
    EXPECT_FALSE(fs::exists(App("Rules/quarnel.ini")));
    EXPECT_FALSE(fs::exists(App("RulesUpdate.zip")));
    // One settings file, the archive's, whatever the letter case of its name.
    std::vector<fs::path> settings;
    for (const auto& entry : fs::directory_iterator(App("")))
        if (platform::TextLower(entry.path().filename().string()) == "quarnel.ini") settings.push_back(entry.path());
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_EQ(ReadHostFile(settings.front()), carried);
}

TEST_F(frmRulesUpdateTest, ArchiveWithoutSettingsFileLeavesTheSettingsAlone) {
    site_.PublishArchive("/rules.zip", {{"New.DAT", "n"}});
    SetLocation("RulesWebLoc", site_.Url("/rules.zip"));
    RunUpdate(0);
    EXPECT_EQ(ReadHostFile(App("Rules/New.DAT")), "n");
    EXPECT_FALSE(fs::exists(App("Rules/Kept.DAT")));
    EXPECT_EQ(ReadHostFile(App("Quarnel.ini")).substr(0, kSettings.size()), kSettings);
}

TEST_F(frmRulesUpdateTest, FailedDownloadLeavesRulesAndSettings) {
    SetLocation("RulesWebLoc1", site_.Url("/missing.zip"));
    const std::string before = ReadHostFile(App("Quarnel.ini"));
    const std::string debug = RunUpdate(1);
    EXPECT_NE(debug.find("DOWNLOAD FAILED:  RulesUpdate.zip"), std::string::npos) << debug;
    EXPECT_TRUE(site_.WasRequested("/missing.zip"));
    ExpectOldRules();
    EXPECT_EQ(ReadHostFile(App("Quarnel.ini")), before);
}

// A corrupt download must not leave the monitor without rules: with or
// without 7-Zip a torn archive keeps the old rules; one that only 7-Zip
// reads is put in place.
TEST_F(frmRulesUpdateTest, ArchiveThatCannotBeUnpackedKeepsTheOldRules) {
    const std::string good =
        site_.PublishArchive("/good.zip", {{"Kept.DAT", "new"}, {"Quarnel.ini", "[General]\r\nShowTrayIcon=0\r\n"}});
    SetLocation("RulesWebLoc", site_.Url("/torn.zip"));
    const std::string settings = ReadHostFile(App("Quarnel.ini"));
    for (const bool withSevenZip : {false, true}) {
        if (withSevenZip) PlaceSevenZip();
        site_.PublishFile("/torn.zip", good.substr(0, 60));
        const std::string debug = RunUpdate(0);
        EXPECT_NE(debug.find("DOWNLOAD SUCCEEDED:  RulesUpdate.zip"), std::string::npos) << debug;
        EXPECT_NE(debug.find("could not be unpacked; the rules stay as they were"), std::string::npos) << debug;
        ExpectOldRules();
        EXPECT_EQ(ReadHostFile(App("Quarnel.ini")), settings);
    }
    const fs::path staging = host_.Folder() / "bzip2";
    WriteHostFile(staging / "Kept.DAT", "from 7-Zip");
    ASSERT_EQ(testsupport::ShellCommand("cd '" + staging.string() + "' && zip -q -Z bzip2 -r ../bz.zip ."), 0);
    site_.PublishFile("/torn.zip", ReadHostFile(host_.Folder() / "bz.zip"));
    RunUpdate(0);
    EXPECT_EQ(ReadHostFile(App("Rules/Kept.DAT")), "from 7-Zip");
    EXPECT_FALSE(fs::exists(App("Rules/Old Rule.DAT")));
}

}  // namespace
