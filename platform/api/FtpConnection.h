#pragma once
// One FTP session as the internet library keeps it: one control connection,
// logged on once, and the data connection of one transfer at a time, passive
// (PASV, EPSV for IPv6) or active (PORT, EPRT). A refused command (a reply
// of 400 or more) leaves the session as it was, ready for the next one; only
// a connection that drops or a wait that runs out ends it. Every wait is
// bounded: the connect time-out for making a connection, the receive
// time-out for each reply and for each piece of data.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum class FtpFailure {
    None,
    NotResolved,    // the server's name has no address
    CannotConnect,  // no address took the connection
    TimedOut,       // a wait ran out; the session has ended
    Dropped,        // the server closed or broke a connection; the session has ended
    Refused         // the server's reply was 400 or more (or was not the reply asked for)
};

class FtpConnection {
public:
    struct Settings {
        bool passive = false;
        unsigned connectTimeoutMs = 60000;
        unsigned receiveTimeoutMs = 60000;
    };

    explicit FtpConnection(const Settings& settings);
    ~FtpConnection();
    // For the waits that begin from now on.
    void SetTimeouts(unsigned connectTimeoutMs, unsigned receiveTimeoutMs) {
        settings_.connectTimeoutMs = connectTimeoutMs;
        settings_.receiveTimeoutMs = receiveTimeoutMs;
    }
    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;

    // Connects (a name the hosts file lists resolves from it), reads the
    // greeting and logs on.
    bool Open(const std::string& host, std::uint16_t port, const std::string& user, const std::string& password);
    // Sends one command line and reads its final reply; true below 400.
    bool Command(const std::string& line);

    // Starts a transfer command (RETR, STOR, MLSD, LIST) with its data
    // connection, the type set first when it changes; true once the server
    // said it begins.
    bool BeginTransfer(const std::string& line, bool ascii);
    // Up to `count` bytes of a transfer's data: fewer only at its end, which
    // the server's final reply must confirm; 0 once it has all been read;
    // -1 on failure.
    long Receive(char* buffer, std::size_t count);
    bool Send(const char* data, std::size_t count);
    // Closes the data connection and reads the final reply (unless it has
    // been read): true when the server confirms the transfer. A download
    // ended early is abandoned.
    bool EndTransfer();
    bool InTransfer() const { return inTransfer_; }

    FtpFailure Failure() const { return failure_; }
    // The last whole reply as the server sent it, line ends included, and its code.
    const std::string& LastReply() const { return lastReply_; }
    int LastCode() const { return lastCode_; }
    // Told every reply as it arrives.
    std::function<void(const std::string& reply)> OnReply;

private:
    bool Fail(FtpFailure failure);
    bool End(FtpFailure failure);
    bool ReadReply();
    bool ReadFinalReply();
    bool SendLine(const std::string& line);
    void DropStaleReplies();
    bool Reply(const std::string& line, int wantedClass);
    bool LogOn(const std::string& user, const std::string& password);
    bool SetType(bool ascii);
    bool OpenPassiveData();
    bool ListenForActiveData();
    bool AcceptActiveData();
    bool FinishTransfer();
    void CloseData();

    Settings settings_;
    int control_ = -1;
    int data_ = -1;
    int listener_ = -1;
    std::string received_;
    std::string lastReply_;
    int lastCode_ = 0;
    FtpFailure failure_ = FtpFailure::None;
    char type_ = 0;
    bool inTransfer_ = false;
    bool finalReplyRead_ = false;
    bool dataEnded_ = false;
};

}  // namespace platform
