// The text rules of the files the configuration window writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "common/CommonModule.h"
#include "config/ConfigFiles.h"
#include "platform/api/ProfileIni.h"
#include "support/TempHost.h"

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

// Saves killed at any point of their work leave each file as it was or as
// saved, and what they had made on the way does not stay: the next save of
// the file takes it away.
TEST(ConfigFiles, WhatKilledSavesLeftGoesWithTheNextSave) {
    testsupport::ProgramHost host;
    namespace fs = std::filesystem;
    const fs::path rules = host.HostOf(testsupport::kProgramFolder) / "Rules";
    fs::create_directories(rules);
    const std::string rule = CommonModule::AppPath() + "Rules\\Disk.DAT";
    const std::string list = ConfigFiles::ListFilePath("Heartbeat_Services_List.txt");
    std::vector<ConfigFiles::IniValue> values;
    for (const char* key : {"Application", "Security", "System"}) values.push_back({"LogFile", key, "1"});
    for (const char* key : {"Info", "Warning", "Error", "Success", "Failure"}) values.push_back({"EventType", key, "0"});
    for (const char* key : {"EventID", "EventSource", "EventDesc", "EventDescEx"})
        values.push_back({"EventDetail", key, std::string(key) + " text"});
    std::vector<std::string> services;
    for (int i = 0; i < 200; ++i) services.push_back("Service " + std::to_string(i));
    const auto save = [&] { return ConfigFiles::WriteIniValues(rule, values) && ConfigFiles::WriteListFile(list, services); };
    ASSERT_TRUE(save());
    for (int round = 0; round < 20; ++round) {
        const pid_t saver = fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            for (;;) save();
        }
        // Killed somewhere in one of its saves.
        usleep(static_cast<useconds_t>(3000 + round * 1700));
        kill(saver, SIGKILL);
        waitpid(saver, nullptr, 0);
        EXPECT_EQ(platform::ReadIniValue(rules / "Disk.DAT", "EventDetail", "EventDescEx"), "EventDescEx text");
        EXPECT_EQ(ConfigFiles::ReadListFile(list), services);
    }
    ASSERT_TRUE(save());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(rules)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Disk.DAT", "Heartbeat_Services_List.txt"}));
}

}  // namespace
