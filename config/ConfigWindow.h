#pragma once
// The panels of the configuration window and everything on them, shared by
// frmConfig (explorer-bar side bar) and its safe-mode twin frmConfig2 (label
// side bar): the load sequence, the settings load and save, the rule editor,
// the exclusion and heartbeat list editors, the panel buttons and the closing
// commands. A side bar calls ShowPanel, the closing commands and
// SaveAndZipConfig; everything else is the same for both windows.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/modCloud.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;

class ConfigWindow : public QWidget {
    Q_OBJECT

public:
    // What the buttons ask of the monitor engine, which is built on this
    // library: the program fills them in before it opens a window. A button
    // whose service is missing logs that and does nothing.
    struct ProgramServices {
        // The mail module's test mail; its own messages tell the outcome.
        std::function<void(const std::string& subjectWord, const std::string& body)> SendTestEmail;
        // The cloud download with its unpack.
        std::function<modCloud::DownloadResult()> CloudUpdate;
        // The rules update of a profile, shown without blocking.
        std::function<void(std::int16_t profile)> ShowRulesUpdate;
    };
    static ProgramServices& Services();

    // title is the program's title line; a window opened for configuration
    // only never restarts the monitor when it closes.
    ConfigWindow(const std::string& formName, const std::string& title, bool configOnly);

    // Settings file and list files.
    void LoadSettings();
    // Writes every key the window owns and the six list files. False when a
    // password cannot be stored (nothing is written then) or when a file
    // could not be written (the other steps still run); a message says which.
    bool SaveSettings();

    // Panels.
    void HidePanels();
    void ShowPanel(QWidget* panel);

    // Closing: "Cancel && Close" and "Save && Close". A save that fails keeps
    // the window open.
    void CancelAndClose();
    void SaveAndClose();
    void Command3_Click();

    // Alert-rule editor.
    void LoadRulesList();
    void ClearRuleEditor();
    void cmdAddRule_Click();
    void cmdDelRule_Click();
    void listRules_Click();

    // Exclusion and heartbeat lists.
    void cmdAddEx_Click();
    void cmdRemEx_Click();
    void cmdAddDrives_Click();
    void cmdRemDrives_Click();
    void cmdAddSvc_Click();
    void cmdRemSvc_Click();
    void cmdAddSNMP_Click();
    void cmdRemSNMP_Click();
    void LoadServices();
    void LoadSNMPList();
    void AutoSizeColumns(QTreeWidget* listView);

    // Schedules, test mail, rules download, cloud and the configuration archive.
    void cmdSchedule_Click();
    void Command1_Click();
    void Command2_Click();
    void cmdTestEmail_Click();
    void cmdDownloadRulesNow_Click();
    void Command4_Click();
    void Command5_Click();
    void SaveAndZipConfig();

protected:
    // The load sequence; each window's constructor runs it once its side bar stands.
    void Form_Load();
    // Adds the side bar's groups and items (the explorer bar; the twin's labels are fixed).
    virtual void LoadSideBar() {}
    // The side bar's place on the left of the panels.
    void SetSideBar(QWidget* sideBar);
    // After a cloud download that applied anything: the lists emptied and
    // every setting loaded again, then "Done!", or the failure message where
    // a part failed. The twin restarts the program instead, after that
    // message.
    virtual void CloudDownloadDone(const std::string& sFailure);
    // Closes the window once the running handler has returned.
    void CloseWhenHandlerEnds() { closeWhenHandlerEnds_ = true; }
    void closeEvent(QCloseEvent* event) override;

    QWidget* picGeneral = nullptr;
    QWidget* picEmail = nullptr;
    QWidget* picRules = nullptr;
    QWidget* picExclusions = nullptr;
    QWidget* picHeartbeat = nullptr;
    QWidget* picHeartbeatAdv = nullptr;
    QWidget* picRulesLoc = nullptr;
    QWidget* picAutoUpdate = nullptr;

private:
    void BuildPanels();
    void BuildGeneralPanel();
    void BuildEmailPanel();
    void BuildRulesPanel();
    void BuildExclusionsPanel();
    void BuildHeartbeatPanel();
    void BuildHeartbeatAdvPanel();
    void BuildRulesLocPanel();
    void BuildAutoUpdatePanel();
    QWidget* NewPanel(const char* name);
    std::vector<QWidget*> Panels() const;

    // One key of the settings file and the control that shows it; the table
    // lists them in the order a save writes them.
    struct StoredSetting;
    static const std::vector<StoredSetting>& StoredSettings();
    void LoadSetting(const StoredSetting& setting);
    void SaveSetting(const StoredSetting& setting);
    void LoadLists();
    // The first password box whose text the code page cannot hold, or nullptr.
    QLineEdit* UnstorablePassword() const;
    void SaveKeysAndLists();
    // The rules locations of the four profiles, as the save writes them.
    void SaveRulesLocations();
    void NoteUnwritten(const std::string& file);
    void SaveKey(const std::string& section, const std::string& key, const std::string& value);
    void SaveCheckBox(const std::string& section, const std::string& key, const QCheckBox* box);
    void SaveText(const std::string& section, const std::string& key, const QString& text);
    void SaveLists();
    void SaveListFile(const std::string& fileName, const std::vector<std::string>& entries);
    void ReportUnwrittenFiles();
    std::string RuleFile(const std::string& ruleName) const;
    void ShowRule(const std::string& ruleFile);
    QListWidget* ChosenExclusionList() const;
    void CloseWindow(bool startStopProgram);
    void DebugServiceMissing(const std::string& procedure, const std::string& what) const;
    void ClearLists();
    // Runs one button handler with the window taking no input meanwhile (its
    // block loops let queued messages run), and not at all inside another.
    void RunExclusive(const std::function<void()>& handler);
    // Deletes and creates one task from a time box, then offers the task viewer.
    void CreateTaskFromButton(QLineEdit* timeBox, bool weekly, const char* taskName, const std::string& program,
                              const std::string& switchText);

public:
    // A check box takes a settings text's value of 0, 1 or 2 (grayed); any
    // other text leaves it as it is. It is stored back as that number.
    static void SetCheckValue(QCheckBox* box, const std::string& text);
    static std::string CheckText(const QCheckBox* box);
    // Qt's editable combo box takes its first item as its text; the window's boxes keep theirs.
    static void AddItemsKeepingText(QComboBox* combo, const QStringList& items);

private:

