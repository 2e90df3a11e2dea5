#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/host/Text.h"
#include "platform/host/WinPath.h"

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
    };
    for (const Case& c : cases) EXPECT_EQ(TextCompareEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(TextFoldCase("ÄRGER Über"), "ärger über");
    EXPECT_EQ(TextUpper("ärger"), "ÄRGER");
    EXPECT_TRUE(TextContainsNoCase("Der Dienst meldet ÄRGER im Netz", "ärger"));
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
