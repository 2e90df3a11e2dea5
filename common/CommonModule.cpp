#include "CommonModule.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <limits>
#include <optional>

#include "CommonModule2.h"
#include "modSocketSupport.h"
#include "platform/api/DateTime.h"
#include "platform/api/DebugOutput.h"
#include "platform/api/Environment.h"
#include "platform/api/EventLoop.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/Process.h"
#include "platform/api/Security.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Program.h"
#include "platform/api/Shell.h"
#include "platform/api/SystemInfo.h"
#include "platform/api/Wmi.h"
#include "platform/api/Strings.h"

namespace CommonModule {

std::string sINI;
std::string sDebugFile;
bool bDebug = false;
bool bDebugStrings = false;
std::string sDebugLine;
bool bRunAsSystem = false;
bool bSwitchFSRedir = false;
bool bFSRedirDisabled = false;
std::int32_t lWow64OldValue = 0;

namespace {

bool ContainsBackslash(const std::string& text) { return text.find('\\') != std::string::npos; }

// Only absolute paths (a drive letter and colon, or two backslashes) are ever found.
bool LooksAbsolute(const std::string& path) { return path.size() >= 2 && (path[1] == '\\' || path[1] == ':'); }

std::string WithBackslash(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
}

// A second-character test passed, the path's attributes readable and the
// path not openable as a file: a folder.
bool DirExists(const std::string& path, bool bLog, const char* heading, bool switchRedirection) {
    if (!LooksAbsolute(path)) return false;
    std::optional<FSRedirectionOff> redirectionOff;
    if (switchRedirection) redirectionOff.emplace();
    bool result = false;
    try {
        vb::GetAttr(path);
        result = win::OpenFile(path, win::OF_EXIST) == win::HFILE_ERROR;
    } catch (const RuntimeError&) {
        result = false;
    }
    if (bLog) {
        DPrint(std::string(heading));
        DPrint("\t- Passed: " + path);
        DPrint("\t- Returns: " + std::string(result ? "True" : "False"));
    }
    return result;
}

bool SaveText(const std::string& sFile, const std::string& sText, bool bOverwrite, bool bNoDuplicates,
              bool withDebug) {
    const char* errorLine = withDebug ? "CommonModule\\SaveTextToFile VB ERROR: " : "CommonModule\\SaveTextToFileNoDebug VB ERROR: ";
    try {
        const std::string folder = withDebug ? StripNameFromPath(sFile) : StripNameFromPathNoDebug(sFile);
        const auto folderExists = [&] { return withDebug ? DoesDirExist(folder) : DoesDirExistNoDebug(folder); };
        if (!folderExists()) {
            win::SHCreateDirectoryExA(1, folder);
            if (!folderExists()) {
                try {
                    vb::MkDir(folder + "\\");
                } catch (const RuntimeError&) {
                    // Reported below as a folder that cannot be created.
                }
            }
            if (!folderExists()) {
                if (withDebug) {
                    DPrint("SaveTextToFile - Directory does not exist / Cannot create directory:  ");
                    DPrint("\t" + folder);
                }
                return false;
            }
        }
        const FSRedirectionOff redirectionOff;
        if (bOverwrite) {
            vb::TextFile(sFile, vb::TextFile::Mode::Output).PrintLine(sText);
        } else {
            if (bNoDuplicates) {
                vb::TextFile(sFile, vb::TextFile::Mode::Append).Close();
                vb::TextFile existing(sFile, vb::TextFile::Mode::Input);
                const std::string wanted = vb::LCase(sText);
                while (!existing.Eof()) {
                    if (vb::LCase(existing.LineInput()) == wanted) {
                        existing.Close();
                        return true;
                    }
                }
            }
            vb::TextFile(sFile, vb::TextFile::Mode::Append).PrintLine(sText);
        }
        return true;
    } catch (const RuntimeError& e) {
        if (withDebug)
            LogError(errorLine, e, {{"sFile", sFile}, {"sText", sText}, {"bOverwrite", bOverwrite}, {"bNoDuplicates", bNoDuplicates}});
        return false;
    }
}

// Version value of "a.b.c": a*100000 + b*1000 + c*10 in 32-bit arithmetic, 0 when not computable.
std::int32_t VersionValue(const std::string& version) {
    std::vector<std::string> parts;
    modSocketSupport::SplitString(parts, version, ".");
    if (parts.size() < 3) return 0;
    const std::int64_t weights[] = {100000, 1000, 10};
    std::int64_t total = 0;
    for (int i = 0; i < 3; ++i) {
        try {
            const std::int64_t part = vb::Variant(parts[static_cast<size_t>(i)]).ToNumber();
            // A part beyond 32 bits overflows on its own (and would overflow the product here).
            if (part > std::numeric_limits<std::int32_t>::max() || part < std::numeric_limits<std::int32_t>::min())
                return 0;
            total += part * weights[i];
        } catch (const RuntimeError&) {
            return 0;
        }
        if (total > std::numeric_limits<std::int32_t>::max() || total < std::numeric_limits<std::int32_t>::min()) return 0;
    }
    return static_cast<std::int32_t>(total);
}

win::HANDLE OpenForWait(long task) {
    return win::OpenProcess(win::PROCESS_QUERY_INFORMATION | win::SYNCHRONIZE, 0, static_cast<win::DWORD>(task));
}

// Asked of the process itself, not of its exit code: a program may end with 259 (STILL_ACTIVE).
bool HasEnded(win::HANDLE process) { return win::WaitForSingleObject(process, 0) != win::WAIT_TIMEOUT; }

void WaitForExit(win::HANDLE process, std::int32_t& lExitCode) {
    while (!HasEnded(process)) {
        vb::DoEvents();
        win::Sleep(100);
    }
    win::DWORD code = 0;
    win::GetExitCodeProcess(process, &code);
    lExitCode = static_cast<std::int32_t>(code);
}

}  // namespace

// --- Settings path, INI access and debug log ---------------------------------

void InitAppSettings(bool bSetAppINI, bool bIniBesideExe) {
    const std::string exeName = vb::App::EXEName();
    if (bSetAppINI) {
        if (bIniBesideExe) {
            sINI = AppPath() + exeName + ".ini";
        } else {
            if (!DoesDirExistNoDebug(AppPath() + "Config")) {
                try {
                    vb::MkDir(AppPath() + "Config");
                } catch (const RuntimeError& e) {
                    LogError("CommonModule\\InitAppSettings VB ERROR: ", e);
                }
            }
            sINI = AppPath() + "Config\\" + exeName + ".ini";
        }
    }
    if (bDebug) {
        const std::string debugFolder = AppPath() + "Debug";
        if (!DoesDirExistNoDebug(debugFolder)) win::SHCreateDirectoryExA(1, debugFolder);
        if (!DoesDirExistNoDebug(debugFolder))
            bDebug = false;
        else
            sDebugFile = debugFolder + "\\DebugOutput - " + exeName + " " +
                         std::to_string(CountFilesInFolder(debugFolder) + 1) + ".txt";
    }
    DPrint("");
    DPrint(vb::FormatGeneralDate(vb::Now()) + " - Starting " + GetAppVersionString());
    DPrint(std::string(40, '-'));
}

std::string DebugText(const vb::Variant& value) { return value.ToText(); }

void DPrintValues(const std::vector<vb::Variant>& values) {
    sDebugLine.clear();
    for (const vb::Variant& value : values) {
        try {
            std::string text = DebugText(value);
            sDebugLine += "\t" + text;
        } catch (const RuntimeError&) {
            // A value without a text form is left out of the line.
        }
    }
    const std::string line = sDebugLine;
    win::OutputDebugStringA(line);
    if (bDebug) SaveTextToFileNoDebug(sDebugFile, vb::FormatTime(vb::Now()) + line, false, false);
}

void LogError(const std::string& errorLine, long number, const std::string& description,
              const std::vector<ArgLine>& arguments) {
    DPrint(errorLine + std::to_string(number) + " " + description);
    for (const ArgLine& argument : arguments) {
        std::string value;
        try {
            value = DebugText(argument.value);
        } catch (const RuntimeError&) {
        }
        DPrint("\t- " + argument.name + "=" + value);
    }
}

void LogError(const std::string& errorLine, const RuntimeError& error, const std::vector<ArgLine>& arguments) {
    LogError(errorLine, error.Number(), error.Description(), arguments);
}

std::string AppPath() { return WithBackslash(vb::App::Path()); }

std::string AppExePath() { return AppPath() + vb::App::EXEName() + ".exe"; }

std::string ReadIniString(const std::string& sFile, const std::string& sSection, const std::string& sKey) {
    std::string buffer;
    const win::DWORD count = win::GetPrivateProfileStringA(sSection, sKey, "", buffer, 255, sFile);
    return buffer.substr(0, count);
}

void WriteIniString(const std::string& sFile, const std::string& sSection, const std::string& sKey,
                    const std::string& sValue) {
    win::WritePrivateProfileStringA(sSection, sKey, sValue, sFile);
}

bool WriteIniStrings(const std::string& sFile, const std::function<void()>& writes) {
    platform::IniWriteBatch batch(sFile);
    writes();
    return batch.Commit();
}

bool SaveTextToFile(const std::string& sFile, const std::string& sText, bool bOverwrite, bool bNoDuplicates) {
    return SaveText(sFile, sText, bOverwrite, bNoDuplicates, true);
}

bool SaveTextToFileNoDebug(const std::string& sFile, const std::string& sText, bool bOverwrite, bool bNoDuplicates) {
    return SaveText(sFile, sText, bOverwrite, bNoDuplicates, false);
}

std::string GetAppVersionString(const std::string& sTag, const std::string& sSuffix) {
    std::string text = vb::App::Title() + "   v" + std::to_string(vb::App::Major()) + "." + std::to_string(vb::App::Minor());
    if (vb::App::Revision() > 0) text += "." + std::to_string(vb::App::Revision());
    if (sTag == "A")
        text += " ALPHA";
    else if (sTag == "B")
        text += " BETA";
    else
        text += " " + sTag;
    if (!sSuffix.empty()) text += "  - " + sSuffix;
    return text;
}

std::int16_t CountFilesInFolder(const std::string& sFolder, const std::string& sPattern) {
    const std::string pattern = sPattern.empty() ? "*.*" : sPattern;
    const FSRedirectionOff redirectionOff;
    const size_t count = vb::DirList(WithBackslash(sFolder) + pattern, vb::vbNormal).size();
    return static_cast<std::int16_t>(std::min<size_t>(count, std::numeric_limits<std::int16_t>::max()));
}

// --- Program start and wait ---------------------------------------------------

bool ShellX(const std::string& sPathAndFileName, const std::string& sParams, bool bWait, std::int32_t lWindowStyle,
            std::int32_t& lExitCode, bool bRunAsSystemArg) {
    try {
        if (ContainsBackslash(sPathAndFileName) && !DoesFileExist(sPathAndFileName)) {
            DPrint("CommonModule\\ShellX FILE NOT FOUND");
            DPrint("\t- sPathAndFileName=" + sPathAndFileName);
            return false;
        }
        std::string path = sPathAndFileName;
        if (path.find(' ') != std::string::npos) path = "\"" + path + "\"";
        std::string commandLine = sParams.empty() ? path : path + " " + sParams;
        std::int32_t windowStyle = lWindowStyle;
        if ((bRunAsSystemArg || bRunAsSystem) && !CommonModule2::IsSystemAccount()) {
            const std::string psexec = AppPath() + "3rd Party Tools\\psexec.exe";
            if (AppPath().rfind("\\\\", 0) == 0) {
                DPrint("ShellX:  Cannot run app as system with PSEXEC on a UNC path.");
            } else if (!DoesFileExist(psexec)) {
                DPrint("ShellX:  Cannot find PSEXEC.EXE");
            } else {
                commandLine = "\"" + psexec + "\"" + (bWait ? " -s -i " : " -s -i -d ") + commandLine;
                windowStyle = 0;
            }
        }
        bool result = false;
        long task = 0;
        win::HANDLE process = 0;
        {
            const FSRedirectionOff redirectionOff;
            task = vb::Shell(commandLine, windowStyle);
            if (bWait) process = OpenForWait(task);
        }
        if (!bWait) {
            result = task != 0;
        } else {
            if (process) {
                WaitForExit(process, lExitCode);
                win::CloseHandle(process);
                result = true;
            }
        }
        if (!result) DPrint("ShellX (Failed):  " + commandLine);
        return result;
    } catch (const RuntimeError& e) {
        LogError("CommonModule\\ShellX VB ERROR: ", e,
                 {{"sPathAndFileName", sPathAndFileName}, {"sParams", sParams}, {"bWait", bWait},
                  {"lWindowStyle", lWindowStyle}, {"bRunAsSystem", bRunAsSystemArg}});
        return false;
    }
}

bool ShellAndWaitForTermination(const std::string& sShell, std::int32_t lWindowStyle, std::string& sMessage,
                                std::int32_t lTimeout, bool bUseTimeout) {
    DPrint("ShellandWaitForTermination:  " + sShell);
    try {
        bool result = false;
        win::HANDLE process = 0;
        {
            const FSRedirectionOff redirectionOff;
            process = OpenForWait(vb::Shell(sShell, lWindowStyle));
        }
        if (process) {
            const win::DWORD start = win::timeGetTime();
            for (;;) {
                const bool ended = HasEnded(process);
                vb::DoEvents();
                win::Sleep(100);
                if (bUseTimeout && static_cast<std::int64_t>(win::timeGetTime() - start) > lTimeout) {
                    sMessage = "The process has timed out.";
                    result = false;
                    break;
                }
                if (ended) {
                    result = true;
                    break;
                }
            }
            win::CloseHandle(process);
        } else {
            sMessage = "This program could not determine whether the process started.Please watch the program and check it completes.";
        }
        DPrint("\tSuccess=" + std::string(result ? "True" : "False"));
        return result;
    } catch (const RuntimeError& e) {
        LogError("CommonModule\\ShellAndWaitForTermination VB ERROR: ", e, {{"sShell", sShell}});
        return false;
    }
}

void Delay(double seconds) {
    // Whole-second clock, as the run time's Now: n seconds last between n and n+1.
    const double end = static_cast<double>(vb::Now()) + seconds;
    while (static_cast<double>(vb::Now()) <= end) {
        win::Sleep(100);
        vb::DoEvents();
    }
}

// --- Path, string and file-test helpers ----------------------------------------

std::string StripPath(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StripNameFromPath(const std::string& path) {
    if (path.empty()) {
        DPrint("StripNameFromPath Function was passed an empty string!");
        return "";
    }
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) {
        LogError("CommonModule\\StripNameFromPath VB ERROR: ", RuntimeError::InvalidProcedureCall(), {{"sPath", path}});
        return "";
    }
    return path.substr(0, slash);
}

std::string StripNameFromPathNoDebug(const std::string& path) {
    if (path.empty()) return "";
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) {
        LogError("CommonModule\\StripNameFromPathNoDebug VB ERROR: ", RuntimeError::InvalidProcedureCall(), {{"sPath", path}});
        return "";
    }
    return path.substr(0, slash);
}

