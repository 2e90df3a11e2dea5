#pragma once
// Windows paths and host paths: the one place that turns one into the other.
// Lookup is case-insensitive as on Windows (the exact name first, then a
// case-insensitive match per component); "." and ".." are resolved as text
// and never climb above the drive root; UNC paths name nothing on this host.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Absolute Windows form: drive letter upper-cased, "/" turned into "\",
// repeated separators folded, "." and ".." resolved. A relative path is taken
// from the current folder. Empty when the path cannot name anything here
// (UNC, no drive).
std::string NormalizeWindowsPath(const std::string& windowsPath);

// The host path a Windows path names, or nothing when it names nothing here
// (UNC path, unmapped drive). Components that do not exist are kept as given.
std::optional<std::filesystem::path> ToHostPath(const std::string& windowsPath);

// The Windows path of a host path: the longest mapped folder that holds it
// gives the drive; a path outside every mapped folder is given through Z:.
std::string ToWindowsPath(const std::filesystem::path& hostPath);

bool IsDriveRoot(const std::string& windowsPath);

// Windows wildcard match of one name: '*' any run, '?' one character, letter
// case ignored, "*.*" every name, a trailing ".*" also matching no extension.
bool MatchesWildcard(const std::string& pattern, const std::string& name);
// The same with the pattern already case-folded (TextFoldCase), for a pattern
// matched against every name of a folder.
bool MatchesFoldedWildcard(const std::string& foldedPattern, const std::string& name);

// The entries of a host folder (no "." or ".."), in case-insensitive name order.
std::vector<std::string> ListFolderNames(const std::filesystem::path& hostFolder);

// The same with each entry's kind, a link taken as what it leads to; an
// entry that leads nowhere is left out.
struct FolderEntry {
    std::string name;
    bool isFolder = false;
};
std::vector<FolderEntry> ListFolderEntries(const std::filesystem::path& hostFolder);

}  // namespace platform
