#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/api/Strings.h"
#include "support/TempHost.h"

TEST(Strings, CaseAndTrimAsTheRunTime) {
    EXPECT_EQ(vb::LCase("ÄRGER İzmir ΣΊΣΥΦΟΣ"), "ärger izmir σίσυφοσ");
    EXPECT_EQ(vb::UCase("straße ärger"), "STRAßE ÄRGER");
    EXPECT_EQ(vb::Trim("  \tvalue\r\n  "), "\tvalue\r\n");
    EXPECT_EQ(vb::Trim("   "), "");
}

TEST(Strings, StrCompOrdersAndIgnoresCaseOnlyInTextMode) {
    struct Case {
        const char* a;
        const char* b;
        int binary;
        int text;
    };
    const Case cases[] = {
        {"abc", "abc", 0, 0},          {"ABC", "abc", -1, 0},        {"Quarnel.INI", "quarnel.ini", -1, 0},
        {"МОСКВА", "москва", -1, 0},   {"abc", "abd", -1, -1},       {"abd", "ABC", 1, 1},
        {"abc", "abcd", -1, -1},       {"", "a", -1, -1},            {"\xff", "a", 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vb::StrComp(c.a, c.b), c.binary) << c.a << " / " << c.b;
        EXPECT_EQ(vb::StrComp(c.a, c.b, vb::vbTextCompare), c.text) << c.a << " / " << c.b;
        EXPECT_EQ(vb::StrComp(c.b, c.a, vb::vbTextCompare), -c.text) << c.b << " / " << c.a;
    }
}

TEST(Strings, CDblOfGivesNothingWhereTheConversionFails) {
    struct Case {
        const char* text;
        std::optional<double> number;
    };
    const Case cases[] = {
        {" 12.5 ", 12.5}, {"-3e2", -300.0}, {"&H1F", 31.0}, {"&O17", 15.0},
        {"0x1", std::nullopt}, {"", std::nullopt}, {"12a", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(vb::CDblOf(c.text), c.number) << c.text;
}

TEST(Strings, StrConvBetweenTheAnsiCodePageAndUnicode) {
    testsupport::TempHost host;
    EXPECT_EQ(vb::StrConv("Gr\xfc\xdf \x80", vb::vbUnicode), "Grüß €");
    EXPECT_EQ(vb::StrConv("Grüß €", vb::vbFromUnicode), "Gr\xfc\xdf \x80");
    EXPECT_EQ(vb::StrConv("Москва", vb::vbFromUnicode), "??????");
    EXPECT_EQ(platform::FitToAnsi("Grüß Москва"), "Grüß ??????");
}

TEST(Strings, CaseFoldKeyJoinsTextsThatDifferOnlyInCase) {
    EXPECT_EQ(platform::CaseFoldKey("İSTANBUL"), platform::CaseFoldKey("istanbul"));
    EXPECT_EQ(platform::CaseFoldKey("ΟΔΟΣ"), platform::CaseFoldKey("οδος"));
    EXPECT_NE(platform::CaseFoldKey("Ärger"), platform::CaseFoldKey("Arger"));
}
