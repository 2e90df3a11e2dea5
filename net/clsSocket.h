#pragma once
// An event-driven TCP or UDP socket over Windows Sockets 1.1. Set the
// properties, call Connect, Listen, Bind, Accept, SendData or GetData, and
// hear of progress through the events, which are raised while the program
// dispatches its window messages. Host names resolve asynchronously.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/modSocketSupport.h"

class clsSocket final : public modSocketSupport::SocketEvents {
public:
    // The kinds of value SendData takes and GetData gives back, by their type codes.
    struct Currency {
        std::int64_t scaled;  // the value times 10000
    };
    struct Date {
        double value;
    };
    using Data = std::variant<std::monostate, std::uint8_t, std::int16_t, std::int32_t, float, double, Currency,
                              Date, std::string, bool, std::vector<std::uint8_t>>;
    static constexpr int vbInteger = 2, vbLong = 3, vbSingle = 4, vbDouble = 5, vbCurrency = 6, vbDate = 7,
                         vbString = 8, vbBoolean = 11, vbByte = 17, vbByteArray = 8209;

    enum Protocols : std::int32_t { sckTCPProtocol = 0, sckUDPProtocol = 1 };
    enum States : std::int32_t {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9
    };

    clsSocket();
    ~clsSocket();
    clsSocket(const clsSocket&) = delete;
    clsSocket& operator=(const clsSocket&) = delete;

    void SendData(const Data& varData);
    void PeekData(Data& varData, std::optional<int> varType = {}, std::optional<std::int32_t> maxLen = {});
    void Listen();
    void GetData(Data& varData, std::optional<int> varType = {}, std::optional<std::int32_t> maxLen = {});
    void Connect(std::optional<std::string> strRemoteHost = {}, std::optional<std::int32_t> lngRemotePort = {});
    void CloseSocket();
    void Bind(std::optional<std::int32_t> lngLocalPort = {}, std::optional<std::string> strLocalIP = {});
    void Accept(std::int32_t requestID);

    std::int32_t State() const { return state_; }
    std::int32_t SocketHandle() const { return static_cast<std::int32_t>(socketHandle_); }
    std::int32_t RemotePort() const { return remotePort_; }
    void RemotePort(std::int32_t value) { remotePort_ = value; }
    std::string RemoteHostIP() const { return remoteHostIP_; }
    std::string RemoteHost() const { return remoteHost_; }
    void RemoteHost(const std::string& value);
    std::int32_t Protocol() const { return protocol_; }
    void Protocol(std::int32_t value);
    std::int32_t LocalPort() const { return localPort_; }
    void LocalPort(std::int32_t value) { localPort_ = value; }
    std::string LocalIP() const { return localIP_; }
    std::string LocalHostName() const { return localHostName_; }
    std::int32_t BytesReceived() const { return bytesReceived_; }
    win::SOCKET vbSocket();

    void PostSocketEvent(long lEvent, long lErrorCode) override;
    void PostGetHostEvent(long lTaskHandle, std::uint32_t lAddress, const std::string& sHostName,
                          long lErrorCode) override;

    // Events.
    std::function<void()> OnClose;
    std::function<void()> OnConnect;
    std::function<void(std::int32_t requestID)> OnConnectionRequest;
    std::function<void(std::int32_t bytesTotal)> OnDataArrival;
    std::function<void(std::int16_t Number, const std::string& Description, std::int32_t Scode,
                       const std::string& Source, const std::string& HelpFile, std::int32_t HelpContext,
                       bool& CancelDisplay)>
        OnError;
    std::function<void()> OnSendComplete;
    std::function<void(std::int32_t bytesSent, std::int32_t bytesRemaining)> OnSendProgress;

private:
    bool EnsureSocket();
    void GetBufferSizes();
    std::int32_t RecvToBuffer();
    void ReadBuffer(Data& varData, std::optional<int> varType, std::optional<std::int32_t> maxLen, bool peek);
    void DestroySocket();
    void SendBufferedData();
    void ConnectTo(std::uint32_t address, const std::string& source);
    void ErrorTrap(void (clsSocket::*statement)());
    void RaiseOnError(long number, const std::string& source);
    void LearnLocalAddress();
    void SetBroadcast(const std::string& address);

    std::int32_t pendingOperation_ = 0;
    std::int32_t protocol_ = sckTCPProtocol;
    std::int32_t state_ = sckClosed;
    std::int32_t bytesReceived_ = 0;
    std::string localHostName_;
    std::string localIP_;
    std::int32_t localPort_ = 0;
    std::string remoteHost_;
    std::string remoteHostIP_;
    std::int32_t remotePort_ = 0;
    win::SOCKET socketHandle_ = -1;
    win::HANDLE resolveTask_ = 0;
    std::string sendBuffer_;     // bytes
    std::string receiveBuffer_;  // bytes
    std::int32_t sendSize_ = 0;
    std::int32_t receiveSize_ = 0;
    std::int32_t maxDatagramSize_ = 0;
    bool bound_ = false;
    bool sendCompletePending_ = false;
    bool broadcast_ = false;
    // Cleared when the object ends, so an event loop knows to stop.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
