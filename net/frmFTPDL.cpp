#include "net/frmFTPDL.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "common/CommonModule.h"
#include "net/cFTP.h"

namespace {
constexpr const char* kProcedure = "frmFTPDL\\Form_Load";
}

frmFTPDL::frmFTPDL(QWidget* parent) : QDialog(parent) {
    setObjectName("frmFTPDL");
    setWindowTitle("Downloading configuration");
    auto* layout = new QVBoxLayout(this);
    lblStatus = new QLabel("Downloading your configuration and rules from Nimbrel...", this);
    lblStatus->setObjectName("lblStatus");
    layout->addWidget(lblStatus);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmFTPDL::Timer1_Timer);
    Form_Load();
}

frmFTPDL::~frmFTPDL() = default;

void frmFTPDL::Form_Load() {
    mFTP = std::make_unique<cFTP>();
    outcome_ = Download();
    Timer1->setInterval(100);
    Timer1->start();
}

void frmFTPDL::Timer1_Timer() { close(); }

modCloud::Outcome frmFTPDL::Download() {
    const modCloud::Outcome connected = modCloud::Connect(*mFTP, kProcedure);
    if (connected != modCloud::Outcome::Done) return connected;
    modCloud::Outcome outcome = modCloud::Outcome::Done;
    // Archives from any other folder are not this account's configuration.
    if (!mFTP->SetFTPDirectory(modCloud::kRemoteFolder)) {
        modCloud::LogFailure(*mFTP, kProcedure, std::string("SetFTPDirectory ") + modCloud::kRemoteFolder);
        outcome = modCloud::Outcome::FolderMissing;
    } else {
        int arrived = 0;
        for (const char* archive : {modCloud::kConfigArchive, modCloud::kRulesArchive}) {
            std::string local = CommonModule::AppPath() + archive;
            std::string remote = archive;
            if (mFTP->GetFTPFileSize(remote) <= 0) {
                CommonModule::DPrint(std::string(kProcedure) + ": " + archive + " is not on the server");
            } else if (mFTP->FTPDownloadFile(local, remote)) {
                ++arrived;
            } else {
                modCloud::LogFailure(*mFTP, kProcedure, std::string("FTPDownloadFile ") + archive);
                outcome = modCloud::Outcome::TransferFailed;
            }
        }
        if (outcome == modCloud::Outcome::Done && arrived == 0) outcome = modCloud::Outcome::NothingToTransfer;
    }
    mFTP->CloseConnection();
    return outcome;
}
