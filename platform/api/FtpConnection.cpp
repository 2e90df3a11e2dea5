#include "platform/api/FtpConnection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/api/FtpListing.h"
#include "platform/host/HostsFile.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// A reply longer than this is no reply a client waits for.
constexpr std::size_t kReplyLimit = 64 * 1024;

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
};

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// 1 when the socket is ready for the events, 0 when the time ran out, -1 on failure.
int WaitFor(int fd, short events, Clock::time_point deadline) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int result = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (result > 0) return 1;
        if (result == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

Clock::time_point After(unsigned milliseconds) { return Clock::now() + std::chrono::milliseconds(milliseconds); }

std::optional<Endpoint> LiteralEndpoint(std::string address, std::uint16_t port) {
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') address = address.substr(1, address.size() - 2);
    Endpoint endpoint;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&endpoint.address);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        endpoint.length = sizeof(sockaddr_in);
        return endpoint;
    }
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&endpoint.address);
    if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        endpoint.length = sizeof(sockaddr_in6);
        return endpoint;
    }
    return std::nullopt;
}

// The addresses of a server: a literal address, else the hosts file, else the resolver.
std::vector<Endpoint> Resolve(const std::string& host, std::uint16_t port) {
    if (const auto literal = LiteralEndpoint(host, port)) return {*literal};
    std::vector<Endpoint> endpoints;
    for (const std::string& listed : HostsFileAddresses(host))
        if (const auto endpoint = LiteralEndpoint(listed, port)) endpoints.push_back(*endpoint);
    if (!endpoints.empty()) return endpoints;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return endpoints;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        Endpoint endpoint;
        std::memcpy(&endpoint.address, entry->ai_addr, entry->ai_addrlen);
        endpoint.length = entry->ai_addrlen;
        endpoints.push_back(endpoint);
    }
    ::freeaddrinfo(found);
    return endpoints;
}

void SetPort(Endpoint& endpoint, std::uint16_t port) {
    if (endpoint.address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&endpoint.address)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in*>(&endpoint.address)->sin_port = htons(port);
}

std::uint16_t PortOf(const Endpoint& endpoint) {
    if (endpoint.address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&endpoint.address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&endpoint.address)->sin_port);
}

std::optional<Endpoint> PeerOf(int fd) {
    Endpoint endpoint;
    endpoint.length = sizeof(endpoint.address);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&endpoint.address), &endpoint.length) != 0) return std::nullopt;
    return endpoint;
}

std::optional<Endpoint> LocalOf(int fd) {
    Endpoint endpoint;
    endpoint.length = sizeof(endpoint.address);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&endpoint.address), &endpoint.length) != 0) return std::nullopt;
    return endpoint;
}

std::string AddressText(const Endpoint& endpoint) {
    char text[INET6_ADDRSTRLEN] = {};
    if (endpoint.address.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&endpoint.address)->sin6_addr, text, sizeof(text));
    else
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&endpoint.address)->sin_addr, text, sizeof(text));
    return text;
}

void CloseSocket(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A connected, non-blocking socket to one of the endpoints, or -1 with the failure.
int ConnectToAny(const std::vector<Endpoint>& endpoints, unsigned timeoutMs, FtpFailure& failure) {
    const auto deadline = After(timeoutMs);
    failure = FtpFailure::CannotConnect;
    for (const Endpoint& endpoint : endpoints) {
        int fd = ::socket(endpoint.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&endpoint.address), endpoint.length) == 0) return fd;
        if (errno == EINPROGRESS) {
            const int ready = WaitFor(fd, POLLOUT, deadline);
            int error = 0;
            socklen_t length = sizeof(error);
            if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return fd;
            if (ready == 0) {
                CloseSocket(fd);
                failure = FtpFailure::TimedOut;
                return -1;
            }
        }
        CloseSocket(fd);
    }
    return -1;
}

enum class SendResult { Sent, TimedOut, Broken };

SendResult SendAll(int fd, const char* data, std::size_t count, unsigned timeoutMs) {
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t result = ::send(fd, data + sent, count - sent, MSG_NOSIGNAL);
        if (result > 0) {
            sent += static_cast<std::size_t>(result);
            continue;
        }
        if (result < 0 && errno == EINTR) continue;
        if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = WaitFor(fd, POLLOUT, After(timeoutMs));
            if (ready == 0) return SendResult::TimedOut;
            if (ready < 0) return SendResult::Broken;
            continue;
        }
        return SendResult::Broken;
    }
    return SendResult::Sent;
}

}  // namespace

FtpConnection::FtpConnection(const Settings& settings) : settings_(settings) {}

