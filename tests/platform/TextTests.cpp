#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/Text.h"
#include "platform/host/WinPath.h"
#include "support/TempHost.h"

using namespace platform;

TEST(TextCase, FoldsLettersBeyondAscii) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"ÄRGER", "ärger", true},        {"Straße", "STRAßE", true},  {"ΣΊΣΥΦΟΣ", "σίσυφος", true},
        {"МОСКВА", "москва", true},      {"Quarnel.INI", "quarnel.ini", true},
        {"Ärger", "Arger", false},       {"abc", "abcd", false},     {"\xff" "A", "\xff" "a", true},
        {"\xff", "\xfe", false},
        // Lower case first, then folding: the dotted capital I meets i, and
        // what simple folding alone joins stays joined.
        {"İSTANBUL", "istanbul", true},  {"İzmir", "IZMIR", true},  {"STRASSE", "straße", false},
        {"ΟΔΟΣ", "οδος", true},          {"\xE2\x84\xAA" "elvin", "kelvin", true},
    };
    for (const Case& c : cases) EXPECT_EQ(TextCompareEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(TextFoldCase("ÄRGER Über"), "ärger über");
    EXPECT_EQ(TextUpper("ärger"), "ÄRGER");
    EXPECT_TRUE(TextContainsNoCase("Der Dienst meldet ÄRGER im Netz", "ärger"));
}

TEST(TextCase, MapsSimpleCaseOverAllPlanes) {
    struct Case {
        char32_t c, folded, upper, lower;
    };
    const Case cases[] = {
        {0x017F, 's', 'S', 0x017F},            // long s folds to s, stays itself in lower case
        {0x00B5, 0x03BC, 0x039C, 0x00B5},      // micro sign folds to Greek mu
        {0x03C2, 0x03C3, 0x03A3, 0x03C2},      // final sigma
        {0x00DF, 0x00DF, 0x00DF, 0x00DF},      // sharp s has no simple upper case
        {0x1E9E, 0x00DF, 0x1E9E, 0x00DF},      // capital sharp s
        {0x01C5, 0x01C6, 0x01C4, 0x01C6},      // title-case digraph
        {0x212A, 'k', 0x212A, 'k'},            // Kelvin sign
        {0x0130, 'i', 0x0130, 'i'},            // dotted capital I: no simple folding, lower case i
        {0x0131, 0x0131, 'I', 0x0131},         // dotless small i stays apart
        {0x13A0, 0x13A0, 0x13A0, 0xAB70},      // Cherokee folds to its capital
        {0xAB70, 0x13A0, 0x13A0, 0xAB70},
        {0xA7AE, 0x026A, 0xA7AE, 0x026A},      // a delta beyond 16 bits
        {0x10400, 0x10428, 0x10400, 0x10428},  // Deseret, past the first plane
        {0x1E900, 0x1E922, 0x1E900, 0x1E922},  // Adlam, the last cased block
        {0x1F600, 0x1F600, 0x1F600, 0x1F600},  // no case at all
        {0x10FFFF, 0x10FFFF, 0x10FFFF, 0x10FFFF},
    };
    const auto text = [](char32_t c) {
        std::string out;
        AppendUtf8(out, c);
        return out;
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextFoldCase(text(c.c)), text(c.folded)) << std::hex << static_cast<unsigned>(c.c);
        EXPECT_EQ(TextUpper(text(c.c)), text(c.upper)) << std::hex << static_cast<unsigned>(c.c);
        EXPECT_EQ(TextLower(text(c.c)), text(c.lower)) << std::hex << static_cast<unsigned>(c.c);
    }
}

// Equality ignoring case is the equality of the folded texts, invalid bytes
// and all: checked over every text of up to three pieces.
TEST(TextCase, ComparesAsTheFoldedTexts) {
    const std::vector<std::string> pieces = {"", "A", "a", "s", "S", "ſ", "Ä", "ä", "ß", "ẞ", "\xc3", "\xa4", "\xff", "𐐀", "𐐨"};
    std::map<std::string, std::string> folded;
    for (const std::string& a : pieces)
        for (const std::string& b : pieces)
            for (const std::string& c : pieces) folded.emplace(a + b + c, TextFoldCase(a + b + c));
    for (const auto& [a, foldedA] : folded)
        for (const auto& [b, foldedB] : folded)
            ASSERT_EQ(TextCompareEqual(a, b), foldedA == foldedB) << a << " / " << b;
}

