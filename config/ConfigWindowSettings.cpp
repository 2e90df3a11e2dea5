// The mapping between the window's controls and the settings file, and the
// list files of the Rules folder.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <map>

#include "ConfigFiles.h"
#include "ConfigWindow.h"
#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "net/modBase85.h"
#include "platform/api/MessageBox.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace {

using ErrorTrap::SkipErrors;

std::string Setting(const std::string& section, const std::string& key) {
    return CommonModule::ReadIniString(CommonModule::sINI, section, key);
}

std::string TextOf(const QString& text) { return text.toStdString(); }
QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// An empty or non-numeric text, or another number, leaves the box as it is.
void LoadCheckBox(QCheckBox* box, const std::string& section, const std::string& key) {
    ConfigWindow::SetCheckValue(box, Setting(section, key));
}

void LoadTextIfSet(QLineEdit* box, const std::string& section, const std::string& key) {
    const std::string value = Setting(section, key);
    if (!value.empty()) box->setText(ToQt(value));
}

void LoadComboTextIfSet(QComboBox* combo, const std::string& section, const std::string& key) {
    const std::string value = Setting(section, key);
    if (!value.empty()) combo->setEditText(ToQt(value));
}

void LoadPassword(QLineEdit* box, const std::string& section, const std::string& key, const char* scrambleKey) {
    const std::string value = Setting(section, key);
    if (!value.empty()) box->setText(ToQt(modBase85::XorDecode(value, scrambleKey)));
}

void AppendLines(QListWidget* list, const std::string& listFile) {
    for (const std::string& entry : ConfigFiles::ReadListFile(listFile)) list->addItem(ToQt(entry));
}

std::vector<std::string> Entries(const QListWidget* list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) entries.push_back(TextOf(list->item(i)->text()));
    return entries;
}

std::vector<std::string> SnmpEntries(const QTreeWidget* listView) {
    std::vector<std::string> entries;
    for (int i = 0; i < listView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = listView->topLevelItem(i);
        entries.push_back(TextOf(row->text(0) + "|" + row->text(1) + "|" + row->text(2)));
    }
    return entries;
}

}  // namespace

void ConfigWindow::LoadSettings() {
    LoadCheckBoxes();
    LoadTexts();
    LoadLists();
}

void ConfigWindow::LoadCheckBoxes() {
    for (auto [box, key] : {std::pair{chkUpdateConfig, "UpdateConfig"}, {chkCloudUpdateAfterInstall, "UpdateAfterInstall"}})
        SkipErrors([&, box = box, key = key] {
            if (Setting("Nimbrel", key) == "1") box->setChecked(true);
        });
    SkipErrors([this] { LoadCheckBox(chkHBGetNewApps, "Heartbeat", "ReportNewlyInstalledApps"); });
    SkipErrors([this] { LoadCheckBox(chkHeartbeatSvcAutoCheck, "Heartbeat", "ReportAutoSvcsNotRunning"); });
    SkipErrors([this] {
        if (Setting("General", "PasswordProtectConfig") != "1") return;
        chkPassword->setChecked(true);
        LoadPassword(txtPassword, "General", "ConfigPassword", modBase85::kConfigPasswordKey);
    });
    SkipErrors([this] { LoadCheckBox(chkInstallHeartbeat, "ScheduledTasks", "HeartbeatInst"); });
    SkipErrors([this] { LoadCheckBox(chkInstallUpdateTask, "ScheduledTasks", "AppUpdateInst"); });
    SkipErrors([this] { LoadCheckBox(chkInstallProfileTask, "ScheduledTasks", "ProfileUpdateInst"); });
    SkipErrors([this] { LoadCheckBox(chkClientPrompt, "General", "ClientPrompt"); });
    SkipErrors([this] { LoadCheckBox(chkShowTrayIcon, "General", "ShowTrayIcon"); });
    SkipErrors([this] { LoadCheckBox(chkShowTaskBar, "General", "ShowTaskBar"); });
    SkipErrors([this] { LoadCheckBox(chkSendEmail, "General", "SendEmail"); });
    SkipErrors([this] { LoadCheckBox(chkUseSSL, "EmailConfig", "UseSSL"); });
    SkipErrors([this] { LoadCheckBox(chkSMTPAuth, "EmailConfig", "SMTPAuth"); });
}

