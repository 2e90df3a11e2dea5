// The alert-rule editor of the configuration window: listing, showing,
// saving and deleting rule files of the Rules folder.
#include "ConfigWindowFixture.h"
#include "platform/api/FileApi.h"
#include "support/StderrCapture.h"

namespace configtest {
namespace {

class RuleEditor : public ConfigWindowTest {
protected:
    fs::path RuleFile(const std::string& name) const { return ListFile(name + ".DAT"); }
    std::optional<std::string> RuleValue(const std::string& name, const std::string& section,
                                         const std::string& key) const {
        return platform::ReadIniValue(RuleFile(name), section, key);
    }
    void Select(const std::string& name) const {
        const auto found = List("listRules")->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        List("listRules")->setCurrentItem(found.first());
        Window()->listRules_Click();
    }
    std::vector<std::string> FilesOfHost() const {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(host_.DriveC()))
            if (entry.is_regular_file() && !entry.is_symlink()) files.push_back(entry.path().filename().string());
        return files;
    }
};

TEST_F(RuleEditor, SaveRuleWritesTheTwelveValuesAndKeepsUnknownKeys) {
    testsupport::WriteHostFile(RuleFile("Disk"),
                               "[LogFile]\r\nSystem=1\r\n[EventDetail]\r\nEventID=7\r\nNote=kept\r\n[Custom]\r\nX=1\r\n");
    Open();
    Window()->ShowPanel(C<QWidget>("picRules"));
    Box("txtRuleName")->setText("Disk");
    Check("chkApp")->setChecked(true);
    Check("chkError")->setChecked(true);
    Check("chkFailure")->setChecked(true);
    Box("txtEventID")->setText("11");
    Box("txtEventSource")->setText("disk");
    Box("txtEventDesc")->setText("bad block\r\n[LogFile]");
    Box("txtEventDescEx")->setText("harmless");
    Click("cmdAddRule");
    const std::vector<std::tuple<const char*, const char*, const char*>> expected{
        {"LogFile", "Application", "1"}, {"LogFile", "Security", "0"},    {"LogFile", "System", "0"},
        {"EventType", "Info", "0"},      {"EventType", "Warning", "0"},   {"EventType", "Error", "1"},
        {"EventType", "Success", "0"},   {"EventType", "Failure", "1"},   {"EventDetail", "EventID", "11"},
        {"EventDetail", "EventSource", "disk"}, {"EventDetail", "EventDesc", "bad block [LogFile]"},
        {"EventDetail", "EventDescEx", "harmless"}, {"EventDetail", "Note", "kept"}, {"Custom", "X", "1"}};
    for (const auto& [section, key, value] : expected)
        EXPECT_EQ(RuleValue("Disk", section, key).value_or("<missing>"), value) << section << " " << key;
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Disk"});
    EXPECT_EQ(Text(Window(), "txtRuleName"), "");
    EXPECT_EQ(Text(Window(), "txtEventDesc"), "");
    EXPECT_FALSE(Check("chkApp")->isChecked());
    EXPECT_EQ(FilesOfHost().size(), 1u);
}

TEST_F(RuleEditor, ARuleShowsInTheEditorAndSavesBackUnchanged) {
    testsupport::WriteHostFile(RuleFile("Service.Stops"),
                               "[LogFile]\r\nSystem=1\r\nApplication=0\r\n[EventType]\r\nError=1\r\nWarning=x\r\n"
                               "[EventDetail]\r\nEventID=7036\r\nEventDesc=stopped\r\n");
    Open();
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Service.Stops"});
    Check("chkWarning")->setChecked(true);  // a value that is no number leaves the box as it was
    Check("chkInfo")->setChecked(true);     // so does a missing key
    Select("Service.Stops");
    EXPECT_EQ(Text(Window(), "txtRuleName"), "Service.Stops");
    EXPECT_TRUE(Check("chkSys")->isChecked());
    EXPECT_FALSE(Check("chkApp")->isChecked());
    EXPECT_TRUE(Check("chkError")->isChecked());
    EXPECT_TRUE(Check("chkWarning")->isChecked());
    EXPECT_TRUE(Check("chkInfo")->isChecked());
    EXPECT_EQ(Text(Window(), "txtEventID"), "7036");
    EXPECT_EQ(Text(Window(), "txtEventSource"), "");
    EXPECT_EQ(Text(Window(), "txtEventDesc"), "stopped");
    Click("cmdAddRule");
    EXPECT_EQ(RuleValue("Service.Stops", "EventDetail", "EventID"), "7036");
    EXPECT_EQ(RuleValue("Service.Stops", "EventType", "Warning"), "1");
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Service.Stops"});
}

TEST_F(RuleEditor, ANameThatCannotBeAFileNameWritesNothing) {
    Open();
    const char* names[] = {"..\\..\\..\\Users\\Public\\Desktop\\evil", "a/b", "C:evil", "star*", "what?",
                           "say \"hi\"", "<tag>", "pipe|name", "tab\tname", "line\r\nbreak", "...", "."};
    for (const char* name : names) {
        Box("txtRuleName")->setText(QString::fromUtf8(name));
        Box("txtEventID")->setText("4625");
        testsupport::StderrCapture capture;
        Click("cmdAddRule");
        EXPECT_NE(capture.Text().find("MsgBox"), std::string::npos) << name;
        EXPECT_EQ(Text(Window(), "txtRuleName"), name);
        EXPECT_EQ(Text(Window(), "txtEventID"), "4625");
    }
    EXPECT_TRUE(FilesOfHost().empty());
    EXPECT_TRUE(Entries(Window(), "listRules").empty());
}

TEST_F(RuleEditor, AnEmptyNameAsksForOne) {
    Open();
    Box("txtEventID")->setText("1");
    testsupport::StderrCapture capture;
    Click("cmdAddRule");
    EXPECT_NE(capture.Text().find("You must assign a rule name!"), std::string::npos) << capture.Text();
    EXPECT_EQ(Text(Window(), "txtEventID"), "1");
    EXPECT_TRUE(FilesOfHost().empty());
}

TEST_F(RuleEditor, AReadOnlyRuleFileIsReportedAndKeepsTheEditor) {
    testsupport::WriteHostFile(RuleFile("Locked"), "[EventDetail]\r\nEventID=1\r\n");
    ASSERT_TRUE(win::SetFileAttributesA(kProgramFolder + "Rules\\Locked.DAT", win::FILE_ATTRIBUTE_READONLY));
    Open();
    Box("txtRuleName")->setText("Locked");
    Box("txtEventID")->setText("2");
    testsupport::StderrCapture capture;
    Click("cmdAddRule");
    EXPECT_NE(capture.Text().find("Locked.DAT"), std::string::npos) << capture.Text();
    EXPECT_EQ(RuleValue("Locked", "EventDetail", "EventID"), "1");
    EXPECT_EQ(Text(Window(), "txtEventID"), "2");
}

TEST_F(RuleEditor, DeleteRemovesTheSelectedEntrysFile) {
    testsupport::WriteHostFile(RuleFile("First"), "[EventDetail]\r\nEventID=1\r\n");
    testsupport::WriteHostFile(RuleFile("Second"), "[EventDetail]\r\nEventID=2\r\n");
    Open();
    Select("Second");
    Box("txtRuleName")->setText("First");  // edited after the click
    Click("cmdDelRule");
    EXPECT_TRUE(fs::exists(RuleFile("First")));
    EXPECT_FALSE(fs::exists(RuleFile("Second")));
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"First"});
    EXPECT_EQ(Text(Window(), "txtRuleName"), "");
}

