#pragma once
// The system's mails (the heartbeat report and the configuration window's
// test mail): the mail settings and client details, the client block and
// footer around the caller's text, and the send through the CDO sender.
#include <string>

namespace modEmail {

// The loaded settings; they last for the process, and a load overwrites a
// value only when the settings file gives one (so a cleared setting keeps
// the value of an earlier load).
extern std::string sFromEmail;
extern std::string sToEmail;
extern std::string sSMTPServer;
extern std::string sSMTPPort;
extern std::string sSMTPUserName;
extern std::string sSMTPPassword;
extern bool bSMTPAuth;
extern bool bUseSSL;
extern std::string sMailClientName;
extern std::string sMailClientPhone;
extern std::string sMailPCDesc;
extern bool bMailClientPrompt;
extern std::string sMailIdentifier;

// True when FromEmail, ToEmail, SMTPPort and SMTPServer are all set.
bool LoadEmailConfig();
// True when no step raised an error; attachment is a file, a folder (its
// files) or empty.
bool SendEmail(const std::string& sSubject, const std::string& sBody, const std::string& sAttachment);
// The heartbeat's send: the result goes to the debug log.
void SendAlertEmail(const std::string& sSubject, const std::string& sBody, const std::string& sAttachment);
// The test button's send: the result is shown in a message box.
void SendTestEmail(const std::string& sSubject, const std::string& sBody, const std::string& sAttachment);

// The body as it is mailed: client block, computer line, the caller's body, footer.
std::string MailBody(const std::string& sBody);
std::string MailSubject(const std::string& sSubject);

}  // namespace modEmail
