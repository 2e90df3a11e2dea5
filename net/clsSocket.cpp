#include "net/clsSocket.h"

#include <cstring>
#include <memory>

#include "platform/api/Strings.h"

namespace {

using modSocketSupport::GetErrorDescription;

RuntimeError WinsockError(long number, const std::string& source) {
    return RuntimeError(number, source, GetErrorDescription(number));
}

[[noreturn]] void RaiseLastError(const std::string& source) { throw WinsockError(win::WSAGetLastError(), source); }

// Runs the statements; an error they raise reaches the caller with this source.
template <typename Statements>
auto WithSource(const std::string& source, Statements statements) {
    try {
        return statements();
    } catch (const RuntimeError& e) {
        throw RuntimeError(e.Number(), source, e.Description());
    }
}

bool IsDottedAddress(const std::string& host) { return win::inet_addr(host) != win::WS_INADDR_NONE; }

win::SOCKADDR_IN AddressRecord(std::uint32_t address, std::int32_t port) {
    win::SOCKADDR_IN record;
    record.sin_family = win::WS_AF_INET;
    record.sin_port = win::htons(static_cast<std::uint16_t>(modSocketSupport::UnsignedToInteger(port)));
    record.sin_addr = address;
    return record;
}

std::int32_t PortOf(const win::SOCKADDR_IN& record) {
    return static_cast<std::int32_t>(
        modSocketSupport::IntegerToUnsigned(static_cast<std::int16_t>(win::ntohs(record.sin_port))));
}

template <typename Value>
std::string BytesOf(Value value) {
    std::string bytes(sizeof(Value), '\0');
    std::memcpy(bytes.data(), &value, sizeof(Value));
    return bytes;
}

template <typename Value>
Value ValueOf(const std::string& bytes) {
    std::string padded = bytes.substr(0, sizeof(Value));
    padded.resize(sizeof(Value), '\0');
    Value value;
    std::memcpy(&value, padded.data(), sizeof(Value));
    return value;
}

struct ToBytes {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(std::uint8_t v) const { return std::string(1, static_cast<char>(v)); }
    std::string operator()(std::int16_t v) const { return BytesOf(v); }
    std::string operator()(std::int32_t v) const { return BytesOf(v); }
    std::string operator()(float v) const { return BytesOf(v); }
    std::string operator()(double v) const { return BytesOf(v); }
    std::string operator()(clsSocket::Currency v) const { return BytesOf(v.scaled); }
    std::string operator()(clsSocket::Date v) const { return BytesOf(v.value); }
    std::string operator()(const std::string& v) const { return vb::StrConv(v, vb::vbFromUnicode); }
    std::string operator()(bool v) const { return BytesOf(static_cast<std::int16_t>(v ? -1 : 0)); }
    std::string operator()(const std::vector<std::uint8_t>& v) const { return std::string(v.begin(), v.end()); }
};

clsSocket::Data DataOf(const std::string& bytes, std::optional<int> varType) {
    if (!varType) return vb::StrConv(bytes, vb::vbUnicode);
    switch (*varType) {
        case clsSocket::vbByteArray: return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
        case clsSocket::vbBoolean: return ValueOf<std::int16_t>(bytes) != 0;
        case clsSocket::vbByte: return ValueOf<std::uint8_t>(bytes);
        case clsSocket::vbCurrency: return clsSocket::Currency{ValueOf<std::int64_t>(bytes)};
        case clsSocket::vbDate: return clsSocket::Date{ValueOf<double>(bytes)};
        case clsSocket::vbDouble: return ValueOf<double>(bytes);
        case clsSocket::vbInteger: return ValueOf<std::int16_t>(bytes);
        case clsSocket::vbLong: return ValueOf<std::int32_t>(bytes);
        case clsSocket::vbSingle: return ValueOf<float>(bytes);
        default: return vb::StrConv(bytes, vb::vbUnicode);
    }
}

}  // namespace

clsSocket::clsSocket() { maxDatagramSize_ = modSocketSupport::InitWinsockService(); }

clsSocket::~clsSocket() {
    *alive_ = false;
    try {
        if (socketHandle_ != -1) DestroySocket();
    } catch (const RuntimeError&) {
    }
    modSocketSupport::CancelResolve(this);
    modSocketSupport::CleanupWinsock();
}

