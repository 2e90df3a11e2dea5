// The mapping between the window's controls and the settings file, and the
// list files of the Rules folder.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <map>
#include <string_view>
#include <variant>
#include <vector>

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

struct ConfigWindow::StoredSetting {
    enum class Kind {
        Check,         // 0, 1 or 2; another text leaves the box as it is
        CheckedByOne,  // checked by "1", any other text leaves the box as it is
        Text,          // an empty value leaves the box as it is
        TextAlways,    // the box takes the value, empty or not
        ComboText,     // an empty value leaves the combo box's text as it is
        Password,      // scrambled with scrambleKey; an empty value leaves the box as it is
        Zero,          // no control: a save writes "0", a load reads nothing
        ListFiles,     // no key: the list files of the Rules folder are written at this point of a save
    };
    using Control =
        std::variant<std::monostate, QCheckBox* ConfigWindow::*, QLineEdit* ConfigWindow::*, QComboBox* ConfigWindow::*>;

    Control control;
    const char* section;
    const char* key;
    Kind kind;
    const char* scrambleKey = nullptr;
    // A key of the same section that must read "1" for this one to be loaded.
    const char* onlyWhenOne = nullptr;

    template <typename Widget>
    Widget* Of(const ConfigWindow& window) const {
        return window.*std::get<Widget* ConfigWindow::*>(control);
    }
    bool IsRulesLocation() const { return std::string_view(key).starts_with("RulesWebLoc"); }
};

const std::vector<ConfigWindow::StoredSetting>& ConfigWindow::StoredSettings() {
    using Kind = StoredSetting::Kind;
    static const std::vector<StoredSetting> settings{
        {&ConfigWindow::chkUpdateConfig, "Nimbrel", "UpdateConfig", Kind::CheckedByOne},
        {&ConfigWindow::txtCloudUser, "Nimbrel", "UserName", Kind::TextAlways},
        {&ConfigWindow::txtCloudPass, "Nimbrel", "Password", Kind::Password, modBase85::kMailPasswordKey},
        {&ConfigWindow::chkCloudUpdateAfterInstall, "Nimbrel", "UpdateAfterInstall", Kind::CheckedByOne},
        {&ConfigWindow::chkHBGetNewApps, "Heartbeat", "ReportNewlyInstalledApps", Kind::Check},
        {&ConfigWindow::chkHeartbeatSvcAutoCheck, "Heartbeat", "ReportAutoSvcsNotRunning", Kind::Check},
        {&ConfigWindow::chkPassword, "General", "PasswordProtectConfig", Kind::CheckedByOne},
        {&ConfigWindow::txtPassword, "General", "ConfigPassword", Kind::Password, modBase85::kConfigPasswordKey,
         "PasswordProtectConfig"},
        {std::monostate{}, "", "", Kind::ListFiles},
        {&ConfigWindow::chkInstallHeartbeat, "ScheduledTasks", "HeartbeatInst", Kind::Check},
        {&ConfigWindow::txtHeartbeatTime, "ScheduledTasks", "HeartbeatTime", Kind::Text},
        {&ConfigWindow::chkInstallUpdateTask, "ScheduledTasks", "AppUpdateInst", Kind::Check},
        {&ConfigWindow::txtUpdateTime, "ScheduledTasks", "AppUpdateTime", Kind::Text},
        {&ConfigWindow::chkInstallProfileTask, "ScheduledTasks", "ProfileUpdateInst", Kind::Check},
        {&ConfigWindow::ComboProfiles, "ScheduledTasks", "ProfileUpdateNum", Kind::ComboText},
        {&ConfigWindow::txtSchTime, "ScheduledTasks", "ProfileUpdateTime", Kind::Text},
        {std::monostate{}, "General", "StartupSet", Kind::Zero},
        {&ConfigWindow::chkClientPrompt, "General", "ClientPrompt", Kind::Check},
        {&ConfigWindow::chkShowTrayIcon, "General", "ShowTrayIcon", Kind::Check},
        {&ConfigWindow::txtRulesLoc, "General", "RulesWebLoc", Kind::TextAlways},
        {&ConfigWindow::txtRulesLoc1, "General", "RulesWebLoc1", Kind::TextAlways},
        {&ConfigWindow::txtRulesLoc2, "General", "RulesWebLoc2", Kind::TextAlways},
        {&ConfigWindow::txtRulesLoc3, "General", "RulesWebLoc3", Kind::TextAlways},
        {&ConfigWindow::txtIdentifier, "General", "Identifier", Kind::Text},
        {&ConfigWindow::chkShowTaskBar, "General", "ShowTaskBar", Kind::Check},
        {&ConfigWindow::chkSendEmail, "General", "SendEmail", Kind::Check},
        {&ConfigWindow::txtSMTPServer, "EmailConfig", "SMTPServer", Kind::Text},
        {&ConfigWindow::comboSMTPPort, "EmailConfig", "SMTPPort", Kind::ComboText},
        {&ConfigWindow::txtSMTPUserName, "EmailConfig", "SMTPUserName", Kind::Text},
        {&ConfigWindow::txtSMTPPassword, "EmailConfig", "SMTPPassword", Kind::Password, modBase85::kMailPasswordKey},
        {&ConfigWindow::txtFromEmail, "EmailConfig", "FromEmail", Kind::Text},
        {&ConfigWindow::txtToEmail, "EmailConfig", "ToEmail", Kind::Text},
        {&ConfigWindow::chkSMTPAuth, "EmailConfig", "SMTPAuth", Kind::Check},
        {&ConfigWindow::chkUseSSL, "EmailConfig", "UseSSL", Kind::Check},
    };
    return settings;
}

