#include "platform/api/Format.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "platform/host/HostFolder.h"

namespace vb {

namespace {

bool IsDigitPlaceholder(char c) { return c == '#' || c == '0'; }

struct DigitPattern {
    std::string prefix;
    std::string suffix;
    int requiredIntegerDigits = 0;
    int fractionDigits = 0;
    int requiredFractionDigits = 0;
    bool grouped = false;
    bool decimalSign = false;
};

DigitPattern ReadPattern(const std::string& pattern) {
    DigitPattern read;
    const size_t first = pattern.find_first_of("#0.,");
    if (first == std::string::npos) {
        read.prefix = pattern;
        return read;
    }
    const size_t last = pattern.find_last_of("#0.,");
    read.prefix = pattern.substr(0, first);
    read.suffix = pattern.substr(last + 1);
    bool inFraction = false;
    bool integerDigitSeen = false;
    for (size_t i = first; i <= last; ++i) {
        const char c = pattern[i];
        if (c == '.' && !inFraction) {
            inFraction = read.decimalSign = true;
        } else if (c == ',' && !inFraction) {
            read.grouped = read.grouped || integerDigitSeen;
        } else if (IsDigitPlaceholder(c) && inFraction) {
            ++read.fractionDigits;
            if (c == '0') read.requiredFractionDigits = read.fractionDigits;
        } else if (IsDigitPlaceholder(c)) {
            integerDigitSeen = true;
            if (c == '0') ++read.requiredIntegerDigits;
        }
    }
    return read;
}

// The magnitude rounded to the decimals, as the integer of all its digits.
std::string RoundedDigits(double magnitude, int decimals) {
    const long double scaled = std::round(static_cast<long double>(magnitude) * std::pow(10.0L, decimals));
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.0Lf", scaled);
    return buffer;
}

std::string Grouped(const std::string& digits, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += separator;
        text += digits[i];
    }
    return text;
}

}  // namespace

std::string Format(double value, const std::string& pattern) {
    const DigitPattern read = ReadPattern(pattern);
    if (!std::isfinite(value)) return read.prefix + (std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity");
    std::string digits = RoundedDigits(std::fabs(value), read.fractionDigits);
    if (digits.size() <= static_cast<size_t>(read.fractionDigits))
        digits.insert(0, read.fractionDigits + 1 - digits.size(), '0');
    std::string integer = digits.substr(0, digits.size() - read.fractionDigits);
    std::string fraction = digits.substr(integer.size());
    const bool zero = digits.find_first_not_of('0') == std::string::npos;

    integer.erase(0, integer.find_first_not_of('0'));
    if (integer.size() < static_cast<size_t>(read.requiredIntegerDigits))
        integer.insert(0, read.requiredIntegerDigits - integer.size(), '0');
    while (fraction.size() > static_cast<size_t>(read.requiredFractionDigits) && fraction.back() == '0')
        fraction.pop_back();

    std::string text = value < 0 && !zero ? "-" : "";
    text += read.prefix;
    text += read.grouped ? Grouped(integer, platform::HostSetting("International", "Thousand", ",")) : integer;
    if (read.decimalSign) text += platform::HostSetting("International", "Decimal", ".");
    text += fraction;
    return text + read.suffix;
}

}  // namespace vb
