// Mail through the real SMTP server of the tests: plain, with a login, with
// STARTTLS and implicit TLS against the tests' own CA, and the message as it
// arrives field by field.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "monitor/modDHM.h"
#include "monitor/modEmail.h"
#include "platform/api/Environment.h"
#include <QByteArray>
#include "net/modBase85.h"
#include "platform/api/MessageBox.h"
#include "support/SmtpPeer.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"
#include "support/TestCa.h"

namespace {

namespace fs = std::filesystem;
using testsupport::MailHeader;
using testsupport::MailPart;
using testsupport::SmtpPeer;

// The settings are loaded by the callers of SendEmail.
bool LoadAndSend(const std::string& subject, const std::string& body, const std::string& attachment) {
    modEmail::LoadEmailConfig();
    return modEmail::SendEmail(subject, body, attachment);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool IsAsciiText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void ResetMailValues() {
    for (std::string* text : {&modEmail::sFromEmail, &modEmail::sToEmail, &modEmail::sSMTPServer, &modEmail::sSMTPPort,
                              &modEmail::sSMTPUserName, &modEmail::sSMTPPassword, &modEmail::sMailIdentifier})
        text->clear();
    modEmail::bSMTPAuth = modEmail::bUseSSL = modEmail::bMailClientPrompt = false;
}

class Mail : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        CommonModule::sINI = CommonModule::AppPath() + "Quarnel.ini";
        ResetMailValues();
        platform::ClearMessageBoxQueue();
    }
    void Set(const std::string& section, const std::string& key, const std::string& value) {
        CommonModule::WriteIniString(CommonModule::sINI, section, key, value);
    }
    void Configure(const std::string& port, const std::string& to = "tech@example.test") {
        Set("EmailConfig", "FromEmail", "quarnel@example.test");
        Set("EmailConfig", "ToEmail", to);
        Set("EmailConfig", "SMTPServer", "127.0.0.1");
        Set("EmailConfig", "SMTPPort", port);
    }
    testsupport::ProgramHost host;
    fs::path Peers() const { return host.Folder() / "peer"; }
};

TEST_F(Mail, PlainSendCarriesClientBlockComputerLineBodyFooterAndAttachments) {
    SmtpPeer peer(Peers());
    ASSERT_TRUE(peer.Ready());
    Configure(peer.Port(), "tech@example.test; boss@example.test,  third@example.test");
    Set("General", "ClientPrompt", "1");
    modRegistry::fWriteValue("HKLM", "Software\\Brindle Works\\Quarnel", "Client Name", "S", "ACME");
    modRegistry::fWriteValue("HKLM", "Software\\Brindle Works\\Quarnel", "PC Desc", "S", "Front desk");
    Set("EmailConfig", "SMTPUserName", "someone");  // authentication stays off
    const fs::path folder = host.HostOf("C:\\Reports");
    for (const char* name : {"a.txt", "b.log", "c.bin"}) testsupport::WriteHostFile(folder / name, std::string(name) + "\x01\x02");
    fs::create_directories(folder / "sub");
    testsupport::WriteHostFile(folder / "sub" / "deep.txt", "not attached");

    testsupport::StderrCapture debug;
    modEmail::SendAlertEmail("Heartbeat", "Line one\r\n.\r\nÄpfel", "C:\\Reports");
    EXPECT_TRUE(Has(debug.Text(), "\tEmail sent!")) << debug.Text();

    const auto mails = peer.Received();
    ASSERT_EQ(mails.size(), 1u);
    const auto& mail = mails[0];
    EXPECT_EQ(mail.rcptTo, (std::vector<std::string>{"tech@example.test", "boss@example.test", "third@example.test"}));
    EXPECT_EQ(mail.authUser, "");
    EXPECT_EQ(MailHeader(mail.raw, "To"), "tech@example.test; boss@example.test,  third@example.test");
    EXPECT_EQ(MailHeader(mail.raw, "Subject"), "Heartbeat - ACME");
    EXPECT_FALSE(MailHeader(mail.raw, "Date").empty());
    EXPECT_FALSE(MailHeader(mail.raw, "Message-ID").empty());
    const std::string body = MailPart(mail.raw, "text/plain");
    EXPECT_EQ(body, "Client Name:  ACME\r\nClient Phone:  \r\nPC Description:  Front desk\r\nComputer Name:  " +
                        vb::Environ("computername") + "\r\n\r\nLine one\r\n.\r\nÄpfel\r\n\r\nThis message sent by " +
                        modDHM::GetAppTitle());
    EXPECT_EQ(testsupport::MailAttachmentNames(mail.raw), (std::vector<std::string>{"a.txt", "b.log", "c.bin"}));
    EXPECT_EQ(MailPart(mail.raw, "application/octet-stream", 1), std::string("b.log\x01\x02"));
}

