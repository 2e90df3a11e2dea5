// The configuration window's load and save of the settings file and the list
// files, through the real window (offscreen).
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ConfigWindowFixture.h"
#include "net/modBase85.h"
#include "platform/api/FileApi.h"
#include "support/StderrCapture.h"
#include "support/Utf16Text.h"

namespace configtest {
namespace {

struct Key {
    const char* section;
    const char* key;
    std::string value;
};

std::string Scrambled(const std::string& password, const char* key) { return modBase85::XorEncode(password, key); }

// A value other than the window's initial one for every key the window owns.
std::vector<Key> EveryKey() {
    return {
        {"General", "PasswordProtectConfig", "1"},
        {"General", "ConfigPassword", Scrambled("Gärtner 9", modBase85::kConfigPasswordKey)},
        {"General", "ClientPrompt", "1"},
        {"General", "ShowTrayIcon", "2"},
        {"General", "Identifier", "Büro-PC Zürich"},
        {"General", "ShowTaskBar", "0"},
        {"General", "SendEmail", "0"},
        {"General", "RulesWebLoc", "http://rules.example/p0"},
        {"General", "RulesWebLoc1", "http://rules.example/p1"},
        {"General", "RulesWebLoc2", "http://rules.example/p2"},
        {"General", "RulesWebLoc3", "http://rules.example/p3"},
        {"Nimbrel", "UpdateConfig", "1"},
        {"Nimbrel", "UpdateAfterInstall", "1"},
        {"Nimbrel", "UserName", "cloud.user"},
        {"Nimbrel", "Password", Scrambled("cl0ud!", modBase85::kMailPasswordKey)},
        {"Heartbeat", "ReportNewlyInstalledApps", "1"},
        {"Heartbeat", "ReportAutoSvcsNotRunning", "1"},
        {"ScheduledTasks", "HeartbeatInst", "1"},
        {"ScheduledTasks", "HeartbeatTime", "25:61:00"},
        {"ScheduledTasks", "AppUpdateInst", "1"},
        {"ScheduledTasks", "AppUpdateTime", "07:15:00"},
        {"ScheduledTasks", "ProfileUpdateInst", "1"},
        {"ScheduledTasks", "ProfileUpdateNum", "2"},
        {"ScheduledTasks", "ProfileUpdateTime", "06:30:00"},
        {"EmailConfig", "SMTPServer", "smtp.example.org"},
        {"EmailConfig", "SMTPPort", "twenty-five"},
        {"EmailConfig", "SMTPUserName", "alerts@example.org"},
        {"EmailConfig", "SMTPPassword", Scrambled("m@il pass", modBase85::kMailPasswordKey)},
        {"EmailConfig", "FromEmail", "alerts@example.org"},
        {"EmailConfig", "ToEmail", "one@example.org, two@example.org"},
        {"EmailConfig", "SMTPAuth", "1"},
        {"EmailConfig", "UseSSL", "1"},
    };
}

class Settings : public ConfigWindowTest {};

TEST_F(Settings, EveryKeyRoundTripsThroughTheWindow) {
    for (const Key& key : EveryKey()) Setting(key.section, key.key, key.value);
    Setting("General", "StartupSet", "1");
    Setting("General", "UseSafeModeConfig", "1");
    Open();
    fs::remove(IniFile());
    EXPECT_TRUE(Window()->SaveSettings());
    for (const Key& key : EveryKey())
        EXPECT_EQ(Stored(key.section, key.key).value_or("<missing>"), key.value) << key.section << " " << key.key;
    EXPECT_EQ(Stored("General", "StartupSet"), "0");
    EXPECT_EQ(Stored("General", "UseSafeModeConfig"), std::nullopt);
}

TEST_F(Settings, LoadedValuesShowInTheirControls) {
    for (const Key& key : EveryKey()) Setting(key.section, key.key, key.value);
    Open();
    EXPECT_EQ(Text(Window(), "txtPassword"), "Gärtner 9");
    EXPECT_EQ(Text(Window(), "txtSMTPPassword"), "m@il pass");
    EXPECT_EQ(Text(Window(), "txtCloudPass"), "cl0ud!");
    EXPECT_EQ(Text(Window(), "txtHeartbeatTime"), "25:61:00");
    EXPECT_EQ(Text(Window(), "txtRulesLoc3"), "http://rules.example/p3");
    EXPECT_EQ(C<QComboBox>("comboSMTPPort")->currentText().toStdString(), "twenty-five");
    // Its items arrive after the load and do not replace the loaded profile.
    EXPECT_EQ(C<QComboBox>("ComboProfiles")->currentText().toStdString(), "2");
    EXPECT_EQ(C<QComboBox>("ComboProfiles")->count(), 4);
    EXPECT_EQ(Check("chkShowTrayIcon")->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(Check("chkShowTaskBar")->checkState(), Qt::Unchecked);
}

TEST_F(Settings, MissingKeysLeaveTheInitialStates) {
    Open();
    EXPECT_EQ(Text(Window(), "txtHeartbeatTime"), "10:00:00");
    EXPECT_EQ(Text(Window(), "txtSchTime"), "09:00:00");
    EXPECT_EQ(Text(Window(), "txtUpdateTime"), "08:00:00");
    EXPECT_EQ(Text(Window(), "txtSNMPComm"), "public");
    EXPECT_EQ(Text(Window(), "txtSNMPOID"), "1.3.6.1.2.1.25.1.1.0");
    EXPECT_EQ(C<QComboBox>("comboSMTPPort")->currentText().toStdString(), "");
    EXPECT_EQ(C<QComboBox>("comboSMTPPort")->count(), 2);
    EXPECT_EQ(C<QComboBox>("ComboProfiles")->currentText().toStdString(), "0");
    EXPECT_EQ(C<QComboBox>("comboDrvList")->currentText().toStdString(), "D:");
    EXPECT_EQ(C<QComboBox>("comboDrvList")->count(), 23);
    for (const char* box : {"chkShowTrayIcon", "chkShowTaskBar", "chkSendEmail"}) EXPECT_TRUE(Check(box)->isChecked()) << box;
    for (const char* box : {"chkClientPrompt", "chkPassword", "chkSMTPAuth", "chkUseSSL", "chkUpdateConfig",
                            "chkHBGetNewApps", "chkHeartbeatSvcAutoCheck", "chkInstallHeartbeat"})
        EXPECT_FALSE(Check(box)->isChecked()) << box;
    for (const char* option : {"optEventIDEx", "optEventSourceEx", "optEventDescEx"})
        EXPECT_FALSE(C<QRadioButton>(option)->isChecked()) << option;
    EXPECT_EQ(Box("txtPassword")->echoMode(), QLineEdit::Password);

    EXPECT_TRUE(Window()->SaveSettings());
    for (const char* key : {"ShowTrayIcon", "ShowTaskBar", "SendEmail"}) EXPECT_EQ(Stored("General", key), "1") << key;
    EXPECT_EQ(Stored("EmailConfig", "SMTPPort"), "");
    EXPECT_EQ(Stored("ScheduledTasks", "ProfileUpdateNum"), "0");
    // An empty password is stored scrambled and shows empty again.
    EXPECT_NE(Stored("EmailConfig", "SMTPPassword").value_or(""), "");
    Open();
    EXPECT_EQ(Text(Window(), "txtSMTPPassword"), "");
}

TEST_F(Settings, CheckBoxesTakeOnlyTheValuesACheckBoxHas) {
    struct Case {
        const char* stored;
        Qt::CheckState shown;  // from the initial Checked state of chkSendEmail
        const char* saved;
    };
    const Case cases[] = {{"0", Qt::Unchecked, "0"},    {"1", Qt::Checked, "1"},     {"2", Qt::PartiallyChecked, "2"},
                          {" 0 ", Qt::Unchecked, "0"},  {"5", Qt::Checked, "1"},     {"-1", Qt::Checked, "1"},
                          {"off", Qt::Checked, "1"},    {"", Qt::Checked, "1"}};
    for (const Case& c : cases) {
        Setting("General", "SendEmail", c.stored);
        Open();
        EXPECT_EQ(Check("chkSendEmail")->checkState(), c.shown) << '"' << c.stored << '"';
        Window()->SaveSettings();
        EXPECT_EQ(Stored("General", "SendEmail"), c.saved) << '"' << c.stored << '"';
    }
}

TEST_F(Settings, ACloudSwitchIsCheckedOnlyByOne) {
    Setting("Nimbrel", "UpdateConfig", "2");
    Open();
    EXPECT_FALSE(Check("chkUpdateConfig")->isChecked());
}

TEST_F(Settings, ProtectionOffLeavesThePasswordUnreadButSavesTheBox) {
    Setting("General", "PasswordProtectConfig", "0");
    Setting("General", "ConfigPassword", Scrambled("secret", modBase85::kConfigPasswordKey));
    Open();
    EXPECT_EQ(Text(Window(), "txtPassword"), "");
    Window()->SaveSettings();
    EXPECT_EQ(Stored("General", "ConfigPassword"), Scrambled("", modBase85::kConfigPasswordKey));
}

TEST_F(Settings, OnlyTheOwnedKeysChange) {
    const std::string original =
        "[General]\r\nShowTrayIcon=1\r\nCustomKey=kept as it was\r\n[ScheduledTasks]\r\nHeartbeatTime=25:00:00\r\n"
        "[EmailConfig]\r\nSMTPPort=abc\r\n[Vendor]\r\nLicence=ABC-123\r\n";
    testsupport::WriteHostFile(IniFile(), original);
    Open();
    Window()->SaveSettings();
    EXPECT_EQ(Stored("ScheduledTasks", "HeartbeatTime"), "25:00:00");
    EXPECT_EQ(Stored("EmailConfig", "SMTPPort"), "abc");
    EXPECT_EQ(Stored("General", "CustomKey"), "kept as it was");
    EXPECT_EQ(Stored("Vendor", "Licence"), "ABC-123");
}

TEST_F(Settings, LineBreaksOfATextBecomeBlanks) {
    Open();
    Box("txtIdentifier")->setText("Front desk\r\n[Evil]\r\nShowTrayIcon=0\nlast\rline");
    Window()->SaveSettings();
    EXPECT_EQ(Stored("General", "Identifier"), "Front desk [Evil] ShowTrayIcon=0 last line");
    EXPECT_EQ(Stored("Evil", "ShowTrayIcon"), std::nullopt);
    EXPECT_EQ(Stored("General", "ShowTrayIcon"), "1");
}

TEST_F(Settings, TextBoxesTakeWhatTheFileReadsBackWhole) {
    Open();
    const std::string longAddress(300, 'a');
    for (const char* box : {"txtToEmail", "txtIdentifier", "txtRulesLoc", "txtEventDesc"}) {
        Box(box)->clear();
        Box(box)->insert(QString::fromStdString(longAddress));
        EXPECT_EQ(Text(Window(), box).size(), 254u) << box;
    }
    // Letters beyond one byte count by what they take in the file.
    Box("txtFromEmail")->insert(QString::fromStdString(std::string(200, 'x')));
    Box("txtFromEmail")->insert(QString::fromUtf8("ééééééééééééééééééééééééééééééééé"));
    EXPECT_EQ(Text(Window(), "txtFromEmail"), std::string(200, 'x'));
    for (const char* box : {"txtPassword", "txtSMTPPassword", "txtCloudPass"}) {
        Box(box)->insert(QString::fromStdString(longAddress));
        EXPECT_EQ(Text(Window(), box).size(), 199u) << box;
    }
    Window()->SaveSettings();
    Open();
    EXPECT_EQ(Text(Window(), "txtToEmail"), std::string(254, 'a'));
    EXPECT_EQ(Text(Window(), "txtSMTPPassword"), std::string(199, 'a'));
    EXPECT_EQ(Text(Window(), "txtPassword"), "");
}

TEST_F(Settings, APasswordOutsideTheCodePageIsRefusedAndNothingSaved) {
    Setting("EmailConfig", "SMTPServer", "smtp.old.example");
    Open();
    const std::string before = testsupport::ReadHostFile(IniFile());
    Box("txtSMTPServer")->setText("smtp.new.example");
    Box("txtSMTPPassword")->setText(QString::fromUtf8("пароль"));
    List("listHeartbeatDrives")->addItem("E:");
    platform::QueueMessageBoxAnswer(vb::vbOK);
    testsupport::StderrCapture capture;
    EXPECT_FALSE(Window()->SaveSettings());
    EXPECT_NE(capture.Text().find("SMTP Password"), std::string::npos) << capture.Text();
    EXPECT_EQ(testsupport::ReadHostFile(IniFile()), before);
    EXPECT_FALSE(fs::exists(ListFile("Heartbeat_Partition_List.txt")));
    // A character of the code page, as the euro sign, is no reason to refuse.
    Box("txtSMTPPassword")->setText(QString::fromUtf8("5€"));
    EXPECT_TRUE(Window()->SaveSettings());
    Open();
    EXPECT_EQ(Text(Window(), "txtSMTPPassword"), "5€");
}

TEST_F(Settings, ListFilesAreRewrittenWithCaseDuplicatesOnce) {
    testsupport::WriteHostFile(ListFile("GlobalExclusion_EventSource_List.txt"),
                               "Disk\r\n\r\nDISK\r\nAtapi\r\ndisk\r\nMüller-Dienst\r\n");
    testsupport::WriteHostFile(ListFile("Heartbeat_Partition_List.txt"), "D:\nE:\n");
    testsupport::WriteHostFile(ListFile("Heartbeat_SNMP_List.txt"), "printer|public|1.3.6.1.2.1.1.5.0\r\n");
    Open();
    EXPECT_EQ(Entries(Window(), "listEventSourceEx"),
              (std::vector<std::string>{"Disk", "DISK", "Atapi", "disk", "Müller-Dienst"}));
    List("listEventDescEx")->addItem("disk full\r\n[EventType]");
    List("listEventSourceEx")->addItem(QString::fromUtf8("MÜLLER-DIENST"));
    delete List("listHeartbeatDrives")->takeItem(1);
    delete List("listHeartbeatDrives")->takeItem(0);
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_EQ(ListText("GlobalExclusion_EventSource_List.txt"), "Disk\r\nAtapi\r\nMüller-Dienst\r\n");
    EXPECT_EQ(ListText("GlobalExclusion_EventDesc_List.txt"), "disk full [EventType]\r\n");
    EXPECT_EQ(ListText("Heartbeat_SNMP_List.txt"), "printer|public|1.3.6.1.2.1.1.5.0\r\n");
    EXPECT_FALSE(fs::exists(ListFile("Heartbeat_Partition_List.txt")));
    EXPECT_FALSE(fs::exists(ListFile("GlobalExclusion_EventID_List.txt")));
    // Nothing but the lists is left in the folder (no temporary file).
    int files = 0;
    for (const auto& entry : fs::directory_iterator(ListFile(""))) files += entry.is_regular_file();
    EXPECT_EQ(files, 3);
}

// What the code page holds is saved in it, in the settings file and in a new
// list alike; a list kept as UTF-16LE (Notepad's "Unicode") loads and stays so.
TEST_F(Settings, TextIsSavedInTheCodePageAndAUnicodeListStaysUnicode) {
    testsupport::WriteHostFile(ListFile("GlobalExclusion_EventSource_List.txt"),
                               testsupport::Utf16LeWithMark("Dienst \xE8\xAD\xA6\r\n"));
    Open();
    EXPECT_EQ(Entries(Window(), "listEventSourceEx"), (std::vector<std::string>{"Dienst \xE8\xAD\xA6"}));
    List("listEventSourceEx")->addItem(QString::fromUtf8("M\xC3\xBCller"));
    List("listEventDescEx")->addItem(QString::fromUtf8("f\xC3\xBCr M\xC3\xBCller"));
    Box("txtIdentifier")->setText(QString::fromUtf8("B\xC3\xBCro"));
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_EQ(ListText("GlobalExclusion_EventSource_List.txt"),
              testsupport::Utf16LeWithMark("Dienst \xE8\xAD\xA6\r\nM\xC3\xBCller\r\n"));
    EXPECT_EQ(ListText("GlobalExclusion_EventDesc_List.txt"), "f\xFCr M\xFCller\r\n");
    EXPECT_NE(testsupport::ReadHostFile(IniFile()).find("Identifier=B\xFCro\r\n"), std::string::npos);
    Open();
    EXPECT_EQ(Text(Window(), "txtIdentifier"), "B\xC3\xBCro");
    EXPECT_EQ(Entries(Window(), "listEventDescEx"), (std::vector<std::string>{"f\xC3\xBCr M\xC3\xBCller"}));
}

TEST_F(Settings, AFileThatCannotBeWrittenIsNamedAndTheRestIsSaved) {
    testsupport::WriteHostFile(ListFile("Heartbeat_Partition_List.txt"), "D:\r\n");
    ASSERT_TRUE(win::SetFileAttributesA(kProgramFolder + "Rules\\Heartbeat_Partition_List.txt",
                                        win::FILE_ATTRIBUTE_READONLY));
    Open();
    List("listHeartbeatDrives")->addItem("E:");
    List("listHeartbeatSvcs")->addItem("Spooler");
    Box("txtIdentifier")->setText("written anyway");
    platform::QueueMessageBoxAnswer(vb::vbOK);
    testsupport::StderrCapture capture;
    EXPECT_FALSE(Window()->SaveSettings());
    EXPECT_NE(capture.Text().find("Heartbeat_Partition_List.txt"), std::string::npos) << capture.Text();
    EXPECT_EQ(capture.Text().find("Heartbeat_Services_List.txt"), std::string::npos) << capture.Text();
    EXPECT_EQ(ListText("Heartbeat_Partition_List.txt"), "D:\r\n");
    EXPECT_EQ(ListText("Heartbeat_Services_List.txt"), "Spooler\r\n");
    EXPECT_EQ(Stored("General", "Identifier"), "written anyway");
}

TEST_F(Settings, AReadOnlySettingsFileIsNamedOnce) {
    Setting("General", "Identifier", "before");
    ASSERT_TRUE(win::SetFileAttributesA(CommonModule::sINI, win::FILE_ATTRIBUTE_READONLY));
    Open();
    Box("txtIdentifier")->setText("after");
    List("listHeartbeatSvcs")->addItem("Spooler");
    platform::QueueMessageBoxAnswer(vb::vbOK);
    testsupport::StderrCapture capture;
    EXPECT_FALSE(Window()->SaveSettings());
    const std::string text = capture.Text();
    const size_t first = text.find("Quarnel.ini");
    ASSERT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find("Quarnel.ini", first + 1), std::string::npos) << text;
    EXPECT_EQ(Stored("General", "Identifier"), "before");
    EXPECT_EQ(ListText("Heartbeat_Services_List.txt"), "Spooler\r\n");
}

// Counts the times a file is put in place by a rename or written in place,
// as the kernel reports them for its folder.
class Replacements {
public:
    explicit Replacements(const fs::path& file) : name_(file.filename().string()) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(fd_, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~Replacements() { close(fd_); }
    int Count() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name_ == event->name) ++count_;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        return count_;
    }

private:
    std::string name_;
    int fd_ = -1;
    int count_ = 0;
};

// A protected configuration killed between its keys would hold the switch
// without the password; one replacement holds both or neither.
TEST_F(Settings, ASaveReplacesTheFileOnceAsTheWritesOneByOneWould) {
    const std::string before = "; kept\r\n[General]\r\nIdentifier = old\r\nStartupSet=1\r\nOther=kept\r\n\r\n"
                               "[Custom]\r\nX=1";
    testsupport::WriteHostFile(IniFile(), before);
    Open();
    Box("txtIdentifier")->setText("new");
    Check("chkPassword")->setChecked(true);
    Box("txtPassword")->setText("s3cret");
    Replacements replacements(IniFile());
    ASSERT_TRUE(Window()->SaveSettings());
    EXPECT_EQ(replacements.Count(), 1);

    const fs::path oneByOne = HostFile("OneByOne.ini");
    testsupport::WriteHostFile(oneByOne, before);
    for (const auto& [section, key] : kSaveOrder)
        platform::WriteIniValue(oneByOne, section, std::string(key), Stored(section, key).value_or("<missing>"));
    EXPECT_EQ(testsupport::ReadHostFile(IniFile()), testsupport::ReadHostFile(oneByOne));
    EXPECT_EQ(Stored("General", "PasswordProtectConfig"), "1");
    EXPECT_EQ(Stored("General", "ConfigPassword"), Scrambled("s3cret", modBase85::kConfigPasswordKey));
}

}  // namespace
}  // namespace configtest