win::SOCKET clsSocket::vbSocket() {
    return WithSource("CSocket.vbSocket", [this] {
        const bool tcp = protocol_ == sckTCPProtocol;
        const win::SOCKET handle = win::socket(win::WS_AF_INET, tcp ? win::WS_SOCK_STREAM : win::WS_SOCK_DGRAM,
                                               tcp ? win::WS_IPPROTO_TCP : win::WS_IPPROTO_UDP);
        if (handle == win::INVALID_SOCKET) RaiseLastError("CSocket.vbSocket");
        if (!modSocketSupport::RegisterSocket(handle, this)) {
            const RuntimeError recorded = modSocketSupport::ErrorRecord();
            modSocketSupport::UnregisterSocket(handle);
            win::closesocket(handle);
            socketHandle_ = -1;
            throw recorded;
        }
        socketHandle_ = handle;
        return handle;
    });
}

bool clsSocket::EnsureSocket() {
    if (socketHandle_ == -1 && vbSocket() == -1) return false;
    GetBufferSizes();
    return true;
}

void clsSocket::GetBufferSizes() {
    if (protocol_ == sckUDPProtocol) {
        sendSize_ = receiveSize_ = maxDatagramSize_;
        return;
    }
    int length = sizeof(std::int32_t);
    win::getsockopt(socketHandle_, win::WS_SOL_SOCKET, win::WS_SO_RCVBUF, reinterpret_cast<char*>(&receiveSize_),
                    &length);
    length = sizeof(std::int32_t);
    win::getsockopt(socketHandle_, win::WS_SOL_SOCKET, win::WS_SO_SNDBUF, reinterpret_cast<char*>(&sendSize_),
                    &length);
}

void clsSocket::ConnectTo(std::uint32_t address, const std::string& source) {
    const win::SOCKADDR_IN record = AddressRecord(address, remotePort_);
    if (win::connect(socketHandle_, &record, sizeof(record)) != win::SOCKET_ERROR) return;
    const int error = win::WSAGetLastError();
    if (error != win::WSAEWOULDBLOCK) throw WinsockError(error, source);
    state_ = sckConnecting;
}

void clsSocket::Connect(std::optional<std::string> strRemoteHost, std::optional<std::int32_t> lngRemotePort) {
    WithSource("CSocket.CSocket.Connect", [&] {
        if (!EnsureSocket()) return;
        if (strRemoteHost && !strRemoteHost->empty()) remoteHost_ = *strRemoteHost;
        if (lngRemotePort) remotePort_ = *lngRemotePort;
        if (remoteHost_.empty()) throw WinsockError(win::WSAEADDRNOTAVAIL, "CSocket.CSocket.Connect");
        const std::uint32_t address = win::inet_addr(remoteHost_);
        if (address != win::WS_INADDR_NONE) {
            ConnectTo(address, "CSocket.CSocket.Connect");
            return;
        }
        pendingOperation_ = 0;
        state_ = sckResolvingHost;
        resolveTask_ = modSocketSupport::ResolveHost(remoteHost_, this);
        if (resolveTask_ == 0) {
            const RuntimeError recorded = modSocketSupport::ErrorRecord();
            DestroySocket();
            throw recorded;
        }
    });
}

void clsSocket::RaiseOnError(long number, const std::string& source) {
    bool cancelDisplay = false;
    if (OnError)
        OnError(static_cast<std::int16_t>(number), GetErrorDescription(number), 0, source, "", 0, cancelDisplay);
}