TEST(TextCase, OrdersAsAFolderListing) {
    EXPECT_TRUE(TextCompareLess("a.dat", "B.dat"));
    EXPECT_TRUE(TextCompareLess("Zulu.dat", "_x.dat"));  // upper-case order puts '_' after the letters
    EXPECT_TRUE(TextCompareLess("z.dat", "ärger.dat"));
    EXPECT_FALSE(TextCompareLess("ÄRGER", "ÄRGER"));
    EXPECT_TRUE(TextCompareLess("ÄRGER", "ärger"));  // equal but for case: by bytes, a stable order
}

TEST(TextCase, WildcardsMatchWholeCharacters) {
    EXPECT_TRUE(MatchesWildcard("ä?ger.DAT", "ÄRGER.dat"));
    EXPECT_TRUE(MatchesWildcard("?rger.dat", "ärger.dat"));
    EXPECT_FALSE(MatchesWildcard("??rger.dat", "ärger.dat"));
}

TEST(TextTrim, DropsTheGivenCharactersAtBothEnds) {
    EXPECT_EQ(TextTrim(" \t x y \r\n"), "x y");
    EXPECT_EQ(TextTrim("   "), "");
    EXPECT_EQ(TextTrimSpaces("\t x \t"), "\t x \t");
    EXPECT_EQ(TextTrimLeft("  x "), "x ");
    EXPECT_EQ(TextTrimRight("  x "), "  x");
}

TEST(TextNumber, ConvertsAsTheRunTimeDoes) {
    struct Case {
        const char* text;
        std::optional<double> number;
    };
    const Case cases[] = {
        {"1", 1},        {" 1 ", 1},       {"+1", 1},          {"-2.5", -2.5},   {"01", 1},
        {"&H1", 1},      {"&h1F", 31},     {"&O17", 15},       {"&17", 15},      {"&HFFFF", -1},
        {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"1E3", 1000},  {"1D2", 100},     {".5", 0.5},
        {"0x1", {}},     {"", {}},         {"  ", {}},         {"1a", {}},       {"&H", {}},
        {"&H1G", {}},    {"inf", {}},      {"nan", {}},        {"1 2", {}},      {"&H100000000", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(TextToNumber(c.text), c.number) << '"' << c.text << '"';
}

TEST(TextNumber, ValReadsTheLeadingNumber) {
    EXPECT_EQ(TextVal("12abc"), 12);
    EXPECT_EQ(TextVal(" 1 2 3"), 123);
    EXPECT_EQ(TextVal("&H1F rest"), 31);
    EXPECT_EQ(TextVal("0x1"), 0);
    EXPECT_EQ(TextVal("abc"), 0);
    EXPECT_EQ(TextVal("-1.5e1x"), -15);
}

TEST(TextAnsi, ConvertsWindows1252BothWays) {
    EXPECT_EQ(AnsiToUtf8("\xc4rger \x80 \x93x\x94"), "Ärger € “x”");
    EXPECT_EQ(Utf8ToAnsi("Ärger € “x” ☃"), "\xc4rger \x80 \x93x\x94 ?");
    EXPECT_TRUE(IsValidUtf8("Ärger"));
    EXPECT_FALSE(IsValidUtf8("\xc4rger"));
    EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));  // an overlong form is no UTF-8
    EXPECT_EQ(Utf8Length("Ärger"), 5u);
    EXPECT_EQ(Utf8PrefixBytes("Ärger", 2), 3u);
}