    std::string formName_;
    std::string title_;
    bool configOnly_ = false;
    bool handlerRunning_ = false;
    bool closeWhenHandlerEnds_ = false;
    std::vector<std::string> unwrittenFiles_;
    QGridLayout* layout_ = nullptr;
    QGridLayout* panelStack_ = nullptr;

    // picGeneral
    QLineEdit* txtIdentifier = nullptr;
    QCheckBox* chkClientPrompt = nullptr;
    QCheckBox* chkShowTrayIcon = nullptr;
    QCheckBox* chkShowTaskBar = nullptr;
    QCheckBox* chkSendEmail = nullptr;
    QCheckBox* chkPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* lblVer = nullptr;
    // picEmail
    QLineEdit* txtSMTPServer = nullptr;
    QComboBox* comboSMTPPort = nullptr;
    QLineEdit* txtSMTPUserName = nullptr;
    QLineEdit* txtSMTPPassword = nullptr;
    QLineEdit* txtFromEmail = nullptr;
    QLineEdit* txtToEmail = nullptr;
    QCheckBox* chkSMTPAuth = nullptr;
    QCheckBox* chkUseSSL = nullptr;
    QPushButton* cmdTestEmail = nullptr;
    // picRules
    QLineEdit* txtRuleName = nullptr;
    QListWidget* listRules = nullptr;
    QCheckBox* chkApp = nullptr;
    QCheckBox* chkSec = nullptr;
    QCheckBox* chkSys = nullptr;
    QCheckBox* chkInfo = nullptr;
    QCheckBox* chkWarning = nullptr;
    QCheckBox* chkError = nullptr;
    QCheckBox* chkSuccess = nullptr;
    QCheckBox* chkFailure = nullptr;
    QLineEdit* txtEventID = nullptr;
    QLineEdit* txtEventSource = nullptr;
    QLineEdit* txtEventDesc = nullptr;
    QLineEdit* txtEventDescEx = nullptr;
    QPushButton* cmdAddRule = nullptr;
    QPushButton* cmdDelRule = nullptr;
    // picExclusions
    QRadioButton* optEventIDEx = nullptr;
    QRadioButton* optEventSourceEx = nullptr;
    QRadioButton* optEventDescEx = nullptr;
    QLineEdit* txtAddEx = nullptr;
    QListWidget* listEventIDEx = nullptr;
    QListWidget* listEventSourceEx = nullptr;
    QListWidget* listEventDescEx = nullptr;
    QPushButton* cmdAddEx = nullptr;
    QPushButton* cmdRemEx = nullptr;
    // picHeartbeat
    QLineEdit* txtHeartbeatTime = nullptr;
    QPushButton* Command2 = nullptr;
    QCheckBox* chkInstallHeartbeat = nullptr;
    QCheckBox* chkHBGetNewApps = nullptr;
    QCheckBox* chkHeartbeatSvcAutoCheck = nullptr;
    // picHeartbeatAdv
    QComboBox* comboDrvList = nullptr;
    QPushButton* cmdAddDrives = nullptr;
    QPushButton* cmdRemDrives = nullptr;
    QListWidget* listHeartbeatDrives = nullptr;
    QComboBox* comboSvcsList = nullptr;
    QPushButton* cmdAddSvc = nullptr;
    QPushButton* cmdRemSvc = nullptr;
    QListWidget* listHeartbeatSvcs = nullptr;
    QLineEdit* txtSNMPHost = nullptr;
    QLineEdit* txtSNMPComm = nullptr;
    QLineEdit* txtSNMPOID = nullptr;
    QPushButton* cmdAddSNMP = nullptr;
    QPushButton* cmdRemSNMP = nullptr;
    QTreeWidget* lvHeartbeatSNMP = nullptr;
    // picRulesLoc
    QLineEdit* txtRulesLoc = nullptr;
    QLineEdit* txtRulesLoc1 = nullptr;
    QLineEdit* txtRulesLoc2 = nullptr;
    QLineEdit* txtRulesLoc3 = nullptr;
    QComboBox* ComboProfiles = nullptr;
    QPushButton* cmdDownloadRulesNow = nullptr;
    QLineEdit* txtSchTime = nullptr;
    QPushButton* cmdSchedule = nullptr;
    QCheckBox* chkInstallProfileTask = nullptr;
    QCheckBox* chkUpdateConfig = nullptr;
    QCheckBox* chkCloudUpdateAfterInstall = nullptr;
    QLineEdit* txtCloudUser = nullptr;
    QLineEdit* txtCloudPass = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    // picAutoUpdate
    QLineEdit* txtUpdateTime = nullptr;
    QPushButton* Command1 = nullptr;
    QCheckBox* chkInstallUpdateTask = nullptr;
};
