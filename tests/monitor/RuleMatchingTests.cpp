#include <gtest/gtest.h>

#include <QApplication>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "common/CommonModule.h"
#include "monitor/frmDHM.h"
#include "monitor/frmSysTray.h"
#include "monitor/modDHM.h"
#include "platform/api/Program.h"
#include "platform/api/TrayIcon.h"
#include "support/RuleFile.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"
#include "support/Utf16Text.h"

using testsupport::StderrCapture;
using testsupport::TempHost;
using testsupport::RewriteKeepingTheTime;
using testsupport::WriteHostFile;

namespace {

using testsupport::kProgramFolder;

using Rule = testsupport::RuleFile;

struct Record {
    std::string type = "Error", code = "7036", source = "Service Control Manager";
    std::string message = "The Print Spooler service entered the stopped state.\r\n";
    std::string log = "System";
};

// A monitor window over a program folder of a fresh host, with the tray on.
class RuleMatchingTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        std::filesystem::create_directories(host.HostOf(std::string(kProgramFolder) + "Rules"));
        modDHM::bShowTrayIcon = true;
        modDHM::bShowTaskBar = true;
        window = new frmDHM;
        window->m_frmSysTray = new frmSysTray;
        window->m_frmSysTray->AddMenuItem("&Show", "show");
    }
    void TearDown() override {
        window->Unload();
        QApplication::processEvents();
    }

    void WriteRule(const std::string& name, const Rule& rule) {
        testsupport::WriteRuleFile(host.HostOf(std::string(kProgramFolder) + "Rules"), name, rule);
    }
    void WriteList(const std::string& name, const std::string& lines) {
        WriteHostFile(host.HostOf(std::string(kProgramFolder) + "Rules\\" + name), lines);
    }

    // The debug output of one record's checks.
    std::string Check(const Record& record) {
        StderrCapture capture;
        window->CheckAllRules(record.type, record.code, record.source, record.message, record.log);
        return capture.Text();
    }

    static int Count(const std::string& text, const std::string& part) {
        int count = 0;
        for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++count;
        return count;
    }

    // The number of alerts one record raises.
    int Alerts(const Record& record) { return Count(Check(record), "\tDoAction Initiated\n"); }

    std::filesystem::path Rules() const { return host.HostOf(std::string(kProgramFolder) + "Rules"); }

    platform::TrayIconInfo Tray() const {
        return *platform::QueryTrayIcon(window->m_frmSysTray->OwnerHandle(), window->m_frmSysTray->IconId());
    }

    testsupport::ProgramHost host;
    frmDHM* window = nullptr;
};

}  // namespace

TEST_F(RuleMatchingTest, LogAndTypeSwitchesSelectRecords) {
    Rule rule;
    rule.system = "1.0";  // only exactly "1" selects a log
    rule.warning = "1.0";  // a type value is a number: 1.0 selects
    rule.info = "0";
    WriteRule("Switches", rule);
    struct Case {
        const char* type;
        const char* log;
        int alerts;
    } cases[] = {
        {"Error", "Application", 1},   {"Error", "security", 1},       {"Error", "System", 0},
        {"Warning", "Application", 1}, {"Information", "Application", 0}, {"Success Audit", "Security", 1},
        {"Failure Audit", "Security", 1}, {"Error", "Quarnel Log", 0},  {"Critical", "Application", 0},
        {"audit success", "Security", 0},
    };
    for (const Case& c : cases) {
        Record record;
        record.type = c.type;
        record.log = c.log;
        EXPECT_EQ(Alerts(record), c.alerts) << c.type << " / " << c.log;
    }
}

