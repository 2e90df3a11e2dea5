#include "platform/api/Winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QThreadPool>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/host/HostsFile.h"

namespace {

thread_local int lastError = 0;
int startups = 0;

int Fail(int error) {
    lastError = error;
    return win::SOCKET_ERROR;
}

int FailErrno() { return Fail(platform::WinsockErrorOfErrno(errno)); }

// A socket's registration with WSAAsyncSelect; its two notifiers are switched
// on only while a notification is due, so a level-triggered notifier never spins.
struct Watch {
    win::HWND window = 0;
    win::UINT message = 0;
    long events = 0;
    std::uint64_t generation = 0;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
};

struct SocketInfo {
    bool stream = false;
    bool nonBlocking = false;
    bool listening = false;
    bool connecting = false;
    bool connected = false;
    bool closeSent = false;
    std::unique_ptr<Watch> watch;
};

std::map<int, SocketInfo>& Sockets() {
    static std::map<int, SocketInfo> sockets;
    return sockets;
}

// The user-interface thread's receiver of queued notifications and answers.
QObject* Dispatcher() {
    static QObject* dispatcher = new QObject;
    return dispatcher;
}

std::uint64_t NextGeneration() {
    static std::uint64_t next = 0;
    return ++next;
}

SocketInfo* Find(win::SOCKET s) {
    auto found = Sockets().find(static_cast<int>(s));
    return found == Sockets().end() ? nullptr : &found->second;
}

// The socket when the library is started and the handle is one of ours; else
// the Winsock error is set.
SocketInfo* Usable(win::SOCKET s) {
    if (startups == 0) {
        lastError = win::WSANOTINITIALISED;
        return nullptr;
    }
    SocketInfo* info = Find(s);
    if (!info) lastError = win::WSAENOTSOCK;
    return info;
}

void Notify(int fd, long event, int error) {
    SocketInfo* info = Find(fd);
    if (!info || !info->watch || !(info->watch->events & event)) return;
    const std::uint64_t generation = info->watch->generation;
    QMetaObject::invokeMethod(
        Dispatcher(),
        [fd, event, error, generation] {
            SocketInfo* current = Find(fd);
            if (!current || !current->watch || current->watch->generation != generation) return;
            platform::DeliverWindowMessage(current->watch->window, current->watch->message,
                                           static_cast<win::WPARAM>(fd),
                                           win::MAKELONG(static_cast<std::uint16_t>(event),
                                                         static_cast<std::uint16_t>(error)));
        },
        Qt::QueuedConnection);
}

void Arm(std::unique_ptr<QSocketNotifier>& notifier, bool on) {
    if (notifier) notifier->setEnabled(on);
}

int PendingError(int fd) {
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    return error;
}

bool PeerHungUp(int fd) {
    pollfd probe{fd, POLLRDHUP, 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLRDHUP | POLLHUP)) != 0;
}

void StreamReadable(int fd, SocketInfo& info) {
    Arm(info.watch->readable, false);
    if (info.listening) {
        Notify(fd, win::FD_ACCEPT, 0);
        return;
    }
    char probe;
    const ssize_t got = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        Arm(info.watch->readable, true);
        return;
    }
    if (got > 0 && !PeerHungUp(fd)) {
        Notify(fd, win::FD_READ, 0);
        return;
    }
    // End of the stream, with or without data still unread, or a reset.
    info.closeSent = true;
    Notify(fd, win::FD_CLOSE, got < 0 ? platform::WinsockErrorOfErrno(errno) : 0);
}

void Readable(int fd) {
    SocketInfo* info = Find(fd);
    if (!info || !info->watch) return;
    if (info->stream) {
        StreamReadable(fd, *info);
        return;
    }
    Arm(info->watch->readable, false);
    Notify(fd, win::FD_READ, 0);
}

void Writable(int fd) {
    SocketInfo* info = Find(fd);
    if (!info || !info->watch) return;
    Arm(info->watch->writable, false);
    if (!info->connecting) {
        Notify(fd, win::FD_WRITE, 0);
        return;
    }
    info->connecting = false;
    const int error = PendingError(fd);
    Notify(fd, win::FD_CONNECT, error ? platform::WinsockErrorOfErrno(error) : 0);
    if (error) return;
    info->connected = true;
    Arm(info->watch->readable, true);
    Notify(fd, win::FD_WRITE, 0);
}

