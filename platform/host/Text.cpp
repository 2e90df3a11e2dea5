#include "platform/host/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <vector>

#include "platform/host/HostFolder.h"
#include "platform/host/TextTables.h"

namespace platform {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// One character of UTF-8 text at i, which moves past it; an invalid sequence
// gives kInvalid and one byte.
char32_t NextChar(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    const int extra = (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= text.size()) {
        ++i;
        return kInvalid;
    }
    char32_t c = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kInvalid;
        }
        c = c << 6 | (next & 0x3F);
    }
    static constexpr std::array<char32_t, 4> kSmallest{0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++i;
        return kInvalid;
    }
    i += extra + 1;
    return c;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

namespace {

// Every character through Map, an invalid byte kept as it is; a run of ASCII
// is copied whole and mapped in place.
template <char32_t (*Map)(char32_t)>
std::string MapChars(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t end = i;
        while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
        if (end > i) {
            const std::size_t first = out.size();
            out.append(text, i, end - i);
            for (std::size_t k = first; k < out.size(); ++k)
                out[k] = static_cast<char>(Map(static_cast<unsigned char>(out[k])));
            i = end;
            continue;
        }
        const std::size_t start = i;
        const char32_t c = NextChar(text, i);
        if (c == kInvalid)
            out += text[start];
        else
            AppendUtf8(out, Map(c));
    }
    return out;
}

char32_t Fold(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return text_tables::MapCase(text_tables::kFoldBlocks, c);
}

char32_t Upper(char32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
    return text_tables::MapCase(text_tables::kUpperBlocks, c);
}

char32_t Lower(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return text_tables::MapCase(text_tables::kLowerBlocks, c);
}

// The folded character at i, which moves past it; an invalid byte stands for
// itself, above every character, as TextFoldCase keeps it.
std::uint32_t NextFoldedKey(std::string_view text, std::size_t& i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
        ++i;
        return Fold(byte);
    }
    const char32_t c = NextChar(text, i);
    return c == kInvalid ? 0x110000u + byte : Fold(c);
}

// Where the first byte above 0x7F is, or the size, looked at eight bytes at a
// time: most texts are ASCII throughout.
std::size_t AsciiPrefix(std::string_view bytes) {
    std::size_t i = 0;
    for (std::uint64_t word; i + sizeof word <= bytes.size(); i += sizeof word) {
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if (word & 0x8080808080808080u) break;
    }
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    return i;
}

}  // namespace

std::string TextFoldCase(std::string_view text) { return MapChars<Fold>(text); }
std::string TextUpper(std::string_view text) { return MapChars<Upper>(text); }
std::string TextLower(std::string_view text) { return MapChars<Lower>(text); }

bool TextCompareEqual(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
        if ((x | y) < 0x80) {
            if (x != y && Fold(x) != Fold(y)) return false;
            ++i;
            ++j;
        } else if (NextFoldedKey(a, i) != NextFoldedKey(b, j)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

bool TextCompareLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ai = static_cast<unsigned char>(a[i]), bj = static_cast<unsigned char>(b[j]);
        if (ai < 0x80 && bj < 0x80) {
            if (Upper(ai) != Upper(bj)) return Upper(ai) < Upper(bj);
            ++i;
            ++j;
            continue;
        }
        const std::size_t si = i, sj = j;
        const char32_t ca = NextChar(a, i), cb = NextChar(b, j);
        // An invalid byte sorts by its own value, above every character.
        const std::uint64_t ka = ca == kInvalid ? 0x110000u + static_cast<unsigned char>(a[si]) : Upper(ca);
        const std::uint64_t kb = cb == kInvalid ? 0x110000u + static_cast<unsigned char>(b[sj]) : Upper(cb);
        if (ka != kb) return ka < kb;
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    return a < b;
}

bool TextContainsNoCase(std::string_view haystack, std::string_view needle) {
    return TextFoldCase(haystack).find(TextFoldCase(needle)) != std::string::npos;
}

std::string TextTrimLeft(std::string_view text, std::string_view characters) {
    const std::size_t first = text.find_first_not_of(characters);
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

std::string TextTrimRight(std::string_view text, std::string_view characters) {
    const std::size_t last = text.find_last_not_of(characters);
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::string TextTrim(std::string_view text, std::string_view characters) {
    const std::size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return std::string();
    return std::string(text.substr(first, text.find_last_not_of(characters) - first + 1));
}

namespace {

bool IsDigitIn(char c, int base) {
    if (base == 16) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (base == 8) return c >= '0' && c <= '7';
    return c >= '0' && c <= '9';
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
}

// "&H..." or "&O..." / "&..." from text[i] (at the '&'); the digits read are
// counted in used. A value that fits 16 bits is a signed 16-bit number, else
// a signed 32-bit one; more gives nothing.
std::optional<double> RadixNumber(std::string_view text, std::size_t& i) {
    ++i;
    int base = 8;
    if (i < text.size() && (text[i] == 'H' || text[i] == 'h')) {
        base = 16;
        ++i;
    } else if (i < text.size() && (text[i] == 'O' || text[i] == 'o')) {
        ++i;
    }
    std::uint64_t value = 0;
    const std::size_t start = i;
    for (; i < text.size() && IsDigitIn(text[i], base); ++i) {
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[i]));
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    if (i == start) return std::nullopt;
    if (value <= 0xFFFF) return static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(value)));
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

// A decimal number from text[i]: digits, an optional point and digits, an
// optional exponent (E or D, as the run time writes it). Nothing when there
// are no digits.
std::optional<double> DecimalNumber(std::string_view text, std::size_t& i) {
    std::string digits;
    const std::size_t start = i;
    while (i < text.size() && IsDigitIn(text[i], 10)) digits += text[i++];
    if (i < text.size() && text[i] == '.') {
        digits += text[i++];
        while (i < text.size() && IsDigitIn(text[i], 10)) digits += text[i++];
    }
    if (digits.empty() || digits == ".") {
        i = start;
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t k = i + 1;
        std::string exponent = "e";
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) exponent += text[k++];
        if (k < text.size() && IsDigitIn(text[k], 10)) {
            while (k < text.size() && IsDigitIn(text[k], 10)) exponent += text[k++];
            digits += exponent;
            i = k;
        }
    }
    return std::strtod(digits.c_str(), nullptr);
}

}  // namespace