TEST_F(RuleMatchingTest, DetailsMatchIdSourceAndDescriptionTexts) {
    struct Case {
        const char* name;
        Rule rule;
        int alerts;
    } cases[] = {
        {"id", [] { Rule r; r.id = "7036"; return r; }(), 1},
        {"leadingZero", [] { Rule r; r.id = "07036"; return r; }(), 0},
        {"wholeSource", [] { Rule r; r.source = "service control manager"; return r; }(), 1},
        {"firstWord", [] { Rule r; r.source = "Service"; return r; }(), 0},
        {"descOverLines", [] { Rule r; r.desc = "SPOOLER SERVICE"; return r; }(), 1},
        {"descAcrossCrLf", [] { Rule r; r.desc = "state. next"; return r; }(), 1},
        {"descExcludes", [] { Rule r; r.descEx = "state. next"; return r; }(), 0},
        {"descMissing", [] { Rule r; r.desc = "running"; return r; }(), 0},
    };
    Record record;
    record.message = "The Print Spooler service entered the stopped state.\r\nNext line";
    for (const Case& c : cases) {
        std::filesystem::remove_all(host.HostOf(std::string(kProgramFolder) + "Rules"));
        WriteRule(c.name, c.rule);
        EXPECT_EQ(Alerts(record), c.alerts) << c.name;
    }
}

TEST_F(RuleMatchingTest, EveryMatchingRuleAlertsOnceInFolderOrder) {
    Rule second;
    second.id = "7036";
    WriteRule("b second", second);
    WriteRule("A first", Rule{});
    Rule other;
    other.id = "1";
    WriteRule("c other", other);
    WriteHostFile(host.HostOf(std::string(kProgramFolder) + "Rules\\not a rule.txt"), "[LogFile]\r\nSystem=1\r\n");
    Record record;
    EXPECT_EQ(Alerts(record), 2);
    const platform::TrayIconInfo tray = Tray();
    EXPECT_EQ(tray.balloonCount, 2);
    EXPECT_EQ(tray.balloonTitle, "Event Alert");
    EXPECT_EQ(tray.balloonIconKind, 1u);
    EXPECT_EQ(tray.balloonTimeoutMs, 10000u);
    const std::string expectedTail = "\r\nEvent Log: System\r\nEvent Type: Error\r\nEvent ID: 7036\r\n"
                                     "Source Name: Service Control Manager\r\nMessage: " +
                                     record.message + "\r\n";
    ASSERT_GT(tray.balloonText.size(), expectedTail.size());
    EXPECT_EQ(tray.balloonText.substr(tray.balloonText.size() - expectedTail.size()), expectedTail);
}

TEST_F(RuleMatchingTest, GlobalListsExcludeAfterTheRuleMatched) {
    WriteRule("All", Rule{});
    WriteRule("Again", Rule{});
    Record record;
    WriteList("GlobalExclusion_EventID_List.txt", "1000\r\n\r\n");
    record.code = "10001";
    EXPECT_EQ(Alerts(record), 2);  // "1000" does not exclude 10001
    WriteList("GlobalExclusion_EventID_List.txt", "\r\n10001\r\n");
    EXPECT_EQ(Alerts(record), 0);
    WriteList("GlobalExclusion_EventID_List.txt", "");
    WriteList("GlobalExclusion_EventSource_List.txt", "SERVICE CONTROL MANAGER\r\n");
    EXPECT_EQ(Alerts(record), 0);
    WriteList("GlobalExclusion_EventSource_List.txt", "Service Control\r\n");
    EXPECT_EQ(Alerts(record), 2);
    WriteList("GlobalExclusion_EventDesc_List.txt", "spooler\r\n");
    EXPECT_EQ(Alerts(record), 0);
    WriteList("GlobalExclusion_EventDesc_List.txt", "spooler  \r\n");  // entries are used as they stand, untrimmed
    EXPECT_EQ(Alerts(record), 2);
}

TEST_F(RuleMatchingTest, ABrokenRuleIsSkippedAndTheOthersStillAlert) {
    Rule broken;
    broken.error = "yes";
    WriteRule("A broken", broken);
    Rule empty;
    empty.error = "";
    WriteRule("B empty", empty);
    WriteRule("C good", Rule{});
    EXPECT_EQ(Alerts(Record{}), 1);
    std::filesystem::remove_all(host.HostOf(std::string(kProgramFolder) + "Rules"));
    EXPECT_EQ(Alerts(Record{}), 0);  // no Rules folder: no rule, no alert
}