void ConfigWindow::LoadSettings() {
    for (const StoredSetting& setting : StoredSettings())
        SkipErrors([&] { LoadSetting(setting); });
    LoadLists();
}

void ConfigWindow::LoadSetting(const StoredSetting& setting) {
    using Kind = StoredSetting::Kind;
    if (setting.onlyWhenOne && Setting(setting.section, setting.onlyWhenOne) != "1") return;
    switch (setting.kind) {
        case Kind::Check:
            LoadCheckBox(setting.Of<QCheckBox>(*this), setting.section, setting.key);
            break;
        case Kind::CheckedByOne:
            if (Setting(setting.section, setting.key) == "1") setting.Of<QCheckBox>(*this)->setChecked(true);
            break;
        case Kind::Text:
            LoadTextIfSet(setting.Of<QLineEdit>(*this), setting.section, setting.key);
            break;
        case Kind::TextAlways:
            setting.Of<QLineEdit>(*this)->setText(ToQt(Setting(setting.section, setting.key)));
            break;
        case Kind::ComboText:
            LoadComboTextIfSet(setting.Of<QComboBox>(*this), setting.section, setting.key);
            break;
        case Kind::Password:
            LoadPassword(setting.Of<QLineEdit>(*this), setting.section, setting.key, setting.scrambleKey);
            break;
        case Kind::Zero:
        case Kind::ListFiles:
            break;
    }
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
    for (const StoredSetting& setting : StoredSettings()) SaveSetting(setting);
}

void ConfigWindow::SaveRulesLocations() {
    for (const StoredSetting& setting : StoredSettings())
        if (setting.IsRulesLocation()) SaveSetting(setting);
}

void ConfigWindow::SaveSetting(const StoredSetting& setting) {
    using Kind = StoredSetting::Kind;
    switch (setting.kind) {
        case Kind::Check:
        case Kind::CheckedByOne:
            SaveCheckBox(setting.section, setting.key, setting.Of<QCheckBox>(*this));
            break;
        case Kind::Text:
        case Kind::TextAlways:
            SaveText(setting.section, setting.key, setting.Of<QLineEdit>(*this)->text());
            break;
        case Kind::ComboText:
            SaveText(setting.section, setting.key, setting.Of<QComboBox>(*this)->currentText());
            break;
        case Kind::Password:
            SaveKey(setting.section, setting.key,
                    modBase85::XorEncode(TextOf(setting.Of<QLineEdit>(*this)->text()), setting.scrambleKey));
            break;
        case Kind::Zero:
            SaveKey(setting.section, setting.key, "0");
            break;
        case Kind::ListFiles:
            SaveLists();
            break;
    }
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