bool IsConnected(int fd) {
    sockaddr_in peer{};
    socklen_t length = sizeof(peer);
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

void StartWatch(int fd, SocketInfo& info, win::HWND window, win::UINT message, long events) {
    auto watch = std::make_unique<Watch>();
    watch->window = window;
    watch->message = message;
    watch->events = events;
    watch->generation = NextGeneration();
    watch->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    watch->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    QObject::connect(watch->readable.get(), &QSocketNotifier::activated, [fd] { Readable(fd); });
    QObject::connect(watch->writable.get(), &QSocketNotifier::activated, [fd] { Writable(fd); });
    info.watch = std::move(watch);
    if (info.stream && !info.connected && !info.connecting && !info.listening) info.connected = IsConnected(fd);
    const bool readArmed = !info.stream || info.listening || (info.connected && !info.closeSent);
    const bool writeArmed = !info.stream || info.connected || info.connecting;
    Arm(info.watch->readable, readArmed);
    Arm(info.watch->writable, writeArmed);
}

sockaddr_in HostAddress(const win::SOCKADDR_IN& address) {
    sockaddr_in host{};
    host.sin_family = static_cast<sa_family_t>(address.sin_family == win::WS_AF_INET ? AF_INET : address.sin_family);
    host.sin_port = address.sin_port;
    host.sin_addr.s_addr = address.sin_addr;
    return host;
}

void CopyOut(const sockaddr_in& host, win::SOCKADDR_IN* address, int* length) {
    if (!address || !length || *length < static_cast<int>(sizeof(win::SOCKADDR_IN))) return;
    *address = win::SOCKADDR_IN{};
    address->sin_family = win::WS_AF_INET;
    address->sin_port = host.sin_port;
    address->sin_addr = host.sin_addr.s_addr;
    *length = sizeof(win::SOCKADDR_IN);
}

bool AddressFits(const win::SOCKADDR_IN* address, int length) {
    return address && length >= static_cast<int>(sizeof(win::SOCKADDR_IN));
}

// Windows' level and option numbers as the host's.
bool HostOption(int level, int name, int& hostLevel, int& hostName) {
    if (level != win::WS_SOL_SOCKET) return false;
    hostLevel = SOL_SOCKET;
    switch (name) {
        case win::WS_SO_REUSEADDR: hostName = SO_REUSEADDR; return true;
        case win::WS_SO_KEEPALIVE: hostName = SO_KEEPALIVE; return true;
        case win::WS_SO_BROADCAST: hostName = SO_BROADCAST; return true;
        case win::WS_SO_SNDBUF: hostName = SO_SNDBUF; return true;
        case win::WS_SO_RCVBUF: hostName = SO_RCVBUF; return true;
        case win::WS_SO_ERROR: hostName = SO_ERROR; return true;
        case win::WS_SO_TYPE: hostName = SO_TYPE; return true;
        default: return false;
    }
}

// --- Host names -------------------------------------------------------------

struct HostAnswer {
    int error = 0;
    std::string name;
    std::vector<std::string> aliases;
    std::vector<std::uint32_t> addresses;  // network order
};

bool ParseDotted(const std::string& text, std::uint32_t& address) {
    in_addr parsed{};
    if (text.empty() || ::inet_aton(text.c_str(), &parsed) == 0) return false;
    address = parsed.s_addr;
    return true;
}

std::string UpToZero(const std::string& text) { return text.substr(0, text.find('\0')); }

// What needs no resolver: a dotted address or the hosts file. Nothing found
// leaves the answer without addresses.
HostAnswer LocalAnswer(const std::string& name) {
    HostAnswer answer;
    answer.name = name;
    std::uint32_t address = 0;
    if (ParseDotted(name, address)) {
        answer.addresses.push_back(address);
        return answer;
    }
    for (const auto& listed : platform::HostsFileAddresses(name)) {
        in_addr parsed{};
        if (::inet_pton(AF_INET, listed.c_str(), &parsed) == 1) answer.addresses.push_back(parsed.s_addr);
    }
    return answer;
}

int ErrorOfResolver(int code) {
    switch (code) {
        case EAI_AGAIN: return win::WSATRY_AGAIN;
        case EAI_FAIL: return win::WSANO_RECOVERY;
        case EAI_NODATA: case EAI_ADDRFAMILY: return win::WSANO_DATA;
        default: return win::WSAHOST_NOT_FOUND;
    }
}

// The host's resolver; safe on any thread.
HostAnswer ResolverAnswer(const std::string& name) {
    HostAnswer answer;
    answer.name = name;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    const int code = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (code != 0) {
        answer.error = ErrorOfResolver(code);
        return answer;
    }
    if (found->ai_canonname && *found->ai_canonname) answer.name = found->ai_canonname;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        answer.addresses.push_back(address->sin_addr.s_addr);
    }
    ::freeaddrinfo(found);
    return answer;
}

