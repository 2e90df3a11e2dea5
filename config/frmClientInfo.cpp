#include "frmClientInfo.h"

#include "FormControls.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/modRegistry.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"
#include "platform/api/RuntimeError.h"

namespace {

// A failing write is not reported: the values in memory serve this run.
void WriteClientValue(const char* valueName, const std::string& text) {
    try {
        modRegistry::fWriteValue(kClientInfoRootKey, kClientInfoKeyPath, valueName, "S", text);
    } catch (const RuntimeError&) {
    }
}

}  // namespace

frmClientInfo::frmClientInfo(const std::string& appTitle, ClientInfoValues values, QWidget* parent)
    : QDialog(parent), appTitle_(appTitle), values_(values) {
    setObjectName("frmClientInfo");
    BuildControls();
    Form_Load();
}

void frmClientInfo::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    Label1 = FormControls::AddLabel(layout, this, "Label1", "Client Name:  (a person or business name is required.)", true);
    Text1 = FormControls::AddTextBox(layout, this, "Text1");
    Label2 = FormControls::AddLabel(layout, this, "Label2", "Client Phone Number(s)", true);
    Text2 = FormControls::AddTextBox(layout, this, "Text2");
    Label4 = FormControls::AddLabel(layout, this, "Label4",
                      "PC Description:  (can include a location, e.g. PC in the front office.)", true);
    Text3 = FormControls::AddTextBox(layout, this, "Text3");
    Label3 = FormControls::AddLabel(layout, this, "Label3",
                      "This information will be sent along with alert based emails to your system administrator "
                      "in order to quickly identify the PC and contact information.", true);
    Command1 = new QPushButton("Finish", this);
    Command1->setObjectName("Command1");
    Command1->setAutoDefault(false);
    layout->addWidget(Command1, 0, Qt::AlignRight);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void frmClientInfo::Form_Load() {
    setWindowIcon(QIcon(":/icons/a1.png"));
    setWindowTitle(QString::fromStdString(appTitle_ + "  First Run Config"));
}

void frmClientInfo::Command1_Click() {
    if (Text1->text().isEmpty()) {
        vb::MsgBox("The Client Name field is required information!  Please enter this and then click Finish.",
                   vb::vbOKOnly, vb::App::Title());
        return;
    }
    StoreValues();
    accept();
}

void frmClientInfo::StoreValues() {
    values_.sClientName = Text1->text().toStdString();
    values_.sClientPhone = Text2->text().toStdString();
    values_.sPCDesc = Text3->text().toStdString();
    WriteClientValue(kClientNameValue, values_.sClientName);
    WriteClientValue(kClientPhoneValue, values_.sClientPhone);
    WriteClientValue(kPCDescValue, values_.sPCDesc);
}