TEST_F(RuleEditor, AnEntryStaysUntilItsFileIsGone) {
    testsupport::WriteHostFile(RuleFile("Locked"), "[EventDetail]\r\nEventID=1\r\n");
    testsupport::WriteHostFile(RuleFile("Vanished"), "[EventDetail]\r\nEventID=2\r\n");
    ASSERT_TRUE(win::SetFileAttributesA(kProgramFolder + "Rules\\Locked.DAT", win::FILE_ATTRIBUTE_READONLY));
    Open();
    fs::remove(RuleFile("Vanished"));
    Select("Vanished");
    Click("cmdDelRule");
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Locked"});
    Select("Locked");
    testsupport::StderrCapture capture;
    Click("cmdDelRule");
    EXPECT_NE(capture.Text().find("Locked.DAT"), std::string::npos) << capture.Text();
    EXPECT_TRUE(fs::exists(RuleFile("Locked")));
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Locked"});
    // Nothing selected: the editor is only emptied.
    List("listRules")->clearSelection();
    Box("txtEventID")->setText("9");
    Click("cmdDelRule");
    EXPECT_EQ(Entries(Window(), "listRules"), std::vector<std::string>{"Locked"});
    EXPECT_EQ(Text(Window(), "txtEventID"), "");
}

// A delete leaves no rule chosen: a second click on Delete, before another
// rule is picked, deletes nothing.
TEST_F(RuleEditor, ASecondDeleteWithoutANewChoiceDeletesNothing) {
    for (const char* name : {"First", "Second", "Third"})
        testsupport::WriteHostFile(RuleFile(name), "[EventDetail]\r\nEventID=1\r\n");
    Open();
    ClickEntry("listRules", "Second");
    EXPECT_EQ(Text(Window(), "txtRuleName"), "Second");
    Click("cmdDelRule");
    EXPECT_TRUE(List("listRules")->selectedItems().isEmpty());
    EXPECT_EQ(List("listRules")->currentItem(), nullptr);
    Click("cmdDelRule");
    EXPECT_EQ(Entries(Window(), "listRules"), (std::vector<std::string>{"First", "Third"}));
    EXPECT_TRUE(fs::exists(RuleFile("Third")));
    EXPECT_FALSE(fs::exists(RuleFile("Second")));
    ClickEntry("listRules", "Third");
    EXPECT_EQ(Text(Window(), "txtRuleName"), "Third");
    Click("cmdDelRule");
    EXPECT_FALSE(fs::exists(RuleFile("Third")));
    EXPECT_TRUE(fs::exists(RuleFile("First")));
}

}  // namespace
}  // namespace configtest
