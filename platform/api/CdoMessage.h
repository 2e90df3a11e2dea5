#pragma once
// The mail sender of Collaboration Data Objects over libcurl's SMTP: the
// configuration fields of CDO, a message with From, To, Subject, a plain-text
// body and file attachments, sent as MIME (UTF-8 text, base64 attachments,
// Date and Message-ID; a non-ASCII subject or display name in RFC 2047
// encoded words, folded). Send raises a RuntimeError with CDO's error number
// and a description when the server cannot be reached, refuses the login or
// the message, or TLS fails.
#include <string>
#include <vector>

namespace cdo {

constexpr long CDO_E_FAILED_TO_CONNECT = -2147220973;   // 0x80040213
constexpr long CDO_E_SMTP_SEND_FAILED = -2147220975;    // 0x80040211
constexpr long CDO_E_LOGIN_FAILURE = -2147220979;       // 0x8004020D
constexpr long CDO_E_INVALID_CONFIGURATION = -2147220960;  // 0x80040220

struct MailConfiguration {
    std::string smtpServer;
    int smtpConnectionTimeout = 30;  // seconds; also bounds the whole send
    int sendUsing = 2;               // 2: the network server
    std::string smtpServerPort = "25";
    bool smtpAuthenticate = false;
    bool smtpUseSsl = false;         // implicit TLS on port 465, STARTTLS required elsewhere
    std::string sendUserName;
    std::string sendPassword;
};

class Message {
public:
    MailConfiguration Configuration;
    std::string From;
    std::string To;       // addresses split at ";" and "," (not inside a quoted name)
    std::string Subject;
    std::string TextBody;

    // Raises 53 (file not found) for a path that names no file.
    void AddAttachment(const std::string& windowsPath);
    void Send() const;

    // The message as it goes to the server (for the tests and the sender).
    std::string MimeText() const;
    std::vector<std::string> Recipients() const;

private:
    struct Attachment {
        std::string name;
        std::string bytes;
    };
    std::vector<Attachment> attachments_;
};

}  // namespace cdo