TEST(TextAnsi, ConvertsTheCodePageHostIniNames) {
    struct Case {
        const char* page;
        const char* ansi;
        const char* utf8;
    };
    const Case cases[] = {
        {"874", "\xa1", "ก"},     {"1250", "\x8a\xe8", "Šč"}, {"1251", "\xc0\xff", "Ая"},
        {"1253", "\xc1\xf9", "Αω"}, {"1254", "\xd0\xfd", "Ğı"}, {"1255", "\xe0\xfa", "את"},
        {"1256", "\xc7", "ا"},     {"1257", "\xc0\xe8", "Ąč"}, {"1258", "\xd0\xfe", "Đ₫"},
        {" 1250 ", "\x8a", "Š"},  // trimmed
        {"932", "\x83\x47\x83\x89\x81\x5B \xB1 \\", "エラー ｱ \\"},
        {"936", "\xC4\xE3\xBA\xC3 \x80", "你好 €"},
        {"949", "\xC7\xD1\xB1\xDB \x81\x41", "한글 갂"},
        {"950", "\xA4\xA4\xA4\xE5", "中文"},
        {"1252", "\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
        {"65001", "\xc4", "Ä"},    // not a page this host converts: Windows-1252
        {"", "\x80", "€"},
    };
    for (const Case& c : cases) {
        testsupport::TempHost host;
        host.WriteHostIni("International", "ANSICodePage", c.page);
        EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8) << c.page;
        EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi) << c.page;
    }
}

TEST(TextAnsi, WritesWhatThePageLacksAsAQuestionMark) {
    testsupport::TempHost host;
    host.WriteHostIni("International", "ANSICodePage", "1251");
    EXPECT_EQ(Utf8ToAnsi("Ärger Я \xff €"), "?rger \xdf ? \x88");
    EXPECT_EQ(FitToAnsiCodePage("Ärger Я"), "?rger Я");
    testsupport::TempHost greek;
    greek.WriteHostIni("International", "ANSICodePage", "1253");
    EXPECT_EQ(AnsiToUtf8("\xd2"), "\xef\xbf\xbd");  // a byte the page leaves undefined
    EXPECT_EQ(Utf8ToAnsi("\xef\xbf\xbd"), "?");
}

// Every byte of a Windows-1252 file reads as a character and is written back
// as itself, the five the page leaves unassigned as the control characters of
// the same number, as Windows converts them.
TEST(TextAnsi, EveryByteOfWindows1252ComesBackAsItself) {
    std::string bytes;
    for (int byte = 1; byte < 256; ++byte) bytes += static_cast<char>(byte);
    const std::string text = AnsiToUtf8(bytes);
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(Utf8ToAnsi(text), bytes);
    EXPECT_EQ(FitToAnsiCodePage(text), text);
}

// The double-byte pages as Windows reads and writes them: a character with
// two forms is written in the one Windows writes, a lead byte without its
// pair stands alone as U+FFFD and leaves the byte after it to itself, and
// 932's bytes outside its table keep the characters Windows gives them.
TEST(TextAnsi, DoubleBytePagesReadAndWriteAsWindowsDoes) {
    struct Case {
        int page;
        const char* ansi;
        const char* utf8;
        const char* written;
    };
    const Case cases[] = {
        {932, "\xFA\x54", "\uFFE2", "\x81\xCA"},        // IBM extension, written in its JIS form
        {932, "\xED\x40", "纊", "\xFA\x5C"},            // NEC-selected IBM extension, written as IBM's
        {932, "\x87\x54", "Ⅰ", "\x87\x54"},             // NEC row 13 keeps its own form
        {932, "\x80\xA0\xFD\xFE\xFF", "\u0080\uF8F0\uF8F1\uF8F2\uF8F3", "\x80\xA0\xFD\xFE\xFF"},
        {932, "\x81\r\nx", "\uFFFD\r\nx", "?\r\nx"},  // a lead byte before a line end
        {932, "a\x81", "a\uFFFD", "a?"},                // a lead byte at the end
        {936, "\x81\x30", "\uFFFD" "0", "?0"},          // GB18030's four-byte forms are not the page's
        {950, "\xF9\xF9", "═", "\xF9\xF9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnsiToUtf8(c.ansi, c.page), c.utf8) << c.page << " " << c.ansi;
        EXPECT_EQ(Utf8ToAnsi(c.utf8, c.page), c.written) << c.page << " " << c.ansi;
    }
    EXPECT_EQ(Utf8ToAnsi("Ä €", 932), "? ?");  // what the page lacks
}
