// The password scrambler and its Ascii85 layer: stored forms worked out by
// hand from the framing, the keys and Ascii85, the group rules, and every
// kind of text the decoder must refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/modBase85.h"
#include "platform/api/RuntimeError.h"

namespace {

using modBase85::Ascii85Decode;
using modBase85::Ascii85Encode;
using modBase85::kConfigPasswordKey;
using modBase85::kMailPasswordKey;
using modBase85::XorDecode;
using modBase85::XorEncode;

struct StoredForm {
    std::string password;
    std::string key;
    std::string stored;
};

const std::vector<StoredForm> kStoredForms = {
    {"", kMailPasswordKey, "<)E~>"},
    {"", kConfigPasswordKey, "(D$~>"},
    {"ab", kMailPasswordKey, "<)HLq~>"},
    {"ab", kConfigPasswordKey, "(D%?$~>"},
    {"abc", kMailPasswordKey, "<)HLs:]~>"},
    {"abc", kConfigPasswordKey, "(D%?\"(B~>"},
    {"secret", kMailPasswordKey, "<'s\\j6W$<P~>"},
    {"secret", kConfigPasswordKey, "(BP0d\";ChT~>"},
    {"Secret", kConfigPasswordKey, "(EsG/\";ChT~>"},
    {"Passw0rd!", kMailPasswordKey, "<+&Ts6:1fE<\"`=~>"},
    {"Passw0rd!", kConfigPasswordKey, "(EjM\"\"U7@#&l9;~>"},
    // The second group of scrambled bytes is all zero.
    {"abcvqtz", kConfigPasswordKey, "(D%?\"z(B~>"},
    // One character of the ANSI code page is one scrambled byte.
    {"\xc3\xa9", kMailPasswordKey, "<7t.~>"},
    {"\xc3\xa9", kConfigPasswordKey, "(RPp~>"},
};

TEST(Scrambler, StoredFormsMatchTheFramedXorInAscii85) {
    for (const auto& form : kStoredForms) {
        EXPECT_EQ(XorEncode(form.password, form.key), form.stored) << form.password << " / " << form.key;
        EXPECT_EQ(XorDecode(form.stored, form.key), form.password) << form.stored << " / " << form.key;
    }
}

// n characters give n + 2 bytes: 5 digits per whole group, k + 1 for a final
// group of k bytes, then "~>"; only digit characters (no zero group occurs
// for these texts) and no prefix.
TEST(Scrambler, StoredLengthFollowsTheGroupRule) {
    for (std::size_t n = 0; n <= 13; ++n) {
        const std::string password(n, 'x');
        for (const std::string key : {kMailPasswordKey, kConfigPasswordKey}) {
            const std::string stored = XorEncode(password, key);
            const std::size_t bytes = n + 2;
            const std::size_t rest = bytes % 4;
            const std::size_t expected = bytes / 4 * 5 + (rest ? rest + 1 : 0) + 2;
            EXPECT_EQ(stored.size(), expected) << n << " / " << key;
            ASSERT_GE(stored.size(), 2u);
            EXPECT_EQ(stored.substr(stored.size() - 2), "~>");
            for (std::size_t i = 0; i + 2 < stored.size(); ++i)
                EXPECT_TRUE(stored[i] >= '!' && stored[i] <= 'u') << stored;
            EXPECT_EQ(XorDecode(stored, key), password);
        }
    }
}

TEST(Scrambler, EveryAnsiCharacterSurvivesTheRoundTrip) {
    // Printable ASCII and the Windows-1252 letters, typed as UTF-8.
    std::string password;
    for (char c = ' '; c <= '~'; ++c) password += c;
    password += "\xe2\x82\xac \xc5\xa0 \xc3\x84\xc3\xb6\xc3\x9f \xc3\xbf";
    for (const std::string key : {kMailPasswordKey, kConfigPasswordKey})
        EXPECT_EQ(XorDecode(XorEncode(password, key), key), password);
}

// A character the code page lacks is scrambled as "?", as the ANSI conversion would.
TEST(Scrambler, CharacterOutsideTheCodePageIsScrambledAsQuestionMark) {
    EXPECT_EQ(XorEncode("a\xce\xa9" "b", kConfigPasswordKey), XorEncode("a?b", kConfigPasswordKey));
    EXPECT_EQ(XorDecode(XorEncode("\xf0\x9f\x94\x91", kMailPasswordKey), kMailPasswordKey), "?");
    EXPECT_EQ(XorEncode("bad\xff" "byte", kMailPasswordKey), XorEncode("bad?byte", kMailPasswordKey));
    // A lead byte without its continuation stands alone: what follows it is kept.
    EXPECT_EQ(XorEncode("x\xc3" "A1", kMailPasswordKey), XorEncode("x?A1", kMailPasswordKey));
    EXPECT_EQ(XorEncode("\xe2\x82" "yz", kMailPasswordKey), XorEncode("??yz", kMailPasswordKey));
    EXPECT_EQ(XorEncode("end\xf0\x9f", kMailPasswordKey), XorEncode("end??", kMailPasswordKey));
}

TEST(Scrambler, TheTwoKeysGiveDifferentFormsAndTheWrongKeyAWrongText) {
    const std::string mail = XorEncode("hunter2", kMailPasswordKey);
    const std::string config = XorEncode("hunter2", kConfigPasswordKey);
    EXPECT_NE(mail, config);
    std::string wrong;
    EXPECT_NO_THROW(wrong = XorDecode(mail, kConfigPasswordKey));
    EXPECT_NE(wrong, "hunter2");
    EXPECT_EQ(wrong.empty(), false);
}

TEST(Scrambler, StoredValueWithPrefixOrLineBreaksDecodesTheSame) {
    EXPECT_EQ(XorDecode("<~(BP0d\";ChT~>", kConfigPasswordKey), "secret");
    EXPECT_EQ(XorDecode(" (BP0d\r\n\";C hT\t~>", kConfigPasswordKey), "secret");
}

// Fewer than two decoded characters is the invalid-argument error; the
// scrambler traps nothing itself.
TEST(Scrambler, ValueThatDecodesToLessThanTheFrameRaisesError5) {
    for (const std::string stored : {"", "~>", "<~~>", "!!~>", "(D$", "(D{$~>", "(Dv$~>", "(D\x80$~>", "   "}) {
        try {
            XorDecode(stored, kConfigPasswordKey);
            ADD_FAILURE() << "no error for \"" << stored << "\"";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), 5) << stored;
            EXPECT_EQ(error.Description(), "Invalid procedure call or argument");
        }
    }
}