FtpConnection::~FtpConnection() {
    if (control_ >= 0 && !inTransfer_) SendAll(control_, "QUIT\r\n", 6, 0);
    CloseData();
    CloseSocket(control_);
}

bool FtpConnection::Fail(FtpFailure failure) {
    failure_ = failure;
    return false;
}

bool FtpConnection::End(FtpFailure failure) {
    CloseData();
    CloseSocket(control_);
    inTransfer_ = false;
    return Fail(failure);
}

void FtpConnection::CloseData() {
    CloseSocket(data_);
    CloseSocket(listener_);
}

bool FtpConnection::ReadReply() {
    for (;;) {
        if (const auto extent = CompleteFtpReply(received_)) {
            lastReply_ = received_.substr(0, extent->length);
            lastCode_ = extent->code;
            received_.erase(0, extent->length);
            if (OnReply) OnReply(lastReply_);
            // A line that is no reply: the two sides no longer agree on where they are.
            if (lastCode_ == 0) return End(FtpFailure::Dropped);
            return true;
        }
        if (received_.size() > kReplyLimit) return End(FtpFailure::Dropped);
        const int ready = WaitFor(control_, POLLIN, After(settings_.receiveTimeoutMs));
        if (ready == 0) return End(FtpFailure::TimedOut);
        if (ready < 0) return End(FtpFailure::Dropped);
        char buffer[4096];
        const ssize_t got = ::recv(control_, buffer, sizeof(buffer), 0);
        if (got > 0)
            received_.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return End(FtpFailure::Dropped);
    }
}

bool FtpConnection::ReadFinalReply() {
    do {
        if (!ReadReply()) return false;
    } while (lastCode_ < 200);
    return true;
}

// What the server said unasked since the last reply (a notice before it
// closes an idle session) is no answer to the next command.
void FtpConnection::DropStaleReplies() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(control_, buffer, sizeof(buffer), 0);
        if (got > 0) {
            received_.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) End(FtpFailure::Dropped);
        break;
    }
    while (const auto extent = CompleteFtpReply(received_)) received_.erase(0, extent->length);
}

bool FtpConnection::SendLine(const std::string& line) {
    if (control_ < 0) return Fail(FtpFailure::Dropped);
    const std::string text = line + "\r\n";
    switch (SendAll(control_, text.data(), text.size(), settings_.receiveTimeoutMs)) {
        case SendResult::Sent: return true;
        case SendResult::TimedOut: return End(FtpFailure::TimedOut);
        case SendResult::Broken: break;
    }
    return End(FtpFailure::Dropped);
}

bool FtpConnection::Command(const std::string& line) {
    if (control_ < 0) return Fail(FtpFailure::Dropped);
    DropStaleReplies();
    if (!SendLine(line) || !ReadFinalReply()) return false;
    if (lastCode_ >= 400) return Fail(FtpFailure::Refused);
    failure_ = FtpFailure::None;
    return true;
}

bool FtpConnection::Open(const std::string& host, std::uint16_t port, const std::string& user,
                         const std::string& password) {
    End(FtpFailure::None);
    const std::vector<Endpoint> endpoints = Resolve(host, port);
    if (endpoints.empty()) return Fail(FtpFailure::NotResolved);
    FtpFailure failure = FtpFailure::None;
    control_ = ConnectToAny(endpoints, settings_.connectTimeoutMs, failure);
    if (control_ < 0) return Fail(failure);
    received_.clear();
    type_ = 0;
    if (!ReadFinalReply()) return false;
    if (lastCode_ >= 400) return End(FtpFailure::Refused);
    return LogOn(user, password);
}

bool FtpConnection::LogOn(const std::string& user, const std::string& password) {
    if (!SendLine("USER " + user) || !ReadFinalReply()) return false;
    if (lastCode_ == 331) {
        if (!SendLine("PASS " + password) || !ReadFinalReply()) return false;
    }
    if (lastCode_ != 230 && lastCode_ != 202) return End(FtpFailure::Refused);
    failure_ = FtpFailure::None;
    return true;
}

bool FtpConnection::SetType(bool ascii) {
    const char wanted = ascii ? 'A' : 'I';
    if (type_ == wanted) return true;
    if (!Command(std::string("TYPE ") + wanted)) return false;
    type_ = wanted;
    return true;
}

bool FtpConnection::OpenPassiveData() {
    auto server = PeerOf(control_);
    if (!server) return End(FtpFailure::Dropped);
    const bool v6 = server->address.ss_family == AF_INET6;
    if (!Command(v6 ? "EPSV" : "PASV")) return false;
    // The data connection goes to the server of the control connection, whatever address the reply names.
    const auto port = v6 ? ParseExtendedPassivePort(lastReply_) : ParsePassivePort(lastReply_);
    if (!port) return Fail(FtpFailure::Refused);
    SetPort(*server, *port);
    FtpFailure failure = FtpFailure::None;
    data_ = ConnectToAny({*server}, settings_.connectTimeoutMs, failure);
    return data_ >= 0 || Fail(failure);
}

