#pragma once
// The host folder holds the emulated machine: host.ini (drive map, version,
// machine and regional settings), drive_c and the stores of later facilities.
// It is QUARNEL_HOST, else $XDG_DATA_HOME/quarnel-host, else
// ~/.local/share/quarnel-host, and is created with its drive_c on first use.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace platform {

std::filesystem::path HostFolder();

// A folder of the host that is its owner's alone (0700), such as the user's
// temporary folder: made when missing (its parents as usual) unless create
// is false; from one of ours, group and others lose their access (a link is
// left as it is). False when no folder is there afterwards.
bool MakePrivateFolder(const std::filesystem::path& folder, bool create = true);
// A store of the host folder (a database and its -wal and -shm files) is its
// owner's alone (0600): the database file is created so when missing, so
// that the files SQLite adds beside it take its mode, and from files of ours
// group and others lose their access.
void MakeStorePrivate(const std::filesystem::path& database);

// For a tool that lives a moment: host.ini is read once for each host folder,
// a drive C that has its System32 is taken as prepared (the programs that use
// the rest of it prepare it at their start), and SQLite keeps no caches of
// its own.
void UseHostForShortProcess();

// A value of host.ini, or the default when the file, section or key is missing.
std::string HostSetting(const std::string& section, const std::string& key,
                        const std::string& defaultValue);
long HostSettingNumber(const std::string& section, const std::string& key, long defaultValue);

struct DriveMapping {
    char letter;                      // upper case
    std::filesystem::path folder;     // absolute host folder
};
// Mapped drives in letter order; C: and Z: have defaults, a key with an empty
// value removes a default. Shared, not copied: every path lookup asks for it.
using DriveMapList = std::shared_ptr<const std::vector<DriveMapping>>;
DriveMapList DriveMap();

bool HostIs64Bit();
std::string LoginName();      // the host user's login name
std::string ComputerName();   // the host name, upper-cased
std::string HostUserProfileWindowsPath();  // C:\Users\<login>

}  // namespace platform