void clsSocket::PostGetHostEvent(long lTaskHandle, std::uint32_t lAddress, const std::string& sHostName,
                                 long lErrorCode) {
    WithSource("CSocket.PostGetHostEvent", [&] {
        if (lErrorCode > 0) {
            if (!IsDottedAddress(sHostName)) {
                state_ = sckError;
                RaiseOnError(lErrorCode, "");
                return;
            }
            lAddress = win::inet_addr(sHostName);
        }
        if (lTaskHandle == 0 || lTaskHandle != resolveTask_) return;
        resolveTask_ = 0;
        state_ = sckHostResolved;
        remoteHost_ = sHostName;
        remoteHostIP_ = win::inet_ntoa(lAddress);
        if (pendingOperation_ == 1) {
            SendBufferedData();
            return;
        }
        const win::SOCKADDR_IN record = AddressRecord(lAddress, remotePort_);
        if (win::connect(socketHandle_, &record, sizeof(record)) != win::SOCKET_ERROR) return;
        const int error = win::WSAGetLastError();
        if (error == win::WSAEWOULDBLOCK)
            state_ = sckConnecting;
        else
            RaiseOnError(error, "CSocket.PostGetHostEvent");
    });
}

void clsSocket::LearnLocalAddress() {
    win::SOCKADDR_IN local;
    int length = sizeof(local);
    if (win::getsockname(socketHandle_, &local, &length) != 0) return;
    localPort_ = PortOf(local);
    localIP_ = win::inet_ntoa(local.sin_addr);
    const win::HOSTENT* entry = win::gethostbyaddr(reinterpret_cast<const char*>(&local.sin_addr), 4, win::WS_AF_INET);
    localHostName_ = entry ? modSocketSupport::StringFromPointer(entry->h_name) : localIP_;
}

void clsSocket::PostSocketEvent(long lEvent, long lErrorCode) {
    const std::shared_ptr<bool> alive = alive_;
    WithSource("CSocket.PostSocketEvent", [&] {
        if (lErrorCode >= 1) {
            state_ = sckError;
            DestroySocket();
            RaiseOnError(lErrorCode, "");
            return;
        }
        switch (lEvent) {
            case win::FD_READ: {
                const std::int32_t count = RecvToBuffer();
                bytesReceived_ += count;
                if (count > 0 && OnDataArrival) OnDataArrival(static_cast<std::int32_t>(receiveBuffer_.size()));
                break;
            }
            case win::FD_WRITE:
                if (!sendBuffer_.empty()) {
                    // A datagram waiting for its host name goes out when the name is known.
                    if (resolveTask_ == 0) SendBufferedData();
                } else if (sendCompletePending_) {
                    sendCompletePending_ = false;
                    if (OnSendComplete) OnSendComplete();
                }
                break;
            case win::FD_ACCEPT: {
                win::SOCKADDR_IN peer;
                int length = sizeof(peer);
                const win::SOCKET accepted = win::accept(socketHandle_, &peer, &length);
                if (OnConnectionRequest) OnConnectionRequest(static_cast<std::int32_t>(accepted));
                break;
            }
            case win::FD_CONNECT:
                LearnLocalAddress();
                state_ = sckConnected;
                if (OnConnect) OnConnect();
                break;
            case win::FD_CLOSE:
                for (;;) {
                    if (RecvToBuffer() == 0) break;
                    if (OnDataArrival) OnDataArrival(static_cast<std::int32_t>(receiveBuffer_.size()));
                    if (!*alive) return;
                }
                if (state_ != sckClosing) {
                    state_ = sckClosing;
                    // The peer has gone: what cannot be sent any more is dropped.
                    if (!sendBuffer_.empty()) ErrorTrap(&clsSocket::SendBufferedData);
                }
                DestroySocket();
                state_ = sckClosed;
                if (OnClose) OnClose();
                break;
            default: break;
        }
    });
}

void clsSocket::ErrorTrap(void (clsSocket::*statement)()) {
    try {
        (this->*statement)();
    } catch (const RuntimeError&) {
    }
}

std::int32_t clsSocket::RecvToBuffer() {
    std::string bytes(static_cast<std::size_t>(std::max(receiveSize_, 1)), '\0');
    int count = 0;
    if (protocol_ == sckUDPProtocol) {
        win::SOCKADDR_IN sender;
        int length = sizeof(sender);
        count = win::recvfrom(socketHandle_, bytes.data(), static_cast<int>(bytes.size()), 0, &sender, &length);
        if (count != win::SOCKET_ERROR) {
            remotePort_ = PortOf(sender);
            remoteHostIP_ = win::inet_ntoa(sender.sin_addr);
            const win::HOSTENT* entry =
                win::gethostbyaddr(reinterpret_cast<const char*>(&sender.sin_addr), 4, win::WS_AF_INET);
            if (entry) remoteHost_ = modSocketSupport::StringFromPointer(entry->h_name);
        }
    } else {
        count = win::recv(socketHandle_, bytes.data(), static_cast<int>(bytes.size()), 0);
    }
    if (count == win::SOCKET_ERROR) RaiseLastError("CSocket.RecvToBuffer");
    receiveBuffer_.append(bytes.data(), static_cast<std::size_t>(count));
    return count;
}

