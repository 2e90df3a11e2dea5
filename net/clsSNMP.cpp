#include "net/clsSNMP.h"

#include <cmath>

#include "common/modSocketSupport.h"
#include "net/clsSocket.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace {

constexpr int kLargestArc = 127;

// One element of the identifier as the single byte it is sent as.
std::uint8_t ArcByte(const std::string& element) {
    const auto number = vb::CDblOf(element);
    if (!number) throw RuntimeError::TypeMismatch();
    const double rounded = std::nearbyint(*number);
    // A byte of 0x80 or more would start a longer arc and name another object.
    if (rounded < 0 || rounded > kLargestArc) throw RuntimeError::Overflow();
    return static_cast<std::uint8_t>(rounded);
}

std::vector<std::uint8_t> NameBytes(const std::string& oid) {
    std::vector<std::string> elements;
    modSocketSupport::SplitString(elements, vb::Trim(oid), ".");
    if (!elements.empty() && elements.back().empty()) elements.pop_back();
    if (elements.size() < 2) throw RuntimeError::SubscriptOutOfRange();
    std::vector<std::uint8_t> name{0x2B};
    for (std::size_t i = 2; i < elements.size(); ++i) name.push_back(ArcByte(elements[i]));
    return name;
}

// The reply's bytes with one zero byte behind them; every read is checked.
class Reply {
public:
    explicit Reply(const std::string& bytes) : bytes_(bytes.begin(), bytes.end()) { bytes_.push_back(0); }
    long long operator()(long long index) const {
        if (index < 0 || index >= static_cast<long long>(bytes_.size())) throw RuntimeError::SubscriptOutOfRange();
        return bytes_[static_cast<std::size_t>(index)];
    }
    std::string Bytes(long long from, long long count) const {
        std::string out;
        for (long long i = 0; i < count; ++i) out += static_cast<char>((*this)(from + i));
        return out;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// Content bytes as one big-endian number; integers are signed, counters,
// gauges and time ticks unsigned. Redundant leading bytes are allowed.
std::string NumberText(const std::string& content, bool isSigned) {
    const bool negative = isSigned && !content.empty() && (static_cast<std::uint8_t>(content[0]) & 0x80);
    const char fill = negative ? '\xFF' : '\0';
    std::size_t start = 0;
    while (content.size() - start > 8 && content[start] == fill) ++start;
    if (content.size() - start > 8) throw RuntimeError::Overflow();
    std::uint64_t value = negative ? ~std::uint64_t{0} : 0;
    for (std::size_t i = start; i < content.size(); ++i) value = (value << 8) | static_cast<std::uint8_t>(content[i]);
    return negative ? std::to_string(static_cast<std::int64_t>(value)) : std::to_string(value);
}

std::string UnknownTypeText(long long tag) {
    // The tag's decimal digits read as hexadecimal: 0x80 ("128") gives 0x128.
    const std::uint64_t misread = std::stoull(std::to_string(tag), nullptr, 16);
    return "{Unknown SNMP value type} - Value:  &H" + std::to_string(misread);
}

class Decoder {
public:
    Decoder(const Reply& b, std::string& value, std::string& oid, std::string& named)
        : b(b), value(value), oid(oid), named(named) {}

    void WalkShortForm() {
        long long p = 3 + b(2);
        p = p + b(p + 1) + 5;
        p = p + b(p) + 5;
        p = p + b(p) + 1;
        SkipSequences(p, [&] { p = p + 2; });
        FilterSNMPresult(p);
    }

    void WalkLongForm() {
        const long long n = b(1) & 0x0F;
        long long p = n + 2 + b(n + 2) + 1;
        p = p + b(p + 1) + 3;
        p = p + (b(p) & 0x0F) + 2;
        p = p + b(p) + 5;
        p = p + b(p) + 1;
        SkipSequences(p, [&] {
            p = p + 1;
            p = p + (b(p) & 0x0F) + 1;
        });
        FilterSNMPresult(p);
    }

private:
    template <typename Skip>
    void SkipSequences(long long& p, Skip skip) {
        for (int i = 0; i < 2; ++i)
            if (b(p) == 0x30) skip();
    }

    void FilterSNMPresult(long long& p) {
        const long long tag = b(p);
        switch (tag) {
            case 0x02: case 0x03: case 0x41: case 0x42: case 0x43: {
                p = p + 1;
                value = NumberText(b.Bytes(p + 1, b(p)), tag == 0x02);
                break;
            }
            case 0x40: {
                p = p + 1;
                std::string dotted;
                for (long long i = 1; i <= b(p); ++i) dotted += std::to_string(b(p + i)) + ".";
                if (!dotted.empty()) dotted.pop_back();
                value = dotted;
                break;
            }
            case 0x04:
                p = p + 1;
                value = vb::StrConv(b.Bytes(p + 1, b(p)), vb::vbUnicode);
                break;
            case 0x05:
                p = p + 1;
                value = "NULL ";
                break;
            case 0x06: Bindings(p); break;
            default: value = UnknownTypeText(tag); break;
        }
    }

    // Every binding in turn; the value text keeps the last one.
    void Bindings(long long& p) {
        while (p <= b(1) - 2) {
            if (b(p) == 0x06) {
                p = p + 1;
                const long long k = b(p);
                std::string name = "1.3";
                for (long long i = p + 2; i <= p + k; ++i) name += "." + std::to_string(b(i));
                oid = name;
                named = name;
                p = p + k + 1;
                if (b(p) == 0x06) p = p + 2;
                FilterSNMPresult(p);
                p = p + b(p) + 1;
            }
            p = p + 1;
        }
    }

    const Reply& b;
    std::string& value;
    std::string& oid;
    std::string& named;
};

}  // namespace

clsSNMP::clsSNMP() {
    try {
        oSocket = std::make_unique<clsSocket>();
        oSocket->Protocol(clsSocket::sckUDPProtocol);
        oSocket->LocalPort(0);
        oSocket->RemotePort(161);
        oSocket->OnDataArrival = [this](std::int32_t) { oSocket_OnDataArrival(); };
        oSocket->OnError = [this](std::int16_t, const std::string& description, std::int32_t, const std::string& source,
                                  const std::string&, std::int32_t, bool&) { oSocket_OnError(description, source); };
    } catch (const RuntimeError& e) {
        RaiseError("[" + e.Description() + "] in 'Class_Initialize()");
    }
}

clsSNMP::~clsSNMP() = default;

void clsSNMP::RaiseError(const std::string& text) {
    if (Error) Error(text);
}

void clsSNMP::SNMPGet(const std::string& sOid) {
    if (!sOid.empty()) oid_ = sOid;
    if (destHost_.empty() || oid_.empty()) {
        RaiseError("[Missing parameter (DestHost or Oid)!] in 'SNMPGet()'");
        return;
    }
    SNMPsendRequest(0xA0);
}

void clsSNMP::SNMPGetNext() {
    if (destHost_.empty() || oid_.empty()) {
        RaiseError("[Missing parameter (DestHost or Oid)!] in 'SNMPGetNext()'");
        return;
    }
    SNMPsendRequest(0xA1);
}

std::size_t clsSNMP::BuildPacket(std::uint8_t pduTag, const std::string& community,
                                 const std::vector<std::uint8_t>& name) {
    const std::size_t k = name.size();
    const std::size_t total = 26 + community.size() + k;
    if (total > kDatagramSize) throw RuntimeError::SubscriptOutOfRange();
    std::vector<std::uint8_t> packet{0x30, static_cast<std::uint8_t>(total - 2), 0x02, 1, 0, 0x04,
                                     static_cast<std::uint8_t>(community.size())};
    packet.insert(packet.end(), community.begin(), community.end());
    const std::uint8_t head[] = {pduTag, static_cast<std::uint8_t>(k + 17), 0x02, 1, 1, 0x02, 1, 0, 0x02, 1, 0,
                                 0x30, static_cast<std::uint8_t>(k + 6), 0x30, static_cast<std::uint8_t>(k + 4),
                                 0x06, static_cast<std::uint8_t>(k)};
    packet.insert(packet.end(), std::begin(head), std::end(head));
    packet.insert(packet.end(), name.begin(), name.end());
    packet.push_back(0x05);
    packet.push_back(0);
    std::copy(packet.begin(), packet.end(), datagram_.begin());
    return total;
}

void clsSNMP::SNMPsendRequest(std::uint8_t pduTag) {
    try {
        const std::string community = vb::StrConv(vb::Trim(comunityName_), vb::vbFromUnicode);
        if (community.size() > 255) throw RuntimeError::Overflow();
        BuildPacket(pduTag, community, NameBytes(oid_));
        oSocket->RemoteHost(destHost_);
        // The whole buffer goes: the request and whatever an earlier, longer one left behind it.
        oSocket->SendData(std::vector<std::uint8_t>(datagram_.begin(), datagram_.end()));
    } catch (const RuntimeError& e) {
        RaiseError("[" + e.Description() + "] in 'SNMPsendRequest()'");
    }
}

void clsSNMP::oSocket_OnDataArrival() {
    clsSocket::Data data;
    // Bytes, not text: a round trip through the code page could change them.
    oSocket->GetData(data, clsSocket::vbByteArray);
    const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&data);
    HandleReply(bytes ? std::string(bytes->begin(), bytes->end()) : std::string(), oSocket->RemoteHostIP());
}

