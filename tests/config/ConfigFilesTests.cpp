// The text rules of the files the configuration window writes.
#include <gtest/gtest.h>

#include "config/ConfigFiles.h"

namespace {

TEST(ConfigFiles, EveryLineBreakBecomesOneBlank) {
    const std::pair<const char*, const char*> cases[] = {
        {"disk\r\n[LogFile]", "disk [LogFile]"}, {"a\nb\rc", "a b c"}, {"a\r\n\r\nb", "a  b"},
        {"\r\n", " "},                           {"a\n\rb", "a  b"},   {"plain", "plain"},
    };
    for (const auto& [text, line] : cases) EXPECT_EQ(ConfigFiles::OneLine(text), line) << text;
}

TEST(ConfigFiles, RuleNamesThatCanBeFileNames) {
    for (const char* good : {"Disk", "Service.Stops", "Müller Dienst", "..hidden", "a.", "日本語"})
        EXPECT_TRUE(ConfigFiles::IsValidRuleName(good)) << good;
    for (const char* bad : {"..\\evil", "a/b", "C:x", "*", "?", "\"", "<", ">", "|", "\x01", "\x7f", ".", "...."})
        EXPECT_FALSE(ConfigFiles::IsValidRuleName(bad)) << bad;
}

TEST(ConfigFiles, CheckBoxValuesOfSettingsTexts) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"0", 0}, {"1", 1}, {"2", 2}, {" 1 ", 1}, {"01", 1}, {"1.0", 1}, {"2.5", 2},
        {"", std::nullopt}, {"3", std::nullopt}, {"-1", std::nullopt}, {"yes", std::nullopt}, {"1x", std::nullopt}, {"&H1", 1}, {"0x1", std::nullopt},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ConfigFiles::CheckBoxValue(text), value) << '"' << text << '"';
}

}  // namespace
