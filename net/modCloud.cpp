#include "net/modCloud.h"

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "net/cFTP.h"
#include "net/modBase85.h"
#include "net/modRulesArchive.h"
#include "net/modZip.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileSystemObject.h"

namespace modCloud {

namespace {

// The settings file last: the settings are replaced only once everything
// else the archive carries is in place.
constexpr const char* kConfigFiles[] = {kRulesArchive, "Quarnel.ini"};

std::string ScratchFolder() { return CommonModule::AppPath() + "QuarnelConfig.tmp\\"; }

void RemoveScratchFolder() {
    try {
        if (fso::FolderExists(ScratchFolder())) fso::DeleteFolder(ScratchFolder(), true);
    } catch (const RuntimeError& error) {
        CommonModule::LogError("modCloud\\UnpackConfigArchive VB ERROR: ", error, {{"sFolder", ScratchFolder()}});
    }
}

// Moves one unpacked file over the program folder's copy in one step.
bool PutInPlace(const std::string& name) {
    const std::string unpacked = ScratchFolder() + name;
    if (!CommonModule::DoesFileExist(unpacked)) return true;
    if (win::MoveFileExA(unpacked, CommonModule::AppPath() + name,
                         win::MOVEFILE_REPLACE_EXISTING | win::MOVEFILE_COPY_ALLOWED))
        return true;
    CommonModule::DPrint("modCloud\\UnpackConfigArchive: " + name + " could not be put into " +
                         CommonModule::AppPath());
    return false;
}

bool Failed(Arrival arrival) { return arrival == Arrival::NotDownloaded || arrival == Arrival::NotApplied; }

std::string ConfigFailure(Arrival arrival) {
    if (arrival == Arrival::NotDownloaded)
        return "Your configuration could not be downloaded from the cloud server; the settings stay as they were.";
    return "Your configuration from the cloud server could not be unpacked; the settings stay as they were.";
}

std::string RulesFailure(Arrival arrival) {
    if (arrival == Arrival::NotDownloaded)
        return "Your rules could not be downloaded from the cloud server; the rules stay as they were.";
    return "Your rules from the cloud server could not be unpacked; the rules stay as they were.";
}

void Add(std::string& message, const std::string& sentence) {
    if (!message.empty()) message += "  ";
    message += sentence;
}

}  // namespace

std::string OutcomeMessage(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done: return "";
    case Outcome::NoCredentials: return "Enter your Nimbrel username and password first!";
    case Outcome::NoServer: return "No cloud server is set up on this computer.";
    case Outcome::NotConnected: return "Could not connect to the cloud server.";
    case Outcome::FolderMissing: return "The cloud server has no Quarnel folder for this account.";
    case Outcome::TransferFailed: return "The transfer to or from the cloud server failed.";
    case Outcome::NothingToTransfer: return "There was no configuration to transfer.";
    case Outcome::UnpackFailed: return "The configuration from the cloud server could not be unpacked.";
    }
    return "";
}

std::string DownloadMessage(const DownloadResult& result) {
    if (!Failed(result.config) && !Failed(result.rules)) return OutcomeMessage(result.outcome);
    std::string message;
    if (result.config == Arrival::Applied) Add(message, "Your configuration arrived and is loaded.");
    if (result.rules == Arrival::Applied) Add(message, "Your rules arrived and are in place.");
    if (Failed(result.config)) Add(message, ConfigFailure(result.config));
    if (Failed(result.rules)) Add(message, RulesFailure(result.rules));
    return message;
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

bool UnpackConfigArchive(const std::string& sZip) {
    RemoveScratchFolder();
    bool unpacked = modZip::UnzipFile(sZip, ScratchFolder(), false);
    if (!unpacked) CommonModule::DPrint("modCloud\\UnpackConfigArchive: " + sZip + " could not be unpacked");
    for (const char* name : kConfigFiles) {
        if (!unpacked) break;
        unpacked = PutInPlace(name);
    }
    RemoveScratchFolder();
    return unpacked;
}

bool ApplyConfigArchive(DownloadResult& result) {
    const std::string archive = CommonModule::AppPath() + kConfigArchive;
    if (!CommonModule::DoesFileExist(archive)) return false;
    const bool applied = UnpackConfigArchive(archive);
    result.config = applied ? Arrival::Applied : Arrival::NotApplied;
    if (!applied) result.outcome = Outcome::UnpackFailed;
    return applied;
}

void ApplyRulesArchive(DownloadResult& result) {
    const std::string archive = CommonModule::AppPath() + kRulesArchive;
    if (!CommonModule::DoesFileExist(archive)) return;
    const bool applied = modRulesArchive::InstallRulesArchive(archive, CommonModule::AppPath() + "Rules", true);
    result.rules = applied ? Arrival::Applied : Arrival::NotApplied;
    if (!applied) result.outcome = Outcome::UnpackFailed;
}

}  // namespace modCloud
