#include "frmPassword.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>

#include "common/CommonModule.h"
#include "net/modBase85.h"
#include "platform/api/MessageBox.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

frmPassword::frmPassword(const std::string& sINI, QWidget* parent) : QDialog(parent), sINI_(sINI) {
    setObjectName("frmPassword");
    BuildControls();
    Form_Load();
}

bool frmPassword::Prompt(const std::string& sINI) {
    frmPassword window(sINI);
    platform::ShowModal(&window);
    return window.PasswordMatched();
}

void frmPassword::BuildControls() {
    auto* layout = new QHBoxLayout(this);
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    Text1->setEchoMode(QLineEdit::Password);
    Text1->setStyleSheet("lineedit-password-character: 42");
    layout->addWidget(Text1);
    Command1 = new QPushButton("OK", this);
    Command1->setObjectName("Command1");
    Command1->setDefault(true);
    layout->addWidget(Command1);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void frmPassword::Form_Load() {
    setWindowIcon(QIcon(":/icons/a1.png"));
    setWindowTitle("Enter Password");
}

void frmPassword::Command1_Click() {
    // The box holds what an ANSI text box would: characters outside the code page read as "?".
    const std::string typed = platform::FitToAnsi(Text1->text().toStdString());
    if (typed == StoredPassword()) {
        matched_ = true;
        accept();
        return;
    }
    Text1->clear();
    setWindowTitle("Incorrect Password");
}

// A stored value that is missing or does not decode counts as the empty password.
std::string frmPassword::StoredPassword() const {
    const std::string stored = CommonModule::ReadIniString(sINI_, "General", "ConfigPassword");
    try {
        return modBase85::XorDecode(stored, modBase85::kConfigPasswordKey);
    } catch (const RuntimeError&) {
        return "";
    }
}
