// The alert-rule editor: the rules list, one rule shown and saved at a time.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <array>

#include "ConfigFiles.h"
#include "ConfigWindow.h"
#include "FormControls.h"
#include "common/CommonModule.h"
#include "platform/api/FileApi.h"
#include "platform/api/MessageBox.h"

namespace {

std::string RulesFolder() { return CommonModule::AppPath() + "Rules"; }

std::string TextOf(const QLineEdit* box) { return ConfigFiles::OneLine(box->text().toStdString()); }

// The rule name of a rule file's path: its file name up to the last dot.
std::string RuleName(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    return CommonModule::StripPath(dot == std::string::npos ? path : path.substr(0, dot));
}

QListWidgetItem* FirstSelected(const QListWidget* list) {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected()) return list->item(i);
    return nullptr;
}

}  // namespace

std::string ConfigWindow::RuleFile(const std::string& ruleName) const {
    return RulesFolder() + "\\" + ruleName + ".DAT";
}

void ConfigWindow::LoadRulesList() {
    listRules->clear();
    if (!CommonModule::DoesDirExist(RulesFolder())) CommonModule::CreatePath(RulesFolder());
    std::vector<std::string> files;
    CommonModule::FindFiles(RulesFolder(), "*.DAT", files, false);
    for (const std::string& file : files) listRules->addItem(QString::fromStdString(RuleName(file)));
}

void ConfigWindow::ClearRuleEditor() {
    for (QLineEdit* box : {txtRuleName, txtEventID, txtEventSource, txtEventDesc, txtEventDescEx}) box->clear();
    for (QCheckBox* box : {chkApp, chkSec, chkSys, chkInfo, chkWarning, chkError, chkSuccess, chkFailure})
        box->setChecked(false);
}

void ConfigWindow::cmdAddRule_Click() {
    const std::string name = txtRuleName->text().toStdString();
    if (name.empty()) {
        vb::MsgBox("You must assign a rule name!");
        return;
    }
    if (!ConfigFiles::IsValidRuleName(name)) {
        vb::MsgBox("A rule name cannot hold \\ / : * ? \" < > | or a control character, nor be made only of dots.  "
                   "The rule was not saved.",
                   vb::vbExclamation);
        return;
    }
    const std::vector<ConfigFiles::IniValue> values{
        {"LogFile", "Application", CheckText(chkApp)},     {"LogFile", "Security", CheckText(chkSec)},
        {"LogFile", "System", CheckText(chkSys)},          {"EventType", "Info", CheckText(chkInfo)},
        {"EventType", "Warning", CheckText(chkWarning)},   {"EventType", "Error", CheckText(chkError)},
        {"EventType", "Success", CheckText(chkSuccess)},   {"EventType", "Failure", CheckText(chkFailure)},
        {"EventDetail", "EventID", TextOf(txtEventID)},    {"EventDetail", "EventSource", TextOf(txtEventSource)},
        {"EventDetail", "EventDesc", TextOf(txtEventDesc)}, {"EventDetail", "EventDescEx", TextOf(txtEventDescEx)},
    };
    if (!CommonModule::DoesDirExist(RulesFolder())) CommonModule::CreatePath(RulesFolder());
    const std::string file = RuleFile(name);
    if (!ConfigFiles::WriteIniValues(file, values)) {
        vb::MsgBox("The rule could not be saved to this file:\r\n" + file, vb::vbExclamation);
        return;
    }
    LoadRulesList();
    ClearRuleEditor();
}

void ConfigWindow::listRules_Click() {
    const QListWidgetItem* entry = listRules->currentItem();
    if (!entry) return;
    const std::string name = entry->text().toStdString();
    txtRuleName->setText(entry->text());
    ShowRule(RuleFile(name));
}

void ConfigWindow::ShowRule(const std::string& ruleFile) {
    const auto read = [&](const char* section, const char* key) {
        return CommonModule::ReadIniString(ruleFile, section, key);
    };
    const std::array<std::pair<QCheckBox*, const char*>, 3> logs{{{chkApp, "Application"}, {chkSec, "Security"},
                                                                   {chkSys, "System"}}};
    for (auto [box, key] : logs) SetCheckValue(box, read("LogFile", key));
    const std::array<std::pair<QCheckBox*, const char*>, 5> types{{{chkInfo, "Info"}, {chkWarning, "Warning"},
                                                                    {chkError, "Error"}, {chkSuccess, "Success"},
                                                                    {chkFailure, "Failure"}}};
    for (auto [box, key] : types) SetCheckValue(box, read("EventType", key));
    const std::array<std::pair<QLineEdit*, const char*>, 4> details{{{txtEventID, "EventID"},
                                                                      {txtEventSource, "EventSource"},
                                                                      {txtEventDesc, "EventDesc"},
                                                                      {txtEventDescEx, "EventDescEx"}}};
    for (auto [box, key] : details) box->setText(QString::fromStdString(read("EventDetail", key)));
}

// The selected entry's own file goes, and the entry only once its file is gone.
void ConfigWindow::cmdDelRule_Click() {
    if (QListWidgetItem* entry = FirstSelected(listRules)) {
        const std::string file = RuleFile(entry->text().toStdString());
        if (CommonModule::DoesFileExist(file)) win::DeleteFileA(file);
        if (CommonModule::DoesFileExist(file))
            vb::MsgBox("The rule file could not be deleted:\r\n" + file, vb::vbExclamation);
        else
            delete listRules->takeItem(listRules->row(entry));
        FormControls::ClearChoice(listRules);
    }
    ClearRuleEditor();
}
