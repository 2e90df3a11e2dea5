#pragma once
// A real SNMP agent for a test (Debian's snmpd) on port 161 of a loopback
// address of its own, answering the community kCommunity with the values of
// its configuration; and Debian's snmpget for reading the same objects.
// Also the wait of socket tests: events are pumped until a condition holds.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "support/PeerProcess.h"

namespace testsupport {

class SnmpPeer {
public:
    static constexpr const char* kCommunity = "quarnel-test";

    // extraConfig lines go into snmpd.conf as they are (bytes, not re-encoded).
    // The agent's files live in a temporary folder of its own, not in a host folder.
    explicit SnmpPeer(const std::string& extraConfig = "");
    ~SnmpPeer();
    SnmpPeer(const SnmpPeer&) = delete;
    SnmpPeer& operator=(const SnmpPeer&) = delete;

    bool Ready() const { return ready_; }
    const std::string& Address() const { return address_; }
    void Stop() { peer_.reset(); }

    // snmpget's printed value of one object (-Oqv -On -Ot), or empty.
    std::string SnmpGet(const std::string& oid) const;

private:
    bool Answers() const;

    std::filesystem::path folder_;
    std::string address_;
    std::unique_ptr<PeerProcess> peer_;
    bool ready_ = false;
};

// Runs the event loop until done() holds or the limit has passed; done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace testsupport