TEST_F(RuleMatchingTest, BalloonsNeedBothSwitches) {
    WriteRule("All", Rule{});
    modDHM::bShowTaskBar = false;
    StderrCapture capture;
    window->CheckAllRules("Error", "7036", "Source", "Text", "System");
    EXPECT_NE(capture.Text().find("\tDoAction Initiated\n"), std::string::npos);
    EXPECT_EQ(capture.Text().find("Showing balloon..."), std::string::npos);
    EXPECT_EQ(Tray().balloonCount, 0);
}

TEST_F(RuleMatchingTest, LetterCaseIsIgnoredBeyondAscii) {
    struct Case {
        const char* name;
        Rule rule;
        int alerts;
    } cases[] = {
        {"descUpper", [] { Rule r; r.desc = "ÄRGER"; return r; }(), 1},
        {"descExGerman", [] { Rule r; r.descEx = "ÄRGER"; return r; }(), 0},
        {"sourceGreek", [] { Rule r; r.source = "ΔΙΕΝΈΡΓΕΙΑ"; return r; }(), 1},
        {"otherWord", [] { Rule r; r.desc = "ÄRGERN"; return r; }(), 0},
    };
    Record record;
    record.source = "διενέργεια";
    record.message = "Der Dienst meldet ärger im Netz.\r\n";
    for (const Case& c : cases) {
        std::filesystem::remove_all(host.HostOf(std::string(kProgramFolder) + "Rules"));
        WriteRule(c.name, c.rule);
        EXPECT_EQ(Alerts(record), c.alerts) << c.name;
    }
    WriteRule("All", Rule{});
    WriteList("GlobalExclusion_EventSource_List.txt", "ΔΙΕΝΈΡΓΕΙΑ\r\n");
    EXPECT_EQ(Alerts(record), 0);
    WriteList("GlobalExclusion_EventSource_List.txt", "");
    WriteList("GlobalExclusion_EventDesc_List.txt", "ÄRGER IM\r\n");
    EXPECT_EQ(Alerts(record), 0);
}

// The Turkish dotted capital I has no simple case folding: lower-cased first,
// it meets "i", in a rule saved in Windows-1254 as in one saved in UTF-8.
TEST_F(RuleMatchingTest, TheDottedCapitalIMatchesSmallI) {
    host.WriteHostIni("International", "ANSICodePage", "1254");
    Record record;
    record.source = "istanbul sunucusu";
    record.message = "Disk hatas\xC4\xB1: istanbul sunucusu yan\xC4\xB1t vermiyor.\r\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"desc 1254", [] { Rule r; r.desc = "\xDDSTANBUL"; return testsupport::RuleFileText(r); }()},
        {"desc UTF-8", [] { Rule r; r.desc = "\xC4\xB0STANBUL"; return testsupport::RuleFileText(r); }()},
        {"source 1254", [] { Rule r; r.source = "\xDDSTANBUL SUNUCUSU"; return testsupport::RuleFileText(r); }()},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(host.HostOf(std::string(kProgramFolder) + "Rules"));
        WriteHostFile(host.HostOf(std::string(kProgramFolder) + "Rules\\" + c.name + ".DAT"), c.bytes);
        EXPECT_EQ(Alerts(record), 1) << c.name;
    }
    WriteList("GlobalExclusion_EventSource_List.txt", "\xDDSTANBUL SUNUCUSU\r\n");
    EXPECT_EQ(Alerts(record), 0);
}

