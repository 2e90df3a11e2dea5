// The SNMP client: request bytes, replies of Debian's snmpd compared with
// snmpget, and crafted short or malformed replies.
#include "net/clsSNMP.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "support/SnmpPeer.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

using testsupport::PumpUntil;
using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// What the events said, in order.
struct Events {
    explicit Events(clsSNMP& snmp) {
        snmp.Error = [this](const std::string& text) { log.push_back("Error " + text); };
        snmp.Result = [this](const std::string& text) { log.push_back("Result " + text); };
    }
    std::vector<std::string> log;
};

// A listener on port 161 of a loopback address of the test's own: it takes
// the requests and sends back whatever the test gives it.
class FakeAgent {
public:
    FakeAgent() : address_(testsupport::OwnLoopbackAddress(162)), fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in here{};
        here.sin_family = AF_INET;
        here.sin_port = htons(161);
        ::inet_pton(AF_INET, address_.c_str(), &here.sin_addr);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&here), sizeof(here)) == 0;
    }
    ~FakeAgent() { ::close(fd_); }
    bool Bound() const { return bound_; }
    const std::string& Address() const { return address_; }
    // The next request, or "" when none came within the wait.
    std::string Request(int ms = 2000) {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, ms) != 1) return "";
        char bytes[1024];
        socklen_t length = sizeof(client_);
        const ssize_t got = ::recvfrom(fd_, bytes, sizeof(bytes), 0, reinterpret_cast<sockaddr*>(&client_), &length);
        return std::string(bytes, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    void Reply(const Bytes& bytes) {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&client_), sizeof(client_));
    }

private:
    std::string address_;
    int fd_;
    bool bound_ = false;
    sockaddr_in client_{};
};

class clsSNMPTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::TestApplication(); }
    testsupport::ProgramHost host;
};

TEST_F(clsSNMPTest, RequestOfTheExampleGoesOutAsAWhole256ByteDatagram) {
    FakeAgent agent;
    ASSERT_TRUE(agent.Bound());
    clsSNMP snmp;
    Events events(snmp);
    snmp.DestHost(agent.Address());
    snmp.SNMPGet("1.3.6.1.2.1.1.1.0");
    const std::string request = agent.Request();
    ASSERT_EQ(request.size(), 256u);
    EXPECT_EQ(Hex(reinterpret_cast<const std::uint8_t*>(request.data()), 40),
              "30 26 02 01 00 04 06 70 75 62 6C 69 63 A0 19 02 01 01 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 "
              "02 01 01 01 00 05 00");
    EXPECT_EQ(request.substr(40), std::string(216, '\0'));
    EXPECT_TRUE(events.log.empty());

    snmp.ComunityName(" pub ");
    snmp.SNMPGetNext();
    const std::string shorter = agent.Request();
    ASSERT_EQ(shorter.size(), 256u);
    EXPECT_EQ(Hex(reinterpret_cast<const std::uint8_t*>(shorter.data()), 14),
              "30 23 02 01 00 04 03 70 75 62 A1 19 02 01") << "trimmed community, GetNext tag";
    EXPECT_EQ(shorter.substr(37, 3), request.substr(37, 3)) << "the tail of the longer request is still there";
}

TEST_F(clsSNMPTest, IdentifiersAreEncodedOneByteAnArcOrRefused) {
    struct Case {
        const char* oid;
        const char* nameBytes;  // name tag, length, bytes; or the error text
    };
    const Case cases[] = {
        {"1.3.6.1.2.1.1.5.0", "06 08 2B 06 01 02 01 01 05 00"},
        {"1.3.6.1.2.1.1.5.0.", "06 08 2B 06 01 02 01 01 05 00"},
        {" 2.5.6.1.2.1.1.5.0 ", "06 08 2B 06 01 02 01 01 05 00"},
        {"1.3", "06 01 2B"},
        {"1.3.6.1.4.1.127.0", "06 07 2B 06 01 04 01 7F 00"},
        {"1.3.6.1.4.1.128.0", "Error [Overflow] in 'SNMPsendRequest()'"},
        {"1.3.6.1.4.1.8072.0", "Error [Overflow] in 'SNMPsendRequest()'"},
        {"1.3.6.-1", "Error [Overflow] in 'SNMPsendRequest()'"},
        {"1.3.6.x.1", "Error [Type mismatch] in 'SNMPsendRequest()'"},
        {"1.3..1", "Error [Type mismatch] in 'SNMPsendRequest()'"},
        {"1", "Error [Subscript out of range] in 'SNMPsendRequest()'"},
    };
    for (const Case& c : cases) {
        clsSNMP snmp;
        Events events(snmp);
        snmp.DestHost("127.0.0.1");
        snmp.SNMPGet(c.oid);
        if (std::string(c.nameBytes).rfind("Error", 0) == 0) {
            EXPECT_EQ(events.log, std::vector<std::string>{c.nameBytes}) << c.oid;
            EXPECT_EQ(snmp.Datagram()[0], 0) << c.oid << ": nothing built, nothing sent";
            continue;
        }
        EXPECT_TRUE(events.log.empty()) << c.oid;
        const auto& d = snmp.Datagram();
        const std::size_t nameAt = 7 + 6 + 15;
        EXPECT_EQ(Hex(d.data() + nameAt, d[nameAt + 1] + 2u), c.nameBytes) << c.oid;
        const std::size_t valueAt = nameAt + 2 + d[nameAt + 1];
        EXPECT_EQ(Hex(d.data() + valueAt, 2), "05 00") << c.oid;
        EXPECT_EQ(d[1], valueAt) << c.oid << ": the message length is the value tag's index";
    }
}