std::optional<double> TextToNumber(std::string_view text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos) return std::nullopt;
    std::optional<double> number;
    if (text[i] == '&') {
        number = RadixNumber(text, i);
    } else {
        bool negative = false;
        if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
        if (i < text.size() && text[i] == ' ') i = text.find_first_not_of(' ', i);
        if (i == std::string_view::npos) return std::nullopt;
        number = DecimalNumber(text, i);
        if (number && negative) number = -*number;
    }
    if (!number || !std::isfinite(*number)) return std::nullopt;
    if (text.find_first_not_of(" \t", i) != std::string_view::npos) return std::nullopt;
    return number;
}

double TextVal(std::string_view text) {
    std::string packed;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') packed += c;
    std::size_t i = 0;
    if (packed.empty()) return 0;
    if (packed[0] == '&') {
        const auto number = RadixNumber(packed, i);
        return number ? *number : 0;
    }
    bool negative = false;
    if (packed[0] == '+' || packed[0] == '-') negative = packed[i++] == '-';
    const auto number = DecimalNumber(packed, i);
    if (!number || !std::isfinite(*number)) return 0;
    return negative ? -*number : *number;
}

bool IsAsciiText(std::string_view text) { return AsciiPrefix(text) == text.size(); }

char32_t NextUtf8Char(std::string_view text, std::size_t& i) {
    const char32_t c = NextChar(text, i);
    return c == kInvalid ? 0xFFFD : c;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = AsciiPrefix(text); i < text.size();)
        if (NextChar(text, i) == kInvalid) return false;
    return true;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) NextChar(text, i);
    return count;
}

std::size_t Utf8PrefixBytes(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (; i < text.size() && count > 0; --count) NextChar(text, i);
    return i;
}

