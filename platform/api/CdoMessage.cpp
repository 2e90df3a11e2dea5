#include "platform/api/CdoMessage.h"

#include <curl/curl.h>

#include <QByteArray>
#include <QUuid>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/api/RuntimeError.h"
#include "platform/host/HostFolder.h"
#include "platform/host/InternetSettings.h"
#include "platform/host/Text.h"
#include "platform/host/WinPath.h"

namespace cdo {
namespace {

constexpr const char* kSource = "CDO.Message.1";
constexpr const char* kBoundary = "----=_NextPart_Quarnel_000_0001";

// Header values lose CR and LF, so no header or command can be smuggled in.
std::string HeaderValue(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Base64(const std::string& bytes) {
    return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

std::string EncodedWord(const std::string& text) {
    return IsAscii(text) ? text : "=?UTF-8?B?" + Base64(text) + "?=";
}

std::string Base64Lines(const std::string& bytes) {
    const std::string encoded = Base64(bytes);
    std::string lines;
    for (std::size_t i = 0; i < encoded.size(); i += 76) lines += encoded.substr(i, 76) + "\r\n";
    return lines;
}

// Bare LF and CR become CR LF, as SMTP wants its lines.
std::string CrLfLines(const std::string& text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            lines += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            lines += "\r\n";
        } else {
            lines += c;
        }
    }
    return lines;
}

std::string DateHeader() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[parts.tm_wday], parts.tm_mday,
                  months[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::string MessageId() {
    return "<" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString() + "@" +
           platform::TextLower(platform::ComputerName()) + ">";
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Marks the characters of an address text that lie in a quoted string or a
// comment (quotes and parentheses included): a comma, a semicolon or an
// angle bracket there is part of a name, not a separator or a delimiter.
std::vector<bool> QuotedOrCommented(const std::string& text) {
    std::vector<bool> marked(text.size(), false);
    bool quoted = false;
    bool escaped = false;
    int comments = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool inside = quoted || comments > 0;
        if (escaped) escaped = false;
        else if (inside && c == '\\') escaped = true;
        else if (c == '"' && comments == 0) quoted = !quoted;
        else if (c == '(' && !quoted) ++comments;
        else if (c == ')' && !quoted && comments > 0) --comments;
        marked[i] = inside || quoted || comments > 0;
    }
    return marked;
}

// The parts of an address list, each with the "," or ";" that ends it.
std::vector<std::string> SplitAddressList(const std::string& text) {
    const std::vector<bool> marked = QuotedOrCommented(text);
    std::vector<std::string> parts(1);
    int angles = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        parts.back() += c;
        if (marked[i]) continue;
        if (c == '<') ++angles;
        else if (c == '>' && angles > 0) --angles;
        else if ((c == ',' || c == ';') && angles == 0) parts.emplace_back();
    }
    return parts;
}

std::string WithoutSeparator(const std::string& part) {
    return !part.empty() && (part.back() == ',' || part.back() == ';') ? part.substr(0, part.size() - 1) : part;
}

std::string Unquoted(const std::string& phrase) {
    if (phrase.size() < 2 || phrase.front() != '"' || phrase.back() != '"') return phrase;
    std::string text;
    for (std::size_t i = 1; i + 1 < phrase.size(); ++i) {
        if (phrase[i] == '\\' && i + 2 < phrase.size()) ++i;
        text += phrase[i];
    }
    return text;
}

// One address as typed: "Name <mailbox>", "\"Doe, John\" <mailbox>" or a bare mailbox.
struct Address {
    std::string displayName;  // unquoted; empty for a bare mailbox
    std::string mailbox;
};

Address ParseAddress(const std::string& text) {
    const std::vector<bool> marked = QuotedOrCommented(text);
    std::size_t open = std::string::npos;
    for (std::size_t i = 0; i < text.size() && open == std::string::npos; ++i)
        if (text[i] == '<' && !marked[i]) open = i;
    const auto close = open == std::string::npos ? std::string::npos : text.find('>', open);
    if (close == std::string::npos) return {"", Trimmed(text)};
    return {Unquoted(Trimmed(text.substr(0, open))), Trimmed(text.substr(open + 1, close - open - 1))};
}

// A header line as RFC 2047 wants it where it holds encoded words: folded
// before a piece that would take the line past 76 characters.
class FoldedHeader {
public:
    explicit FoldedHeader(const std::string& name) : text_(name + ":"), lineLength_(name.size() + 1) {}

    // A piece that is never broken, after a blank.
    void Add(const std::string& piece) {
        if (piecesOnLine_ > 0 && lineLength_ + 1 + piece.size() > kLongestLine) Fold();
        text_ += " " + piece;
        lineLength_ += 1 + piece.size();
        ++piecesOnLine_;
    }

