#pragma once
// The SMTP server of the tests (peers/smtp_server.py) in a folder of its own:
// each received message is kept as a file, read back here.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/PeerProcess.h"

namespace testsupport {

struct ReceivedMail {
    std::string mailFrom;
    std::vector<std::string> rcptTo;
    std::string authUser;  // empty without a login
    std::string raw;       // the message as the server got it
};

class SmtpPeer {
public:
    // extraArguments: "--auth", "user:pw", "--starttls", cert, key, "--tls", cert, key
    explicit SmtpPeer(const std::filesystem::path& folder, const std::vector<std::string>& extraArguments = {});
    bool Ready() const { return peer_ && peer_->Ready(); }
    std::string Port() const { return peer_ ? peer_->FirstLine() : ""; }
    // The messages received so far, in order.
    std::vector<ReceivedMail> Received() const;
    void Stop() { if (peer_) peer_->Stop(); }

private:
    std::filesystem::path folder_;
    std::unique_ptr<PeerProcess> peer_;
};

// The decoded text of the first part of a MIME message of the given type,
// and the header value of a name (first match, unfolded).
std::string MailHeader(const std::string& raw, const std::string& name);
// The decoded body of the part whose Content-Type starts with the type
// (the whole message when it is not multipart).
std::string MailPart(const std::string& raw, const std::string& contentType, int index = 0);
std::vector<std::string> MailAttachmentNames(const std::string& raw);

}  // namespace testsupport
