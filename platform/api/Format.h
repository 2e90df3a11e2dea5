#pragma once
// The run time's Format of a number with a digit pattern ("#,###.##",
// "0.00"), in the regional number settings of the emulated machine
// (host.ini [International] Decimal and Thousand; "." and "," by default).
#include <string>

namespace vb {

// Pattern characters: "#" a digit shown only when significant, "0" a digit
// always shown, "." the decimal sign (shown even without decimals), "," the
// thousands separator when it stands among the integer digits. Other
// characters stand where they are before or after the digits. Rounding is
// half away from zero; no digit before the decimal sign for values below 1
// unless the pattern asks for one with "0".
std::string Format(double value, const std::string& pattern);

}  // namespace vb