bool FtpConnection::ListenForActiveData() {
    auto local = LocalOf(control_);
    if (!local) return End(FtpFailure::Dropped);
    SetPort(*local, 0);
    listener_ = ::socket(local->address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<const sockaddr*>(&local->address), local->length) != 0 ||
        ::listen(listener_, 1) != 0)
        return Fail(FtpFailure::CannotConnect);
    const auto bound = LocalOf(listener_);
    if (!bound) return Fail(FtpFailure::CannotConnect);
    const std::uint16_t port = PortOf(*bound);
    const std::string address = AddressText(*bound);
    if (bound->address.ss_family == AF_INET6)
        return Command("EPRT |2|" + address + "|" + std::to_string(port) + "|");
    std::string numbers = address;
    for (char& c : numbers)
        if (c == '.') c = ',';
    return Command("PORT " + numbers + "," + std::to_string(port >> 8) + "," + std::to_string(port & 255));
}

bool FtpConnection::AcceptActiveData() {
    const int ready = WaitFor(listener_, POLLIN, After(settings_.connectTimeoutMs));
    if (ready == 0) return End(FtpFailure::TimedOut);
    if (ready > 0) data_ = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    CloseSocket(listener_);
    return data_ >= 0 || End(FtpFailure::Dropped);
}

bool FtpConnection::BeginTransfer(const std::string& line, bool ascii) {
    if (control_ < 0) return Fail(FtpFailure::Dropped);
    if (!SetType(ascii)) return false;
    if (!(settings_.passive ? OpenPassiveData() : ListenForActiveData())) {
        CloseData();
        return false;
    }
    if (!SendLine(line) || !ReadReply()) return false;
    if (lastCode_ >= 400) {
        CloseData();
        return Fail(FtpFailure::Refused);
    }
    finalReplyRead_ = lastCode_ >= 200;
    dataEnded_ = false;
    if (finalReplyRead_ && !settings_.passive) {
        CloseData();
        dataEnded_ = true;
    } else if (!settings_.passive && !AcceptActiveData()) {
        return false;
    }
    inTransfer_ = true;
    failure_ = FtpFailure::None;
    return true;
}

// The final reply of a transfer whose data connection has ended.
bool FtpConnection::FinishTransfer() {
    if (!finalReplyRead_) {
        if (!ReadFinalReply()) return false;
        finalReplyRead_ = true;
    }
    return lastCode_ < 400 || Fail(FtpFailure::Refused);
}

long FtpConnection::Receive(char* buffer, std::size_t count) {
    if (!inTransfer_) return -1;
    std::size_t got = 0;
    while (got < count && !dataEnded_) {
        const int ready = WaitFor(data_, POLLIN, After(settings_.receiveTimeoutMs));
        if (ready == 0) {
            End(FtpFailure::TimedOut);
            return -1;
        }
        const ssize_t result = ready > 0 ? ::recv(data_, buffer + got, count - got, 0) : -1;
        if (result > 0) {
            got += static_cast<std::size_t>(result);
            continue;
        }
        if (result < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        const bool broken = result < 0;
        CloseData();
        dataEnded_ = true;
        if (!FinishTransfer()) return -1;
        // A data connection that broke off carried only part of the file, whatever the reply says.
        if (broken) {
            Fail(FtpFailure::Dropped);
            return -1;
        }
    }
    return static_cast<long>(got);
}

bool FtpConnection::Send(const char* data, std::size_t count) {
    if (!inTransfer_ || data_ < 0) return Fail(FtpFailure::Dropped);
    switch (SendAll(data_, data, count, settings_.receiveTimeoutMs)) {
        case SendResult::Sent: return true;
        case SendResult::TimedOut: return End(FtpFailure::TimedOut);
        case SendResult::Broken: break;
    }
    // The server closed the data connection: its reply says why.
    CloseData();
    dataEnded_ = true;
    return FinishTransfer() ? Fail(FtpFailure::Dropped) : false;
}

bool FtpConnection::EndTransfer() {
    if (!inTransfer_) return control_ >= 0 || Fail(FtpFailure::Dropped);
    inTransfer_ = false;
    CloseData();
    dataEnded_ = true;
    if (control_ < 0) return Fail(FtpFailure::Dropped);
    return FinishTransfer();
}

}  // namespace platform
