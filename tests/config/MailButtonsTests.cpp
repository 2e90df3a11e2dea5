// "SEND TEST EMAIL" through the real window at a real SMTP server: the
// window saves first, then the mail module sends with what was saved.
#include "ConfigWindowFixture.h"
#include "monitor/modDHM.h"
#include "support/SmtpPeer.h"
#include "support/StderrCapture.h"

namespace configtest {
namespace {

using testsupport::SmtpPeer;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class MailButtons : public ConfigWindowTest {
protected:
    void SetUp() override {
        ConfigWindowTest::SetUp();
        modDHM::ConnectConfigWindows();
        Open();
    }
    void TypeMailSettings(const std::string& port, const std::string& to) const {
        Box("txtSMTPServer")->setText("127.0.0.1");
        C<QComboBox>("comboSMTPPort")->setEditText(QString::fromStdString(port));
        Box("txtFromEmail")->setText("quarnel@example.test");
        Box("txtToEmail")->setText(QString::fromStdString(to));
    }
};

TEST_F(MailButtons, TheTestMailIsSentWithTheSettingsJustTyped) {
    SmtpPeer peer(host_.Folder() / "smtp");
    ASSERT_TRUE(peer.Ready());
    TypeMailSettings(peer.Port(), "tech@example.test");
    Box("txtIdentifier")->setText("Front Desk PC");
    testsupport::StderrCapture debug;
    Click("cmdTestEmail");
    EXPECT_TRUE(Has(debug.Text(), "Test email sent!")) << debug.Text();
    EXPECT_EQ(Stored("EmailConfig", "ToEmail"), "tech@example.test");

    const auto mails = peer.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].rcptTo, std::vector<std::string>{"tech@example.test"});
    EXPECT_EQ(testsupport::MailHeader(mails[0].raw, "Subject"), "Disk Event - Front Desk PC");
    const std::string body = testsupport::MailPart(mails[0].raw, "text/plain");
    EXPECT_TRUE(Has(body,
                    "Event Log: N/A - Testing\r\nEvent Type: N/A - Testing\r\nEvent ID: N/A - Testing\r\n"
                    "Source Name: N/A - Testing\r\nMessage: N/A - Testing\r\n"))
        << body;
}

TEST_F(MailButtons, IncompleteSettingsOrARefusingServerAreTold) {
    struct Case {
        const char* to;
        bool serverRuns;
        const char* message;
    };
    const Case cases[] = {
        {"", true, "You must configure an email account before you can send email!"},
        {"tech@example.test", false, "Test email failed to send."},
    };
    for (const Case& c : cases) {
        SmtpPeer peer(host_.Folder() / (std::string("smtp") + (c.serverRuns ? "1" : "0")));
        ASSERT_TRUE(peer.Ready());
        const std::string port = peer.Port();
        if (!c.serverRuns) peer.Stop();
        TypeMailSettings(port, c.to);
        testsupport::StderrCapture debug;
        Click("cmdTestEmail");
        EXPECT_TRUE(Has(debug.Text(), c.message)) << debug.Text();
        EXPECT_FALSE(Has(debug.Text(), "Test email sent!"));
        EXPECT_EQ(Stored("EmailConfig", "ToEmail").value_or(""), c.to);
        if (c.serverRuns) {
            EXPECT_TRUE(peer.Received().empty());
        }
    }
}

}  // namespace
}  // namespace configtest
