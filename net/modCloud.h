#pragma once
// What the two cloud windows share: the cloud configuration service is an
// FTP server (default port, passive mode, binary transfers) whose address is
// the "Cloud Server" value of the program's registry key; the archives live
// in its "/Quarnel" folder under the names they have in the program folder.
#include <string>

class cFTP;

namespace modCloud {

inline constexpr const char* kCloudServerValue = "Cloud Server";
inline constexpr const char* kRemoteFolder = "/Quarnel";
inline constexpr const char* kConfigArchive = "QuarnelConfig.zip";
inline constexpr const char* kRulesArchive = "Rules.zip";

// How a cloud transfer ended.
enum class Outcome {
    Done,
    NoCredentials,    // [Nimbrel] UserName or Password empty: nothing was tried
    NoServer,         // no "Cloud Server" value: nothing was tried
    NotConnected,     // the server refused or could not be reached
    FolderMissing,    // the remote folder could not be entered
    TransferFailed,   // at least one archive did not arrive whole
    NothingToTransfer, // neither archive was there to send or fetch
    UnpackFailed      // an archive arrived but could not be unpacked
};

// The fixed text a user is shown for an outcome ("" for Done).
std::string OutcomeMessage(Outcome outcome);

// What became of one archive of a cloud download.
enum class Arrival {
    NotThere,       // the server has none
    NotDownloaded,  // it did not arrive whole
    Downloaded,     // it is in the program folder, not unpacked yet
    NotApplied,     // it arrived but could not be unpacked: what it replaces stays
    Applied         // what it carries is in place
};

// A cloud download and what it brought.
struct DownloadResult {
    Outcome outcome = Outcome::Done;
    Arrival config = Arrival::NotThere;
    Arrival rules = Arrival::NotThere;

    bool AnythingApplied() const { return config == Arrival::Applied || rules == Arrival::Applied; }
};

// What the user is told of a download: "" when everything the server had is
// in place; else what failed, after what was applied.
std::string DownloadMessage(const DownloadResult& result);

// The "Cloud Server" value, or the empty text.
std::string CloudServerAddress();

// The common start of both windows: passive and binary mode, the stored
// credentials, the connection. Done when connected; any other outcome is
// logged under the procedure name (never with the password).
Outcome Connect(cFTP& ftp, const std::string& procedure);

// One debug line with the client's last error.
void LogFailure(const cFTP& ftp, const std::string& procedure, const std::string& step);

// Unpacks a configuration archive into the program folder, taking only what
// the program itself puts in one (Quarnel.ini and Rules.zip at its top
// level): an archive from the server can never replace the program or any
// other file beside it. The archive is unpacked whole into a scratch folder
// first, so a damaged one changes nothing. False when it could not be
// unpacked or a file could not be put in place.
bool UnpackConfigArchive(const std::string& sZip);

// The unpack steps of the cloud update, for the archives the download left
// in the program folder. The settings step is true when the settings file
// was replaced; the rules step adds the rules archive's files to the Rules
// folder in one step (an archive that cannot be unpacked changes no rule).
bool ApplyConfigArchive(DownloadResult& result);
void ApplyRulesArchive(DownloadResult& result);

}  // namespace modCloud
