// Rule matching without a window: one rule file against one record, the
// global lists, and the alert text.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "monitor/RuleMatch.h"
#include "platform/api/DateTime.h"
#include "platform/api/RuntimeError.h"
#include "support/RuleFile.h"
#include "support/TempHost.h"

namespace {

using Rule = testsupport::RuleFile;
using testsupport::kProgramFolder;

struct Record {
    std::string type = "Error", code = "7036", source = "Service Control Manager";
    std::string message = "The Print Spooler service entered the stopped state.\r\nNext line";
    std::string log = "System";
};

class RuleMatchTest : public ::testing::Test {
protected:
    std::filesystem::path Rules() const { return host.HostOf(std::string(kProgramFolder) + "Rules"); }
    std::string RuleFile(const std::string& name) const { return std::string(kProgramFolder) + "Rules\\" + name + ".DAT"; }

    bool Selects(const std::string& name, const Rule& rule, const Record& record) {
        testsupport::WriteRuleFile(Rules(), name, rule);
        return RuleMatch::RuleSelects(RuleFile(name), record.type, record.code, record.source, record.message,
                                      record.log);
    }

    testsupport::ProgramHost host;
};

}  // namespace

TEST_F(RuleMatchTest, ARuleSelectsARecordOnlyWhenEveryTestPasses) {
    const auto with = [](auto change) {
        Rule rule;
        change(rule);
        return rule;
    };
    const auto of = [](auto change) {
        Record record;
        change(record);
        return record;
    };
    const struct {
        const char* name;
        Rule rule;
        Record record;
        bool selects;
    } cases[] = {
        {"every switch on, no details", Rule{}, Record{}, true},
        {"log switched off", with([](Rule& r) { r.system = "0"; }), Record{}, false},
        {"log switch 1.0", with([](Rule& r) { r.system = "1.0"; }), Record{}, false},
        {"type switch 1.0", with([](Rule& r) { r.error = " 1.0 "; }), Record{}, true},
        {"another log", Rule{}, of([](Record& r) { r.log = "Quarnel Log"; }), false},
        {"another type", Rule{}, of([](Record& r) { r.type = "Critical"; }), false},
        {"same id", with([](Rule& r) { r.id = "7036"; }), Record{}, true},
        {"id with a leading zero", with([](Rule& r) { r.id = "07036"; }), Record{}, false},
        {"whole source in small letters", with([](Rule& r) { r.source = "service control manager"; }), Record{}, true},
        {"first word of the source", with([](Rule& r) { r.source = "Service"; }), Record{}, false},
        {"words across CR LF", with([](Rule& r) { r.desc = "STATE. NEXT"; }), Record{}, true},
        {"words not in the message", with([](Rule& r) { r.desc = "running"; }), Record{}, false},
        {"excluded words", with([](Rule& r) { r.descEx = "spooler"; }), Record{}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(Selects("Rule", c.rule, c.record), c.selects) << c.name;
}

TEST_F(RuleMatchTest, ATypeSwitchThatIsNoNumberRaisesTypeMismatch) {
    Rule rule;
    rule.error = "";
    EXPECT_THROW(Selects("Rule", rule, Record{}), RuntimeError);
    rule.error = "yes";
    EXPECT_THROW(Selects("Rule", rule, Record{}), RuntimeError);
    EXPECT_FALSE(RuleMatch::RuleSelects(RuleFile("Missing"), "Error", "1", "S", "M", "System"));
}

TEST_F(RuleMatchTest, AListExcludesByItsNonEmptyLinesAsTheyAreSavedNow) {
    const auto equalTo = [](const std::string& wanted) {
        return [wanted](const std::string& line) { return line == wanted; };
    };
    const struct {
        const char* name;
        const char* lines;  // nullptr: no list file
        bool excludes;
    } cases[] = {
        {"no list", nullptr, false},
        {"empty list", "", false},
        {"a line equal to the ID", "1000\r\n7036\r\n", true},
        {"a line that only starts the ID", "703\r\n", false},
        {"empty lines only", "\r\n\r\n", false},
        {"last line without its end", "1\r\n7036", true},
    };
    const std::filesystem::path list = Rules() / "GlobalExclusion_EventID_List.txt";
    for (const auto& c : cases) {
        std::filesystem::remove(list);
        if (c.lines) testsupport::WriteHostFile(list, c.lines);
        EXPECT_EQ(RuleMatch::ListExcludes("GlobalExclusion_EventID_List.txt", "Test", equalTo("7036")), c.excludes)
            << c.name;
    }
    EXPECT_FALSE(RuleMatch::ListExcludes("GlobalExclusion_EventID_List.txt", "Test", equalTo("")));
}

TEST(RuleMatch, TheAlertTextHasTheTimeAndTheFiveFieldsAsReceived) {
    const std::time_t checked = 1'700'000'000;
    EXPECT_EQ(RuleMatch::AlertTextAt(checked, "Error", "7036", "Service Control Manager", "Line one\r\n Line two ",
                                     "System"),
              vb::FormatTime(checked) +
                  "\r\nEvent Log: System\r\nEvent Type: Error\r\nEvent ID: 7036\r\n"
                  "Source Name: Service Control Manager\r\nMessage: Line one\r\n Line two \r\n");
}

TEST(RuleMatch, TheMessageIsPreparedWithCrLfAsBlanksAndCaseFolded) {
    const struct {
        const char* message;
        const char* prepared;
    } cases[] = {
        {"A\r\nB", "a b"},
        {"A\nB\rC", "a\nb\rc"},
        {"\r\n\r\n", "  "},
        {"\xC3\x84NDERUNG", "\xC3\xA4nderung"},
    };
    for (const auto& c : cases) EXPECT_EQ(RuleMatch::PreparedMessage(c.message), c.prepared) << c.message;
}

TEST_F(RuleMatchTest, EachGlobalListComparesInItsOwnWay) {
    testsupport::WriteHostFile(Rules() / "GlobalExclusion_EventID_List.txt", "1000\r\n");
    testsupport::WriteHostFile(Rules() / "GlobalExclusion_EventSource_List.txt", "service CONTROL manager\r\n");
    testsupport::WriteHostFile(Rules() / "GlobalExclusion_EventDesc_List.txt", "STATE. NEXT\r\n");
    EXPECT_TRUE(RuleMatch::ExcludedByID("1000"));
    EXPECT_FALSE(RuleMatch::ExcludedByID("10001"));
    EXPECT_TRUE(RuleMatch::ExcludedBySource("Service Control Manager"));
    EXPECT_FALSE(RuleMatch::ExcludedBySource("Service Control"));
    EXPECT_TRUE(RuleMatch::ExcludedByDesc("The stopped state.\r\nNext line"));
    EXPECT_FALSE(RuleMatch::ExcludedByDesc("The stopped state.\nNext line"));
}