TEST_F(clsSNMPTest, MissingDestinationOrIdentifierIsAnErrorAtOnce) {
    clsSNMP snmp;
    Events events(snmp);
    snmp.SNMPGet("1.3.6.1.2.1.1.1.0");
    snmp.DestHost("127.0.0.1");
    snmp.Oid("");
    snmp.SNMPGetNext();
    clsSNMP tooLong;
    Events longEvents(tooLong);
    tooLong.DestHost("127.0.0.1");
    tooLong.ComunityName(std::string(230, 'c'));
    tooLong.SNMPGet("1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(events.log, (std::vector<std::string>{"Error [Missing parameter (DestHost or Oid)!] in 'SNMPGet()'",
                                                    "Error [Missing parameter (DestHost or Oid)!] in 'SNMPGetNext()'"}));
    EXPECT_EQ(longEvents.log, std::vector<std::string>{"Error [Subscript out of range] in 'SNMPsendRequest()'"});
}

class clsSNMPAgentTest : public clsSNMPTest {
protected:
    void SetUp() override {
        clsSNMPTest::SetUp();
        // The agent's address in the hosts file spares the reverse look-up of each reply.
        testsupport::WriteHostFile(host.HostOf("C:\\Windows\\System32\\drivers\\etc\\hosts"),
                                   agent.Address() + " snmp-agent.test\n");
        ASSERT_TRUE(agent.Ready());
    }
    std::string Get(clsSNMP& snmp, Events& events, const std::string& oid) {
        events.log.clear();
        snmp.SNMPGet(oid);
        PumpUntil([&] { return !events.log.empty(); });
        return events.log.empty() ? "<no answer>" : events.log.back();
    }
    testsupport::SnmpPeer agent{"sysLocation Z\xFCrich lab\nsysContact " + std::string(120, 'q') + "\n"};
};

TEST_F(clsSNMPAgentTest, ValuesOfTheRealAgentMatchSnmpget) {
    clsSNMP snmp;
    Events events(snmp);
    snmp.DestHost(agent.Address());
    snmp.ComunityName(testsupport::SnmpPeer::kCommunity);
    for (const char* oid : {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.7.0", "1.3.6.1.2.1.2.2.1.4.1", "1.3.6.1.2.1.2.2.1.5.1",
                            "1.3.6.1.2.1.4.20.1.1.127.0.0.1"}) {
        std::string expected = agent.SnmpGet(oid);
        if (expected.size() >= 2 && expected.front() == '"') expected = expected.substr(1, expected.size() - 2);
        ASSERT_FALSE(expected.empty()) << oid;
        EXPECT_EQ(Get(snmp, events, oid), "Result " + expected) << oid;
        EXPECT_EQ(snmp.Oid(), oid) << "the reply names the object";
        EXPECT_EQ(snmp.SNMPversion(), 1);
    }
    EXPECT_EQ(Get(snmp, events, "1.3.6.1.2.1.1.6.0"), "Result Z\xC3\xBCrich lab") << "a Windows-1252 byte";
    EXPECT_EQ(Get(snmp, events, "1.3.6.1.2.1.1.4.0"), "Result " + std::string(120, 'q'));
    EXPECT_EQ(agent.SnmpGet("1.3.6.1.2.1.1.4.0"), '"' + std::string(120, 'q') + '"');
    EXPECT_EQ(snmp.SNMPversion(), 2) << "a reply above 127 bytes has two-byte lengths";
    EXPECT_EQ(Get(snmp, events, "1.3.6.1.2.1.1.99.0"), "Result NULL ") << "noSuchName sends the null back";
}