    // UTF-8 text as base64 encoded words, each filling what its line has room
    // for and ending after a blank where one is in reach, else between
    // characters; a reader joins them without the blanks between them. A
    // word of the text that does not fit the rest of a line starts a new one.
    void AddEncoded(const std::string& utf8) {
        for (std::size_t at = 0; at < utf8.size();) {
            const std::size_t blank = utf8.find(' ', at);
            const std::size_t wordBytes = blank == std::string::npos ? utf8.size() - at : blank + 1 - at;
            if (piecesOnLine_ > 0 && RoomForBytes() < std::min(wordBytes, kBytesOfAFreshLine)) Fold();
            std::size_t end = std::min(utf8.size(), at + RoomForBytes());
            if (const auto last = utf8.rfind(' ', end - 1); end < utf8.size() && last != std::string::npos && last > at)
                end = last + 1;
            while (end > at + 1 && end < utf8.size() && IsContinuationByte(utf8[end])) --end;
            Add("=?UTF-8?B?" + Base64(utf8.substr(at, end - at)) + "?=");
            at = end;
        }
    }

    // A display name: its words of plain letters as they are, each run of
    // other words (with the blanks inside it) in encoded words. A plain word
    // between them keeps its blanks for every reader, where blanks between
    // two encoded words are dropped by some readers and kept by others.
    void AddPhrase(const std::string& utf8) {
        std::string run;
        std::istringstream words(utf8);
        for (std::string word; words >> word;) {
            if (IsPlainWord(word)) {
                if (!run.empty()) AddEncoded(run);
                run.clear();
                Add(word);
            } else {
                run += (run.empty() ? "" : " ") + word;
            }
        }
        if (!run.empty()) AddEncoded(run);
    }

    const std::string& Text() const { return text_; }

private:
    static constexpr std::size_t kLongestLine = 76;
    static constexpr std::size_t kWordFrame = 12;  // "=?UTF-8?B?" and "?="
    static constexpr std::size_t kBytesOfAFreshLine = (kLongestLine - 1 - kWordFrame) / 4 * 3;

    static bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

    // An atom of RFC 5322 that cannot be taken for an encoded word.
    static bool IsPlainWord(const std::string& word) {
        return word.find("=?") == std::string::npos && std::all_of(word.begin(), word.end(), [](char c) {
                   return std::isalnum(static_cast<unsigned char>(c)) || (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c));
               });
    }

    // Bytes that one more encoded word on this line can carry.
    std::size_t RoomForBytes() const {
        const std::size_t room = kLongestLine - std::min(kLongestLine, lineLength_ + 1);
        return room > kWordFrame ? (room - kWordFrame) / 4 * 3 : 0;
    }

    void Fold() {
        text_ += "\r\n";
        lineLength_ = 0;
        piecesOnLine_ = 0;
    }

    std::string text_;
    std::size_t lineLength_;
    int piecesOnLine_ = 0;
};

std::string SubjectHeader(const std::string& subject) {
    if (IsAscii(subject)) return "Subject: " + subject;
    FoldedHeader header("Subject");
    header.AddEncoded(subject);
    return header.Text();
}

// From and To as typed; where a display name is not ASCII, that address is
// written anew with its name in encoded words.
std::string AddressHeader(const std::string& name, const std::vector<std::string>& parts) {
    std::string typed;
    for (const std::string& part : parts) typed += part;
    if (IsAscii(typed)) return name + ": " + typed;
    FoldedHeader header(name);
    for (const std::string& part : parts) {
        const std::string separator = part.substr(WithoutSeparator(part).size());
        const Address address = ParseAddress(WithoutSeparator(part));
        if (IsAscii(address.displayName)) {
            if (const std::string kept = Trimmed(WithoutSeparator(part)) + separator; !kept.empty()) header.Add(kept);
            continue;
        }
        header.AddPhrase(address.displayName);
        header.Add("<" + address.mailbox + ">" + separator);
    }
    return header.Text();
}

struct Upload {
    const std::string* text;
    std::size_t offset = 0;
};

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* upload = static_cast<Upload*>(data);
    const std::size_t left = upload->text->size() - upload->offset;
    const std::size_t n = std::min(left, size * count);
    std::memcpy(buffer, upload->text->data() + upload->offset, n);
    upload->offset += n;
    return n;
}

long CdoErrorOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_USE_SSL_FAILED:
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return CDO_E_FAILED_TO_CONNECT;
        case CURLE_LOGIN_DENIED: return CDO_E_LOGIN_FAILURE;
        default: return CDO_E_SMTP_SEND_FAILED;
    }
}

