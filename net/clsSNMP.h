#pragma once
// An SNMP version 1 client: one GetRequest or GetNextRequest for one object
// identifier to one agent on UDP port 161, encoded here with one-byte
// lengths, and every datagram that comes back decoded by fixed positions into
// a value text. There is no request matching, time-out or retry; answers and
// failures come as the events Error and then Result.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class clsSocket;

class clsSNMP {
public:
    static constexpr std::size_t kDatagramSize = 256;
    // Ends the Error text of a reply that could not be decoded; its Result follows.
    static constexpr const char* kDecodeErrorSuffix = "] in 'FilterSNMPresult()";

    clsSNMP();
    ~clsSNMP();
    clsSNMP(const clsSNMP&) = delete;
    clsSNMP& operator=(const clsSNMP&) = delete;

    void SNMPGet(const std::string& sOid = "");
    void SNMPGetNext();

    std::string Oid() const { return oid_; }
    void Oid(const std::string& sNewOid) { oid_ = sNewOid; }
    std::string ComunityName() const { return comunityName_; }
    void ComunityName(const std::string& sNewComunityName) { comunityName_ = sNewComunityName; }
    std::int32_t SNMPversion() const { return snmpVersion_; }
    std::string DestHost() const { return destHost_; }
    void DestHost(const std::string& sNewDestHost) { destHost_ = sNewDestHost; }

    // What a datagram from the agent sets off: decoding, then the events.
    void HandleReply(const std::string& datagram, const std::string& sender = "");
    // While the events of a reply are raised: the address it came from and
    // the identifier it named (empty when it named none); empty otherwise.
    const std::string& ReplyHost() const { return replyHost_; }
    const std::string& ReplyOid() const { return replyOid_; }
    // The identifier an answer to a request for sOid names, its first two
    // arcs read back as 1.3 since they are sent as 0x2B; empty when sOid
    // cannot be sent.
    static std::string AnsweredOid(const std::string& sOid);
    // The request as it last went out (always kDatagramSize bytes).
    const std::array<std::uint8_t, kDatagramSize>& Datagram() const { return datagram_; }

    std::function<void(const std::string& sErrMsg)> Error;
    std::function<void(const std::string& sValue)> Result;

private:
    void SNMPsendRequest(std::uint8_t pduTag);
    std::size_t BuildPacket(std::uint8_t pduTag, const std::string& community, const std::vector<std::uint8_t>& name);
    void ParseResponse(const std::string& reply);
    void RaiseError(const std::string& text);
    void oSocket_OnDataArrival();
    void oSocket_OnError(const std::string& description, const std::string& source);

    std::unique_ptr<clsSocket> oSocket;
    std::array<std::uint8_t, kDatagramSize> datagram_{};
    std::string destHost_;
    std::string comunityName_ = "public";
    std::string oid_;
    std::string value_;
    std::string replyHost_;
    std::string replyOid_;
    std::int32_t snmpVersion_ = 0;
};