TEST_F(clsSNMPAgentTest, GetNextWalksTheTreeAndTimeTicksCount) {
    clsSNMP snmp;
    Events events(snmp);
    snmp.DestHost(agent.Address());
    snmp.ComunityName(testsupport::SnmpPeer::kCommunity);
    snmp.Oid("1.3.6.1.2.1.1.2.0");
    events.log.clear();
    snmp.SNMPGetNext();
    ASSERT_TRUE(PumpUntil([&] { return !events.log.empty(); }));
    EXPECT_EQ(snmp.Oid(), "1.3.6.1.2.1.1.3.0");
    const long ticks = std::stol(events.log.back().substr(7));
    const long snmpgetTicks = std::stol(agent.SnmpGet("1.3.6.1.2.1.1.3.0"));
    EXPECT_GE(snmpgetTicks, ticks);
    EXPECT_LT(snmpgetTicks - ticks, 1000) << "the same clock, read a moment later";

    snmp.ComunityName("wrong community");
    events.log.clear();
    snmp.SNMPGet("1.3.6.1.2.1.1.1.0");
    PumpUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_TRUE(events.log.empty()) << "an agent that does not answer gives no event";
}

TEST_F(clsSNMPAgentTest, AnswersFromAnotherSenderAreDecodedToo) {
    FakeAgent fake;
    ASSERT_TRUE(fake.Bound());
    clsSNMP snmp;
    Events events(snmp);
    snmp.DestHost(fake.Address());
    snmp.SNMPGet("1.3.6.1.2.1.1.5.0");
    ASSERT_EQ(fake.Request().size(), 256u);
    fake.Reply({0x30, 0x05, 0x02, 0x01});
    ASSERT_TRUE(PumpUntil([&] { return events.log.size() == 2; }));
    EXPECT_EQ(events.log, (std::vector<std::string>{"Error [Subscript out of range] in 'FilterSNMPresult()",
                                                    "Result "}));
}

// A version-1 reply with the given bindings (name bytes after 0x2B; value
// tag and content), lengths of 128 or more in the two-byte form agents use.
struct Binding {
    Bytes arcs;
    std::uint8_t tag;
    Bytes content;
};
Bytes Tagged(std::uint8_t tag, const Bytes& content) {
    Bytes out{tag};
    if (content.size() >= 128) out.push_back(0x81);
    out.push_back(static_cast<std::uint8_t>(content.size()));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}
Bytes ReplyOf(const std::vector<Binding>& bindings, std::uint8_t errorStatus = 0) {
    Bytes list;
    for (const Binding& b : bindings) {
        Bytes name{0x2B};
        name.insert(name.end(), b.arcs.begin(), b.arcs.end());
        Bytes one = Tagged(0x06, name);
        const Bytes value = Tagged(b.tag, b.content);
        one.insert(one.end(), value.begin(), value.end());
        const Bytes sequence = Tagged(0x30, one);
        list.insert(list.end(), sequence.begin(), sequence.end());
    }
    Bytes pdu{0x02, 1, 1, 0x02, 1, errorStatus, 0x02, 1, 0};
    const Bytes listSequence = Tagged(0x30, list);
    pdu.insert(pdu.end(), listSequence.begin(), listSequence.end());
    Bytes message{0x02, 1, 0, 0x04, 6, 'p', 'u', 'b', 'l', 'i', 'c'};
    const Bytes response = Tagged(0xA2, pdu);
    message.insert(message.end(), response.begin(), response.end());
    return Tagged(0x30, message);
}

std::vector<std::string> Decode(const Bytes& reply, clsSNMP& snmp) {
    Events events(snmp);
    snmp.HandleReply(std::string(reply.begin(), reply.end()));
    return events.log;
}