// Three decoded bytes unscramble to one character whatever the frame holds.
TEST(Scrambler, FrameCharactersAreNotChecked) {
    EXPECT_EQ(XorDecode(Ascii85Encode(std::string("\x01\x10\x02", 3), false), kConfigPasswordKey), "a");
}

TEST(Scrambler, EmptyKeyRaisesDivisionByZero) {
    for (auto scramble : {&XorEncode, &XorDecode}) {
        try {
            scramble("(D%?$~>", "");
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), 11);
            EXPECT_EQ(error.Description(), "Division by zero");
        }
    }
}

struct Encoding {
    std::string bytes;
    std::string text;
};

const std::vector<Encoding> kEncodings = {
    {"", "~>"},
    {"abc", "@:E^~>"},
    {"abcd", "@:E_W~>"},
    {std::string(4, '\0'), "z~>"},
    {std::string(3, '\0'), "!!!!~>"},
    {std::string(1, '\0'), "!!~>"},
    {std::string(8, '\0'), "zz~>"},
    {std::string(4, '\0') + "abc", "z@:E^~>"},
    {"abcd" + std::string(4, '\0') + "abcd", "@:E_Wz@:E_W~>"},
    {"\xff\xff\xff\xff", "s8W-!~>"},
    {"\xff", "rr~>"},
    {"Man is", "9jqo^Bla~>"},
};