HostAnswer AnswerOf(const std::string& name) {
    HostAnswer answer = LocalAnswer(name);
    if (!answer.addresses.empty()) return answer;
    if (name.empty()) return HostAnswer{win::WSAHOST_NOT_FOUND, {}, {}, {}};
    return ResolverAnswer(name);
}

HostAnswer ReverseAnswer(std::uint32_t address) {
    HostAnswer answer;
    answer.addresses.push_back(address);
    const std::string dotted = win::inet_ntoa(address);
    const auto names = platform::HostsFileNames(dotted);
    if (!names.empty()) {
        answer.name = names.front();
        answer.aliases.assign(names.begin() + 1, names.end());
        return answer;
    }
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_addr.s_addr = address;
    char name[NI_MAXHOST] = {};
    const int code =
        ::getnameinfo(reinterpret_cast<sockaddr*>(&host), sizeof(host), name, sizeof(name), nullptr, 0, NI_NAMEREQD);
    if (code != 0) answer.error = ErrorOfResolver(code);
    answer.name = name;
    return answer;
}

// Lays the answer out as a HOSTENT followed by the lists and texts it points
// to; false when the buffer is too small.
bool WriteHostEntry(const HostAnswer& answer, char* buffer, std::size_t size) {
    const std::size_t pointers = (answer.aliases.size() + 1 + answer.addresses.size() + 1) * sizeof(char*);
    std::size_t needed = sizeof(win::HOSTENT) + pointers + answer.addresses.size() * 4 + answer.name.size() + 1;
    for (const auto& alias : answer.aliases) needed += alias.size() + 1;
    if (!buffer || needed > size) return false;
    std::memset(buffer, 0, needed);
    auto* entry = reinterpret_cast<win::HOSTENT*>(buffer);
    auto** aliasList = reinterpret_cast<char**>(buffer + sizeof(win::HOSTENT));
    char** addressList = aliasList + answer.aliases.size() + 1;
    char* next = reinterpret_cast<char*>(addressList + answer.addresses.size() + 1);
    for (std::size_t i = 0; i < answer.addresses.size(); ++i) {
        std::memcpy(next, &answer.addresses[i], 4);
        addressList[i] = next;
        next += 4;
    }
    auto text = [&next](const std::string& value) {
        std::memcpy(next, value.c_str(), value.size() + 1);
        char* start = next;
        next += value.size() + 1;
        return start;
    };
    entry->h_name = text(answer.name);
    for (std::size_t i = 0; i < answer.aliases.size(); ++i) aliasList[i] = text(answer.aliases[i]);
    entry->h_aliases = aliasList;
    entry->h_addrtype = win::WS_AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = addressList;
    return true;
}

win::HOSTENT* ThreadHostEntry(const HostAnswer& answer) {
    thread_local std::vector<char> storage;
    if (answer.error != 0 || (answer.addresses.empty() && answer.name.empty())) {
        lastError = answer.error ? answer.error : win::WSAHOST_NOT_FOUND;
        return nullptr;
    }
    storage.assign(4096 + answer.name.size() + answer.aliases.size() * 256, 0);
    if (!WriteHostEntry(answer, storage.data(), storage.size())) {
        lastError = win::WSAENOBUFS;
        return nullptr;
    }
    return reinterpret_cast<win::HOSTENT*>(storage.data());
}

struct LookupTask {
    win::HWND window;
    win::UINT message;
    char* buffer;
    std::size_t size;
};

