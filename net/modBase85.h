#pragma once
// The printable, reversible form in which the settings file keeps passwords:
// the password framed by one "a" on each side, XORed with a repeating key,
// then written as Ascii85 ending in "~>". Stateless; every call stands alone.
//
// Passwords travel as UTF-8 text; the scrambled bytes are their codes in the
// ANSI code page (Windows-1252), so a stored value reads the same as on
// Windows. A character that code page lacks is scrambled as "?".
#include <cstdint>
#include <string>
#include <vector>

namespace modBase85 {

// The key of [EmailConfig] SMTPPassword and [Nimbrel] Password.
inline constexpr const char* kMailPasswordKey = "5038142";
// The key of [General] ConfigPassword.
inline constexpr const char* kConfigPasswordKey = "vqtz";

using Bytes = std::vector<std::uint8_t>;

// The stored form of sText. An empty key raises error 11 (division by zero).
std::string XorEncode(const std::string& sText, const std::string& sKey);
// The password of a stored form. A value that decodes to fewer than two
// characters (empty, or not valid Ascii85) raises error 5 to the caller; a
// value made with another key decodes to another text without an error.
std::string XorDecode(const std::string& sText, const std::string& sKey);

// Ascii85 of the bytes of sText (one byte per character), ending in "~>",
// with "<~" in front when bWithPrefix is set.
std::string Ascii85Encode(const std::string& sText, bool bWithPrefix);
// The bytes of an Ascii85 text, one character per byte; empty when sText is
// empty or not valid Ascii85. A leading "<~" is skipped; a "<" without "~"
// is an ordinary digit. Blanks and control characters are skipped.
std::string Ascii85Decode(const std::string& sText);

// The byte-level workers of the two above.
Bytes EncodeBytes(const Bytes& input, bool bWithPrefix);
bool DecodeBytes(const Bytes& input, Bytes& output);
// Five base-85 digits of one group, most significant first; "z" for a whole
// group of four zero bytes (never for a padded final group).
std::string EncodeGroup(std::uint32_t value, bool bWholeGroup);

}  // namespace modBase85
