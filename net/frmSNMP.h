#pragma once
// The hidden window that runs the SNMP checks of the heartbeat report: one
// GetRequest per line of Rules\Heartbeat_SNMP_List.txt (host|community|OID),
// a block of text per target in sSNMPResults, and each answer or error
// appended where the text ends when it arrives. The window is never shown.
#include <QWidget>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QEventLoop;
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
    // has passed; true when all answered. A target counts once, at its first
    // Result or Error, however many datagrams it sends.
    bool WaitForAnswers(std::chrono::milliseconds limit = kAnswerWait);

    // What the heartbeat report runs when the list file exists: load, the
    // bounded wait, unload. An error of the checks is logged; the text keeps
    // what it holds.
    static const std::string& CollectResults();

    std::string ResolveTarget(const std::string& host);
    void oSNMP_Result(const std::string& sValue);
    void oSNMP_Error(const std::string& sErrMsg);

private:
    struct Target {
        std::string address;  // as the request went out
        std::string oid;      // as an answer names it
        bool answered = false;
    };

    void RunSNMPChecks();
    void CheckTarget(const std::string& line);
    void CountAnswer();
    Target* TargetOfReply(const std::string& sender, const std::string& oid);
    bool AllAnswered() const;

    std::unique_ptr<clsSNMP> oSNMP;
    std::unique_ptr<clsNetResolve> netResolve_;
    std::vector<Target> targets_;
    // The target whose request is being sent: an error raised then is its answer.
    std::optional<std::size_t> sending_;
    // The loop of WaitForAnswers while it runs.
    QEventLoop* waiting_ = nullptr;
};