void ConfigWindow::LoadTexts() {
    SkipErrors([this] { LoadPassword(txtCloudPass, "Nimbrel", "Password", modBase85::kMailPasswordKey); });
    SkipErrors([this] { txtCloudUser->setText(ToQt(Setting("Nimbrel", "UserName"))); });
    SkipErrors([this] { LoadTextIfSet(txtHeartbeatTime, "ScheduledTasks", "HeartbeatTime"); });
    SkipErrors([this] { LoadTextIfSet(txtUpdateTime, "ScheduledTasks", "AppUpdateTime"); });
    SkipErrors([this] { LoadComboTextIfSet(ComboProfiles, "ScheduledTasks", "ProfileUpdateNum"); });
    SkipErrors([this] { LoadTextIfSet(txtSchTime, "ScheduledTasks", "ProfileUpdateTime"); });
    for (auto [box, key] : {std::pair{txtRulesLoc, "RulesWebLoc"}, {txtRulesLoc1, "RulesWebLoc1"},
                            {txtRulesLoc2, "RulesWebLoc2"}, {txtRulesLoc3, "RulesWebLoc3"}})
        SkipErrors([&, box = box, key = key] { box->setText(ToQt(Setting("General", key))); });
    SkipErrors([this] { LoadTextIfSet(txtIdentifier, "General", "Identifier"); });
    SkipErrors([this] { LoadTextIfSet(txtFromEmail, "EmailConfig", "FromEmail"); });
    SkipErrors([this] { LoadTextIfSet(txtToEmail, "EmailConfig", "ToEmail"); });
    SkipErrors([this] { LoadTextIfSet(txtSMTPUserName, "EmailConfig", "SMTPUserName"); });
    SkipErrors([this] { LoadComboTextIfSet(comboSMTPPort, "EmailConfig", "SMTPPort"); });
    SkipErrors([this] { LoadTextIfSet(txtSMTPServer, "EmailConfig", "SMTPServer"); });
    SkipErrors([this] { LoadPassword(txtSMTPPassword, "EmailConfig", "SMTPPassword", modBase85::kMailPasswordKey); });
}

void ConfigWindow::LoadLists() {
    for (auto [list, file] : {std::pair{listEventDescEx, "GlobalExclusion_EventDesc_List.txt"},
                              {listEventSourceEx, "GlobalExclusion_EventSource_List.txt"},
                              {listEventIDEx, "GlobalExclusion_EventID_List.txt"},
                              {listHeartbeatSvcs, "Heartbeat_Services_List.txt"},
                              {listHeartbeatDrives, "Heartbeat_Partition_List.txt"}})
        SkipErrors([&, list = list, file = file] { AppendLines(list, ConfigFiles::ListFilePath(file)); });
}

QLineEdit* ConfigWindow::UnstorablePassword() const {
    for (QLineEdit* box : {txtCloudPass, txtPassword, txtSMTPPassword}) {
        const std::string text = TextOf(box->text());
        if (platform::FitToAnsi(text) != text) return box;
    }
    return nullptr;
}

bool ConfigWindow::SaveSettings() {
    if (QLineEdit* box = UnstorablePassword()) {
        const std::map<QLineEdit*, const char*> names{{txtCloudPass, "Nimbrel Password"},
                                                      {txtPassword, "configuration password"},
                                                      {txtSMTPPassword, "SMTP Password"}};
        vb::MsgBox(std::string("The ") + names.at(box) +
                       " holds a character that cannot be stored in the settings file.  Nothing was saved.",
                   vb::vbExclamation);
        return false;
    }
    unwrittenFiles_.clear();
    // One save is one replacement of the settings file: killed halfway, it holds the old keys or the new ones.
    if (!CommonModule::WriteIniStrings(CommonModule::sINI, [this] { SaveKeysAndLists(); }))
        NoteUnwritten(CommonModule::sINI);
    ReportUnwrittenFiles();
    return unwrittenFiles_.empty();
}