std::map<win::HANDLE, LookupTask>& Tasks() {
    static std::map<win::HANDLE, LookupTask> tasks;
    return tasks;
}

void Answer(win::HANDLE task, const HostAnswer& answer) {
    auto found = Tasks().find(task);
    if (found == Tasks().end()) return;
    const LookupTask lookup = found->second;
    Tasks().erase(found);
    int error = answer.error;
    if (error == 0 && answer.addresses.empty()) error = win::WSAHOST_NOT_FOUND;
    if (error == 0 && !WriteHostEntry(answer, lookup.buffer, lookup.size)) error = win::WSAENOBUFS;
    platform::DeliverWindowMessage(lookup.window, lookup.message, static_cast<win::WPARAM>(task),
                                   win::MAKELONG(0, static_cast<std::uint16_t>(error)));
}

void PostAnswer(win::HANDLE task, HostAnswer answer) {
    QMetaObject::invokeMethod(Dispatcher(), [task, answer = std::move(answer)] { Answer(task, answer); },
                              Qt::QueuedConnection);
}

}  // namespace

namespace win {

int WSAStartup(WORD versionRequested, WSADATA* data) {
    if ((versionRequested & 0xFF) == 0) return WSAVERNOTSUPPORTED;
    if (!data) return WSAEFAULT;
    *data = WSADATA{};
    const WORD highest = 0x0202;
    const bool above = (versionRequested & 0xFF) > 2 || ((versionRequested & 0xFF) == 2 && (versionRequested >> 8) > 2);
    data->wVersion = above ? highest : versionRequested;
    data->wHighVersion = highest;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 32767;
    data->iMaxUdpDg = kMaxUdpDatagram;
    ++startups;
    return 0;
}

int WSACleanup() {
    if (startups == 0) return Fail(WSANOTINITIALISED);
    --startups;
    return 0;
}

int WSAGetLastError() { return lastError; }
void WSASetLastError(int error) { lastError = error; }

SOCKET socket(int family, int type, int protocol) {
    if (startups == 0) return Fail(WSANOTINITIALISED);
    if (family != WS_AF_INET) return Fail(WSAEAFNOSUPPORT);
    if (type != WS_SOCK_STREAM && type != WS_SOCK_DGRAM) return Fail(WSAESOCKTNOSUPPORT);
    const int hostType = type == WS_SOCK_STREAM ? SOCK_STREAM : SOCK_DGRAM;
    const int fd = ::socket(AF_INET, hostType | SOCK_CLOEXEC, protocol);
    if (fd < 0) return FailErrno();
    Sockets()[fd] = SocketInfo{};
    Sockets()[fd].stream = type == WS_SOCK_STREAM;
    return fd;
}

int closesocket(SOCKET s) {
    if (!Usable(s)) return SOCKET_ERROR;
    Sockets().erase(static_cast<int>(s));
    return ::close(static_cast<int>(s)) == 0 ? 0 : FailErrno();
}

int bind(SOCKET s, const SOCKADDR_IN* address, int length) {
    if (!Usable(s)) return SOCKET_ERROR;
    if (!AddressFits(address, length)) return Fail(WSAEFAULT);
    const sockaddr_in host = HostAddress(*address);
    if (::bind(static_cast<int>(s), reinterpret_cast<const sockaddr*>(&host), sizeof(host)) != 0) return FailErrno();
    return 0;
}

int listen(SOCKET s, int backlog) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    if (!info->stream) return Fail(WSAEOPNOTSUPP);
    if (::listen(static_cast<int>(s), backlog) != 0) return FailErrno();
    info->listening = true;
    if (info->watch) Arm(info->watch->readable, true);
    return 0;
}

SOCKET accept(SOCKET s, SOCKADDR_IN* address, int* length) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof(peer);
    const int fd = ::accept4(static_cast<int>(s), reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
    const int error = errno;
    if (info->watch) Arm(info->watch->readable, true);
    if (fd < 0) return Fail(platform::WinsockErrorOfErrno(error));
    SocketInfo accepted;
    accepted.stream = true;
    accepted.connected = true;
    Sockets()[fd] = std::move(accepted);
    CopyOut(peer, address, length);
    return fd;
}