namespace {

using text_tables::CodePage;
using text_tables::kFirstTrail;

constexpr char32_t kUndefined = 0xFFFD;

const CodePage* CodePageNumbered(int number) {
    for (std::size_t k = 0; k < text_tables::kCodePageCount; ++k)
        if (text_tables::kCodePages[k].number == number) return &text_tables::kCodePages[k];
    return nullptr;
}

const CodePage& Windows1252() { return *CodePageNumbered(1252); }

// The code page of that number; Windows-1252 for one this host cannot convert.
const CodePage& CodePageOrDefault(int number) {
    const CodePage* page = CodePageNumbered(number);
    return page ? *page : Windows1252();
}

// The ANSI code page host.ini names; 1252 by default, and for a code page
// this host cannot convert.
const CodePage& AnsiCodePage() {
    const std::string named = TextTrim(HostSetting("International", "ANSICodePage", "1252"));
    if (named.empty() || named.size() > 5 || named.find_first_not_of("0123456789") != std::string::npos)
        return Windows1252();
    return CodePageOrDefault(std::stoi(named));
}

// One character of ANSI text at i, which moves past it. A lead byte whose
// pair the page leaves undefined stands alone, so that the byte after it is
// read for itself.
char32_t NextAnsiChar(const CodePage& page, std::string_view ansi, std::size_t& i) {
    const auto byte = static_cast<unsigned char>(ansi[i++]);
    if (byte < 0x80) return byte;
    const unsigned row = page.leadRows[byte - 0x80];
    if (row == 0) return page.high[byte - 0x80];
    if (i == ansi.size()) return kUndefined;
    const auto trail = static_cast<unsigned char>(ansi[i]);
    if (trail < kFirstTrail) return kUndefined;
    const char32_t c = page.pairs[row - 1][trail - kFirstTrail];
    if (c != kUndefined) ++i;
    return c;
}

using WrittenForms = std::vector<std::uint16_t>;

// Where a double-byte page writes each character of the Basic Multilingual
// Plane: its byte, or its pair as lead << 8 | trail; 0 for none. A character
// of two forms takes the one that is not read-only.
void FillWrittenForms(const CodePage& page, WrittenForms& forms) {
    forms.assign(0x10000, 0);
    for (unsigned k = 0; k < std::size(page.high); ++k)
        if (const char16_t c = page.high[k]; c != 0 && c != kUndefined && forms[c] == 0) forms[c] = static_cast<std::uint16_t>(0x80 + k);
    const std::uint16_t* readOnlyEnd = page.readOnly + page.readOnlyCount;
    for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
        const unsigned row = page.leadRows[lead - 0x80];
        if (row == 0) continue;
        for (unsigned trail = kFirstTrail; trail <= 0xFF; ++trail) {
            const char16_t c = page.pairs[row - 1][trail - kFirstTrail];
            const auto pair = static_cast<std::uint16_t>(lead << 8 | trail);
            if (c == kUndefined || forms[c] != 0 || std::binary_search(page.readOnly, readOnlyEnd, pair)) continue;
            forms[c] = pair;
        }
    }
}

// Made once per page, when text is first written in it.
const WrittenForms& WrittenFormsOf(const CodePage& page) {
    static std::mutex mutex;
    static std::map<int, WrittenForms> pages;
    const std::lock_guard lock(mutex);
    const auto [it, added] = pages.try_emplace(page.number);
    if (added) FillWrittenForms(page, it->second);
    return it->second;
}

void AppendSingleByte(std::string& out, const CodePage& page, char32_t c) {
    for (std::size_t k = 0; k < std::size(page.high); ++k)
        if (page.high[k] == c && c != kUndefined) {
            out += static_cast<char>(0x80 + k);
            return;
        }
    out += '?';
}

void AppendDoubleByte(std::string& out, const WrittenForms& forms, char32_t c) {
    const std::uint16_t form = c < forms.size() ? forms[c] : 0;
    if (form == 0) {
        out += '?';
    } else if (form < 0x100) {
        out += static_cast<char>(form);
    } else {
        out += static_cast<char>(form >> 8);
        out += static_cast<char>(form & 0xFF);
    }
}

std::string ToUtf8(std::string_view ansi, const CodePage& page) {
    if (IsAsciiText(ansi)) return std::string(ansi);
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 2);
    for (std::size_t i = 0; i < ansi.size();) AppendUtf8(out, NextAnsiChar(page, ansi, i));
    return out;
}

std::string FromUtf8(std::string_view utf8, const CodePage& page) {
    if (IsAsciiText(utf8)) return std::string(utf8);
    const WrittenForms* forms = page.pairs ? &WrittenFormsOf(page) : nullptr;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = NextChar(utf8, i);
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (forms)
            AppendDoubleByte(out, *forms, c);
        else
            AppendSingleByte(out, page, c);
    }
    return out;
}

}  // namespace

// ASCII text needs no look at host.ini.
std::string AnsiToUtf8(std::string_view ansi) {
    if (IsAsciiText(ansi)) return std::string(ansi);
    return ToUtf8(ansi, AnsiCodePage());
}

std::string Utf8ToAnsi(std::string_view utf8) {
    if (IsAsciiText(utf8)) return std::string(utf8);
    return FromUtf8(utf8, AnsiCodePage());
}

std::string AnsiToUtf8(std::string_view ansi, int codePage) { return ToUtf8(ansi, CodePageOrDefault(codePage)); }
std::string Utf8ToAnsi(std::string_view utf8, int codePage) { return FromUtf8(utf8, CodePageOrDefault(codePage)); }

std::vector<int> AnsiCodePages() {
    std::vector<int> numbers;
    for (std::size_t k = 0; k < text_tables::kCodePageCount; ++k) numbers.push_back(text_tables::kCodePages[k].number);
    return numbers;
}

std::string FitToAnsiCodePage(std::string_view utf8) { return AnsiToUtf8(Utf8ToAnsi(utf8)); }

}  // namespace platform