std::string Strip(const std::string& line, const std::string& textToRemove) {
    if (textToRemove.empty()) return line;
    std::string result = line;
    for (size_t at; (at = result.find(textToRemove)) != std::string::npos;) result.erase(at, textToRemove.size());
    return result;
}

std::string StripEndOfString(const std::string& text, const std::string& delimiter, bool bUseFirstDelimiter,
                             bool bStripLeadingSpaces, bool bStripTrailingSpaces) {
    std::string result = text;
    if (!delimiter.empty()) {
        const size_t at = bUseFirstDelimiter ? text.find(delimiter) : text.rfind(delimiter);
        if (at != std::string::npos) result = text.substr(0, at);
    }
    if (bStripTrailingSpaces)
        while (!result.empty() && result.back() == ' ') result.pop_back();
    if (bStripLeadingSpaces) result.erase(0, std::min(result.find_first_not_of(' '), result.size()));
    return result;
}

std::string StripTrailingCharacters(const std::string& text, const std::string& character) {
    if (character.size() != 1) return text;
    std::string result = text;
    while (!result.empty() && result.back() == character[0]) result.pop_back();
    return result;
}

std::string StripPreceedingCharacters(const std::string& text, const std::string& character) {
    if (character.size() != 1) return text;
    return text.substr(std::min(text.find_first_not_of(character[0]), text.size()));
}

