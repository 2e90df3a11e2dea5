#include "modBase85.h"

#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace modBase85 {

namespace {

constexpr std::uint8_t kFirstDigit = '!';
constexpr std::uint8_t kLastDigit = 'u';
constexpr std::uint32_t kDigitValues = 85;
constexpr std::uint64_t kLargestGroup = 0xFFFFFFFFull;
const std::string kPrefix = "<~";
const std::string kSuffix = "~>";
const std::string kFrame = "a";

std::string XorWithKey(std::string text, const std::string& sKey) {
    if (!text.empty() && sKey.empty()) throw RuntimeError(11, "Quarnel", "Division by zero");
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(text[i] ^ sKey[i % sKey.size()]);
    return text;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::uint32_t GroupValue(const Bytes& input, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t byte = at + i < input.size() ? input[at + i] : 0;
        value = (value << 8) | byte;
    }
    return value;
}

void Append(Bytes& output, const std::string& text) { output.insert(output.end(), text.begin(), text.end()); }

bool IsDigit(std::uint8_t c) { return c >= kFirstDigit && c <= kLastDigit; }

// Where the data begin: after a leading "<~". A "<" without "~" is the digit
// 27; every form scrambled with the mail key begins with it.
std::size_t DataStart(const Bytes& input) {
    return input.size() >= 2 && input[0] == '<' && input[1] == '~' ? 2 : 0;
}

// First pass: checks the characters, counts the digits and finds the "~>";
// gives where the data end, or npos when the text is not valid.
std::size_t ScanData(const Bytes& input, std::size_t start, std::size_t& digits) {
    digits = 0;
    for (std::size_t i = start; i < input.size(); ++i) {
        const std::uint8_t c = input[i];
        if (c < kFirstDigit) continue;
        if (IsDigit(c)) {
            ++digits;
        } else if (c == 'z' && digits % 5 == 0) {
            digits += 5;
        } else if (c == '~' && i + 1 < input.size() && input[i + 1] == '>') {
            return i;
        } else {
            return std::string::npos;
        }
    }
    return std::string::npos;
}

// Writes the first count bytes of a group; false when the group exceeds 32 bits.
bool WriteGroup(std::uint64_t value, std::size_t count, Bytes& output) {
    if (value > kLargestGroup) return false;
    for (std::size_t i = 0; i < count; ++i) output.push_back(static_cast<std::uint8_t>(value >> (24 - 8 * i)));
    return true;
}

bool DecodeFinalGroup(std::uint64_t value, std::size_t digits, Bytes& output) {
    if (digits < 2) return true;
    for (std::size_t i = digits; i < 5; ++i) value = value * kDigitValues + (kLastDigit - kFirstDigit);
    return WriteGroup(value, digits - 1, output);
}

}  // namespace

std::string EncodeGroup(std::uint32_t value, bool bWholeGroup) {
    if (bWholeGroup && value == 0) return "z";
    std::string digits(5, '\0');
    for (int i = 4; i >= 0; --i) {
        digits[i] = static_cast<char>(kFirstDigit + value % kDigitValues);
        value /= kDigitValues;
    }
    return digits;
}

Bytes EncodeBytes(const Bytes& input, bool bWithPrefix) {
    Bytes output;
    if (bWithPrefix) Append(output, kPrefix);
    std::size_t at = 0;
    for (; at + 4 <= input.size(); at += 4) Append(output, EncodeGroup(GroupValue(input, at), true));
    const std::size_t rest = input.size() - at;
    if (rest > 0) Append(output, EncodeGroup(GroupValue(input, at), false).substr(0, rest + 1));
    Append(output, kSuffix);
    return output;
}

bool DecodeBytes(const Bytes& input, Bytes& output) {
    output.clear();
    const std::size_t start = DataStart(input);
    if (start == std::string::npos) return false;
    std::size_t digits = 0;
    const std::size_t end = ScanData(input, start, digits);
    if (end == std::string::npos) return false;
    output.reserve(digits / 5 * 4 + 3);

    std::uint64_t value = 0;
    std::size_t inGroup = 0;
    for (std::size_t i = start; i < end; ++i) {
        const std::uint8_t c = input[i];
        if (c == 'z') {
            output.insert(output.end(), 4, 0);
        } else if (IsDigit(c)) {
            value = value * kDigitValues + (c - kFirstDigit);
            if (++inGroup < 5) continue;
            if (!WriteGroup(value, 4, output)) return false;
            value = 0;
            inGroup = 0;
        }
    }
    return DecodeFinalGroup(value, inGroup, output);
}

std::string Ascii85Encode(const std::string& sText, bool bWithPrefix) {
    return ToText(EncodeBytes(ToBytes(sText), bWithPrefix));
}

std::string Ascii85Decode(const std::string& sText) {
    if (sText.empty()) return "";
    Bytes output;
    if (!DecodeBytes(ToBytes(sText), output)) return "";
    return ToText(output);
}

std::string XorEncode(const std::string& sText, const std::string& sKey) {
    return Ascii85Encode(XorWithKey(kFrame + vb::StrConv(sText, vb::vbFromUnicode) + kFrame, sKey), false);
}

std::string XorDecode(const std::string& sText, const std::string& sKey) {
    const std::string plain = XorWithKey(Ascii85Decode(sText), sKey);
    if (plain.size() < 2) throw RuntimeError::InvalidProcedureCall();
    return vb::StrConv(plain.substr(1, plain.size() - 2), vb::vbUnicode);
}

}  // namespace modBase85