TEST(Ascii85, EncodesTheGroupsAndDecodesThemBack) {
    for (const auto& encoding : kEncodings) {
        EXPECT_EQ(Ascii85Encode(encoding.bytes, false), encoding.text);
        EXPECT_EQ(Ascii85Encode(encoding.bytes, true), "<~" + encoding.text);
        if (encoding.bytes.empty()) continue;
        EXPECT_EQ(Ascii85Decode(encoding.text), encoding.bytes) << encoding.text;
        EXPECT_EQ(Ascii85Decode("<~" + encoding.text), encoding.bytes) << encoding.text;
    }
}

TEST(Ascii85, EveryByteValueAndLengthSurvivesTheRoundTrip) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(255 - i);
    for (std::size_t length = 1; length <= 24; ++length) {
        for (std::size_t start = 0; start + length <= bytes.size(); start += 37) {
            const std::string part = bytes.substr(start, length);
            EXPECT_EQ(Ascii85Decode(Ascii85Encode(part, false)), part);
            EXPECT_EQ(Ascii85Decode(Ascii85Encode(part, true)), part);
        }
    }
}

TEST(Ascii85, DecoderSkipsBlanksAndControlsAndStopsAtTheEnd) {
    EXPECT_EQ(Ascii85Decode("@:\r\nE _W\t~>"), "abcd");
    EXPECT_EQ(Ascii85Decode(std::string("z\0\x01@:E^~>", 9)), std::string(4, '\0') + "abc");
    EXPECT_EQ(Ascii85Decode("@:E^~>v{\x80"), "abc");
    EXPECT_EQ(Ascii85Decode("<~ @:E^ ~>"), "abc");
    // A lone trailing digit adds nothing.
    EXPECT_EQ(Ascii85Decode("@:E_W@~>"), "abcd");
    EXPECT_EQ(Ascii85Decode("@~>"), "");
}

// Every form the mail key makes begins with "<" (the first byte is "a" XOR
// "5"); only "<~" is a prefix, so such a form decodes.
TEST(Ascii85, LessThanWithoutTildeIsADigit) {
    EXPECT_EQ(Ascii85Decode("<)E~>"), "TQ");
    EXPECT_EQ(Ascii85Decode("<~<)E~>"), "TQ");
    EXPECT_EQ(Ascii85Decode("<<<<<~>"), Ascii85Decode("<~<<<<<~>"));
    EXPECT_EQ(Ascii85Encode("TQQY", false).front(), '<');
    for (const std::string password : {"", "x", "mail password", "\x01\x02"})
        EXPECT_EQ(XorEncode(password, kMailPasswordKey).front(), '<') << password;
}

TEST(Ascii85, InvalidTextDecodesToNothing) {
    const std::vector<std::string> invalid = {
        "",          "<",       "< ~@:E^~>", "@:E^",     "@:E^~",   "@:E^~ >",
        "@:~E^~>",   "@z:E^~>", "@:E^v~>", "@:E^{~>",   "@:E^|~>",  "@:E^}~>", "@:E^\x80~>",
        "@:E^\xff~>", "uuuuu~>", "s8W-\"~>", "uu~>",     "<~@:E^",
    };
    for (const auto& text : invalid) EXPECT_EQ(Ascii85Decode(text), "") << text;
}

TEST(Ascii85, ByteWorkersReportFailureAndGroupsOnlyZeroWhenWhole) {
    modBase85::Bytes output = {1, 2, 3};
    EXPECT_FALSE(modBase85::DecodeBytes({'@', 'z', '~', '>'}, output));
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(modBase85::DecodeBytes({'~', '>'}, output));
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(modBase85::EncodeGroup(0, true), "z");
    EXPECT_EQ(modBase85::EncodeGroup(0, false), "!!!!!");
    EXPECT_EQ(modBase85::EncodeGroup(0x61626364, true), "@:E_W");
    EXPECT_EQ(modBase85::EncodeBytes({}, true), (modBase85::Bytes{'<', '~', '~', '>'}));
}

}  // namespace