TEST_F(Mail, IdentifierBlockAndHeaderValuesWithoutLineBreaks) {
    SmtpPeer peer(Peers());
    ASSERT_TRUE(peer.Ready());
    Configure(peer.Port());
    Set("General", "ClientPrompt", "0");
    ASSERT_TRUE(LoadAndSend("Über\r\nBcc: evil@example.test", "text", ""));
    const auto mails = peer.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].rcptTo, (std::vector<std::string>{"tech@example.test"}));
    EXPECT_EQ(MailHeader(mails[0].raw, "Bcc"), "");
    EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(
                  MailHeader(mails[0].raw, "Subject").substr(10, MailHeader(mails[0].raw, "Subject").size() - 12)))
                  .toStdString(),
              "Über  Bcc: evil@example.test - ");
    EXPECT_TRUE(Has(MailPart(mails[0].raw, "text/plain"), "Identifier:  \r\nComputer Name:  "));
}

// How Python's mail package reads a message, encoded words as RFC 2047 has
// them read: the subject, then one line "display name|address" for each
// address of From and To.
std::string AsPythonReadsIt(const fs::path& folder, const std::string& raw) {
    testsupport::WriteHostFile(folder / "read.eml", raw);
    testsupport::WriteHostFile(folder / "read.py",
                               "import sys, email, email.header, email.utils\n"
                               "m = email.message_from_binary_file(open(sys.argv[1], 'rb'))\n"
                               "text = lambda value: str(email.header.make_header(email.header.decode_header(value)))\n"
                               "print(text(m['subject']))\n"
                               "for name, address in email.utils.getaddresses(m.get_all('from') + m.get_all('to')):\n"
                               "    print(text(name) + '|' + address)\n");
    const std::string command = std::string(testsupport::kSystemPython) + " '" + (folder / "read.py").string() + "' '" +
                                (folder / "read.eml").string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string output;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe)) output += chunk;
    ::pclose(pipe);
    return output;
}

// Lines of the header holding encoded words are at most 76 characters, each
// encoded word at most 75.
void ExpectEncodedWordsFit(const std::string& raw) {
    std::istringstream lines(raw.substr(0, raw.find("\r\n\r\n")));
    const std::regex word(R"(=\?[^?\s]+\?[BbQq]\?[^?\s]*\?=)");
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find("=?") == std::string::npos) continue;
        EXPECT_LE(line.size(), 76u) << line;
        for (std::sregex_iterator w(line.begin(), line.end(), word), end; w != end; ++w)
            EXPECT_LE(w->length(), 75) << w->str();
    }
}

TEST_F(Mail, QuotedNamesKeepTheirCommasAndNonAsciiHeadersAreEncodedWords) {
    SmtpPeer peer(Peers());
    ASSERT_TRUE(peer.Ready());
    const std::string longName = "Zoë Ångström-Øvergård de la Fontaine-Vasconcelos y Saavedra";
    const std::string longerWord = "Größenwahnsinnigkeitsüberwachungsbehörde Süd";
    Configure(peer.Port(), "\"Doe, John\" <john@example.test>, \"Müller, Jörg\" <joerg@example.test>,  " + longName +
                               " <zoe@example.test>, " + longerWord + " <amt@example.test>");
    Set("EmailConfig", "FromEmail", "\"Quarnel Überwachung\" <quarnel@example.test>");
    Set("General", "ClientPrompt", "0");
    Set("General", "Identifier", "Zweigstelle Köln");
    const std::string subject = "Wöchentlicher Bericht für die Zweigstelle Köln-Ehrenfeld: alle Dienste laufen, "
                                "der Speicher wird knapp";
    ASSERT_TRUE(LoadAndSend(subject, "text", ""));

    const auto mails = peer.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].mailFrom, "quarnel@example.test");
    EXPECT_EQ(mails[0].rcptTo, (std::vector<std::string>{"john@example.test", "joerg@example.test", "zoe@example.test",
                                                          "amt@example.test"}));
    EXPECT_TRUE(IsAsciiText(mails[0].raw.substr(0, mails[0].raw.find("\r\n\r\n"))));
    ExpectEncodedWordsFit(mails[0].raw);
    EXPECT_EQ(AsPythonReadsIt(host.Folder(), mails[0].raw),
              subject + " - Zweigstelle Köln\n"
                        "Quarnel Überwachung|quarnel@example.test\n"
                        "Doe, John|john@example.test\n"
                        "Müller, Jörg|joerg@example.test\n" +
                  longName + "|zoe@example.test\n" + longerWord + "|amt@example.test\n");
}

