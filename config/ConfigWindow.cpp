#include "ConfigWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>

#include "ConfigFiles.h"
#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "platform/api/RuntimeError.h"

namespace {

using ErrorTrap::SkipErrors;

QStringList DriveItems() {
    QStringList drives;
    for (char letter = 'D'; letter <= 'Z'; ++letter) drives << QString("%1:").arg(QChar(letter));
    return drives;
}

}  // namespace

ConfigWindow::ConfigWindow(const std::string& formName, const std::string& title, bool configOnly)
    : formName_(formName), title_(title), configOnly_(configOnly) {
    setObjectName(QString::fromStdString(formName));
    setAttribute(Qt::WA_DeleteOnClose);
    layout_ = new QGridLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    // The panels' place keeps its room while every panel is hidden.
    auto* panelArea = new QWidget(this);
    panelArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    panelStack_ = new QGridLayout(panelArea);
    panelStack_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(panelArea, 0, 1);
    layout_->setColumnStretch(1, 1);
    BuildPanels();
    resize(860, 600);
}

void ConfigWindow::AddItemsKeepingText(QComboBox* combo, const QStringList& items) {
    const QString text = combo->currentText();
    combo->addItems(items);
    combo->setEditText(text);
}

void ConfigWindow::SetCheckValue(QCheckBox* box, const std::string& text) {
    const std::optional<int> value = ConfigFiles::CheckBoxValue(text);
    if (!value) return;
    box->setCheckState(*value == 0 ? Qt::Unchecked : *value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

std::string ConfigWindow::CheckText(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked: return "1";
        case Qt::PartiallyChecked: return "2";
        default: return "0";
    }
}

// The side bar fills the window's left edge.
void ConfigWindow::SetSideBar(QWidget* sideBar) { layout_->addWidget(sideBar, 0, 0); }

void ConfigWindow::Form_Load() {
    SkipErrors([this] { setWindowIcon(QIcon(":/icons/a1.png")); });
    SkipErrors([this] { setWindowTitle(QString::fromStdString(title_ + "  Configuration")); });
    SkipErrors([this] { lblVer->setText(QString::fromStdString(CommonModule::GetAppVersionString())); });
    SkipErrors([this] { LoadSideBar(); });
    SkipErrors([this] {
        HidePanels();
        ShowPanel(picGeneral);
    });
    SkipErrors([this] { AddItemsKeepingText(comboSMTPPort, {"25", "465"}); });
    SkipErrors([this] { LoadSettings(); });
    SkipErrors([this] { AddItemsKeepingText(ComboProfiles, {"0", "1", "2", "3"}); });
    SkipErrors([this] { AddItemsKeepingText(comboDrvList, DriveItems()); });
    SkipErrors([this] { LoadServices(); });
    SkipErrors([this] { LoadSNMPList(); });
    SkipErrors([this] { LoadRulesList(); });
    CommonModule::DPrint(formName_ + "\\Form_Load: configuration window loaded");
}

std::vector<QWidget*> ConfigWindow::Panels() const {
    return {picGeneral, picEmail, picRules, picRulesLoc, picAutoUpdate, picHeartbeat, picHeartbeatAdv, picExclusions};
}

void ConfigWindow::HidePanels() {
    for (QWidget* panel : Panels()) panel->hide();
}

void ConfigWindow::ShowPanel(QWidget* panel) {
    if (panel == picRules) LoadRulesList();
    panel->show();
}

void ConfigWindow::Command3_Click() { txtPassword->setEchoMode(QLineEdit::Normal); }

void ConfigWindow::CancelAndClose() { CloseWindow(true); }

void ConfigWindow::SaveAndClose() {
    if (SaveSettings()) CloseWindow(true);
}

void ConfigWindow::CloseWindow(bool startStopProgram) {
    if (startStopProgram && !configOnly_ && chkShowTrayIcon->checkState() != Qt::Unchecked) {
        std::int32_t exitCode = 0;
        SkipErrors([&] {
            CommonModule::ShellX(CommonModule::AppPath() + "Quarnel_Stop.exe", "/showform", false, 1, exitCode);
        });
    }
    close();
}

void ConfigWindow::closeEvent(QCloseEvent* event) {
    // A handler still running owns the window until it returns.
    if (handlerRunning_) {
        event->ignore();
        return;
    }
    // The close box closes without saving and without restarting the monitor.
    event->accept();
}

void ConfigWindow::DebugServiceMissing(const std::string& procedure, const std::string& what) const {
    CommonModule::DPrint(formName_ + "\\" + procedure + ": " + what + " is not connected to this window");
}
