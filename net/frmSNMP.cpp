#include "net/frmSNMP.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "common/CommonModule.h"
#include "common/modSocketSupport.h"
#include "net/clsNetResolve.h"
#include "net/clsSNMP.h"
#include "platform/api/FileStatements.h"

std::string sSNMPResults;

namespace {
constexpr const char* kListFile = "Rules\\Heartbeat_SNMP_List.txt";

// A request to such an address is broadcast (the socket allows it), so its
// answers come from other addresses.
bool IsBroadcastAddress(const std::string& address) {
    return address.size() >= 4 && address.compare(address.size() - 4, 4, ".255") == 0;
}
}  // namespace

frmSNMP::frmSNMP(QWidget* parent) : QWidget(parent) { setObjectName("frmSNMP"); }

frmSNMP::~frmSNMP() { Form_Unload(); }

void frmSNMP::Form_Load() {
    sSNMPResults.clear();
    targets_.clear();
    oSNMP = std::make_unique<clsSNMP>();
    oSNMP->Result = [this](const std::string& sValue) { oSNMP_Result(sValue); };
    oSNMP->Error = [this](const std::string& sErrMsg) { oSNMP_Error(sErrMsg); };
    RunSNMPChecks();
}

void frmSNMP::Form_Unload() {
    oSNMP.reset();
    netResolve_.reset();
}

void frmSNMP::RunSNMPChecks() {
    const std::string listFile = CommonModule::AppPath() + kListFile;
    if (!CommonModule::DoesFileExist(listFile)) return;
    vb::TextFile file(listFile, vb::TextFile::Mode::Input);
    while (!file.Eof()) {
        const std::string line = file.LineInput();
        if (line.empty()) continue;
        CheckTarget(line);
    }
    file.Close();
}

void frmSNMP::CheckTarget(const std::string& line) {
    std::vector<std::string> fields;
    modSocketSupport::SplitString(fields, line, "|");
    if (fields.size() < 3) throw RuntimeError::SubscriptOutOfRange();
    sSNMPResults += "\r\n" + fields[0] + ", " + fields[1] + ", " + fields[2] + "\r\n\tResult:  ";
    const std::string address = ResolveTarget(fields[0]);
    targets_.push_back({address, clsSNMP::AnsweredOid(fields[2])});
    sending_ = targets_.size() - 1;
    oSNMP->DestHost(address);
    oSNMP->ComunityName(fields[1]);
    oSNMP->SNMPGet(fields[2]);
    sending_.reset();
}

std::string frmSNMP::ResolveTarget(const std::string& host) {
    if (!netResolve_) netResolve_ = std::make_unique<clsNetResolve>();
    return netResolve_->GetIPFromHostName(host);
}

void frmSNMP::oSNMP_Result(const std::string& sValue) {
    sSNMPResults += sValue;
    CountAnswer();
}

void frmSNMP::oSNMP_Error(const std::string& sErrMsg) {
    sSNMPResults += sErrMsg;
    // A reply that could not be decoded counts at the Result that follows.
    if (oSNMP->ReplyHost().empty()) CountAnswer();
}

void frmSNMP::CountAnswer() {
    Target* target = nullptr;
    if (!oSNMP->ReplyHost().empty())
        target = TargetOfReply(oSNMP->ReplyHost(), oSNMP->ReplyOid());
    else if (sending_)
        target = &targets_[*sending_];
    // An error of the socket itself names no target.
    if (target) target->answered = true;
    if (waiting_ && AllAnswered()) waiting_->quit();
}

// The target a reply answers: one asked of its sender (or, from an address
// asked of no target, one sent to a broadcast address) that asked for the
// identifier it names. A further reply for an identifier already answered
// is a repeat; one naming no identifier asked there answers the first
// target still waiting.
frmSNMP::Target* frmSNMP::TargetOfReply(const std::string& sender, const std::string& oid) {
    const bool askedOfSender =
        std::any_of(targets_.begin(), targets_.end(), [&](const Target& t) { return t.address == sender; });
    std::vector<Target*> candidates;
    for (Target& target : targets_)
        if (askedOfSender ? target.address == sender : IsBroadcastAddress(target.address))
            candidates.push_back(&target);
    const bool namesAsked = std::any_of(candidates.begin(), candidates.end(), [&](Target* t) { return t->oid == oid; });
    for (Target* target : candidates)
        if (!target->answered && (!namesAsked || target->oid == oid)) return target;
    return nullptr;
}

bool frmSNMP::AllAnswered() const {
    return std::all_of(targets_.begin(), targets_.end(), [](const Target& t) { return t.answered; });
}

// A nested loop that sleeps until the socket's notifications or the limit
// wake it; the last answer ends it.
bool frmSNMP::WaitForAnswers(std::chrono::milliseconds limit) {
    QCoreApplication::processEvents();
    if (AllAnswered()) return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(limit);
    waiting_ = &loop;
    loop.exec();
    waiting_ = nullptr;
    return AllAnswered();
}

const std::string& frmSNMP::CollectResults() {
    frmSNMP form;
    try {
        form.Form_Load();
    } catch (const RuntimeError& e) {
        CommonModule::LogError("frmSNMP\\Form_Load VB ERROR: ", e);
    }
    form.WaitForAnswers();
    form.Form_Unload();
    return sSNMPResults;
}
