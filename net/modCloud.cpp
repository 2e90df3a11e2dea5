#include "net/modCloud.h"

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "net/cFTP.h"
#include "net/modBase85.h"

namespace modCloud {

std::string OutcomeMessage(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done: return "";
    case Outcome::NoCredentials: return "Enter your Nimbrel username and password first!";
    case Outcome::NoServer: return "No cloud server is set up on this computer.";
    case Outcome::NotConnected: return "Could not connect to the cloud server.";
    case Outcome::FolderMissing: return "The cloud server has no Quarnel folder for this account.";
    case Outcome::TransferFailed: return "The transfer to or from the cloud server failed.";
    case Outcome::NothingToTransfer: return "There was no configuration to transfer.";
    }
    return "";
}

std::string CloudServerAddress() {
    vb::Variant value;
    modRegistry::fReadValue(kClientInfoRootKey, kClientInfoKeyPath, kCloudServerValue, "S", "", value);
    return value.ToText();
}

Outcome Connect(cFTP& ftp, const std::string& procedure) {
    ftp.SetModePassive();
    ftp.SetTransferBinary();
    std::string password = CommonModule::ReadIniString(CommonModule::sINI, "Nimbrel", "Password");
    if (!password.empty()) password = modBase85::XorDecode(password, modBase85::kMailPasswordKey);
    const std::string user = CommonModule::ReadIniString(CommonModule::sINI, "Nimbrel", "UserName");
    if (user.empty() || password.empty()) return Outcome::NoCredentials;
    const std::string server = CloudServerAddress();
    if (server.empty()) {
        CommonModule::DPrint(procedure + ": no cloud server is set (HKLM\\" + std::string(kClientInfoKeyPath) + " " +
                             kCloudServerValue + "); nothing is transferred");
        return Outcome::NoServer;
    }
    if (ftp.OpenConnection(server, user, password)) return Outcome::Done;
    LogFailure(ftp, procedure, "OpenConnection " + server + " as " + user);
    return Outcome::NotConnected;
}

void LogFailure(const cFTP& ftp, const std::string& procedure, const std::string& step) {
    CommonModule::DPrint(procedure + ": " + step + " failed: " + ftp.GetLastErrorMessage());
}

}  // namespace modCloud