std::string DescriptionOf(long number, const char* detail) {
    std::string text;
    if (number == CDO_E_FAILED_TO_CONNECT) text = "The transport failed to connect to the server.";
    else if (number == CDO_E_LOGIN_FAILURE) text = "The server rejected the sender address or the logon.";
    else text = "The message could not be sent to the SMTP server.";
    if (detail && *detail) text += " (" + std::string(detail) + ")";
    return text;
}

int PortOf(const std::string& text) {
    const std::string port = Trimmed(text);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit)) return 0;
    const int value = std::stoi(port);
    return value >= 1 && value <= 65535 ? value : 0;
}

}  // namespace

void Message::AddAttachment(const std::string& windowsPath) {
    const auto hostPath = platform::ToHostPath(windowsPath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) throw RuntimeError::FileNotFound(kSource);
    std::ifstream in(*hostPath, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in && !in.eof()) throw RuntimeError::PathFileAccessError(kSource);
    attachments_.push_back({hostPath->filename().string(), bytes.str()});
}

std::vector<std::string> Message::Recipients() const {
    std::vector<std::string> recipients;
    for (const std::string& part : SplitAddressList(To)) {
        if (std::string mailbox = ParseAddress(WithoutSeparator(part)).mailbox; !mailbox.empty())
            recipients.push_back(std::move(mailbox));
    }
    return recipients;
}

std::string Message::MimeText() const {
    std::string text = "Date: " + DateHeader() + "\r\n" + AddressHeader("From", {HeaderValue(From)}) + "\r\n" +
                       AddressHeader("To", SplitAddressList(HeaderValue(To))) + "\r\n" +
                       SubjectHeader(HeaderValue(Subject)) + "\r\nMessage-ID: " + MessageId() +
                       "\r\nMIME-Version: 1.0\r\n";
    const std::string body = "Content-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                             Base64Lines(CrLfLines(TextBody));
    if (attachments_.empty()) return text + body;
    text += std::string("Content-Type: multipart/mixed; boundary=\"") + kBoundary + "\"\r\n\r\n";
    text += std::string("--") + kBoundary + "\r\n" + body;
    for (const Attachment& a : attachments_) {
        const std::string name = EncodedWord(HeaderValue(a.name));
        text += std::string("--") + kBoundary + "\r\nContent-Type: application/octet-stream; name=\"" + name +
                "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
                "\"\r\n\r\n" + Base64Lines(a.bytes);
    }
    return text + "--" + kBoundary + "--\r\n";
}

void Message::Send() const {
    const int port = PortOf(Configuration.smtpServerPort);
    const std::string server = Trimmed(Configuration.smtpServer);
    if (Configuration.sendUsing != 2 || port == 0 || server.empty() ||
        server.find_first_of("/\\@ \r\n") != std::string::npos)
        throw RuntimeError(CDO_E_INVALID_CONFIGURATION, kSource, "The transport failed to connect to the server.");
    const auto recipients = Recipients();
    if (recipients.empty()) throw RuntimeError(CDO_E_SMTP_SEND_FAILED, kSource, "At least one recipient is required.");

    CURL* curl = curl_easy_init();
    if (!curl) throw RuntimeError(CDO_E_FAILED_TO_CONNECT, kSource, DescriptionOf(CDO_E_FAILED_TO_CONNECT, nullptr));
    const bool implicitTls = Configuration.smtpUseSsl && port == 465;
    const std::string hostPart = server.find(':') != std::string::npos ? "[" + server + "]" : server;
    const std::string url = std::string(implicitTls ? "smtps://" : "smtp://") + hostPart + ":" + std::to_string(port) +
                            "/" + platform::TextLower(platform::ComputerName());
    platform::InternetSettings settings;
    if (!settings.Apply(curl, url)) {
        curl_easy_cleanup(curl);
        throw RuntimeError(CDO_E_INVALID_CONFIGURATION, kSource, "The transport failed to connect to the server.");
    }
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const long timeout = std::max(1, Configuration.smtpConnectionTimeout);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeout);
    if (Configuration.smtpUseSsl && !implicitTls) curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (Configuration.smtpAuthenticate) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, Configuration.sendUserName.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, Configuration.sendPassword.c_str());
    }
    const std::string from = "<" + HeaderValue(ParseAddress(From).mailbox) + ">";
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_slist* rcpt = nullptr;
    for (const auto& address : recipients) rcpt = curl_slist_append(rcpt, ("<" + HeaderValue(address) + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    const std::string mime = MimeText();
    Upload upload{&mime};
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    const CURLcode result = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK) {
        const long number = CdoErrorOf(result);
        throw RuntimeError(number, kSource, DescriptionOf(number, *detail ? detail : curl_easy_strerror(result)));
    }
}

}  // namespace cdo
