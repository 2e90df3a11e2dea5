#pragma once
// The program-wide string splitter, and the shared service behind every
// socket object: Windows Sockets started once, the one hidden socket window
// that receives every socket and host-name notification, the registries that
// lead a socket handle or a resolution task back to its object, and the
// texts of the Winsock error numbers.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/RuntimeError.h"
#include "platform/api/Winsock.h"

namespace modSocketSupport {

enum class Compare { Binary, Text };

// Splits at every occurrence of the delimiter; limit -1 means no limit.
std::vector<std::string> SplitString(std::vector<std::string>& out, const std::string& text,
                                     const std::string& delimiter, long limit = -1,
                                     Compare comparison = Compare::Binary);

// What the socket window hands an object. The registries hold these as
// plain pointers: an object removes its entries before it ends.
class SocketEvents {
public:
    virtual void PostSocketEvent(long lEvent, long lErrorCode) = 0;
    // lAddress is the IPv4 address in network order.
    virtual void PostGetHostEvent(long lTaskHandle, std::uint32_t lAddress, const std::string& sHostName,
                                  long lErrorCode) = 0;

protected:
    ~SocketEvents() = default;
};

constexpr long kAllSocketEvents = win::FD_READ | win::FD_WRITE | win::FD_ACCEPT | win::FD_CONNECT | win::FD_CLOSE;
constexpr std::size_t kResolveBufferSize = 1024;

// Raises the start-up failure with its Winsock number.
std::int32_t InitWinsockService();
// These two never raise: on failure they fill the error record for the caller.
bool RegisterSocket(win::SOCKET lSocket, SocketEvents* object);
win::HANDLE ResolveHost(const std::string& sHost, SocketEvents* object);
bool UnregisterSocket(win::SOCKET lSocket);
// Stops the object's running resolution and frees its block.
void CancelResolve(SocketEvents* object);
void CleanupWinsock();
// The error the last failing RegisterSocket or ResolveHost recorded.
const RuntimeError& ErrorRecord();
std::string GetErrorDescription(long lErrorCode);

win::HWND CreateSocketWindow();
void DestroySocketWindow();
win::LRESULT WindowProc(win::HWND hwnd, win::UINT uMsg, win::WPARAM wParam, win::LPARAM lParam);
win::HWND SocketWindow();
win::UINT SocketMessage();

std::string StringFromPointer(const char* pointer);
std::int16_t UnsignedToInteger(long value);
long IntegerToUnsigned(std::int16_t value);
long LoWord(std::int32_t value);
long HiWord(std::int32_t value);

// State the tests look at.
bool WinsockStarted();
std::size_t RegisteredSockets();
std::size_t RunningResolutions();

}  // namespace modSocketSupport
