#pragma once
// Text as the Windows program compares and converts it, on UTF-8 strings:
// letter case ignored over all of Unicode (each character lower-cased, then
// simply case-folded, so that "İ" meets "i" as the final sigma meets the
// other), the run time's trimming, and the language's
// conversion of text to a number ("&H1F" hexadecimal, "&O17" octal; "0x1" is
// no number). Bytes that are not valid UTF-8 are kept and compared as they are.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The text with every character replaced by the simple case folding of its
// lower case: the key under which texts that differ only in letter case are
// one (maps, searches).
std::string TextFoldCase(std::string_view text);
bool TextCompareEqual(std::string_view a, std::string_view b);
// Order of names ignoring case, as NTFS sorts a folder: by the upper-case
// form, character by character; texts equal but for case by their bytes.
bool TextCompareLess(std::string_view a, std::string_view b);
// Every character's simple upper or lower case.
std::string TextUpper(std::string_view text);
std::string TextLower(std::string_view text);
// Whether needle occurs in haystack, letter case ignored.
bool TextContainsNoCase(std::string_view haystack, std::string_view needle);

// The text without the given characters at either end; the default is the
// blank, the tab and CR and LF.
inline constexpr std::string_view kBlanks = " \t\r\n";
std::string TextTrim(std::string_view text, std::string_view characters = kBlanks);
std::string TextTrimLeft(std::string_view text, std::string_view characters = kBlanks);
std::string TextTrimRight(std::string_view text, std::string_view characters = kBlanks);
// The run time's Trim: spaces only.
inline std::string TextTrimSpaces(std::string_view text) { return TextTrim(text, " "); }

// The number a whole text stands for when the run time converts it (CDbl,
// CLng, or a text compared with a number): blanks around it, a sign, digits
// with a decimal point and an exponent, or "&H" hexadecimal and "&O" (or "&")
// octal digits, which give a 16-bit value when they fit, else a 32-bit one.
// Nothing when the text is not a number; the callers raise "Type mismatch".
std::optional<double> TextToNumber(std::string_view text);
// Val: the number at the start of the text, blanks, tabs and line feeds
// skipped anywhere in it; 0 when there is none.
double TextVal(std::string_view text);

// Windows-1252 (or the code page host.ini names under [International]
// ANSICodePage: 874, 932, 936, 949, 950 or 1250 to 1258) to UTF-8 and back,
// as Windows converts them; a character the code page lacks is written as
// "?", a byte or pair it leaves undefined is read as U+FFFD.
bool IsValidUtf8(std::string_view text);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// The same in the code page of that number (Windows-1252 for one not known).
std::string AnsiToUtf8(std::string_view ansi, int codePage);
std::string Utf8ToAnsi(std::string_view utf8, int codePage);
// The numbers of the code pages known.
std::vector<int> AnsiCodePages();
// UTF-8 text with every character the ANSI code page lacks replaced by "?".
std::string FitToAnsiCodePage(std::string_view utf8);
void AppendUtf8(std::string& out, char32_t c);
// One character of UTF-8 text at i, which moves past it; a byte that is not
// UTF-8 gives U+FFFD.
char32_t NextUtf8Char(std::string_view text, std::size_t& i);
bool IsAsciiText(std::string_view text);
// Number of characters of UTF-8 text (an invalid byte counts as one).
std::size_t Utf8Length(std::string_view text);
// The byte length of the first count characters.
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t count);

}  // namespace platform
