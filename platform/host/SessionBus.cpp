#include "platform/host/SessionBus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/host/DebugLine.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// libdbus fails at once on a socket file that cannot exist.
constexpr const char* kRefusedAddress = "unix:path=/nonexistent/quarnel-session-bus-set-aside";

std::mutex setAsideMutex;
std::optional<std::string> setAsideAddress;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Values of a bus address escape bytes as %XX.
std::string Unescaped(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 && HexDigit(value[i + 2]) >= 0) {
            text += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
            i += 2;
        } else {
            text += value[i];
        }
    }
    return text;
}

class Socket {
public:
    Socket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool Connect(const Socket& socket, const UnixAddress& address, Clock::time_point deadline) {
    sockaddr_un peer{};
    peer.sun_family = AF_UNIX;
    const size_t offset = address.abstract ? 1 : 0;
    if (address.name.size() + offset >= sizeof(peer.sun_path)) return false;
    std::memcpy(peer.sun_path + offset, address.name.data(), address.name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + address.name.size() +
                                               (address.abstract ? 0 : 1));
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&peer), length) == 0) return true;
    if (errno != EINPROGRESS && errno != EAGAIN) return false;
    if (!WaitFor(socket.fd(), POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t size = sizeof(error);
    return ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// The uid as the bus's EXTERNAL mechanism takes it: its decimal digits, hex-encoded.
std::string AuthenticationStart() {
    static const char* const kHex = "0123456789abcdef";
    std::string uid;
    for (const char digit : std::to_string(::getuid())) {
        uid += kHex[static_cast<unsigned char>(digit) >> 4];
        uid += kHex[static_cast<unsigned char>(digit) & 0xf];
    }
    return std::string(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n";
}

bool SendAll(const Socket& socket, const std::string& text, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(socket.fd(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!WaitFor(socket.fd(), POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// The first line the bus sends, without its line end; nothing when it sends none in time.
std::optional<std::string> FirstLine(const Socket& socket, Clock::time_point deadline) {
    std::string received;
    constexpr size_t kLongestLine = 4096;
    while (received.find("\r\n") == std::string::npos) {
        if (received.size() > kLongestLine || !WaitFor(socket.fd(), POLLIN, deadline)) return std::nullopt;
        char buffer[512];
        const ssize_t n = ::recv(socket.fd(), buffer, sizeof(buffer), 0);
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return std::nullopt;
        }
    }
    return received.substr(0, received.find("\r\n"));
}

bool IsAuthenticationAnswer(const std::string& line) {
    return line.rfind("OK ", 0) == 0 || line.rfind("REJECTED", 0) == 0 || line.rfind("DATA", 0) == 0;
}

}  // namespace

std::optional<UnixAddress> UnixSocketOf(const std::string& addresses) {
    const std::string first = addresses.substr(0, addresses.find(';'));
    const std::string kind = "unix:";
    if (first.compare(0, kind.size(), kind) != 0) return std::nullopt;
    size_t at = kind.size();
    while (at <= first.size()) {
        const size_t end = std::min(first.find(',', at), first.size());
        const std::string pair = first.substr(at, end - at);
        const size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            const std::string key = pair.substr(0, equals);
            if (key == "path" || key == "abstract") return UnixAddress{Unescaped(pair.substr(equals + 1)), key == "abstract"};
        }
        at = end + 1;
    }
    return std::nullopt;
}

bool SessionBusAnswers(const std::string& address, std::chrono::milliseconds bound) {
    const std::optional<UnixAddress> unixAddress = UnixSocketOf(address);
    if (!unixAddress) return true;
    const Clock::time_point deadline = Clock::now() + bound;
    const Socket socket;
    if (socket.fd() < 0 || !Connect(socket, *unixAddress, deadline)) return false;
    if (!SendAll(socket, AuthenticationStart(), deadline)) return false;
    const std::optional<std::string> answer = FirstLine(socket, deadline);
    return answer && IsAuthenticationAnswer(*answer);
}

void SetAsideSilentSessionBus() {
    const char* value = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!value || !*value) return;
    const std::string address = value;
    if (SessionBusAnswers(address)) return;
    {
        const std::lock_guard lock(setAsideMutex);
        setAsideAddress = address;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", kRefusedAddress, 1);
    WriteDebugLine("\tSession bus " + address + " did not answer within " +
                   std::to_string(kSessionBusProbeBound.count()) + " ms: this process's own session-bus users get " +
                   kRefusedAddress + " and fail at once; desktop notifications still try the bus");
}

std::string SessionBusAddress() {
    {
        const std::lock_guard lock(setAsideMutex);
        if (setAsideAddress) return *setAsideAddress;
    }
    const char* value = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    return value ? value : "";
}

}  // namespace platform