TEST_F(clsSNMPTest, ValueTypesOfCraftedReplies) {
    const Bytes sysName{6, 1, 2, 1, 1, 5, 0};
    struct Case {
        const char* what;
        std::uint8_t tag;
        Bytes content;
        const char* result;
    };
    const Case cases[] = {
        {"octet string", 0x04, {'a', 'b', 'c'}, "Result abc"},
        {"empty string", 0x04, {}, "Result "},
        {"Windows-1252 text", 0x04, {'c', 0xE9, 0x80}, "Result c\xC3\xA9\xE2\x82\xAC"},
        {"null", 0x05, {}, "Result NULL "},
        {"integer", 0x02, {0x48}, "Result 72"},
        {"negative integer", 0x02, {0xFB}, "Result -5"},
        {"zero-length integer", 0x02, {}, "Result 0"},
        {"counter above 2^31", 0x41, {0x00, 0xEE, 0x6B, 0x28, 0x00}, "Result 4000000000"},
        {"gauge with its top bit set", 0x42, {0xFF, 0xFF, 0xFF, 0xFF}, "Result 4294967295"},
        {"time ticks", 0x43, {0x00, 0x83, 0xD6, 0x00}, "Result 8640000"},
        {"64-bit counter", 0x41, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "Result 18446744073709551615"},
        {"IP address", 0x40, {10, 1, 2, 254}, "Result 10.1.2.254"},
        {"unknown type", 0x80, {}, "Result {Unknown SNMP value type} - Value:  &H296"},
    };
    for (const Case& c : cases) {
        clsSNMP snmp;
        EXPECT_EQ(Decode(ReplyOf({{sysName, c.tag, c.content}}), snmp), std::vector<std::string>{c.result}) << c.what;
        EXPECT_EQ(snmp.Oid(), "1.3.6.1.2.1.1.5.0") << c.what;
        EXPECT_EQ(snmp.SNMPversion(), 1);
    }
}

TEST_F(clsSNMPTest, EveryBindingIsDecodedAndTheLastValueKept) {
    clsSNMP snmp;
    const auto log = Decode(ReplyOf({{{6, 1, 2, 1, 1, 5, 0}, 0x04, {'x'}}, {{6, 1, 2, 1, 1, 7, 0}, 0x02, {0x48}}}), snmp);
    EXPECT_EQ(log, std::vector<std::string>{"Result 72"});
    EXPECT_EQ(snmp.Oid(), "1.3.6.1.2.1.1.7.0");
}

TEST_F(clsSNMPTest, LongFormLengthsAreWalkedAsVersionTwo) {
    const Bytes reply = ReplyOf({{{6, 1, 2, 1, 1, 1, 0}, 0x04, Bytes(120, 'd')}});
    ASSERT_EQ(reply[1], 0x81);
    clsSNMP snmp;
    const auto log = Decode(reply, snmp);
    EXPECT_EQ(snmp.SNMPversion(), 2);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Result " + std::string(120, 'd'));
}

TEST_F(clsSNMPTest, ShortOrMalformedRepliesGiveErrorThenResultAndNoReadOutside) {
    const Bytes good = ReplyOf({{{6, 1, 2, 1, 1, 5, 0}, 0x04, {'a', 'b', 'c'}}});
    auto cut = [&](std::size_t n) { return Bytes(good.begin(), good.begin() + static_cast<long>(n)); };
    auto with = [&](std::size_t at, std::uint8_t byte) {
        Bytes changed = good;
        changed[at] = byte;
        return changed;
    };
    const std::string outside = "Error [Subscript out of range] in 'FilterSNMPresult()";
    struct Case {
        const char* what;
        Bytes reply;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"empty datagram", {}, {outside, "Result "}},
        {"one byte", {0x30}, {outside, "Result "}},
        {"cut inside the community", cut(9), {outside, "Result "}},
        {"cut inside the request id", cut(16), {outside, "Result "}},
        {"cut inside the name", cut(31), {outside, "Result "}},
        {"cut inside the value", cut(good.size() - 2), {outside, "Result "}},
        {"string longer than the datagram", with(good.size() - 4, 0xFF), {outside, "Result "}},
        {"community longer than the datagram", with(6, 0xF0), {outside, "Result "}},
        {"name longer than the datagram", with(29, 0xFE), {outside, "Result "}},
        {"integer of nine significant bytes",
         ReplyOf({{{6, 1, 2, 1, 1, 7, 0}, 0x02, {0x7F, 1, 2, 3, 4, 5, 6, 7, 8}}}),
         {"Error [Overflow] in 'FilterSNMPresult()", "Result "}},
    };
    for (const Case& c : cases) {
        clsSNMP snmp;
        EXPECT_EQ(Decode(c.reply, snmp), c.log) << c.what;
    }
    clsSNMP snmp;
    EXPECT_EQ(Decode(good, snmp), std::vector<std::string>{"Result abc"}) << "the uncut reply decodes";
}

}  // namespace
