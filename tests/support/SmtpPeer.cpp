#include "support/SmtpPeer.h"

#include <QByteArray>
#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Decode(const std::string& headers, const std::string& body) {
    if (Lower(headers).find("content-transfer-encoding: base64") != std::string::npos)
        return QByteArray::fromBase64(QByteArray::fromStdString(body)).toStdString();
    return body;
}

struct Part {
    std::string headers;
    std::string body;
};

std::vector<Part> Parts(const std::string& raw) {
    const auto split = raw.find("\r\n\r\n");
    const std::string headers = raw.substr(0, split);
    const std::string body = split == std::string::npos ? "" : raw.substr(split + 4);
    const std::string type = MailHeader(raw, "Content-Type");
    const auto b = type.find("boundary=\"");
    if (b == std::string::npos) return {{headers, body}};
    const std::string boundary = "--" + type.substr(b + 10, type.find('"', b + 10) - b - 10);
    std::vector<Part> parts;
    for (std::size_t at = body.find(boundary); at != std::string::npos;) {
        const std::size_t start = at + boundary.size() + 2;
        const std::size_t next = body.find(boundary, start);
        if (next == std::string::npos) break;
        const std::string part = body.substr(start, next - start);
        const auto end = part.find("\r\n\r\n");
        parts.push_back({part.substr(0, end), end == std::string::npos ? "" : part.substr(end + 4)});
        at = next;
    }
    return parts;
}

}  // namespace

SmtpPeer::SmtpPeer(const std::filesystem::path& folder, const std::vector<std::string>& extraArguments)
    : folder_(folder) {
    std::filesystem::create_directories(folder_);
    std::vector<std::string> arguments = {kSystemPython, std::string(QUARNEL_PEERS_DIR) + "/smtp_server.py", "--out",
                                          folder_.string()};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    peer_ = std::make_unique<PeerProcess>(arguments);
}

std::vector<ReceivedMail> SmtpPeer::Received() const {
    std::vector<ReceivedMail> mails;
    for (int n = 1;; ++n) {
        const auto base = folder_ / ("mail-" + std::to_string(n));
        if (!std::filesystem::exists(base.string() + ".eml")) break;
        ReceivedMail mail;
        mail.raw = ReadFile(base.string() + ".eml");
        std::istringstream envelope(ReadFile(base.string() + ".env"));
        std::getline(envelope, mail.mailFrom);
        for (std::string line; std::getline(envelope, line);) {
            if (line.rfind("auth: ", 0) == 0) mail.authUser = line.substr(6);
            else mail.rcptTo.push_back(line);
        }
        mails.push_back(std::move(mail));
    }
    return mails;
}

std::string MailHeader(const std::string& raw, const std::string& name) {
    const std::string headers = raw.substr(0, raw.find("\r\n\r\n"));
    const std::string wanted = Lower(name) + ":";
    std::istringstream lines(headers);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (Lower(line.substr(0, wanted.size())) == wanted) {
            std::string value = line.substr(wanted.size());
            if (!value.empty() && value.front() == ' ') value.erase(0, 1);
            return value;
        }
    }
    return {};
}

std::string MailPart(const std::string& raw, const std::string& contentType, int index) {
    for (const Part& part : Parts(raw)) {
        const auto at = Lower(part.headers).find("content-type: " + Lower(contentType));
        if (at != std::string::npos && index-- == 0) return Decode(part.headers, part.body);
    }
    return {};
}

std::vector<std::string> MailAttachmentNames(const std::string& raw) {
    std::vector<std::string> names;
    for (const Part& part : Parts(raw)) {
        const auto at = part.headers.find("filename=\"");
        if (at != std::string::npos) names.push_back(part.headers.substr(at + 10, part.headers.find('"', at + 10) - at - 10));
    }
    return names;
}

}  // namespace testsupport
