// Datagrams an SNMP agent (or anyone else) sends back: each gives at most one
// Error and then exactly one Result, during which the reply's sender is known,
// and the decoder never reads outside it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/clsSNMP.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static clsSNMP* snmp = new clsSNMP;
    int errors = 0;
    int results = 0;
    snmp->Error = [&](const std::string& text) {
        if (results != 0 || text.empty()) __builtin_trap();
        ++errors;
    };
    snmp->Result = [&](const std::string& value) {
        results += 1;
        (void)value.size();
        if (snmp->ReplyHost() != "127.0.0.1") __builtin_trap();
        if (!snmp->ReplyOid().empty() && snmp->ReplyOid() != snmp->Oid()) __builtin_trap();
    };
    snmp->HandleReply(std::string(reinterpret_cast<const char*>(data), size), "127.0.0.1");
    if (results != 1 || errors > 1) __builtin_trap();
    if (!snmp->ReplyHost().empty() || !snmp->ReplyOid().empty()) __builtin_trap();
    if (snmp->SNMPversion() < 0 || snmp->SNMPversion() > 2) __builtin_trap();
    return 0;
}
