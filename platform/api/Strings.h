#pragma once
// The run time's string functions on UTF-8 text: letter case over all of
// Unicode, Trim, StrComp, the conversion of text to a number and StrConv
// between the ANSI code page and Unicode. Helpers the run time has no
// function for are in namespace platform.
#include <optional>
#include <string>
#include <string_view>

namespace vb {

std::string LCase(std::string_view text);
std::string UCase(std::string_view text);
// Spaces only, as the run time trims; tabs and line ends stay.
std::string Trim(std::string_view text);

enum class CompareMethod { vbBinaryCompare, vbTextCompare };
inline constexpr CompareMethod vbBinaryCompare = CompareMethod::vbBinaryCompare;
inline constexpr CompareMethod vbTextCompare = CompareMethod::vbTextCompare;
// -1, 0 or 1 as a sorts before, with or after b; text compare ignores letter
// case (0 exactly when the texts differ only in case).
int StrComp(std::string_view a, std::string_view b, CompareMethod compare = vbBinaryCompare);

// The number a whole text converts to as CDbl converts it (blanks around it,
// "&H" hexadecimal, "&O" octal); nothing where CDbl raises "Type mismatch".
std::optional<double> CDblOf(std::string_view text);

enum class Conversion { vbUnicode, vbFromUnicode };
inline constexpr Conversion vbUnicode = Conversion::vbUnicode;
inline constexpr Conversion vbFromUnicode = Conversion::vbFromUnicode;
// vbUnicode reads bytes of the ANSI code page into text; vbFromUnicode writes
// text as bytes of the ANSI code page ("?" for a character it lacks).
std::string StrConv(std::string_view text, Conversion conversion);

}  // namespace vb

namespace platform {

// The key under which texts that differ only in letter case are one (maps,
// searches).
std::string CaseFoldKey(std::string_view text);
// The text with every character the ANSI code page lacks replaced by "?",
// still UTF-8: what survives a round trip through the code page.
std::string FitToAnsi(std::string_view text);

}  // namespace platform