// A rule saved in a double-byte code page, and one saved as UTF-16LE with
// its mark beside a list of the same kind, read as they were written.
TEST_F(RuleMatchingTest, RulesInADoubleByteCodePageOrUtf16Match) {
    host.WriteHostIni("International", "ANSICodePage", "932");
    Record record;
    record.source = "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF";  // ディスク
    record.message = "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF \xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC\r\n";
    Rule shiftJis;
    shiftJis.desc = "\x83\x47\x83\x89\x81\x5B";  // エラー in Windows-932
    WriteHostFile(host.HostOf(std::string(kProgramFolder) + "Rules\\Japanese.DAT"), testsupport::RuleFileText(shiftJis));
    EXPECT_EQ(Alerts(record), 1);
    std::filesystem::remove_all(host.HostOf(std::string(kProgramFolder) + "Rules"));
    Rule unicode;
    unicode.desc = "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC";
    WriteHostFile(host.HostOf(std::string(kProgramFolder) + "Rules\\Unicode.DAT"),
                  testsupport::Utf16LeWithMark(testsupport::RuleFileText(unicode)));
    EXPECT_EQ(Alerts(record), 1);
    WriteList("GlobalExclusion_EventSource_List.txt", testsupport::Utf16LeWithMark(record.source + "\r\n"));
    EXPECT_EQ(Alerts(record), 0);
}

TEST_F(RuleMatchingTest, TypeSwitchesAreNumbersAsTheLanguageReadsThem) {
    struct Case {
        const char* value;
        int alerts;
    } cases[] = {{"&H1", 1}, {"&O1", 1}, {" 1 ", 1}, {"1e0", 1}, {"0x1", 0}, {"inf", 0}, {"1x", 0}, {"&H2", 0}};
    for (const Case& c : cases) {
        std::filesystem::remove_all(host.HostOf(std::string(kProgramFolder) + "Rules"));
        Rule rule;
        rule.error = c.value;
        WriteRule("Switch", rule);
        EXPECT_EQ(Alerts(Record{}), c.alerts) << c.value;
    }
}

// Nothing of a rule is kept between two records: a rule saved, rewritten or
// removed between them counts from the next record on.
TEST_F(RuleMatchingTest, ARuleChangedBetweenTwoRecordsCountsAtTheNext) {
    Record record;
    Rule rule;
    rule.id = "1";
    WriteRule("changing", rule);
    EXPECT_EQ(Alerts(record), 0);
    rule.id = "7036";
    WriteRule("changing", rule);
    EXPECT_EQ(Alerts(record), 1);
    rule.descEx = "spooler";
    WriteRule("changing", rule);
    EXPECT_EQ(Alerts(record), 0);
    rule.descEx.clear();
    WriteRule("changing", rule);
    WriteList("GlobalExclusion_EventID_List.txt", "7036\r\n");
    EXPECT_EQ(Alerts(record), 0);
    std::filesystem::remove(host.HostOf(std::string(kProgramFolder) + "Rules\\GlobalExclusion_EventID_List.txt"));
    EXPECT_EQ(Alerts(record), 1);
    std::filesystem::remove(host.HostOf(std::string(kProgramFolder) + "Rules\\changing.DAT"));
    EXPECT_EQ(Alerts(record), 0);
}

