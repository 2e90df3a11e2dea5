#pragma once
// The shared module of both programs: the settings-file path and INI access,
// the debug log, program start and wait, path, string and file-test helpers,
// and the file-system redirection pair.
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/api/RuntimeError.h"
#include "platform/api/Variant.h"

class QWidget;

namespace CommonModule {

// Module state.
extern std::string sINI;
extern std::string sDebugFile;
extern bool bDebug;
extern bool bDebugStrings;
extern std::string sDebugLine;
extern bool bRunAsSystem;
extern bool bSwitchFSRedir;
extern bool bFSRedirDisabled;
extern std::int32_t lWow64OldValue;

// --- Settings path, INI access and debug log ---------------------------------
void InitAppSettings(bool bSetAppINI = false, bool bIniBesideExe = false);

// Text of one value of the debug log ("True"/"False" for Booleans).
std::string DebugText(const vb::Variant& value);
void DPrintValues(const std::vector<vb::Variant>& values);
// Writes a TAB and the text of each value, in order, as one debug line.
template <typename... Values>
void DPrint(const Values&... values) {
    DPrintValues(std::vector<vb::Variant>{vb::Variant(values)...});
}
// Writes the error line of a trapped error, e.g. "CommonModule\\ShellX VB ERROR: "
// followed by the number and description, then one "- name=value" line per argument.
struct ArgLine {
    std::string name;
    vb::Variant value;
};
void LogError(const std::string& errorLine, long number, const std::string& description,
              const std::vector<ArgLine>& arguments = {});
void LogError(const std::string& errorLine, const RuntimeError& error, const std::vector<ArgLine>& arguments = {});

std::string AppPath();
std::string AppExePath();
std::string ReadIniString(const std::string& sFile, const std::string& sSection, const std::string& sKey);
void WriteIniString(const std::string& sFile, const std::string& sSection, const std::string& sKey,
                    const std::string& sValue);
// Runs writes with their WriteIniString calls to sFile gathered, then writes
// them as one replacement of the file, so that it holds all of them or none.
// False when the replacement failed.
bool WriteIniStrings(const std::string& sFile, const std::function<void()>& writes);
bool SaveTextToFile(const std::string& sFile, const std::string& sText, bool bOverwrite, bool bNoDuplicates);
bool SaveTextToFileNoDebug(const std::string& sFile, const std::string& sText, bool bOverwrite,
                           bool bNoDuplicates);
std::string GetAppVersionString(const std::string& sTag = "", const std::string& sSuffix = "");
std::int16_t CountFilesInFolder(const std::string& sFolder, const std::string& sPattern = "");

// --- Program start and wait ---------------------------------------------------
bool ShellX(const std::string& sPathAndFileName, const std::string& sParams, bool bWait,
            std::int32_t lWindowStyle, std::int32_t& lExitCode, bool bRunAsSystem = false);
bool ShellAndWaitForTermination(const std::string& sShell, std::int32_t lWindowStyle, std::string& sMessage,
                                std::int32_t lTimeout, bool bUseTimeout);
void Delay(double seconds);

// --- Path, string and file-test helpers ----------------------------------------
std::string StripPath(const std::string& path);
std::string StripNameFromPath(const std::string& path);
std::string StripNameFromPathNoDebug(const std::string& path);
std::string Strip(const std::string& line, const std::string& textToRemove);
std::string StripEndOfString(const std::string& text, const std::string& delimiter, bool bUseFirstDelimiter,
                             bool bStripLeadingSpaces, bool bStripTrailingSpaces);
std::string StripTrailingCharacters(const std::string& text, const std::string& character);
std::string StripPreceedingCharacters(const std::string& text, const std::string& character);
std::string GetSystemUptime();
std::string FormatUptime(std::uint64_t tickMilliseconds);
bool DoesFileExist(const std::string& path, bool bLog = false);
bool DoesDirExist(const std::string& path, bool bLog = false);
bool DoesDirExistNo64bitCheck(const std::string& path, bool bLog = false);
bool DoesDirExistNoDebug(const std::string& path);
std::string FileOrDir(const std::string& path);
bool CreatePath(const std::string& path);
void FindFiles(const std::string& sFolder, const std::string& sFileSpecs, std::vector<std::string>& colFiles,
               bool bRecurse);
std::vector<std::string> FindFilesInFolder(const std::string& folder, const std::string& sFileSpecs,
                                           bool bRecurse);
bool ShellFileOperation(const std::string& source, const std::string& destination, bool bRenameOnCollision);
bool IsNewerVersion(const std::string& sVersion1, const std::string& sVersion2);
bool IsAppAlreadyRunning(bool bSameUser);
void OpenWebPage(const std::string& strWebPage);
// Unloads (closes and deletes) every top-level window whose objectName differs from keep's.
void UnloadAllFormsExcept(QWidget* keep);

// --- File-system redirection and 64-bit tests ----------------------------------
void DisableFSRedir();
void RevertFSRedir();

// Redirection off for the life of the object, back on however the scope is left.
class FSRedirectionOff {
public:
    FSRedirectionOff() { DisableFSRedir(); }
    ~FSRedirectionOff() { RevertFSRedir(); }
    FSRedirectionOff(const FSRedirectionOff&) = delete;
    FSRedirectionOff& operator=(const FSRedirectionOff&) = delete;
};
bool Is64BitOS(const std::string& root = "");

}  // namespace CommonModule
