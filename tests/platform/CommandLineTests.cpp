#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/api/CommandLine.h"
#include "platform/api/Program.h"

using platform::JoinCommandLineArguments;
using platform::ProgramPartReadings;
using platform::QuoteCommandLineArgument;
using platform::SplitCommandLineArguments;

namespace {

struct SplitCase {
    std::string text;
    std::vector<std::string> arguments;
};

TEST(CommandLine, SplitsByTheWindowsRules) {
    const std::vector<SplitCase> cases = {
        {"", {}},
        {"   \t ", {}},
        {"/uninstaller ", {"/uninstaller"}},
        {"a  b\tc", {"a", "b", "c"}},
        {R"("C:\Program Files\x.exe" /s)", {R"(C:\Program Files\x.exe)", "/s"}},
        {R"(/c tskill "Quarnel.exe" /a)", {"/c", "tskill", "Quarnel.exe", "/a"}},
        {R"(a\\b c)", {R"(a\\b)", "c"}},                  // backslashes without a quote stay
        {R"(a\"b)", {R"(a"b)"}},                          // odd count: a literal quote
        {R"(a\\"b c")", {R"(a\b c)"}},                    // even count: half, and the quote groups
        {R"(a\\\"b)", {R"(a\"b)"}},
        {R"("a""b" c)", {R"(a"b)", "c"}},                 // doubled quote inside a quoted run
        {R"("" x)", {"", "x"}},                           // an empty quoted argument counts
        {R"(ab"c d"e f)", {"abc de", "f"}},               // quotes inside a word group
        {R"("unclosed text)", {"unclosed text"}},
        {R"(trailing\)", {R"(trailing\)"}},
    };
    for (const SplitCase& c : cases) EXPECT_EQ(SplitCommandLineArguments(c.text), c.arguments) << c.text;
}

TEST(CommandLine, QuotingGivesTheArgumentsBack) {
    const std::vector<std::vector<std::string>> lists = {
        {"plain"},
        {"with blank", "", "tab\there"},
        {R"(C:\Program Files\)", R"(ends with \)"},
        {R"(say "hi")", R"(\"already\")", R"(\\server\share)"},
        {"\"", "\\", "\\\"", "a\\\\\"b"},
    };
    for (const auto& arguments : lists)
        EXPECT_EQ(SplitCommandLineArguments(JoinCommandLineArguments(arguments)), arguments)
            << JoinCommandLineArguments(arguments);
    EXPECT_EQ(QuoteCommandLineArgument("plain"), "plain");
    EXPECT_EQ(QuoteCommandLineArgument(""), "\"\"");
}

TEST(CommandLine, QuotedProgramPartIsOneReading) {
    const auto readings = ProgramPartReadings(R"(  "C:\Program Files\Quarnel\Quarnel.exe"   /uninstaller )");
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_EQ(readings[0].program, R"(C:\Program Files\Quarnel\Quarnel.exe)");
    EXPECT_EQ(readings[0].rest, "/uninstaller ");   // blanks after the program dropped, trailing kept
}

TEST(CommandLine, UnquotedProgramPartIsTriedUpToEachBlank) {
    const auto readings = ProgramPartReadings(R"(C:\Program Files\Quarnel\Quarnel.exe /x  y)");
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_EQ(readings[0].program, R"(C:\Program)");
    EXPECT_EQ(readings[0].rest, R"(Files\Quarnel\Quarnel.exe /x  y)");
    EXPECT_EQ(readings[1].program, R"(C:\Program Files\Quarnel\Quarnel.exe)");
    EXPECT_EQ(readings[1].rest, "/x  y");
    EXPECT_EQ(readings[2].program, R"(C:\Program Files\Quarnel\Quarnel.exe /x)");
    EXPECT_EQ(readings[2].rest, "y");
    EXPECT_EQ(readings[3].program, R"(C:\Program Files\Quarnel\Quarnel.exe /x  y)");
    EXPECT_EQ(readings[3].rest, "");
}

TEST(CommandLine, EmptyAndUnclosedProgramParts) {
    EXPECT_TRUE(ProgramPartReadings("").empty());
    EXPECT_TRUE(ProgramPartReadings("  \t").empty());
    const auto unclosed = ProgramPartReadings(R"("C:\a b\c.exe /x)");
    ASSERT_EQ(unclosed.size(), 1u);
    EXPECT_EQ(unclosed[0].program, R"(C:\a b\c.exe /x)");
    const auto single = ProgramPartReadings("schtasks ");
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].program, "schtasks");
    EXPECT_EQ(single[0].rest, "");
}

}  // namespace

namespace {

// A program started from a host shell gets no Windows command line: it rebuilds
// one that splits into the same arguments.
TEST(CommandLine, ArgumentsFromAHostShellAreQuotedBack) {
    const std::vector<std::string> arguments = {"schtasks.exe", "/query", "/tn", "Quarnel Heartbeat", "a\"b", ""};
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    platform::InitProgram(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(vb::Command(), R"(/query /tn "Quarnel Heartbeat" "a\"b" "")");
    EXPECT_EQ(SplitCommandLineArguments(vb::Command()),
              std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    platform::InitProgram(1, argv.data());
    EXPECT_EQ(vb::Command(), "");
}

}  // namespace
