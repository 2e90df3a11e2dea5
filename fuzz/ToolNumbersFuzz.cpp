// The number readers of the console tools: eventcreate's /ID and reg.exe's
// REG_DWORD and REG_QWORD data. The first byte picks the reader; a number
// read must be the text's own value, and a text naming a value in range must
// be read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/tools/EventCreateTool.h"
#include "platform/tools/RegTool.h"

namespace {

int DigitValue(char c, unsigned base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value the digits spell, capped just above the largest 64-bit number;
// nothing when a character is no digit of the base.
std::optional<unsigned __int128> Spelled(const std::string& digits, unsigned base) {
    const unsigned __int128 cap = static_cast<unsigned __int128>(~0ull) + 1;
    unsigned __int128 value = 0;
    for (char c : digits) {
        const int digit = DigitValue(c, base);
        if (digit < 0) return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
        if (value > cap) value = cap;
    }
    return value;
}

void CheckEventId(const std::string& text) {
    const std::optional<std::uint32_t> id = platform::EventCreateId(text);
    const auto spelled = text.empty() ? std::nullopt : Spelled(text, 10);
    const bool inRange = spelled && *spelled >= 1 && *spelled <= 65535;
    if (id.has_value() != inRange) std::abort();
    if (id && *id != static_cast<std::uint32_t>(*spelled)) std::abort();
}

void CheckRegNumber(const std::string& text, int size) {
    const std::optional<std::uint64_t> number = platform::RegNumber(text, size);
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const auto spelled = text.empty() ? std::nullopt : Spelled(hex ? text.substr(2) : text, hex ? 16 : 10);
    const unsigned __int128 largest = size == 8 ? ~0ull : 0xFFFFFFFFull;
    const bool fits = spelled && *spelled <= largest;
    if (number.has_value() != fits) std::abort();
    if (number && *number != static_cast<std::uint64_t>(*spelled)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0: CheckEventId(text); break;
        case 1: CheckRegNumber(text, 4); break;
        default: CheckRegNumber(text, 8); break;
    }
    return 0;
}