void clsSocket::SendData(const Data& varData) {
    WithSource("CSocket.SendData", [&] {
        if (protocol_ == sckUDPProtocol) {
            if (!EnsureSocket()) return;
        } else if (socketHandle_ == -1) {
            throw RuntimeError(40006, "CSocket.SendData",
                               "Wrong protocol or connection state for the requested transaction or request.");
        }
        sendBuffer_ = std::visit(ToBytes{}, varData);
        sendCompletePending_ = true;
        SendBufferedData();
    });
}

void clsSocket::SendBufferedData() {
    sendCompletePending_ = true;
    const std::string bytes = sendBuffer_;
    int sent = 0;
    if (protocol_ == sckTCPProtocol) {
        sent = win::send(socketHandle_, bytes.data(), static_cast<int>(bytes.size()), 0);
    } else {
        if (remoteHostIP_.empty()) {
            pendingOperation_ = 1;
            resolveTask_ = modSocketSupport::ResolveHost(remoteHost_, this);
            if (resolveTask_ == 0) throw modSocketSupport::ErrorRecord();
            if (OnSendProgress) OnSendProgress(0, static_cast<std::int32_t>(sendBuffer_.size()));
            return;
        }
        const win::SOCKADDR_IN record = AddressRecord(win::inet_addr(remoteHostIP_), remotePort_);
        sent = win::sendto(socketHandle_, bytes.data(), static_cast<int>(bytes.size()), 0, &record, sizeof(record));
    }
    if (sent == win::SOCKET_ERROR) {
        const int error = win::WSAGetLastError();
        if (error == win::WSAEWOULDBLOCK) return;
        throw WinsockError(error, "CSocket.SendData");
    }
    if (bytes.size() <= static_cast<std::size_t>(sent)) {
        sendBuffer_.clear();
        win::PostMessageA(modSocketSupport::SocketWindow(), modSocketSupport::SocketMessage(),
                          static_cast<win::WPARAM>(socketHandle_), win::FD_WRITE);
    } else {
        sendBuffer_.erase(0, static_cast<std::size_t>(sent));
    }
    if (OnSendProgress) OnSendProgress(sent, static_cast<std::int32_t>(sendBuffer_.size()));
}

void clsSocket::ReadBuffer(Data& varData, std::optional<int> varType, std::optional<std::int32_t> maxLen, bool peek) {
    if (receiveBuffer_.empty()) return;
    std::size_t count = receiveBuffer_.size();
    if (maxLen && *maxLen > 0 && static_cast<std::size_t>(*maxLen) <= receiveBuffer_.size())
        count = static_cast<std::size_t>(*maxLen);
    varData = DataOf(receiveBuffer_.substr(0, count), varType);
    if (!peek) receiveBuffer_.erase(0, count);
    bytesReceived_ = static_cast<std::int32_t>(receiveBuffer_.size());
}

void clsSocket::GetData(Data& varData, std::optional<int> varType, std::optional<std::int32_t> maxLen) {
    WithSource("CSocket.GetData", [&] { ReadBuffer(varData, varType, maxLen, false); });
}

void clsSocket::PeekData(Data& varData, std::optional<int> varType, std::optional<std::int32_t> maxLen) {
    WithSource("CSocket.PeekData", [&] { ReadBuffer(varData, varType, maxLen, true); });
}

void clsSocket::Listen() {
    WithSource("CSocket.Listen", [&] {
        if (!EnsureSocket()) return;
        if (!bound_) Bind();
        if (win::listen(socketHandle_, 5) == win::SOCKET_ERROR) {
            state_ = sckError;
            RaiseLastError("CSocket.Listen");
        }
        state_ = sckListening;
    });
}

