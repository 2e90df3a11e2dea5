// The rules "Download Now" through the real window: it stores the four rules
// locations and nothing else, and asks for a profile number first.
#include "ConfigWindowFixture.h"
#include "support/StderrCapture.h"

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

}  // namespace
}  // namespace configtest
