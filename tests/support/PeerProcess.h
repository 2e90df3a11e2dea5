#pragma once
// A server that a test talks to (an SMTP, FTP, HTTP or SNMP peer): a program
// started with its arguments, no shell between, that says it is ready by
// writing its first line to standard output (a script prints its port
// there; anything it writes to standard output later is not read, so a peer
// logs to standard error). The program and its process group end when the
// object goes.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& arguments,
                         std::chrono::seconds readyWithin = std::chrono::seconds(30));
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // True once the first line came within the limit.
    bool Ready() const { return ready_; }
    const std::string& FirstLine() const { return firstLine_; }
    pid_t Pid() const { return pid_; }
    // Ends the peer now (a test of a server that goes away).
    void Stop();

private:
    pid_t pid_ = -1;
    int output_ = -1;
    bool ready_ = false;
    std::string firstLine_;
};

// Debian's Python, which has the packaged server modules (aiosmtpd, pyftpdlib).
inline constexpr const char* kSystemPython = "/usr/bin/python3";

// A loopback address of this test's own (each test runs in its own process):
// 127.<a>.<b>.<c>, picked from the process's number and the salt, with the
// given first inner byte so that kinds of peers never meet.
std::string OwnLoopbackAddress(int firstInnerByte, unsigned salt = 0);

}  // namespace testsupport
