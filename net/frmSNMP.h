#pragma once
// The hidden window that runs the SNMP checks of the heartbeat report: one
// GetRequest per line of Rules\Heartbeat_SNMP_List.txt (host|community|OID),
// a block of text per target in sSNMPResults, and each answer or error
// appended where the text ends when it arrives. The window is never shown.
#include <QWidget>
#include <chrono>
#include <memory>
#include <string>

class clsNetResolve;
class clsSNMP;

// The SNMP result text the heartbeat report puts into its mail.
extern std::string sSNMPResults;

class frmSNMP : public QWidget {
    Q_OBJECT
public:
    // The longest the report waits for answers, all targets together.
    static constexpr std::chrono::milliseconds kAnswerWait{2000};

    explicit frmSNMP(QWidget* parent = nullptr);
    ~frmSNMP() override;

    // Empties sSNMPResults and sends the checks; a list line without three
    // fields stops the run with error 9, which reaches the caller.
    void Form_Load();
    void Form_Unload();
    // Runs the event loop until every target sent has answered or the limit
    // has passed; true when all answered.
    bool WaitForAnswers(std::chrono::milliseconds limit = kAnswerWait);

    // What the heartbeat report runs when the list file exists: load, the
    // bounded wait, unload. An error of the checks is logged; the text keeps
    // what it holds.
    static const std::string& CollectResults();

    std::string ResolveTarget(const std::string& host);
    void oSNMP_Result(const std::string& sValue);
    void oSNMP_Error(const std::string& sErrMsg);

private:
    void RunSNMPChecks();
    void CheckTarget(const std::string& line);

    std::unique_ptr<clsSNMP> oSNMP;
    std::unique_ptr<clsNetResolve> netResolve_;
    int targetsSent_ = 0;
    int targetsAnswered_ = 0;
};