// What was read of the Rules folder is used again only while the folder has
// surely been quiet: a rule changed where the folder's own notifications
// cannot tell (through a link, through its second name in another folder,
// by a writer that has not closed it yet, or in a folder put in the place
// of Rules) still counts at the next record.
TEST_F(RuleMatchingTest, ARuleChangedOutOfTheFoldersSightCountsAtTheNext) {
    struct Case {
        const char* what;
        std::function<void(const std::string& text)> write;
    };
    const std::filesystem::path rules = Rules(), elsewhere = host.HostOf("C:\\Shared\\rule.DAT");
    int held = -1;
    const Case cases[] = {
        {"through a link",
         [&](const std::string& text) {
             WriteHostFile(elsewhere, text);
             if (!std::filesystem::is_symlink(rules / "linked.DAT"))
                 std::filesystem::create_symlink(elsewhere, rules / "linked.DAT");
         }},
        {"through its second name",
         [&](const std::string& text) {
             if (!std::filesystem::exists(elsewhere)) {
                 WriteHostFile(elsewhere, text);
                 std::filesystem::create_hard_link(elsewhere, rules / "linked.DAT");
             }
             RewriteKeepingTheTime(elsewhere, text);
         }},
        {"by a writer still holding it",
         [&](const std::string& text) {
             if (held < 0) held = ::open((rules / "held.DAT").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
             ASSERT_EQ(::ftruncate(held, 0), 0);
             ASSERT_EQ(::pwrite(held, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
         }},
        {"in a folder put in the place of Rules",
         [&](const std::string& text) {
             const std::filesystem::path next = rules.string() + ".next";
             WriteHostFile(next / "replaced.DAT", text);
             std::filesystem::remove_all(rules);
             std::filesystem::rename(next, rules);
         }},
    };
    Rule quiet, alerting;
    quiet.id = "1";
    alerting.id = "7036";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(rules);
        std::filesystem::create_directories(rules);
        c.write(testsupport::RuleFileText(quiet));
        EXPECT_EQ(Alerts(Record{}), 0);
        EXPECT_EQ(Alerts(Record{}), 0);
        c.write(testsupport::RuleFileText(alerting));
        EXPECT_EQ(Alerts(Record{}), 1);
        c.write(testsupport::RuleFileText(quiet));
        EXPECT_EQ(Alerts(Record{}), 0);
        std::filesystem::remove(elsewhere);
    }
    if (held >= 0) ::close(held);
}

// A file far larger than any rule or list is skipped, and said so once,
// however many records come; the other rules still alert, and the file
// counts again once it is cut back to a rule.
TEST_F(RuleMatchingTest, AFileFarLargerThanAnyRuleOrListIsSkippedWithOneLine) {
    WriteRule("B good", Rule{});
    { std::ofstream create(Rules() / "A huge.DAT"); }
    std::filesystem::resize_file(Rules() / "A huge.DAT", std::uintmax_t{1} << 30);
    { std::ofstream create(Rules() / "GlobalExclusion_EventDesc_List.txt"); }
    std::filesystem::resize_file(Rules() / "GlobalExclusion_EventDesc_List.txt", 100u << 20);
    std::string output;
    for (int record = 0; record < 3; ++record) {
        const std::string checks = Check(Record{});
        EXPECT_EQ(Count(checks, "\tDoAction Initiated\n"), 1) << checks;
        output += checks;
    }
    EXPECT_EQ(Count(output, "\tfrmDHM\\CheckRule: skipped a rule file of 1073741824 bytes, far larger than one can be: "
                            "C:\\Program Files\\Quarnel\\Rules\\A huge.DAT\n"), 1) << output;
    EXPECT_EQ(Count(output, "\tfrmDHM\\IsExcludedByDesc: skipped an exclusion list of 104857600 bytes"), 1) << output;
    WriteRule("A huge", Rule{});
    EXPECT_EQ(Alerts(Record{}), 2);
}

// What was read of a rule or list is used again only while the file is
// surely the same: a rewrite of the same size in the same second counts at
// the next record, and so does one of a file read long after its last
// change whose modification time was put back.
TEST_F(RuleMatchingTest, ASameSizeRewriteCountsAtTheNextRecord) {
    Rule rule;
    rule.id = "7036";
    WriteRule("changing", rule);
    WriteList("GlobalExclusion_EventID_List.txt", "0000\r\n");
    EXPECT_EQ(Alerts(Record{}), 1);
    rule.id = "7037";
    WriteRule("changing", rule);
    EXPECT_EQ(Alerts(Record{}), 0);
    rule.id = "7036";
    WriteRule("changing", rule);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));  // long after the last change of both files
    EXPECT_EQ(Alerts(Record{}), 1);
    EXPECT_EQ(Alerts(Record{}), 1);
    rule.id = "7037";
    RewriteKeepingTheTime(Rules() / "changing.DAT", testsupport::RuleFileText(rule));
    EXPECT_EQ(Alerts(Record{}), 0);
    rule.id = "7036";
    WriteRule("changing", rule);
    EXPECT_EQ(Alerts(Record{}), 1);
    RewriteKeepingTheTime(Rules() / "GlobalExclusion_EventID_List.txt", "7036\r\n");
    EXPECT_EQ(Alerts(Record{}), 0);
}
