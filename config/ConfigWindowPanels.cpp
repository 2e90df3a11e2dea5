// The eight panels of the configuration window and their controls, with the
// captions, initial texts and states the window starts with.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QValidator>
#include <QVBoxLayout>
#include <limits>
#include <tuple>

#include "ConfigWindow.h"
#include "FormControls.h"

namespace {

// Longest value a settings key reads back whole, and longest password whose
// scrambled form still does.
constexpr int kTextLimit = 254;
constexpr int kPasswordLimit = 199;
// A list entry has no settings key behind it: its box takes a pasted text whole.
constexpr int kWholeText = std::numeric_limits<int>::max();

// Keeps a text within the bytes the settings file reads back.
class StoredLengthValidator : public QValidator {
public:
    StoredLengthValidator(int bytes, QObject* parent) : QValidator(parent), bytes_(bytes) {}
    State validate(QString& input, int&) const override {
        return input.toUtf8().size() <= bytes_ ? Acceptable : Invalid;
    }

private:
    int bytes_;
};

// A click toggles between checked and unchecked, also from the grayed state
// that only a loaded value gives.
class CheckBox : public QCheckBox {
public:
    CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
};

void LimitText(QLineEdit* box, int limit) {
    box->setMaxLength(limit);
    if (limit != kWholeText) box->setValidator(new StoredLengthValidator(limit, box));
}

void Mask(QLineEdit* box) {
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet("lineedit-password-character: 42");
}

QLabel* Text(QBoxLayout* layout, QWidget* owner, const char* text) {
    return FormControls::AddLabel(layout, owner, "", text, true);
}

QLineEdit* Box(QBoxLayout* layout, QWidget* owner, const char* name, const char* initial = "",
               int limit = kTextLimit) {
    QLineEdit* box = FormControls::AddTextBox(layout, owner, name);
    box->setText(QString::fromUtf8(initial));
    LimitText(box, limit);
    return box;
}

QLineEdit* PasswordBox(QBoxLayout* layout, QWidget* owner, const char* name) {
    QLineEdit* box = Box(layout, owner, name, "", kPasswordLimit);
    Mask(box);
    return box;
}

// A labelled text box on one row.
QLineEdit* LabelledBox(QBoxLayout* layout, QWidget* owner, const char* label, const char* name,
                       const char* initial = "") {
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    FormControls::AddLabel(row, owner, "", label);
    return Box(row, owner, name, initial);
}

QCheckBox* Check(QBoxLayout* layout, QWidget* owner, const char* name, const char* caption) {
    auto* box = new CheckBox(QString::fromUtf8(caption), owner);
    box->setObjectName(QString::fromLatin1(name));
    layout->addWidget(box);
    return box;
}

QComboBox* Combo(QBoxLayout* layout, QWidget* owner, const char* name, const char* initial) {
    auto* combo = new QComboBox(owner);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    LimitText(combo->lineEdit(), kTextLimit);
    combo->setEditText(QString::fromUtf8(initial));
    layout->addWidget(combo);
    return combo;
}

QListWidget* List(QBoxLayout* layout, QWidget* owner, const char* name) {
    auto* list = new QListWidget(owner);
    list->setObjectName(QString::fromLatin1(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(list);
    return list;
}

QRadioButton* Option(QBoxLayout* layout, QWidget* owner, const char* name, const char* caption) {
    auto* option = new QRadioButton(QString::fromUtf8(caption), owner);
    option->setObjectName(QString::fromLatin1(name));
    layout->addWidget(option);
    return option;
}

QHBoxLayout* Row(QBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    return row;
}

QVBoxLayout* Column(QBoxLayout* layout) {
    auto* column = new QVBoxLayout;
    layout->addLayout(column);
    return column;
}

QVBoxLayout* LayoutOf(QWidget* panel) { return static_cast<QVBoxLayout*>(panel->layout()); }

}  // namespace

template <typename Handler>
static QPushButton* Button(QBoxLayout* layout, ConfigWindow* window, QWidget* owner, const char* name,
                           const char* caption, Handler handler) {
    auto* button = new QPushButton(QString::fromUtf8(caption), owner);
    button->setObjectName(QString::fromLatin1(name));
    layout->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, window, [window, handler] { (window->*handler)(); });
    return button;
}

namespace {

struct ComboListNames {
    const char* combo;
    const char* initial;
    const char* add;
    const char* remove;
    const char* list;
};

// The combo box, "Add", "Remove" and the list.
using ComboList = std::tuple<QComboBox*, QPushButton*, QPushButton*, QListWidget*>;

// An entry row (editable combo box, "Add", "Remove") above the list it edits.
ComboList AddComboList(QBoxLayout* column, ConfigWindow* window, QWidget* owner, const ComboListNames& names,
                       void (ConfigWindow::*add)(), void (ConfigWindow::*remove)()) {
    QHBoxLayout* entry = Row(column);
    QComboBox* combo = Combo(entry, owner, names.combo, names.initial);
    QPushButton* addButton = Button(entry, window, owner, names.add, "Add", add);
    QPushButton* removeButton = Button(entry, window, owner, names.remove, "Remove", remove);
    return {combo, addButton, removeButton, List(column, owner, names.list)};
}

}  // namespace

QWidget* ConfigWindow::NewPanel(const char* name) {
    auto* panel = new QWidget(panelStack_->parentWidget());
    panel->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(panel);
    layout->setAlignment(Qt::AlignTop);
    panelStack_->addWidget(panel, 0, 0);
    return panel;
}

void ConfigWindow::BuildPanels() {
    BuildGeneralPanel();
    BuildEmailPanel();
    BuildRulesPanel();
    BuildExclusionsPanel();
    BuildHeartbeatPanel();
    BuildHeartbeatAdvPanel();
    BuildRulesLocPanel();
    BuildAutoUpdatePanel();
}

void ConfigWindow::BuildGeneralPanel() {
    QWidget* p = picGeneral = NewPanel("picGeneral");
    QVBoxLayout* l = LayoutOf(p);
    Text(l, p, "Identifier:  (e.g. My Home PC)  Leave blank if you are checking the box below.");
    txtIdentifier = Box(l, p, "txtIdentifier");
    chkClientPrompt = Check(l, p, "chkClientPrompt",
                            "Prompt for Client Name and Phone after installation, to use instead of the Identifier above.");
    chkShowTrayIcon = Check(l, p, "chkShowTrayIcon",
                            "Show Tray Icon (uncheck to run the monitor without a tray icon and without balloon alerts)");
    chkShowTaskBar = Check(l, p, "chkShowTaskBar", "Show Tray Icon Notifications");
    chkSendEmail = Check(l, p, "chkSendEmail", "Send Email Notifications");
    chkPassword = Check(l, p, "chkPassword", "Password Protect Configuration");
    QHBoxLayout* row = Row(l);
    txtPassword = PasswordBox(row, p, "txtPassword");
    Command3 = Button(row, this, p, "Command3", "Show Password", &ConfigWindow::Command3_Click);
    Text(l, p,
         "Your password is visible here, but will be encrypted inside the INI file and protected by astericks "
         "during attempts to enter it.");
    l->addStretch();
    lblVer = FormControls::AddLabel(l, p, "lblVer", "---");
    for (QCheckBox* box : {chkShowTrayIcon, chkShowTaskBar, chkSendEmail}) box->setChecked(true);
}

void ConfigWindow::BuildEmailPanel() {
    QWidget* p = picEmail = NewPanel("picEmail");
    QVBoxLayout* l = LayoutOf(p);
    QHBoxLayout* server = Row(l);
    QVBoxLayout* serverColumn = Column(server);
    Text(serverColumn, p, "SMTP Server");
    txtSMTPServer = Box(serverColumn, p, "txtSMTPServer");
    txtSMTPServer->setToolTip("You can use any valid SMTP server.");
    QVBoxLayout* portColumn = Column(server);
    Text(portColumn, p, "SMTP Port");
    comboSMTPPort = Combo(portColumn, p, "comboSMTPPort", "");
    Text(l, p, "SMTP Username");
    txtSMTPUserName = Box(l, p, "txtSMTPUserName");
    txtSMTPUserName->setToolTip("Typically your full email address.");
    Text(l, p, "SMTP Password");
    txtSMTPPassword = PasswordBox(l, p, "txtSMTPPassword");
    Text(l, p, "Your email password will be encrypted.");
    Text(l, p, "Default From Email Address (must be valid)");
    txtFromEmail = Box(l, p, "txtFromEmail");
    txtFromEmail->setToolTip(
        "This can be the full smtp email address, or a different email address you specify.");
    Text(l, p, "Default To Email Address(es)  Separate multiple email addresses with a comma and space.");
    txtToEmail = Box(l, p, "txtToEmail");
    txtToEmail->setToolTip(
        "The default email address you wish to send email to.  Normally, this is your email address at work, "
        "at least it is for me.");
    QHBoxLayout* options = Row(l);
    chkSMTPAuth = Check(options, p, "chkSMTPAuth", "Authenticate");
    chkUseSSL = Check(options, p, "chkUseSSL", "Use SSL");
    cmdTestEmail = Button(options, this, p, "cmdTestEmail", "SEND TEST EMAIL", &ConfigWindow::cmdTestEmail_Click);
    Text(l, p, "I need an SMTP account to communicate via email.");
    Text(l, p, "Suggestion:");
    Text(l, p,
         "Set up a new account at a public mail provider just for these alerts, so that your own mailbox "
         "stays private.");
    Text(l, p,
         "A typical public mail provider: its SMTP server, your full email address as the user name, "
         "Authenticate checked, port 465 and Use SSL checked.");
}

void ConfigWindow::BuildRulesPanel() {
    QWidget* p = picRules = NewPanel("picRules");
    QHBoxLayout* columns = Row(LayoutOf(p));
    QVBoxLayout* editor = Column(columns);
    txtRuleName = LabelledBox(editor, p, "Rule Name:", "txtRuleName");
    Text(editor, p, "Monitor Logs:");
    QHBoxLayout* logs = Row(editor);
    chkApp = Check(logs, p, "chkApp", "Application");
    chkSec = Check(logs, p, "chkSec", "Security");
    chkSys = Check(logs, p, "chkSys", "System");
    Text(editor, p, "Event Type:");
    QHBoxLayout* types = Row(editor);
    chkInfo = Check(types, p, "chkInfo", "Information");
    chkWarning = Check(types, p, "chkWarning", "Warning");
    chkError = Check(types, p, "chkError", "Error");
    QHBoxLayout* audits = Row(editor);
    chkSuccess = Check(audits, p, "chkSuccess", "Success Audit");
    chkFailure = Check(audits, p, "chkFailure", "Failure Audit");
    txtEventID = LabelledBox(editor, p, "Event ID:", "txtEventID");
    txtEventSource = LabelledBox(editor, p, "Event Source:", "txtEventSource");
    Text(editor, p, "Keyword or Phrase in Event Description:");
    txtEventDesc = Box(editor, p, "txtEventDesc");
    Text(editor, p, "EXCLUDE Events with Keyword or Phrase in Event Description:");
    txtEventDescEx = Box(editor, p, "txtEventDescEx");
    QHBoxLayout* buttons = Row(editor);
    cmdAddRule = Button(buttons, this, p, "cmdAddRule", "Save Rule", &ConfigWindow::cmdAddRule_Click);
    cmdDelRule = Button(buttons, this, p, "cmdDelRule", "Delete Selected Rule", &ConfigWindow::cmdDelRule_Click);
    editor->addStretch();
    QVBoxLayout* rules = Column(columns);
    Text(rules, p, "Rules List");
    listRules = List(rules, p, "listRules");
    connect(listRules, &QListWidget::itemClicked, this, [this] { listRules_Click(); });
}

void ConfigWindow::BuildExclusionsPanel() {
    QWidget* p = picExclusions = NewPanel("picExclusions");
    QVBoxLayout* l = LayoutOf(p);
    Text(l, p,
         "Use this page to define global exclusion rules.  Any event matching an item defined in these lists "
         "will not trigger an event alert, even if triggered by a rule in your rule set.  Be sure to choose the "
         "Event ID, Event Source, or Keyword or Phrase in the Event Description before using the Add or Remove "
         "Selected buttons!");
    Text(l, p, "Type an Event ID, Source, or Description:");
    QHBoxLayout* entry = Row(l);
    txtAddEx = Box(entry, p, "txtAddEx", "", kWholeText);
    cmdAddEx = Button(entry, this, p, "cmdAddEx", "Add", &ConfigWindow::cmdAddEx_Click);
    cmdRemEx = Button(entry, this, p, "cmdRemEx", "Remove Selected", &ConfigWindow::cmdRemEx_Click);
    QHBoxLayout* lists = Row(l);
    QVBoxLayout* ids = Column(lists);
    optEventIDEx = Option(ids, p, "optEventIDEx", "Event ID");
    listEventIDEx = List(ids, p, "listEventIDEx");
    QVBoxLayout* sources = Column(lists);
    optEventSourceEx = Option(sources, p, "optEventSourceEx", "Event Source");
    listEventSourceEx = List(sources, p, "listEventSourceEx");
    QVBoxLayout* descriptions = Column(lists);
    optEventDescEx = Option(descriptions, p, "optEventDescEx", "Keyword or Phrase in Event Description");
    listEventDescEx = List(descriptions, p, "listEventDescEx");
}

void ConfigWindow::BuildHeartbeatPanel() {
    QWidget* p = picHeartbeat = NewPanel("picHeartbeat");
    QVBoxLayout* l = LayoutOf(p);
    Text(l, p,
         "Here you can schedule a 'heartbeat' email just to let you know the system is up and running, and that "
         "the Quarnel service is loaded and working properly.");
    Text(l, p,
         "The heartbeat email will also inform you of the current system uptime and the available free space on "
         "the operating system partition.");
    QHBoxLayout* time = Row(l);
    FormControls::AddLabel(time, p, "", "Specify Time (hh:mm:ss)");
    txtHeartbeatTime = Box(time, p, "txtHeartbeatTime", "10:00:00");
    FormControls::AddLabel(time, p, "", "Must be 24 hour format!");
    Command2 = Button(time, this, p, "Command2", "Create Schedule Now", &ConfigWindow::Command2_Click);
    Text(l, p,
         "By default the task will be created to run DAILY, however you may modify the task once created to suit "
         "your needs.");
    Text(l, p,
         "Be sure to specify a TIME different than that of other scheduled events such as a rule set update or "
         "automatic application update.");
    chkInstallHeartbeat = Check(l, p, "chkInstallHeartbeat", "Automatically create this scheduled task after install.");
    Text(l, p, "Additional Options:");
    chkHBGetNewApps = Check(l, p, "chkHBGetNewApps", "Report newly installed applications since last heartbeat.");
    chkHeartbeatSvcAutoCheck = Check(l, p, "chkHeartbeatSvcAutoCheck",
                                     "Report all services configured to automatically start, which are currently "
                                     "not running.");
}

void ConfigWindow::BuildHeartbeatAdvPanel() {
    QWidget* p = picHeartbeatAdv = NewPanel("picHeartbeatAdv");
    QVBoxLayout* l = LayoutOf(p);
    QHBoxLayout* top = Row(l);
    QVBoxLayout* drives = Column(top);
    Text(drives, p, "Free Space check list:");
    std::tie(comboDrvList, cmdAddDrives, cmdRemDrives, listHeartbeatDrives) =
        AddComboList(drives, this, p, {"comboDrvList", "D:", "cmdAddDrives", "cmdRemDrives", "listHeartbeatDrives"},
                     &ConfigWindow::cmdAddDrives_Click, &ConfigWindow::cmdRemDrives_Click);
    Text(drives, p, "Note:  the OS Partition is automatically checked during the heartbeat.");
    QVBoxLayout* services = Column(top);
    Text(services, p, "Services to check during heartbeat:");
    Text(services, p, "Type or select a service:");
    std::tie(comboSvcsList, cmdAddSvc, cmdRemSvc, listHeartbeatSvcs) =
        AddComboList(services, this, p, {"comboSvcsList", "", "cmdAddSvc", "cmdRemSvc", "listHeartbeatSvcs"},
                     &ConfigWindow::cmdAddSvc_Click, &ConfigWindow::cmdRemSvc_Click);
    Text(l, p, "SNMP devices to check during heartbeat:");
    QHBoxLayout* snmp = Row(l);
    QVBoxLayout* host = Column(snmp);
    Text(host, p, "IP Address or Hostname:");
    txtSNMPHost = Box(host, p, "txtSNMPHost", "", kWholeText);
    QVBoxLayout* community = Column(snmp);
    Text(community, p, "Community:");
    txtSNMPComm = Box(community, p, "txtSNMPComm", "public", kWholeText);
    QVBoxLayout* oid = Column(snmp);
    Text(oid, p, "OID:");
    txtSNMPOID = Box(oid, p, "txtSNMPOID", "1.3.6.1.2.1.25.1.1.0", kWholeText);
    QVBoxLayout* buttons = Column(snmp);
    cmdAddSNMP = Button(buttons, this, p, "cmdAddSNMP", "Add", &ConfigWindow::cmdAddSNMP_Click);
    cmdRemSNMP = Button(buttons, this, p, "cmdRemSNMP", "Remove", &ConfigWindow::cmdRemSNMP_Click);
    lvHeartbeatSNMP = new QTreeWidget(p);
    lvHeartbeatSNMP->setObjectName("lvHeartbeatSNMP");
    lvHeartbeatSNMP->setRootIsDecorated(false);
    lvHeartbeatSNMP->setSelectionMode(QAbstractItemView::SingleSelection);
    l->addWidget(lvHeartbeatSNMP);
}

void ConfigWindow::BuildRulesLocPanel() {
    QWidget* p = picRulesLoc = NewPanel("picRulesLoc");
    QVBoxLayout* l = LayoutOf(p);
    Text(l, p, "Quarnel can be scheduled to download new rule sets and config INI from one of four different profiles.");
    Text(l, p, "Profile 0 - Web location to download new rules when scheduled:");
    txtRulesLoc = Box(l, p, "txtRulesLoc");
    Text(l, p, "Profile 1 - Web location to download new rules when scheduled:");
    txtRulesLoc1 = Box(l, p, "txtRulesLoc1");
    Text(l, p, "Profile 2 - Web location to download new rules when scheduled:");
    txtRulesLoc2 = Box(l, p, "txtRulesLoc2");
    Text(l, p, "Profile 3 - Web location to download new rules when scheduled:");
    txtRulesLoc3 = Box(l, p, "txtRulesLoc3");
    QHBoxLayout* profile = Row(l);
    FormControls::AddLabel(profile, p, "", "Profile #");
    ComboProfiles = Combo(profile, p, "ComboProfiles", "0");
    cmdDownloadRulesNow = Button(profile, this, p, "cmdDownloadRulesNow", "Download Now",
                                 &ConfigWindow::cmdDownloadRulesNow_Click);
    profile->addStretch();
    Text(l, p, "Schedule a daily rule set download here.");
    QHBoxLayout* time = Row(l);
    FormControls::AddLabel(time, p, "", "Specify Time (hh:mm:ss)");
    txtSchTime = Box(time, p, "txtSchTime", "09:00:00");
    FormControls::AddLabel(time, p, "", "Must be 24 hour format!");
    cmdSchedule = Button(time, this, p, "cmdSchedule", "Create Schedule", &ConfigWindow::cmdSchedule_Click);
    chkInstallProfileTask = Check(l, p, "chkInstallProfileTask", "Automatically create this scheduled task after install.");
    chkUpdateConfig = Check(l, p, "chkUpdateConfig",
                            "Download your latest configuration/rules from Nimbrel.  (Requires Nimbrel subscription.)");
    chkCloudUpdateAfterInstall = Check(l, p, "chkCloudUpdateAfterInstall", "Update from Nimbrel after install");
    QHBoxLayout* cloud = Row(l);
    FormControls::AddLabel(cloud, p, "", "Nimbrel Username:");
    txtCloudUser = Box(cloud, p, "txtCloudUser");
    FormControls::AddLabel(cloud, p, "", "Nimbrel Password:");
    txtCloudPass = PasswordBox(cloud, p, "txtCloudPass");
    QHBoxLayout* cloudButtons = Row(l);
    Command4 = Button(cloudButtons, this, p, "Command4", "Download Now", &ConfigWindow::Command4_Click);
    Command5 = Button(cloudButtons, this, p, "Command5", "Save and Upload", &ConfigWindow::Command5_Click);
    cloudButtons->addStretch();
}

void ConfigWindow::BuildAutoUpdatePanel() {
    QWidget* p = picAutoUpdate = NewPanel("picAutoUpdate");
    QVBoxLayout* l = LayoutOf(p);
    Text(l, p, "Quarnel can keep itself up to date: it downloads and installs new versions from the Quarnel web site.");
    QHBoxLayout* time = Row(l);
    FormControls::AddLabel(time, p, "", "Specify Time (hh:mm:ss)");
    txtUpdateTime = Box(time, p, "txtUpdateTime", "08:00:00");
    FormControls::AddLabel(time, p, "", "Must be 24 hour format!");
    Command1 = Button(time, this, p, "Command1", "Create Schedule Now", &ConfigWindow::Command1_Click);
    chkInstallUpdateTask = Check(l, p, "chkInstallUpdateTask", "Automatically Install this Scheduled Task");
    Text(l, p,
         "By default the schedule will be created to run weekly on Monday, but once created you may alter the "
         "scheduled task to suit your needs.");
    Text(l, p,
         "Be sure that the scheduled TIME does not occur at the same time as any other scheduled tasks such as a "
         "scheduled rule set update or heartbeat.");
}