TEST_F(Mail, LoginOnlyWhenAuthenticationIsOnAndWrongPasswordFails) {
    SmtpPeer peer(Peers(), {"--auth", "tech:s3cret pass"});
    ASSERT_TRUE(peer.Ready());
    Configure(peer.Port());
    Set("EmailConfig", "SMTPUserName", "tech");
    Set("EmailConfig", "SMTPPassword", modBase85::XorEncode("wrong", modBase85::kMailPasswordKey));
    Set("EmailConfig", "SMTPAuth", "1");
    testsupport::StderrCapture debug;
    EXPECT_FALSE(LoadAndSend("Test", "x", ""));
    Set("EmailConfig", "SMTPPassword", modBase85::XorEncode("s3cret pass", modBase85::kMailPasswordKey));
    EXPECT_TRUE(LoadAndSend("Test", "x", ""));
    const auto mails = peer.Received();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].authUser, "tech");
    EXPECT_TRUE(Has(debug.Text(), "SendEmail: (Resuming after error)")) << debug.Text();
    EXPECT_FALSE(Has(debug.Text(), "s3cret")) << debug.Text();

    // A setting cleared later keeps the value of the earlier load, so the
    // login still happens.
    Set("EmailConfig", "SMTPAuth", "0");
    EXPECT_TRUE(LoadAndSend("Again", "x", ""));
    ASSERT_EQ(peer.Received().size(), 2u);
    EXPECT_EQ(peer.Received()[1].authUser, "tech");
}

TEST_F(Mail, TlsIsVerifiedAgainstTheHostsExtraCa) {
    const auto certificates = testsupport::MakeTestCertificates(host.Folder() / "ca");
    ASSERT_TRUE(certificates.ok);
    struct Case {
        std::vector<std::string> serverArguments;
        bool trusted;
        bool useSsl;
        bool delivered;
    };
    const std::string cert = certificates.serverCertificate.string(), key = certificates.serverKey.string();
    const std::vector<Case> cases = {
        {{"--starttls", cert, key}, true, true, true},
        {{"--starttls", cert, key}, false, true, false},  // not in any trusted store
        {{"--starttls", cert, key}, true, false, false},  // the server insists on STARTTLS
        {{}, true, true, false},                          // SSL wanted, the server offers none
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        ResetMailValues();
        SmtpPeer peer(Peers() / std::to_string(n++), c.serverArguments);
        ASSERT_TRUE(peer.Ready());
        fs::remove(host.Folder() / "host.ini");
        if (c.trusted) host.WriteHostIni("Internet", "CAFile", certificates.caCertificate.string());
        Configure(peer.Port());
        Set("EmailConfig", "UseSSL", c.useSsl ? "1" : "0");
        EXPECT_EQ(LoadAndSend("TLS", "x", ""), c.delivered);
        EXPECT_EQ(peer.Received().size(), c.delivered ? 1u : 0u);
    }
}

TEST_F(Mail, ImplicitTlsOnPort465) {
    const auto certificates = testsupport::MakeTestCertificates(host.Folder() / "ca");
    ASSERT_TRUE(certificates.ok);
    host.WriteHostIni("Internet", "CAFile", certificates.caCertificate.string());
    SmtpPeer peer(Peers(), {"--host", "127.0.0.46", "--port", "465", "--tls", certificates.serverCertificate.string(),
                            certificates.serverKey.string()});
    if (!peer.Ready()) GTEST_SKIP() << "port 465 cannot be bound here";
    Configure("465");
    Set("EmailConfig", "SMTPServer", "127.0.0.46");
    Set("EmailConfig", "UseSSL", "1");
    EXPECT_TRUE(LoadAndSend("TLS", "x", ""));
    EXPECT_EQ(peer.Received().size(), 1u);
}

TEST_F(Mail, IncompleteSettingsBadPortsAndMissingAttachments) {
    testsupport::StderrCapture debug;
    modEmail::SendAlertEmail("Heartbeat", "x", "");
    EXPECT_TRUE(Has(debug.Text(), "You must configure an email account before you can send email!")) << debug.Text();

    SmtpPeer peer(Peers());
    ASSERT_TRUE(peer.Ready());
    Configure(peer.Port());
    modEmail::SendAlertEmail("Heartbeat", "x", "C:\\NoSuchFile.txt");
    EXPECT_TRUE(peer.Received().empty());
    EXPECT_FALSE(Has(debug.Text(), "Email failed"));

    for (const char* port : {"0", "65536", "-1", "25x"}) {
        Set("EmailConfig", "SMTPPort", port);
        EXPECT_FALSE(LoadAndSend("Bad port", "x", "")) << port;
    }
    peer.Stop();
    Set("EmailConfig", "SMTPPort", peer.Port());
    modEmail::SendAlertEmail("Heartbeat", "x", "");
    EXPECT_TRUE(Has(debug.Text(), "\tEmail failed to send.")) << debug.Text();
}

TEST_F(Mail, UndecipherablePasswordIsLoggedWithoutItsValue) {
    Configure("25");
    Set("EmailConfig", "SMTPPassword", "!!");
    testsupport::StderrCapture debug;
    modEmail::LoadEmailConfig();
    EXPECT_EQ(modEmail::sSMTPPassword, "");
    EXPECT_TRUE(Has(debug.Text(), "SMTPPassword cannot be deciphered")) << debug.Text();
    EXPECT_FALSE(Has(debug.Text(), "!!")) << debug.Text();
}

}  // namespace
