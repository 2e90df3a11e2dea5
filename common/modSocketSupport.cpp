#include "modSocketSupport.h"

#include <cstring>
#include <map>
#include <optional>

#include "common/CommonModule.h"
#include "platform/api/GlobalMemory.h"
#include "platform/api/Program.h"
#include "platform/api/Strings.h"

namespace modSocketSupport {

namespace {
size_t FindFrom(const std::string& text, const std::string& delimiter, size_t from, Compare comparison) {
    if (comparison == Compare::Binary) return text.find(delimiter, from);
    return vb::UCase(text).find(vb::UCase(delimiter), from);
}
}  // namespace

std::vector<std::string> SplitString(std::vector<std::string>& out, const std::string& text, const std::string& delimiter,
                                     long limit, Compare comparison) {
    out.clear();
    if (text.empty()) return out;
    if (delimiter.empty()) {
        out.push_back(text);
        return out;
    }
    size_t position = 0;
    for (;;) {
        if (limit > 0 && static_cast<long>(out.size()) + 1 == limit) {
            out.push_back(text.substr(position));
            break;
        }
        const size_t found = FindFrom(text, delimiter, position, comparison);
        if (found == std::string::npos) {
            out.push_back(text.substr(position));
            break;
        }
        out.push_back(text.substr(position, found - position));
        position = found + delimiter.size();
    }
    return out;
}

namespace {

struct ModuleState {
    win::HWND socketWindow = 0;
    win::UINT socketMessage = 0;
    win::UINT resolveMessage = 0;
    // Present only while it holds something.
    std::optional<std::map<win::SOCKET, SocketEvents*>> sockets;
    std::optional<std::map<win::HANDLE, SocketEvents*>> resolves;
    std::optional<std::map<SocketEvents*, win::HGLOBAL>> resolveBuffers;
    win::LONG_PTR previousWindowProc = 0;
    bool winsockStarted = false;
    std::int32_t maxDatagramSize = 0;
    RuntimeError errorRecord{0, "", ""};
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

void Record(long number, const std::string& source, const std::string& description) {
    State().errorRecord = RuntimeError(number, source, description);
}

void RecordLastError(const std::string& source) {
    const int error = win::WSAGetLastError();
    Record(error, source, GetErrorDescription(error));
}

std::string StartupFailureText(int code) {
    switch (code) {
        case win::WSAEINVAL:
            return std::string("The Windows Sockets version specified by the ") +
                   "application is not supported by this DLL.";
        case win::WSASYSNOTREADY:
            return std::string("The underlying network subsystem is not ") + "ready for network communication.";
        case win::WSAVERNOTSUPPORTED:
            return std::string("The version of Windows Sockets API support ") +
                   "requested is not provided by this particular " + "Windows Sockets implementation.";
        default: return "";
    }
}

void RemoveResolveBuffer(SocketEvents* object) {
    ModuleState& state = State();
    if (!state.resolveBuffers) return;
    auto found = state.resolveBuffers->find(object);
    if (found == state.resolveBuffers->end()) return;
    win::GlobalFree(found->second);
    state.resolveBuffers->erase(found);
}

void DropResolveRegistriesWhenEmpty() {
    ModuleState& state = State();
    if (state.resolves && state.resolves->empty()) {
        state.resolves.reset();
        state.resolveBuffers.reset();
    }
}

SocketEvents* ObjectFromPointer(win::HANDLE key, const std::optional<std::map<win::HANDLE, SocketEvents*>>& registry) {
    if (!registry) return nullptr;
    auto found = registry->find(key);
    return found == registry->end() ? nullptr : found->second;
}

void HandleSocketMessage(win::WPARAM wParam, win::LPARAM lParam) {
    const auto socket = static_cast<win::SOCKET>(wParam);
    SocketEvents* object = ObjectFromPointer(socket, State().sockets);
    if (!object) return;
    object->PostSocketEvent(LoWord(static_cast<std::int32_t>(lParam)), HiWord(static_cast<std::int32_t>(lParam)));
}

struct HostAnswer {
    std::uint32_t address = 0;
    std::string name;
};

HostAnswer ReadHostEntry(const void* block) {
    HostAnswer answer;
    if (!block) return answer;
    const auto* entry = static_cast<const win::HOSTENT*>(block);
    answer.name = StringFromPointer(entry->h_name);
    if (entry->h_addr_list && entry->h_addr_list[0] && entry->h_length == 4)
        std::memcpy(&answer.address, entry->h_addr_list[0], 4);
    return answer;
}

void HandleResolveMessage(win::WPARAM wParam, win::LPARAM lParam) {
    ModuleState& state = State();
    const auto task = static_cast<win::HANDLE>(wParam);
    SocketEvents* object = ObjectFromPointer(task, state.resolves);
    if (!object) return;
    const long error = HiWord(static_cast<std::int32_t>(lParam));
    HostAnswer answer;
    if (error == 0 && state.resolveBuffers) {
        auto block = state.resolveBuffers->find(object);
        if (block != state.resolveBuffers->end()) {
            answer = ReadHostEntry(win::GlobalLock(block->second));
            win::GlobalUnlock(block->second);
        }
    }
    // The block goes before the object hears of it: its handler may start the
    // next resolution, or end the object.
    RemoveResolveBuffer(object);
    state.resolves->erase(task);
    DropResolveRegistriesWhenEmpty();
    if (error == 0)
        object->PostGetHostEvent(static_cast<long>(task), answer.address, answer.name, 0);
    else
        object->PostGetHostEvent(0, 0, "", error);
}

}  // namespace

std::int32_t InitWinsockService() {
    ModuleState& state = State();
    if (state.winsockStarted) return state.maxDatagramSize;
    win::WSADATA data;
    const int result = win::WSAStartup(0x0101, &data);
    if (result != 0) throw RuntimeError(result, "MSocketSupport.InitWinsockService", StartupFailureText(result));
    state.winsockStarted = true;
    state.maxDatagramSize = static_cast<std::int32_t>(data.iMaxUdpDg);
    const std::string exeName = vb::App::EXEName();
    state.resolveMessage = win::RegisterWindowMessageA(exeName + ".ResolveMessage");
    state.socketMessage = win::RegisterWindowMessageA(exeName + ".WinsockMessage");
    return state.maxDatagramSize;
}

win::HWND CreateSocketWindow() {
    ModuleState& state = State();
    state.socketWindow =
        win::CreateWindowExA(0, "STATIC", "SOCKET_WINDOW", 0, 0, 0, 0, 0, 0, 0, win::ProgramInstance(), nullptr);
    if (state.socketWindow != 0)
        state.previousWindowProc =
            win::SetWindowLongA(state.socketWindow, win::GWL_WNDPROC, reinterpret_cast<win::LONG_PTR>(&WindowProc));
    return state.socketWindow;
}

void DestroySocketWindow() {
    ModuleState& state = State();
    if (state.socketWindow == 0) return;
    win::SetWindowLongA(state.socketWindow, win::GWL_WNDPROC, state.previousWindowProc);
    win::DestroyWindow(state.socketWindow);
    state.socketWindow = 0;
}

bool RegisterSocket(win::SOCKET lSocket, SocketEvents* object) {
    ModuleState& state = State();
    if (state.socketWindow == 0 && CreateSocketWindow() == 0) {
        Record(10004, "MSocketSupport.RegisterSocket", "The operation was canceled.");
        return false;
    }
    if (!state.sockets) state.sockets.emplace();
    (*state.sockets)[lSocket] = object;
    if (win::WSAAsyncSelect(lSocket, state.socketWindow, state.socketMessage, kAllSocketEvents) == 0) return true;
    RecordLastError("MSocketSupport.RegisterSocket");
    return false;
}

bool UnregisterSocket(win::SOCKET lSocket) {
    ModuleState& state = State();
    if (!state.sockets || lSocket == -1) return false;
    win::WSAAsyncSelect(lSocket, state.socketWindow, 0, 0);
    state.sockets->erase(lSocket);
    if (state.sockets->empty()) {
        state.sockets.reset();
        DestroySocketWindow();
    }
    return true;
}

win::HANDLE ResolveHost(const std::string& sHost, SocketEvents* object) {
    ModuleState& state = State();
    const win::HGLOBAL memory = win::GlobalAlloc(win::GMEM_FIXED, kResolveBufferSize);
    if (memory <= 0) return 0;
    char* address = static_cast<char*>(win::GlobalLock(memory));
    if (!address) {
        win::GlobalFree(memory);
        return 0;
    }
    win::GlobalUnlock(memory);
    // The object's earlier resolution would answer into the block it loses here.
    CancelResolve(object);
    if (!state.resolves) {
        state.resolves.emplace();
        state.resolveBuffers.emplace();
    }
    (*state.resolveBuffers)[object] = memory;
    const win::HANDLE task = win::WSAAsyncGetHostByName(state.socketWindow, state.resolveMessage,
                                                        vb::StrConv(sHost, vb::vbFromUnicode), address,
                                                        static_cast<int>(kResolveBufferSize));
    if (task != 0) {
        (*state.resolves)[task] = object;
        return task;
    }
    RemoveResolveBuffer(object);
    DropResolveRegistriesWhenEmpty();
    RecordLastError("MSocketSupport.ResolveHost");
    return 0;
}

void CancelResolve(SocketEvents* object) {
    ModuleState& state = State();
    if (!state.resolves) return;
    for (auto entry = state.resolves->begin(); entry != state.resolves->end();) {
        if (entry->second == object) {
            win::WSACancelAsyncRequest(entry->first);
            entry = state.resolves->erase(entry);
        } else {
            ++entry;
        }
    }
    RemoveResolveBuffer(object);
    DropResolveRegistriesWhenEmpty();
}

void CleanupWinsock() {
    ModuleState& state = State();
    if (state.sockets || !state.winsockStarted) return;
    win::WSACleanup();
    state.winsockStarted = false;
}

const RuntimeError& ErrorRecord() { return State().errorRecord; }

win::LRESULT WindowProc(win::HWND hwnd, win::UINT uMsg, win::WPARAM wParam, win::LPARAM lParam) {
    ModuleState& state = State();
    try {
        if (uMsg == state.socketMessage) {
            HandleSocketMessage(wParam, lParam);
            return 0;
        }
        if (uMsg == state.resolveMessage) {
            HandleResolveMessage(wParam, lParam);
            return 0;
        }
    } catch (const RuntimeError& e) {
        CommonModule::LogError("modSocketSupport\\WindowProc VB ERROR: ", e);
        return 0;
    }
    return win::CallWindowProcA(state.previousWindowProc, hwnd, uMsg, wParam, lParam);
}

win::HWND SocketWindow() { return State().socketWindow; }
win::UINT SocketMessage() { return State().socketMessage; }

std::string StringFromPointer(const char* pointer) { return pointer ? std::string(pointer) : std::string(); }

std::int16_t UnsignedToInteger(long value) {
    if (value < 0 || value > 65535) throw RuntimeError::Overflow();
    return static_cast<std::int16_t>(value > 32767 ? value - 65536 : value);
}

long IntegerToUnsigned(std::int16_t value) { return value < 0 ? value + 65536L : value; }

long LoWord(std::int32_t value) { return static_cast<long>(static_cast<std::uint32_t>(value) & 0xFFFF); }
long HiWord(std::int32_t value) { return static_cast<long>((static_cast<std::uint32_t>(value) >> 16) & 0xFFFF); }

bool WinsockStarted() { return State().winsockStarted; }
std::size_t RegisteredSockets() { return State().sockets ? State().sockets->size() : 0; }
std::size_t RunningResolutions() { return State().resolves ? State().resolves->size() : 0; }

std::string GetErrorDescription(long lErrorCode) {
    static const std::map<long, const char*> texts{
        {10004, "Interrupted function call."},
        {10013, "Permission denied."},
        {10014, "Bad address."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Resource temporarily unavailable."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on nonsocket."},
        {10039, "Destination address required."},
        {10040, "Message too long."},
        {10041, "Protocol wrong type for socket."},
        {10042, "Bad protocol option."},
        {10043, "Protocol not supported."},
        {10044, "Socket type not supported."},
        {10045, "Operation not supported."},
        {10046, "Protocol family not supported."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Network dropped connection on reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send after socket shutdown."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10067, "Too many processes."},
        {10091, "Network subsystem is unavailable."},
        {10092, "Winsock.dll version out of range."},
        {10093, "Successful WSAStartup not yet performed."},
        {10101, "Graceful shutdown in progress."},
        {10107, "System call failure."},
        {10109, "Class type not found."},
        {11001, "Host not found."},
        {11002, "Nonauthoritative host not found."},
        {11003, "This is a nonrecoverable error."},
        {11004, "Valid name, no data record of requested type."},
    };
    auto found = texts.find(lErrorCode);
    return found == texts.end() ? "Unknown error." : found->second;
}

}  // namespace modSocketSupport
