#include "net/frmSNMP.h"

#include <QCoreApplication>
#include <QThread>
#include <vector>

#include "common/CommonModule.h"
#include "common/modSocketSupport.h"
#include "net/clsNetResolve.h"
#include "net/clsSNMP.h"
#include "platform/api/FileSystem.h"

std::string sSNMPResults;

namespace {
constexpr const char* kListFile = "Rules\\Heartbeat_SNMP_List.txt";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
}  // namespace

frmSNMP::frmSNMP(QWidget* parent) : QWidget(parent) { setObjectName("frmSNMP"); }

frmSNMP::~frmSNMP() { Form_Unload(); }

void frmSNMP::Form_Load() {
    sSNMPResults.clear();
    targetsSent_ = 0;
    targetsAnswered_ = 0;
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
    ++targetsSent_;
    oSNMP->DestHost(ResolveTarget(fields[0]));
    oSNMP->ComunityName(fields[1]);
    oSNMP->SNMPGet(fields[2]);
}

std::string frmSNMP::ResolveTarget(const std::string& host) {
    if (!netResolve_) netResolve_ = std::make_unique<clsNetResolve>();
    return netResolve_->GetIPFromHostName(host);
}

void frmSNMP::oSNMP_Result(const std::string& sValue) {
    sSNMPResults += sValue;
    ++targetsAnswered_;
}

void frmSNMP::oSNMP_Error(const std::string& sErrMsg) {
    sSNMPResults += sErrMsg;
    // A reply that could not be decoded still brings its Result, which counts.
    if (!EndsWith(sErrMsg, clsSNMP::kDecodeErrorSuffix)) ++targetsAnswered_;
}

bool frmSNMP::WaitForAnswers(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (targetsAnswered_ < targetsSent_ && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (targetsAnswered_ < targetsSent_) QThread::msleep(1);
    }
    return targetsAnswered_ >= targetsSent_;
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
