#include "modEmail.h"

#include <vector>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "config/frmClientInfo.h"
#include "modDHM.h"
#include "net/modBase85.h"
#include "platform/api/CdoMessage.h"
#include "platform/api/Environment.h"
#include "platform/api/MessageBox.h"

namespace modEmail {

std::string sFromEmail;
std::string sToEmail;
std::string sSMTPServer;
std::string sSMTPPort;
std::string sSMTPUserName;
std::string sSMTPPassword;
bool bSMTPAuth = false;
bool bUseSSL = false;
std::string sMailClientName;
std::string sMailClientPhone;
std::string sMailPCDesc;
bool bMailClientPrompt = false;
std::string sMailIdentifier;

namespace {

constexpr const char* kLineBreak = "\r\n";

std::string ReadSetting(const std::string& section, const std::string& key) {
    return CommonModule::ReadIniString(CommonModule::sINI, section, key);
}

void LoadText(const std::string& section, const std::string& key, std::string& target) {
    const std::string value = ReadSetting(section, key);
    if (!value.empty()) target = value;
}

void LoadSwitch(const std::string& section, const std::string& key, bool& target) {
    const std::string value = ReadSetting(section, key);
    if (!value.empty() && modDHM::IntegerValueIsOne(value)) target = true;
}

void LoadPassword() {
    const std::string stored = ReadSetting("EmailConfig", "SMTPPassword");
    if (stored.empty()) return;
    try {
        sSMTPPassword = modBase85::XorDecode(stored, modBase85::kMailPasswordKey);
    } catch (const RuntimeError& error) {
        // The value itself stays out of the log.
        CommonModule::DPrint("modEmail\\LoadEmailConfig: SMTPPassword cannot be deciphered", error.Number(),
                             error.Description());
        sSMTPPassword.clear();
    }
}

std::string ClientValue(const char* valueName) {
    vb::Variant value;
    modRegistry::fReadValue(kClientInfoRootKey, kClientInfoKeyPath, valueName, "S", "", value);
    return value.ToText();
}

std::string ClientBlock() {
    if (bMailClientPrompt)
        return "Client Name:  " + sMailClientName + kLineBreak + "Client Phone:  " + sMailClientPhone + kLineBreak +
               "PC Description:  " + sMailPCDesc + kLineBreak;
    return "Identifier:  " + sMailIdentifier + kLineBreak;
}

std::vector<std::string> AttachmentFiles(const std::string& sAttachment) {
    if (sAttachment.empty()) return {};
    if (CommonModule::DoesFileExist(sAttachment)) return {sAttachment};
    std::vector<std::string> files;
    if (CommonModule::DoesDirExist(sAttachment)) CommonModule::FindFiles(sAttachment, "*.*", files, false);
    return files;
}

// Runs one step of SendEmail; an error is logged, marks the send failed, and
// the next step still runs.
template <typename Step>
void ResumeAfterError(bool& result, Step step) {
    try {
        step();
    } catch (const RuntimeError& error) {
        CommonModule::DPrint("SendEmail: (Resuming after error)", error.Number(), error.Description());
        result = false;
    }
}

bool PrepareSend(const std::string& sAttachment) {
    if (!LoadEmailConfig()) {
        vb::MsgBox("You must configure an email account before you can send email!", vb::vbOKOnly,
                   modDHM::GetAppTitle());
        return false;
    }
    return sAttachment.empty() || CommonModule::DoesFileExist(sAttachment) || CommonModule::DoesDirExist(sAttachment);
}

}  // namespace

bool LoadEmailConfig() {
    LoadText("EmailConfig", "FromEmail", sFromEmail);
    LoadText("EmailConfig", "ToEmail", sToEmail);
    LoadText("EmailConfig", "SMTPServer", sSMTPServer);
    LoadText("EmailConfig", "SMTPPort", sSMTPPort);
    LoadText("EmailConfig", "SMTPUserName", sSMTPUserName);
    LoadPassword();
    LoadSwitch("EmailConfig", "SMTPAuth", bSMTPAuth);
    LoadSwitch("EmailConfig", "UseSSL", bUseSSL);
    sMailClientName = ClientValue("Client Name");
    sMailClientPhone = ClientValue("Client Phone");
    sMailPCDesc = ClientValue("PC Desc");
    LoadSwitch("General", "ClientPrompt", bMailClientPrompt);
    LoadText("General", "Identifier", sMailIdentifier);
    for (const char* key : {"FromEmail", "ToEmail", "SMTPPort", "SMTPServer"})
        if (ReadSetting("EmailConfig", key).empty()) return false;
    return true;
}

std::string MailBody(const std::string& sBody) {
    return ClientBlock() + "Computer Name:  " + vb::Environ("computername") + kLineBreak +
           kLineBreak + sBody + kLineBreak + kLineBreak + "This message sent by " + modDHM::GetAppTitle();
}

std::string MailSubject(const std::string& sSubject) {
    return sSubject + " - " + (bMailClientPrompt ? sMailClientName : sMailIdentifier);
}

bool SendEmail(const std::string& sSubject, const std::string& sBody, const std::string& sAttachment) {
    bool result = true;
    std::vector<std::string> files;
    ResumeAfterError(result, [&] { files = AttachmentFiles(sAttachment); });
    cdo::Message message;
    ResumeAfterError(result, [&] {
        message.Configuration.smtpServer = sSMTPServer;
        message.Configuration.smtpConnectionTimeout = 60;
        message.Configuration.sendUsing = 2;
        message.Configuration.smtpServerPort = sSMTPPort;
        message.Configuration.smtpAuthenticate = bSMTPAuth;
        message.Configuration.smtpUseSsl = bUseSSL;
        message.Configuration.sendUserName = sSMTPUserName;
        message.Configuration.sendPassword = sSMTPPassword;
        message.To = sToEmail;
        message.From = sFromEmail;
        message.Subject = MailSubject(sSubject);
        message.TextBody = MailBody(sBody);
    });
    for (const std::string& file : files) ResumeAfterError(result, [&] { message.AddAttachment(file); });
    ResumeAfterError(result, [&] { message.Send(); });
    return result;
}

void SendAlertEmail(const std::string& sSubject, const std::string& sBody, const std::string& sAttachment) {
    if (!PrepareSend(sAttachment)) return;
    CommonModule::DPrint(SendEmail(sSubject, sBody, sAttachment) ? "Email sent!" : "Email failed to send.");
}

void SendTestEmail(const std::string& sSubject, const std::string& sBody, const std::string& sAttachment) {
    if (!PrepareSend(sAttachment)) return;
    vb::MsgBox(SendEmail(sSubject, sBody, sAttachment) ? "Test email sent!" : "Test email failed to send.",
               vb::vbOKOnly, modDHM::GetAppTitle());
}

}  // namespace modEmail
