#pragma once
// The only way the program makes or unpacks archives: zip one file, a folder
// tree or a list of files, and unzip with a status window, falling back to
// an external 7-Zip when the built-in reader fails. Every entry point traps
// its errors and goes on with its next step.
#include <string>
#include <vector>

namespace modZip {

// Makes sure the zlib library can be called (the host's own zlib is the one
// the program uses; nothing is written to the system folder).
void InstallZlib();
void ZipSingleFile(const std::string& sFile, const std::string& sZip);
// Names are relative to sFolder, lower case, with "\" between levels.
bool ZipFolder(const std::string& sFolder, const std::string& sZip, bool bRecurse);
void ZipFileList(const std::vector<std::string>& colFiles, const std::string& sZip);
// Keeps folders and overwrites. Any error of the built-in reader (an entry
// that is refused, unsupported or corrupt) makes its unpack a failure and is
// logged; 7-Zip's unpack counts only when each entry lies there whole.
bool UnzipFile(const std::string& sZip, const std::string& sDestDir, bool bQuiet);
// Succeeds only when the extraction by 7-Zip exits with 0.
bool UnzipWith7z(const std::string& sFileToUnzip, const std::string& sDirToExtractTo, std::string& sMessage);

}  // namespace modZip