void clsSNMP::oSocket_OnError(const std::string& description, const std::string& source) {
    RaiseError("[Socket Error! - " + description + "  - Source " + source);
}

void clsSNMP::HandleReply(const std::string& datagram, const std::string& sender) {
    replyHost_ = sender;
    replyOid_.clear();
    try {
        ParseResponse(datagram);
    } catch (const RuntimeError& e) {
        RaiseError("[" + e.Description() + kDecodeErrorSuffix);
    }
    if (Result) Result(value_);
    replyHost_.clear();
    replyOid_.clear();
}

std::string clsSNMP::AnsweredOid(const std::string& sOid) {
    try {
        const std::vector<std::uint8_t> name = NameBytes(sOid);
        std::string dotted = "1.3";
        for (std::size_t i = 1; i < name.size(); ++i) dotted += "." + std::to_string(name[i]);
        return dotted;
    } catch (const RuntimeError&) {
        return {};
    }
}

void clsSNMP::ParseResponse(const std::string& reply) {
    value_.clear();
    const Reply b(reply);
    const bool sequence = b(0) == 0x30;
    const bool longLength = (b(1) & 0xF0) == 0x80;
    const bool noVersionTag = b(2) != 0x02;
    Decoder decoder(b, value_, oid_, replyOid_);
    if (sequence && longLength && noVersionTag) {
        snmpVersion_ = 2;
        decoder.WalkLongForm();
    } else {
        snmpVersion_ = 1;
        decoder.WalkShortForm();
    }
}