void clsSocket::Bind(std::optional<std::int32_t> lngLocalPort, std::optional<std::string> strLocalIP) {
    WithSource("CSocket.Bind", [&] {
        if (!EnsureSocket()) return;
        if (strLocalIP && !strLocalIP->empty()) localIP_ = *strLocalIP;
        if (lngLocalPort && *lngLocalPort > 0) localPort_ = *lngLocalPort;
        const std::uint32_t address = localIP_.empty() ? win::WS_INADDR_ANY : win::inet_addr(localIP_);
        if (address == win::WS_INADDR_NONE) throw WinsockError(win::WSAEINVAL, "CSocket.Bind");
        const win::SOCKADDR_IN record = AddressRecord(address, localPort_);
        if (win::bind(socketHandle_, &record, sizeof(record)) == win::SOCKET_ERROR) RaiseLastError("CSocket.Bind");
        bound_ = true;
    });
}

void clsSocket::Accept(std::int32_t requestID) {
    WithSource("CSocket.Accept", [&] {
        socketHandle_ = requestID;
        win::SOCKADDR_IN address;
        int length = sizeof(address);
        if (win::getsockname(socketHandle_, &address, &length) == 0) {
            localPort_ = PortOf(address);
            localIP_ = win::inet_ntoa(address.sin_addr);
            localHostName_ = localIP_;
        }
        length = sizeof(address);
        if (win::getpeername(socketHandle_, &address, &length) == 0) {
            remotePort_ = PortOf(address);
            remoteHostIP_ = win::inet_ntoa(address.sin_addr);
            remoteHost_ = remoteHostIP_;
        }
        std::int32_t type = 0;
        length = sizeof(type);
        win::getsockopt(socketHandle_, win::WS_SOL_SOCKET, win::WS_SO_TYPE, reinterpret_cast<char*>(&type), &length);
        protocol_ = type != win::WS_SOCK_STREAM ? sckUDPProtocol : sckTCPProtocol;
        GetBufferSizes();
        if (!modSocketSupport::RegisterSocket(socketHandle_, this)) throw modSocketSupport::ErrorRecord();
        state_ = sckConnected;
    });
}

void clsSocket::CloseSocket() {
    WithSource("clsSocket.CloseSocket", [&] {
        if (socketHandle_ == -1) return;
        if (state_ == sckConnected) {
            state_ = sckClosing;
            if (win::shutdown(socketHandle_, win::SD_SEND) == win::SOCKET_ERROR) RaiseLastError("clsSocket.CloseSocket");
            return;
        }
        DestroySocket();
        state_ = sckClosed;
    });
}

void clsSocket::DestroySocket() {
    receiveBuffer_.clear();
    modSocketSupport::CancelResolve(this);
    resolveTask_ = 0;
    if (socketHandle_ == -1) return;
    const win::SOCKET handle = socketHandle_;
    socketHandle_ = -1;
    modSocketSupport::UnregisterSocket(handle);
    if (win::closesocket(handle) == win::SOCKET_ERROR) RaiseLastError("CSocket.DestroySocket");
}

void clsSocket::Protocol(std::int32_t value) {
    if (socketHandle_ == -1) protocol_ = value;
}

void clsSocket::RemoteHost(const std::string& value) {
    WithSource("clsSocket.RemoteHost", [&] {
        remoteHost_ = value;
        // A new name must be resolved again, not sent to the address of the old one.
        remoteHostIP_ = !value.empty() && IsDottedAddress(value) ? value : "";
        if (protocol_ != sckUDPProtocol) return;
        if (!EnsureSocket()) return;
        SetBroadcast(value);
    });
}

void clsSocket::SetBroadcast(const std::string& address) {
    const bool wanted = address.size() >= 4 && address.compare(address.size() - 4, 4, ".255") == 0;
    if (wanted == broadcast_) return;
    const std::int32_t on = wanted ? 1 : 0;
    if (win::setsockopt(socketHandle_, win::WS_SOL_SOCKET, win::WS_SO_BROADCAST, reinterpret_cast<const char*>(&on),
                        sizeof(on)) == win::SOCKET_ERROR)
        RaiseLastError("clsSocket.RemoteHost");
    broadcast_ = wanted;
}