int connect(SOCKET s, const SOCKADDR_IN* address, int length) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    if (!AddressFits(address, length)) return Fail(WSAEFAULT);
    const int fd = static_cast<int>(s);
    const sockaddr_in host = HostAddress(*address);
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&host), sizeof(host));
    const int error = result == 0 ? 0 : errno;
    if (!info->stream) return result == 0 ? 0 : Fail(platform::WinsockErrorOfErrno(error));
    if (!info->nonBlocking) {
        if (result != 0) return Fail(platform::WinsockErrorOfErrno(error));
        info->connected = true;
        return 0;
    }
    if (result != 0 && error != EINPROGRESS) {
        if (error != ECONNREFUSED && error != ENETUNREACH && error != EHOSTUNREACH && error != ETIMEDOUT)
            return Fail(platform::WinsockErrorOfErrno(error));
        // Windows reports these later, as FD_CONNECT.
        Notify(fd, FD_CONNECT, platform::WinsockErrorOfErrno(error));
        return Fail(WSAEWOULDBLOCK);
    }
    info->connecting = true;
    if (info->watch) Arm(info->watch->writable, true);
    return Fail(WSAEWOULDBLOCK);
}

int shutdown(SOCKET s, int how) {
    if (!Usable(s)) return SOCKET_ERROR;
    if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
    return ::shutdown(static_cast<int>(s), how) == 0 ? 0 : FailErrno();
}

namespace {
int Sent(SocketInfo& info, ssize_t result) {
    if (result >= 0) return static_cast<int>(result);
    const int error = errno;
    if ((error == EAGAIN || error == EWOULDBLOCK) && info.watch) Arm(info.watch->writable, true);
    return Fail(platform::WinsockErrorOfErrno(error));
}

int Received(int fd, SocketInfo& info, ssize_t result, int length) {
    const int error = errno;
    if (info.watch && (!info.stream || (!info.closeSent && !info.listening))) Arm(info.watch->readable, true);
    (void)fd;
    if (result < 0) return Fail(platform::WinsockErrorOfErrno(error));
    // Windows fills the buffer with the start of a longer datagram and fails the call.
    if (!info.stream && result > length) return Fail(WSAEMSGSIZE);
    return static_cast<int>(result);
}

int HostFlags(int flags) { return (flags & WS_MSG_PEEK) ? MSG_PEEK : 0; }
}  // namespace

int send(SOCKET s, const char* bytes, int length, int flags) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    if (length < 0 || (!bytes && length > 0)) return Fail(WSAEFAULT);
    return Sent(*info, ::send(static_cast<int>(s), bytes, static_cast<size_t>(length), HostFlags(flags) | MSG_NOSIGNAL));
}

int sendto(SOCKET s, const char* bytes, int length, int flags, const SOCKADDR_IN* to, int toLength) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    if (length < 0 || (!bytes && length > 0)) return Fail(WSAEFAULT);
    if (info->stream || !to) return send(s, bytes, length, flags);
    if (!AddressFits(to, toLength)) return Fail(WSAEFAULT);
    const sockaddr_in host = HostAddress(*to);
    return Sent(*info, ::sendto(static_cast<int>(s), bytes, static_cast<size_t>(length), HostFlags(flags) | MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&host), sizeof(host)));
}

int recv(SOCKET s, char* bytes, int length, int flags) {
    return recvfrom(s, bytes, length, flags, nullptr, nullptr);
}

int recvfrom(SOCKET s, char* bytes, int length, int flags, SOCKADDR_IN* from, int* fromLength) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    if (length < 0 || (!bytes && length > 0)) return Fail(WSAEFAULT);
    const int fd = static_cast<int>(s);
    sockaddr_in sender{};
    socklen_t senderLength = sizeof(sender);
    const int hostFlags = HostFlags(flags) | (info->stream ? 0 : MSG_TRUNC);
    const ssize_t result = ::recvfrom(fd, bytes, static_cast<size_t>(length), hostFlags,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (result >= 0 && !info->stream) CopyOut(sender, from, fromLength);
    return Received(fd, *info, result, length);
}

