#pragma once
// Windows Sockets 1.1 over the host's BSD sockets. Handles, constants and
// error numbers are Winsock's (10035 for a call that would block, 10061 for a
// refused connection, 11001 for an unknown host). WSAAsyncSelect makes a
// socket non-blocking and posts its notifications to a window as
// WSAAsyncSelect does on Windows: FD_READ once until the next recv/recvfrom,
// FD_WRITE once after registration or connection and again after a send that
// would block, FD_CONNECT with the connection's error, FD_ACCEPT once until
// the next accept, FD_CLOSE once at the end of a stream. Notifications of a
// socket that was closed or registered anew meanwhile are dropped. Host names
// resolve through the host folder's hosts file first, then the host's
// resolver; WSAAsyncGetHostByName answers on the event loop without blocking it.
#include <cstdint>
#include <string>

#include "platform/api/MessageWindow.h"

namespace win {

using SOCKET = std::intptr_t;
using WORD = std::uint16_t;

constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Prefixed where the host's own headers define the same names as macros.
constexpr int WS_AF_INET = 2;
constexpr int WS_SOCK_STREAM = 1;
constexpr int WS_SOCK_DGRAM = 2;
constexpr int WS_IPPROTO_TCP = 6;
constexpr int WS_IPPROTO_UDP = 17;
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_REUSEADDR = 0x0004;
constexpr int WS_SO_KEEPALIVE = 0x0008;
constexpr int WS_SO_BROADCAST = 0x0020;
constexpr int WS_SO_SNDBUF = 0x1001;
constexpr int WS_SO_RCVBUF = 0x1002;
constexpr int WS_SO_ERROR = 0x1007;
constexpr int WS_SO_TYPE = 0x1008;
constexpr int WS_MSG_PEEK = 0x2;
constexpr std::uint32_t WS_INADDR_ANY = 0;
constexpr std::uint32_t WS_INADDR_NONE = 0xFFFFFFFF;
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

constexpr long FD_READ = 1;
constexpr long FD_WRITE = 2;
constexpr long FD_OOB = 4;
constexpr long FD_ACCEPT = 8;
constexpr long FD_CONNECT = 16;
constexpr long FD_CLOSE = 32;

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

constexpr std::uint16_t kMaxUdpDatagram = 65467;

struct WSADATA {
    WORD wVersion = 0;
    WORD wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
    char* lpVendorInfo = nullptr;
};

// The 16-byte IPv4 address record; port and address in network order.
struct SOCKADDR_IN {
    std::int16_t sin_family = 0;
    std::uint16_t sin_port = 0;
    std::uint32_t sin_addr = 0;
    char sin_zero[8] = {};
};

// A host entry; the pointers point into the storage that holds the entry.
struct HOSTENT {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int family, int type, int protocol);
int closesocket(SOCKET s);
int bind(SOCKET s, const SOCKADDR_IN* address, int length);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, SOCKADDR_IN* address, int* length);
int connect(SOCKET s, const SOCKADDR_IN* address, int length);
int shutdown(SOCKET s, int how);
int send(SOCKET s, const char* bytes, int length, int flags);
int sendto(SOCKET s, const char* bytes, int length, int flags, const SOCKADDR_IN* to, int toLength);
int recv(SOCKET s, char* bytes, int length, int flags);
int recvfrom(SOCKET s, char* bytes, int length, int flags, SOCKADDR_IN* from, int* fromLength);
int getsockname(SOCKET s, SOCKADDR_IN* address, int* length);
int getpeername(SOCKET s, SOCKADDR_IN* address, int* length);
int getsockopt(SOCKET s, int level, int name, char* value, int* length);
int setsockopt(SOCKET s, int level, int name, const char* value, int length);

std::uint32_t inet_addr(const std::string& text);
std::string inet_ntoa(std::uint32_t address);
std::uint16_t htons(std::uint16_t value);
std::uint16_t ntohs(std::uint16_t value);
std::uint32_t htonl(std::uint32_t value);
std::uint32_t ntohl(std::uint32_t value);

int gethostname(char* name, int length);
// The entry lives until the thread's next gethostbyname or gethostbyaddr.
HOSTENT* gethostbyname(const std::string& name);
HOSTENT* gethostbyaddr(const char* address, int length, int type);

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events);
// The answer arrives as the message with wParam the task handle and lParam's
// high word the error; on success the buffer holds a HOSTENT at its start.
HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const std::string& name, char* buffer, int bufferLength);
int WSACancelAsyncRequest(HANDLE task);

constexpr std::uint16_t WSAGETSELECTEVENT(LPARAM lParam) { return static_cast<std::uint16_t>(lParam & 0xFFFF); }
constexpr std::uint16_t WSAGETSELECTERROR(LPARAM lParam) {
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
}

}  // namespace win

namespace platform {
// Start-ups not yet matched by a clean-up.
int WinsockStartups();
// The Winsock number of a host errno.
int WinsockErrorOfErrno(int error);
}  // namespace platform