std::string FormatUptime(std::uint64_t tickMilliseconds) {
    const std::uint64_t s = tickMilliseconds / 1000;
    const std::uint64_t m = s / 60, d = s / 86400;
    const std::uint64_t h = m / 60 - 24 * d;
    const std::uint64_t minutes = m - 1440 * d - 60 * h;
    return std::to_string(d) + " Day(s), " + std::to_string(h) + " Hour(s) and " + std::to_string(minutes) + " Minutes";
}

std::string GetSystemUptime() {
    // The 64-bit tick count: the 32-bit one wraps after 49.7 days.
    return FormatUptime(win::GetTickCount64());
}

bool DoesFileExist(const std::string& path, bool bLog) {
    if (!LooksAbsolute(path)) return false;
    win::HFILE handle = win::HFILE_ERROR;
    {
        const FSRedirectionOff redirectionOff;
        handle = win::OpenFile(path, win::OF_EXIST);
    }
    const bool result = handle != win::HFILE_ERROR;
    if (bLog) {
        DPrint("CommonModule\\DoesFileExist: " + std::to_string(handle));
        DPrint("\t- Passed: " + path);
        DPrint("\t- Returns: " + std::string(result ? "True" : "False"));
    }
    return result;
}

bool DoesDirExist(const std::string& path, bool bLog) {
    return DirExists(path, bLog, "CommonModule\\DoesDirExist: ", true);
}

