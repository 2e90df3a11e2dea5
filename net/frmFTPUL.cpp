#include "net/frmFTPUL.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "common/CommonModule.h"
#include "net/cFTP.h"

namespace {

constexpr const char* kProcedure = "frmFTPUL\\Form_Load";
constexpr const char* kPartialSuffix = ".part";

// Sends one archive under a temporary name and renames it into place, so
// that a machine downloading meanwhile never gets half an archive. Where the
// server refuses the rename, the archive goes under its own name, as a plain
// upload sends it. The archive on the server is never deleted: until its
// replacement stands it stays as it was.
bool UploadWhole(cFTP& ftp, const std::string& archive) {
    std::string local = CommonModule::AppPath() + archive;
    std::string partial = archive + kPartialSuffix;
    if (!ftp.FTPUploadFile(local, partial)) {
        modCloud::LogFailure(ftp, kProcedure, "FTPUploadFile " + partial);
        ftp.DeleteFTPFile(partial);
        return false;
    }
    if (ftp.RenameFTPFile(partial, archive)) return true;
    modCloud::LogFailure(ftp, kProcedure, "RenameFTPFile " + partial);
    ftp.DeleteFTPFile(partial);
    std::string live = archive;
    if (ftp.FTPUploadFile(local, live)) return true;
    modCloud::LogFailure(ftp, kProcedure, "FTPUploadFile " + archive);
    return false;
}

}  // namespace

frmFTPUL::frmFTPUL(QWidget* parent) : QDialog(parent) {
    setObjectName("frmFTPUL");
    setWindowTitle("Uploading configuration");
    auto* layout = new QVBoxLayout(this);
    lblStatus = new QLabel("Uploading your configuration and rules to Nimbrel...", this);
    lblStatus->setObjectName("lblStatus");
    layout->addWidget(lblStatus);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmFTPUL::Timer1_Timer);
    Form_Load();
}

frmFTPUL::~frmFTPUL() = default;

void frmFTPUL::Form_Load() {
    mFTP = std::make_unique<cFTP>();
    outcome_ = Upload();
    Timer1->setInterval(100);
    Timer1->start();
}

void frmFTPUL::Timer1_Timer() { close(); }

modCloud::Outcome frmFTPUL::Upload() {
    const modCloud::Outcome connected = modCloud::Connect(*mFTP, kProcedure);
    if (connected != modCloud::Outcome::Done) return connected;
    modCloud::Outcome outcome = modCloud::Outcome::Done;
    mFTP->SetFTPDirectory("/");
    mFTP->CreateFTPDirectory(modCloud::kRemoteFolder);  // fails harmlessly when the folder exists
    if (!mFTP->SetFTPDirectory(modCloud::kRemoteFolder)) {
        modCloud::LogFailure(*mFTP, kProcedure, std::string("SetFTPDirectory ") + modCloud::kRemoteFolder);
        outcome = modCloud::Outcome::FolderMissing;
    } else {
        int sent = 0;
        for (const char* archive : {modCloud::kConfigArchive, modCloud::kRulesArchive}) {
            if (!CommonModule::DoesFileExist(CommonModule::AppPath() + archive)) continue;
            if (UploadWhole(*mFTP, archive))
                ++sent;
            else
                outcome = modCloud::Outcome::TransferFailed;
        }
        if (outcome == modCloud::Outcome::Done && sent == 0) outcome = modCloud::Outcome::NothingToTransfer;
    }
    mFTP->CloseConnection();
    return outcome;
}
