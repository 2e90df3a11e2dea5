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
    result_.outcome = Download();
    Timer1->setInterval(100);
    Timer1->start();
}

void frmFTPDL::Timer1_Timer() { close(); }

modCloud::Arrival frmFTPDL::DownloadArchive(const char* archive) {
    std::string local = CommonModule::AppPath() + archive;
    std::string remote = archive;
    if (mFTP->FTPDownloadFile(local, remote)) return modCloud::Arrival::Downloaded;
    if (mFTP->RemoteFileWasMissing()) {
        CommonModule::DPrint(std::string(kProcedure) + ": " + archive + " is not on the server");
        return modCloud::Arrival::NotThere;
    }
    modCloud::LogFailure(*mFTP, kProcedure, std::string("FTPDownloadFile ") + archive);
    return modCloud::Arrival::NotDownloaded;
}

modCloud::Outcome frmFTPDL::Download() {
    const modCloud::Outcome connected = modCloud::Connect(*mFTP, kProcedure);
    if (connected != modCloud::Outcome::Done) return connected;
    modCloud::Outcome outcome = modCloud::Outcome::Done;
    // Archives from any other folder are not this account's configuration.
    if (!mFTP->SetFTPDirectory(modCloud::kRemoteFolder)) {
        modCloud::LogFailure(*mFTP, kProcedure, std::string("SetFTPDirectory ") + modCloud::kRemoteFolder);
        outcome = modCloud::Outcome::FolderMissing;
    } else {
        result_.config = DownloadArchive(modCloud::kConfigArchive);
        result_.rules = DownloadArchive(modCloud::kRulesArchive);
        if (result_.config == modCloud::Arrival::NotDownloaded || result_.rules == modCloud::Arrival::NotDownloaded)
            outcome = modCloud::Outcome::TransferFailed;
        else if (result_.config == modCloud::Arrival::NotThere && result_.rules == modCloud::Arrival::NotThere)
            outcome = modCloud::Outcome::NothingToTransfer;
    }
    mFTP->CloseConnection();
    return outcome;
}