void ConfigWindow::SaveKeysAndLists() {
    SaveCheckBox("Nimbrel", "UpdateConfig", chkUpdateConfig);
    SaveText("Nimbrel", "UserName", txtCloudUser->text());
    SaveKey("Nimbrel", "Password", modBase85::XorEncode(TextOf(txtCloudPass->text()), modBase85::kMailPasswordKey));
    SaveCheckBox("Nimbrel", "UpdateAfterInstall", chkCloudUpdateAfterInstall);
    SaveCheckBox("Heartbeat", "ReportNewlyInstalledApps", chkHBGetNewApps);
    SaveCheckBox("Heartbeat", "ReportAutoSvcsNotRunning", chkHeartbeatSvcAutoCheck);
    SaveCheckBox("General", "PasswordProtectConfig", chkPassword);
    SaveKey("General", "ConfigPassword",
            modBase85::XorEncode(TextOf(txtPassword->text()), modBase85::kConfigPasswordKey));
    SaveLists();
    SaveCheckBox("ScheduledTasks", "HeartbeatInst", chkInstallHeartbeat);
    SaveText("ScheduledTasks", "HeartbeatTime", txtHeartbeatTime->text());
    SaveCheckBox("ScheduledTasks", "AppUpdateInst", chkInstallUpdateTask);
    SaveText("ScheduledTasks", "AppUpdateTime", txtUpdateTime->text());
    SaveCheckBox("ScheduledTasks", "ProfileUpdateInst", chkInstallProfileTask);
    SaveText("ScheduledTasks", "ProfileUpdateNum", ComboProfiles->currentText());
    SaveText("ScheduledTasks", "ProfileUpdateTime", txtSchTime->text());
    SaveKey("General", "StartupSet", "0");
    SaveCheckBox("General", "ClientPrompt", chkClientPrompt);
    SaveCheckBox("General", "ShowTrayIcon", chkShowTrayIcon);
    SaveText("General", "RulesWebLoc", txtRulesLoc->text());
    SaveText("General", "RulesWebLoc1", txtRulesLoc1->text());
    SaveText("General", "RulesWebLoc2", txtRulesLoc2->text());
    SaveText("General", "RulesWebLoc3", txtRulesLoc3->text());
    SaveText("General", "Identifier", txtIdentifier->text());
    SaveCheckBox("General", "ShowTaskBar", chkShowTaskBar);
    SaveCheckBox("General", "SendEmail", chkSendEmail);
    SaveText("EmailConfig", "SMTPServer", txtSMTPServer->text());
    SaveText("EmailConfig", "SMTPPort", comboSMTPPort->currentText());
    SaveText("EmailConfig", "SMTPUserName", txtSMTPUserName->text());
    SaveKey("EmailConfig", "SMTPPassword",
            modBase85::XorEncode(TextOf(txtSMTPPassword->text()), modBase85::kMailPasswordKey));
    SaveText("EmailConfig", "FromEmail", txtFromEmail->text());
    SaveText("EmailConfig", "ToEmail", txtToEmail->text());
    SaveCheckBox("EmailConfig", "SMTPAuth", chkSMTPAuth);
    SaveCheckBox("EmailConfig", "UseSSL", chkUseSSL);
}

void ConfigWindow::NoteUnwritten(const std::string& file) {
    for (const std::string& noted : unwrittenFiles_)
        if (noted == file) return;
    unwrittenFiles_.push_back(file);
}

void ConfigWindow::SaveKey(const std::string& section, const std::string& key, const std::string& value) {
    bool written = false;
    SkipErrors([&] { written = win::WritePrivateProfileStringA(section, key, value, CommonModule::sINI); });
    if (!written) NoteUnwritten(CommonModule::sINI);
}

void ConfigWindow::SaveCheckBox(const std::string& section, const std::string& key, const QCheckBox* box) {
    SaveKey(section, key, CheckText(box));
}

void ConfigWindow::SaveText(const std::string& section, const std::string& key, const QString& text) {
    SaveKey(section, key, ConfigFiles::OneLine(TextOf(text)));
}

void ConfigWindow::SaveLists() {
    const std::string rules = CommonModule::AppPath() + "Rules";
    SkipErrors([&] {
        if (!CommonModule::DoesDirExist(rules)) CommonModule::CreatePath(rules);
    });
    SaveListFile("Heartbeat_Services_List.txt", Entries(listHeartbeatSvcs));
    SaveListFile("Heartbeat_Partition_List.txt", Entries(listHeartbeatDrives));
    SaveListFile("Heartbeat_SNMP_List.txt", SnmpEntries(lvHeartbeatSNMP));
    SaveListFile("GlobalExclusion_EventDesc_List.txt", Entries(listEventDescEx));
    SaveListFile("GlobalExclusion_EventSource_List.txt", Entries(listEventSourceEx));
    SaveListFile("GlobalExclusion_EventID_List.txt", Entries(listEventIDEx));
}

void ConfigWindow::SaveListFile(const std::string& fileName, const std::vector<std::string>& entries) {
    const std::string file = ConfigFiles::ListFilePath(fileName);
    bool written = false;
    SkipErrors([&] { written = ConfigFiles::WriteListFile(file, entries); });
    if (!written) NoteUnwritten(file);
}

void ConfigWindow::ReportUnwrittenFiles() {
    if (unwrittenFiles_.empty()) return;
    std::string names;
    for (const std::string& file : unwrittenFiles_) names += "\r\n" + file;
    vb::MsgBox("These files could not be written:" + names, vb::vbExclamation);
}