namespace {
int AddressOf(SOCKET s, SOCKADDR_IN* address, int* length, bool peer) {
    if (!Usable(s)) return SOCKET_ERROR;
    if (!address || !length || *length < static_cast<int>(sizeof(SOCKADDR_IN))) return Fail(WSAEFAULT);
    sockaddr_in host{};
    socklen_t hostLength = sizeof(host);
    const int fd = static_cast<int>(s);
    const int result = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&host), &hostLength)
                            : ::getsockname(fd, reinterpret_cast<sockaddr*>(&host), &hostLength);
    if (result != 0) return FailErrno();
    CopyOut(host, address, length);
    return 0;
}
}  // namespace

int getsockname(SOCKET s, SOCKADDR_IN* address, int* length) { return AddressOf(s, address, length, false); }
int getpeername(SOCKET s, SOCKADDR_IN* address, int* length) { return AddressOf(s, address, length, true); }

int getsockopt(SOCKET s, int level, int name, char* value, int* length) {
    if (!Usable(s)) return SOCKET_ERROR;
    int hostLevel = 0;
    int hostName = 0;
    if (!HostOption(level, name, hostLevel, hostName)) return Fail(WSAENOPROTOOPT);
    if (!value || !length || *length < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
    int result = 0;
    socklen_t resultLength = sizeof(result);
    if (::getsockopt(static_cast<int>(s), hostLevel, hostName, &result, &resultLength) != 0) return FailErrno();
    if (hostName == SO_ERROR) result = result ? platform::WinsockErrorOfErrno(result) : 0;
    if (hostName == SO_TYPE) result = result == SOCK_STREAM ? WS_SOCK_STREAM : WS_SOCK_DGRAM;
    std::memcpy(value, &result, sizeof(result));
    *length = sizeof(result);
    return 0;
}

int setsockopt(SOCKET s, int level, int name, const char* value, int length) {
    if (!Usable(s)) return SOCKET_ERROR;
    int hostLevel = 0;
    int hostName = 0;
    if (!HostOption(level, name, hostLevel, hostName) || hostName == SO_ERROR || hostName == SO_TYPE)
        return Fail(WSAENOPROTOOPT);
    if (!value || length < 1) return Fail(WSAEFAULT);
    int option = 0;
    std::memcpy(&option, value, static_cast<size_t>(std::min<int>(length, sizeof(option))));
    if (::setsockopt(static_cast<int>(s), hostLevel, hostName, &option, sizeof(option)) != 0) return FailErrno();
    return 0;
}

std::uint32_t inet_addr(const std::string& text) {
    std::uint32_t address = 0;
    return ParseDotted(UpToZero(text), address) ? address : WS_INADDR_NONE;
}

std::string inet_ntoa(std::uint32_t address) {
    in_addr host{};
    host.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &host, text, sizeof(text));
    return text;
}

// In parentheses: the host's headers define these names as macros.
std::uint16_t(htons)(std::uint16_t value) { return __builtin_bswap16(value); }
std::uint16_t(ntohs)(std::uint16_t value) { return __builtin_bswap16(value); }
std::uint32_t(htonl)(std::uint32_t value) { return __builtin_bswap32(value); }
std::uint32_t(ntohl)(std::uint32_t value) { return __builtin_bswap32(value); }

int gethostname(char* name, int length) {
    if (startups == 0) return Fail(WSANOTINITIALISED);
    if (!name || length <= 0) return Fail(WSAEFAULT);
    char host[256] = {};
    if (::gethostname(host, sizeof(host) - 1) != 0) return FailErrno();
    if (std::strlen(host) + 1 > static_cast<std::size_t>(length)) return Fail(WSAEFAULT);
    std::strcpy(name, host);
    return 0;
}

HOSTENT* gethostbyname(const std::string& name) {
    if (startups == 0) {
        lastError = WSANOTINITIALISED;
        return nullptr;
    }
    return ThreadHostEntry(AnswerOf(UpToZero(name)));
}