bool DoesDirExistNo64bitCheck(const std::string& path, bool bLog) {
    return DirExists(path, bLog, "CommonModule\\DoesDirExistNo64bitCheck: ", false);
}

bool DoesDirExistNoDebug(const std::string& path) { return DirExists(path, false, "", true); }

std::string FileOrDir(const std::string& path) {
    std::string kind = "neither";
    if (DoesFileExist(path)) kind = "file";
    if (DoesDirExist(path)) kind = "dir";
    return kind;
}

bool CreatePath(const std::string& path) {
    {
        const FSRedirectionOff redirectionOff;
        win::MakeSureDirectoryPathExists(WithBackslash(path));
    }
    return DoesDirExist(path);
}

void FindFiles(const std::string& sFolder, const std::string& sFileSpecs, std::vector<std::string>& colFiles,
               bool bRecurse) {
    colFiles.clear();
    try {
        if (!DoesDirExist(sFolder)) return;
        colFiles = FindFilesInFolder(sFolder, sFileSpecs, bRecurse);
    } catch (const RuntimeError& e) {
        DPrint("FindFiles:  " + e.Description());
        DPrint("RecurseDirs:  " + std::string(bRecurse ? "True" : "False"));
        DPrint("Path:  " + sFolder);
    }
}

std::vector<std::string> FindFilesInFolder(const std::string& folder, const std::string& sFileSpecs, bool bRecurse) {
    std::vector<std::string> found;
    try {
        const std::string base = WithBackslash(folder);
        std::vector<std::string> patterns;
        modSocketSupport::SplitString(patterns, sFileSpecs, ";");
        bool first = true;
        for (const std::string& pattern : patterns) {
            {
                // Only the first pattern's listing runs with redirection off.
                std::optional<FSRedirectionOff> redirectionOff;
                if (first) redirectionOff.emplace();
                for (const std::string& name : vb::DirList(base + pattern, 39)) found.push_back(base + name);
            }
            first = false;
            vb::DoEvents();
        }
        if (!bRecurse) return found;
        std::vector<std::string> subfolders;
        for (const std::string& name : vb::DirList(base + "*.*", vb::vbDirectory)) {
            if (name == "." || name == "..") continue;
            if (win::GetFileAttributesA(base + name) & win::FILE_ATTRIBUTE_DIRECTORY) subfolders.push_back(base + name);
        }
        for (const std::string& subfolder : subfolders) {
            for (std::string& path : FindFilesInFolder(subfolder, sFileSpecs, true)) found.push_back(std::move(path));
            vb::DoEvents();
        }
    } catch (const RuntimeError&) {
    }
    return found;
}

