#include "frmProfilePrompt.h"

#include "FormControls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "common/CommonModule.h"
#include "common/TaskScheme.h"
#include "platform/api/MessageBox.h"

namespace {

// The rules profiles in profile order: [General] RulesWebLoc, RulesWebLoc1 ...
constexpr std::array<const char*, 4> kProfileKeys{"RulesWebLoc", "RulesWebLoc1", "RulesWebLoc2", "RulesWebLoc3"};

std::string GeneralSetting(const std::string& key) {
    return CommonModule::ReadIniString(CommonModule::sINI, "General", key);
}

QPushButton* AddButton(QHBoxLayout* layout, QWidget* owner, const char* name, const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), owner);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    layout->addWidget(button);
    return button;
}

}  // namespace

frmProfilePrompt::frmProfilePrompt(QWidget* parent) : QDialog(parent) {
    setObjectName("frmProfilePrompt");
    setWindowTitle("Form1");
    BuildControls();
    Form_Load();
}

void frmProfilePrompt::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    Label1 = FormControls::AddLabel(layout, this, "Label1", "Select an existing profile to create a scheduled task:");
    Combo1 = new QComboBox(this);
    Combo1->setObjectName("Combo1");
    Combo1->setEditable(true);
    layout->addWidget(Combo1);
    Label2 = FormControls::AddLabel(layout, this, "Label2", "Web location of the selected profile:");
    Text1 = FormControls::AddTextBox(layout, this, "Text1");
    Label3 = FormControls::AddLabel(layout, this, "Label3", "Scheduled Time:");
    Text2 = FormControls::AddTextBox(layout, this, "Text2");
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    Command1 = AddButton(buttons, this, "Command1", "Schedule This Task");
    Command2 = AddButton(buttons, this, "Command2", "Cancel");
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void frmProfilePrompt::Form_Load() {
    Combo1->clear();
    Combo1->addItem("0");
    for (std::size_t profile = 1; profile < kProfileKeys.size(); ++profile)
        if (!GeneralSetting(kProfileKeys[profile]).empty()) Combo1->addItem(QString::number(profile));
    Combo1->setEditText("0");
    Text1->setText(QString::fromStdString(GeneralSetting(kProfileKeys[0])));
    Text2->setText(QString::fromStdString(
        CommonModule::ReadIniString(CommonModule::sINI, "ScheduledTasks", "ProfileUpdateTime")));
}

void frmProfilePrompt::Combo1_Click() {
    const std::string profile = Combo1->currentText().toStdString();
    std::string location = "invalid profile";
    if (TaskScheme::IsRulesProfile(profile))
        location = GeneralSetting(kProfileKeys[static_cast<std::size_t>(profile[0] - '0')]);
    Text1->setText(QString::fromStdString(location));
}

void frmProfilePrompt::Command1_Click() {
    const std::string profile = Combo1->currentText().toStdString();
    const std::string startTime = Text2->text().toStdString();
    TaskScheme::ReplaceTask(false, startTime, TaskScheme::kRulesUpdateTask, CommonModule::AppExePath(),
                            " /updaterules" + profile);
    vb::MsgBox("Task has been scheduled.", vb::vbOKOnly);
    accept();
}

void frmProfilePrompt::Command2_Click() { reject(); }