HOSTENT* gethostbyaddr(const char* address, int length, int type) {
    if (startups == 0) {
        lastError = WSANOTINITIALISED;
        return nullptr;
    }
    if (!address || length < 4) {
        lastError = WSAEFAULT;
        return nullptr;
    }
    if (type != WS_AF_INET) {
        lastError = WSAEAFNOSUPPORT;
        return nullptr;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, address, 4);
    return ThreadHostEntry(ReverseAnswer(value));
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) {
    SocketInfo* info = Usable(s);
    if (!info) return SOCKET_ERROR;
    if (events != 0 && (!IsWindow(window) || !QCoreApplication::instance())) return Fail(WSAEINVAL);
    const int fd = static_cast<int>(s);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailErrno();
    info->nonBlocking = true;
    info->watch.reset();
    if (events != 0) StartWatch(fd, *info, window, message, events);
    return 0;
}

HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const std::string& name, char* buffer, int bufferLength) {
    if (startups == 0) {
        lastError = WSANOTINITIALISED;
        return 0;
    }
    if (!IsWindow(window) || !QCoreApplication::instance() || !buffer || bufferLength <= 0) {
        lastError = WSAEINVAL;
        return 0;
    }
    static HANDLE nextTask = 0;
    const HANDLE task = ++nextTask;
    Tasks()[task] = LookupTask{window, message, buffer, static_cast<std::size_t>(bufferLength)};
    const std::string host = UpToZero(name);
    HostAnswer local = LocalAnswer(host);
    if (!local.addresses.empty() || host.empty()) {
        if (host.empty()) local.error = WSAHOST_NOT_FOUND;
        PostAnswer(task, std::move(local));
        return task;
    }
    Dispatcher();
    QThreadPool::globalInstance()->start([task, host] { PostAnswer(task, ResolverAnswer(host)); });
    return task;
}

int WSACancelAsyncRequest(HANDLE task) {
    if (startups == 0) return Fail(WSANOTINITIALISED);
    if (!Tasks().erase(task)) return Fail(WSAEINVAL);
    return 0;
}

}  // namespace win

namespace platform {

int WinsockStartups() { return startups; }

int WinsockErrorOfErrno(int error) {
    switch (error) {
        case 0: return 0;
        case EINTR: return win::WSAEINTR;
        case EBADF: return win::WSAENOTSOCK;
        case EACCES: case EPERM: return win::WSAEACCES;
        case EFAULT: return win::WSAEFAULT;
        case EINVAL: return win::WSAEINVAL;
        case EMFILE: case ENFILE: return win::WSAEMFILE;
        case EAGAIN: case EINPROGRESS: return win::WSAEWOULDBLOCK;
        case EALREADY: return win::WSAEALREADY;
        case ENOTSOCK: return win::WSAENOTSOCK;
        case EDESTADDRREQ: return win::WSAEDESTADDRREQ;
        case EMSGSIZE: return win::WSAEMSGSIZE;
        case EPROTOTYPE: return win::WSAEPROTOTYPE;
        case ENOPROTOOPT: return win::WSAENOPROTOOPT;
        case EPROTONOSUPPORT: return win::WSAEPROTONOSUPPORT;
        case ESOCKTNOSUPPORT: return win::WSAESOCKTNOSUPPORT;
        case EOPNOTSUPP: return win::WSAEOPNOTSUPP;
        case EPFNOSUPPORT: return win::WSAEPFNOSUPPORT;
        case EAFNOSUPPORT: return win::WSAEAFNOSUPPORT;
        case EADDRINUSE: return win::WSAEADDRINUSE;
        case EADDRNOTAVAIL: return win::WSAEADDRNOTAVAIL;
        case ENETDOWN: return win::WSAENETDOWN;
        case ENETUNREACH: return win::WSAENETUNREACH;
        case ENETRESET: return win::WSAENETRESET;
        case ECONNABORTED: return win::WSAECONNABORTED;
        case ECONNRESET: case EPIPE: return win::WSAECONNRESET;
        case ENOBUFS: case ENOMEM: return win::WSAENOBUFS;
        case EISCONN: return win::WSAEISCONN;
        case ENOTCONN: return win::WSAENOTCONN;
        case ESHUTDOWN: return win::WSAESHUTDOWN;
        case ETIMEDOUT: return win::WSAETIMEDOUT;
        case ECONNREFUSED: return win::WSAECONNREFUSED;
        case EHOSTDOWN: return win::WSAEHOSTDOWN;
        case EHOSTUNREACH: return win::WSAEHOSTUNREACH;
        default: return win::WSAEINVAL;
    }
}

}  // namespace platform