bool ShellFileOperation(const std::string& source, const std::string& destination, bool bRenameOnCollision) {
    win::UINT flags = win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR | win::FOF_NOCOPYSECURITYATTRIBS;
    if (bRenameOnCollision) flags |= win::FOF_RENAMEONCOLLISION;
    const FSRedirectionOff redirectionOff;
    return win::SHFileOperationMove(source, destination, flags) == 0;
}

bool IsNewerVersion(const std::string& sVersion1, const std::string& sVersion2) {
    return VersionValue(sVersion2) > VersionValue(sVersion1);
}

// Another copy counts when it started before this one; copies started in the
// same clock tick are ordered by process ID, the same way in every copy, so
// that of several started at once exactly the first goes on.
bool IsAppAlreadyRunning(bool bSameUser) {
    try {
        const wmi::Services service = wmi::GetObject("winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
        const std::string ownName = vb::App::EXEName() + ".exe";
        const long ownId = static_cast<long>(win::GetCurrentProcessId());
        const wmi::ObjectSet processes = service.ExecQuery("Select * from Win32_Process");
        std::string ownStart;
        for (const wmi::Object& process : processes)
            if (process.Property("ProcessId").ToNumber() == ownId) ownStart = process.Property("CreationDate").ToText();
        for (const wmi::Object& process : processes) {
            try {
                const std::string name = process.Property("Name").ToText();
                if (name.empty() || vb::StrComp(name, "system idle process", vb::vbTextCompare) == 0) continue;
                std::string user, domain;
                if (process.GetOwner(user, domain) != 0) continue;
                if (vb::StrComp(name, ownName, vb::vbTextCompare) != 0) continue;
                if (bSameUser && vb::StrComp(vb::Environ("USERNAME"), user, vb::vbTextCompare) != 0) continue;
                const long id = static_cast<long>(process.Property("ProcessId").ToNumber());
                if (id == ownId) continue;
                const std::string start = process.Property("CreationDate").ToText();
                if (ownStart.empty() || start < ownStart || (start == ownStart && id < ownId)) return true;
            } catch (const RuntimeError&) {
            }
        }
    } catch (const RuntimeError&) {
    }
    return false;
}

void OpenWebPage(const std::string& strWebPage) {
    try {
        win::ShellExecuteA(0, "", strWebPage, "", "", 1);
    } catch (const RuntimeError& e) {
        LogError("CommonModule\\OpenWebPage VB ERROR: ", e, {{"strWebPage", strWebPage}});
    }
}

void UnloadAllFormsExcept(QWidget* keep) {
    const QString keepName = keep ? keep->objectName() : QString();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == keep || window->objectName() == keepName) continue;
        window->close();
        window->deleteLater();
    }
}

// --- File-system redirection and 64-bit tests ----------------------------------
// This host has no file-system redirection: the pair keeps only its flag.

void DisableFSRedir() {
    if (bFSRedirDisabled) return;
    bFSRedirDisabled = true;
}

void RevertFSRedir() {
    if (!bFSRedirDisabled) return;
    bFSRedirDisabled = false;
}

bool Is64BitOS(const std::string& root) {
    if (!root.empty()) return DoesDirExistNo64bitCheck(root + "\\Program Files (x86)");
    return !vb::Environ("ProgramFiles(x86)").empty();
}

}  // namespace CommonModule
