#include "clsFSO.h"
#include "common/ErrorTrap.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>

#include "CommonModule.h"
#include "SetOwnerFS.h"
#include "modSocketSupport.h"
#include "modTakeOwn.h"
#include "platform/api/DateTime.h"
#include "platform/api/EventLoop.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/FileSystemObject.h"
#include "platform/api/MessageBox.h"
#include "platform/api/ShellFolders.h"
#include "platform/api/Strings.h"

using CommonModule::DPrint;

namespace {

const char* TrueFalse(bool value) { return value ? "True" : "False"; }

bool IsBlank(const std::string& text) { return vb::Trim(text).empty(); }

void LogStandardError(const std::string& member, const RuntimeError& e) {
    DPrint("clsFSO\\" + member + " - VB ERROR: " + std::to_string(e.Number()) + " " + e.Description());
}

RuntimeError ObjectVariableNotSet() { return RuntimeError(91, "Quarnel", "Object variable or With block variable not set"); }

using ErrorTrap::SkipErrors;

template <typename Step>
void LogAndSkip(const std::string& member, Step step) {
    try {
        step();
    } catch (const RuntimeError& e) {
        LogStandardError(member, e);
    }
}

std::string FormatWhole(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string WithThousands(const std::string& digits) {
    std::string result;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) result += ',';
        result += digits[i];
    }
    return result.empty() ? "0" : result;
}

double NumberOf(const std::string& text) {
    const std::string trimmed = vb::Trim(text);
    if (trimmed.empty()) throw RuntimeError::TypeMismatch();
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(trimmed, &used);
    } catch (const std::exception&) {
        throw RuntimeError::TypeMismatch();
    }
    if (used != trimmed.size()) throw RuntimeError::TypeMismatch();
    return value;
}

std::vector<int> NumbersIn(const std::string& text) {
    std::vector<int> numbers;
    std::string digits;
    for (char c : text + " ") {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (!digits.empty()) {
            numbers.push_back(digits.size() > 6 ? -1 : std::stoi(digits));
            digits.clear();
        }
    }
    return numbers;
}

// The order of day, month and year in the regional short date.
std::string DateFieldOrder() {
    std::string order;
    for (char c : platform::ShortDatePattern())
        if ((c == 'd' || c == 'M' || c == 'y') && order.find(c) == std::string::npos) order += c;
    return order.size() == 3 ? order : "Mdy";
}

// A date, with an optional time, in the regional short date or as yyyy-mm-dd.
std::optional<std::time_t> DateValue(const std::string& text) {
    const std::string trimmed = vb::Trim(text);
    const size_t blank = trimmed.find(' ');
    const std::string datePart = trimmed.substr(0, blank);
    const std::string timePart = blank == std::string::npos ? "" : trimmed.substr(blank + 1);
    const std::vector<int> fields = NumbersIn(datePart);
    if (fields.size() != 3 || datePart.find_first_not_of("0123456789/-.") != std::string::npos) return std::nullopt;
    const std::string order = datePart.find_first_of("0123456789") == 0 && datePart.find_first_not_of("0123456789") == 4
                                  ? "yMd" : DateFieldOrder();
    int day = 0, month = 0, year = 0;
    for (size_t i = 0; i < 3; ++i) (order[i] == 'd' ? day : order[i] == 'M' ? month : year) = fields[i];
    if (year >= 0 && year < 100) year += year < 30 ? 2000 : 1900;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    const std::vector<int> clock = NumbersIn(timePart);
    if (clock.size() > 3) return std::nullopt;
    int hour = clock.size() > 0 ? clock[0] : 0;
    const std::string upperTime = vb::UCase(timePart);
    if (upperTime.find('P') != std::string::npos && hour < 12) hour += 12;
    if (upperTime.find('A') != std::string::npos && hour == 12) hour = 0;
    tm.tm_hour = hour;
    tm.tm_min = clock.size() > 1 ? clock[1] : 0;
    tm.tm_sec = clock.size() > 2 ? clock[2] : 0;
    if (month < 1 || month > 12 || day < 1 || year < 100 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
        return std::nullopt;
    const std::tm wanted = tm;
    const std::time_t when = std::mktime(&tm);
    if (when == -1 || tm.tm_mday != wanted.tm_mday || tm.tm_mon != wanted.tm_mon) return std::nullopt;
    return when;
}

std::time_t DateOrMismatch(const std::string& text) {
    const auto value = DateValue(text);
    if (!value) throw RuntimeError::TypeMismatch();
    return *value;
}

std::string DatePartOf(const std::string& dateText) { return dateText.substr(0, dateText.find(' ')); }

std::vector<std::string> Split(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> parts;
    modSocketSupport::SplitString(parts, text, delimiter);
    return parts;
}

std::mt19937& Generator() {
    static std::mt19937 generator(static_cast<std::mt19937::result_type>(std::random_device{}() ^ std::time(nullptr)));
    return generator;
}

}  // namespace

clsFSO::clsFSO() { Clear(); }

clsFSO::~clsFSO() { Clear(); }

void clsFSO::Clear() {
    fileInfo_ = FileInfoRecord{};
    dblCount_ = 0;
}

std::time_t clsFSO::ZeroDate() {
    std::tm tm{};
    tm.tm_year = -1;
    tm.tm_mon = 11;
    tm.tm_mday = 30;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void clsFSO::Count(double dblData) { dblCount_ = dblData; }

double clsFSO::Count() const { return dblCount_; }

void clsFSO::AccessErrNum(std::int32_t errNum) { accessErrNum_ = errNum; }

std::int32_t clsFSO::AccessErrNum() const { return accessErrNum_; }

void clsFSO::Get_FileProperties(const std::string& FullPathAndNameOfFile) {
    SkipErrors([&] {
        win::SHELLEXECUTEINFOA info;
        info.fMask = win::SEE_MASK_INVOKEIDLIST;
        info.lpVerb = "properties";
        info.lpFile = FullPathAndNameOfFile;
        info.nShow = 5;
        const CommonModule::FSRedirectionOff redirectionOff;
        win::ShellExecuteExA(&info);
    });
}

bool clsFSO::KillFile(const std::string& strFile) {
    bool result = false;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SkipErrors([&] {
            const CommonModule::FSRedirectionOff redirectionOff;
            win::DeleteFileA(strFile);
        });
        if (!CommonModule::DoesFileExist(strFile)) {
            result = true;
            break;
        }
        if (attempt == 2) {
            DPrint("clsFSO\\KillFile - Unable to delete:  " + strFile);
            break;
        }
        SkipErrors([&] { ResetAttributes(strFile); });
    }
    DPrint("clsFSO\\KillFile: ");
    DPrint("- passed: \t" + strFile);
    DPrint("- returned: \t" + std::string(TrueFalse(result)));
    return result;
}

bool clsFSO::KillDir(const std::string& strPath, bool RecreatePath) {
    const auto recreate = [&] {
        if (RecreatePath && !CommonModule::CreatePath(strPath)) DPrint("clsFSO\\KillDir - Error recreating:  " + strPath);
    };
    for (int attempt = 1;; ++attempt) {
        if (!CommonModule::DoesDirExist(strPath)) {
            recreate();
            DPrint("clsFSO\\KillDir: ");
            DPrint("- passed: \t" + strPath);
            DPrint("- returned: \tTrue");
            return true;
        }
        if (DelTree32(strPath)) {
            recreate();
            return true;
        }
        if (attempt == 2) break;
        SkipErrors([&] { ResetAttributes(strPath); });
    }
    SkipErrors([&] {
        for (const std::string& file : Split(Get_FileList(strPath, true, "*.*"), ";"))
            if (!file.empty()) KillFile(file);
    });
    SkipErrors([&] {
        for (const std::string& folder : Split(Get_DirList(strPath, false), ";"))
            if (!folder.empty()) DelTree32(folder);
    });
    return false;
}

std::string clsFSO::StripDrive(const std::string& strPath) {
    std::string result = strPath;
    LogAndSkip("StripDrive", [&] {
        if (!strPath.empty() && strPath.front() == '{' && strPath.back() == '}') {
            DPrint("clsFSO\\StripDrive: Error: It appears a CLSID was passed.  Exiting Function.");
            DPrint("- strPath=\t" + strPath);
        } else if (strPath.size() >= 2 && strPath[1] == ':') {
            result = strPath.substr(2);
        } else {
            DPrint("clsFSO\\StripDrive: Error: It appears no drive letter was passed.  Exiting Function.");
            DPrint("- strPath=\t" + strPath);
        }
    });
    return result;
}

bool clsFSO::IsDriveReady(const std::string& strDrive) {
    bool result = false;
    LogAndSkip("IsDriveReady", [&] {
        const std::string letter = vb::UCase(strDrive.substr(0, 1));
        if (!letter.empty() && letter[0] >= 'A' && letter[0] <= 'Z') result = fso::GetDrive(letter + ":").IsReady;
    });
    DPrint("clsFSO\\IsDriveReady: " + std::string(TrueFalse(result)), "  strDrive=" + strDrive);
    return result;
}

bool clsFSO::Create_Dir_Struct(const std::string& strPath) {
    const CommonModule::FSRedirectionOff redirectionOff;
    try {
        if (IsBlank(strPath)) return false;
        const std::string path = Add_Trailing_Slash(strPath);
        for (size_t slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
            const std::string folder = path.substr(0, slash);
            if (!folder.empty() && !fso::FolderExists(folder)) fso::CreateFolder(folder);
        }
        return true;
    } catch (const RuntimeError& e) {
        LogStandardError("Create_Dir_Struct", e);
        DPrint("An error occured while trying to create:  \t" + strPath);
        return false;
    }
}

std::string clsFSO::Get_Extension(const std::string& strFileName) { return fso::GetExtensionName(strFileName); }

std::string clsFSO::Get_FileNoExtension(const std::string& strFileName) { return fso::GetBaseName(strFileName); }

std::string clsFSO::Get_Filename(const std::string& strFileName) { return fso::GetFileName(strFileName); }

std::string clsFSO::Get_Path(const std::string& strFileName) { return fso::GetParentFolderName(strFileName); }

std::string clsFSO::Get_Version(const std::string& strFileName) { return fso::GetFileVersion(strFileName); }

std::string clsFSO::Get_VB_Version(const std::string& strFileName) {
    std::string result;
    SkipErrors([&] {
        const std::string version = Get_Version(strFileName);
        if (!version.empty()) result = version.substr(0, 4) + version.substr(version.size() - 1);
    });
    return result;
}

bool clsFSO::Drive_Exist(const std::string& strSearchData, std::int32_t& lngDriveType) {
    try {
        if (strSearchData.size() < 2 || strSearchData[1] != ':') return false;
        const std::string drive = strSearchData.substr(0, 2);
        bool result = false;
        if (fso::DriveExists(drive) && IsDriveReady(drive)) {
            result = true;
            lngDriveType = fso::GetDrive(drive).DriveType;
        }
        DPrint("clsFSO\\Drive_Exist: " + std::string(TrueFalse(result)), " strDrive=" + drive);
        return result;
    } catch (const RuntimeError&) {
        return false;
    }
}

bool clsFSO::File_Exist(const std::string& strSearchItem) {
    bool result = false;
    LogAndSkip("File_Exist", [&] {
        if (IsBlank(strSearchItem)) return;
        std::int32_t driveType = 0;
        if (!Drive_Exist(strSearchItem.substr(0, 2), driveType) || driveType == 0) return;
        if (strSearchItem.size() > 3 && !Folder_Exist(fso::GetParentFolderName(strSearchItem))) return;
        result = fso::FileExists(strSearchItem);
    });
    DPrint("clsFSO\\File_Exist: " + std::string(TrueFalse(result)));
    DPrint("- strSearchItem=\t" + strSearchItem);
    return result;
}

bool clsFSO::Folder_Exist(const std::string& strFolder) {
    bool result = false;
    std::string folder = strFolder;
    LogAndSkip("Folder_Exist", [&] {
        folder = Remove_Trailing_Slash(strFolder);
        result = fso::FolderExists(folder);
    });
    DPrint("clsFSO\\Folder_Exist: " + std::string(TrueFalse(result)));
    DPrint("- strFolder=\t" + folder);
    return result;
}

std::vector<std::string> clsFSO::Available_Drives() {
    std::vector<std::string> roots;
    LogAndSkip("Available_Drives", [&] {
        std::string buffer(260, ' ');
        win::GetLogicalDriveStringsA(static_cast<win::DWORD>(buffer.size()), buffer.data());
        buffer = vb::Trim(buffer);
        buffer = buffer.substr(0, buffer.rfind('\\') + 1);
        if (buffer.empty()) return;
        roots = Split(buffer, std::string(1, '\0'));
    });
    return roots;
}

bool clsFSO::IsThisRestricted(const std::string& strPath) {
    try {
        if (IsBlank(strPath)) return true;
        const std::string probe = Add_Trailing_Slash(strPath) + "_Test.$$$";
        vb::TextFile(probe, vb::TextFile::Mode::Output).PrintLine("X");
        vb::TextFile(probe, vb::TextFile::Mode::Append).PrintLine("ABC");
        vb::Kill(probe);
        return false;
    } catch (const RuntimeError&) {
        return true;
    }
}

bool clsFSO::FillFileInfo(const std::string& strFileName) {
    const fso::File file = fso::GetFile(strFileName);
    fileInfo_.Drive = file.Drive;
    fileInfo_.Path = file.Path;
    fileInfo_.ParentFolder = file.ParentFolder;
    fileInfo_.Size = std::to_string(file.Size);
    fileInfo_.Type = file.Type;
    fileInfo_.Extension = fso::GetExtensionName(file.Path);
    fileInfo_.DateLastAccessed = vb::FormatGeneralDate(file.DateLastAccessed);
    fileInfo_.DateLastModified = vb::FormatGeneralDate(file.DateLastModified);
    fileInfo_.DateCreated = vb::FormatGeneralDate(file.DateCreated);
    fileInfo_.Attributes = Attribute_String(file.Attributes);
    return true;
}

bool clsFSO::Get_FileInfo(const std::string& strFileName) {
    try {
        if (IsBlank(strFileName)) return false;
        return FillFileInfo(strFileName);
    } catch (const RuntimeError&) {
        return false;
    }
}

bool clsFSO::IsFileHidden(const std::string& strFileName) {
    try {
        if (IsBlank(strFileName)) return false;
        FillFileInfo(strFileName);
        const bool hidden = fileInfo_.Attributes.find('H') != std::string::npos;
        vb::MsgBox(fileInfo_.Attributes, vb::vbOKOnly);
        return hidden;
    } catch (const RuntimeError&) {
        return false;
    }
}

std::string clsFSO::Attribute_String(std::int32_t lngValue) {
    if (lngValue == 8) return "V";
    if (lngValue == 64) return "Alias";
    if (lngValue <= 0 || (lngValue & ~0x37) != 0) return "";
    std::string letters;
    if (lngValue & 16) letters += "D";
    if (lngValue & 1) letters += "R";
    if (lngValue & 2) letters += "H";
    if (lngValue & 4) letters += "S";
    if (lngValue & 32) letters += "A";
    return letters;
}

void clsFSO::Move_Dir(const std::string& sSource, const std::string& sDestination) {
    SkipErrors([&] { fso::MoveFolder(sSource, sDestination); });
}

bool clsFSO::Move_File(const std::string& strSource, const std::string& strTarget, bool boolOverwrite) {
    return CopyOrMove(strSource, strTarget, boolOverwrite, true);
}

bool clsFSO::Copy_File(const std::string& strSource, const std::string& strTarget, bool boolOverwrite) {
    return CopyOrMove(strSource, strTarget, boolOverwrite, false);
}

bool clsFSO::CopyOrMove(const std::string& strSource, const std::string& strTarget, bool boolOverwrite, bool move) {
    const std::string member = move ? "Move_File" : "Copy_File";
    try {
        if (!CommonModule::DoesFileExist(strSource)) {
            DPrint("clsFSO\\" + member + " - Source file does not exist, aborting routine.");
            if (!move) DPrint("File:  \t" + strSource);
            return false;
        }
        // A target that is the source itself: a copy has nothing to do, a
        // move to another letter case renames in place. Deleting the
        // "existing target" first would delete the only copy.
        if (platform::IsSameFile(strSource, strTarget)) {
            if (move) vb::Name(strSource, strTarget);
            return true;
        }
        if (CommonModule::DoesFileExist(strTarget)) {
            if (!boolOverwrite) {
                const std::string question = "File already exist at\r\n" + strTarget + "\r\n" +
                                             fileInfo_.DateLastModified + "\r\n" + fileInfo_.Size +
                                             "\r\n\r\nDo you want to replace it?";
                if (vb::MsgBox(question, vb::vbYesNo | vb::vbQuestion, "Replace File?") == vb::vbNo) return false;
            }
            vb::SetAttr(strTarget, vb::vbNormal);
            vb::Kill(strTarget);
        }
        const int attributes = vb::GetAttr(strSource);
        if (move)
            fso::MoveFile(strSource, strTarget);
        else
            fso::CopyFile(strSource, strTarget, true);
        // A target folder ("...\") receives the file; the attributes belong to the file, not the folder.
        const bool intoFolder = !strTarget.empty() && strTarget.back() == '\\';
        vb::SetAttr(intoFolder ? strTarget + fso::GetFileName(strSource) : strTarget, attributes);
        return true;
    } catch (const RuntimeError& e) {
        LogStandardError(member, e);
        DPrint(std::string(move ? "Error while moving a file:" : "Error while copying a file:") + "\t");
        DPrint("FROM: \t" + strSource);
        DPrint("TO:   \t" + strTarget);
        DPrint("Note TO: path may need a trailing backslash!\t");
        return false;
    }
}

bool clsFSO::DelTree32(const std::string& strPath) {
    try {
        const CommonModule::FSRedirectionOff redirectionOff;
        fso::DeleteFolder(strPath, true);
        return true;
    } catch (const RuntimeError& e) {
        LogStandardError("DelTree32", e);
        DPrint("- Error deleting path:  \t" + strPath);
        return false;
    }
}

std::string clsFSO::Add_Trailing_Slash(const std::string& strPath) {
    const std::string path = vb::Trim(strPath);
    return !path.empty() && path.back() == '\\' ? path : path + "\\";
}

std::string clsFSO::Remove_Trailing_Slash(const std::string& strPath) {
    std::string path = vb::Trim(strPath);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::vector<std::string> clsFSO::TextSearch(const std::string& strPath, const std::string& strText) {
    std::vector<std::string> matches;
    matches.reserve(101);
    LogAndSkip("TextSearch", [&] {
        const std::string wanted = vb::LCase(strText);
        for (const std::string& file : fso::FilesOf(strPath)) {
            LogAndSkip("TextSearch", [&] {
                if (vb::LCase(fso::ReadAllText(file)).find(wanted) != std::string::npos)
                    matches.push_back(file);
            });
        }
    });
    if (matches.empty()) return {"N/A", ""};
    return matches;
}

std::string clsFSO::Get_Totals(const std::string& strPath, std::int16_t intDataType, const std::string& strPattern,
                               bool blnSearchSubfolders) {
    if (intDataType < 1 || intDataType > 4 || IsBlank(strPath)) return "0";
    std::time_t since = 0;
    if (intDataType >= 2) {
        const auto date = DateValue(strPattern);
        if (!date) {
            vb::MsgBox("An invalid date was passed.", vb::vbInformation, "Invalid date format");
            return "0";
        }
        since = *date;
    }
    double total = 0;
    std::string entry;
    try {
        std::string list = Get_FileList(strPath, blnSearchSubfolders, strPattern);
        if (!list.empty() && list.back() == ';') list.pop_back();
        for (const std::string& item : Split(list, ";")) {
            entry = item;
            if (IsBlank(item)) break;
            Get_FileInfo(item);
            if (intDataType == 1) {
                total += NumberOf(fileInfo_.Size);
            } else {
                const std::string& field = intDataType == 2   ? fileInfo_.DateLastAccessed
                                           : intDataType == 3 ? fileInfo_.DateLastModified
                                                              : fileInfo_.DateCreated;
                if (DateOrMismatch(DatePartOf(field)) < since) continue;
                total += 1;
            }
            if (CountTotals) CountTotals(total, item);
        }
    } catch (const RuntimeError& e) {
        std::string size = fileInfo_.Size;
        try {
            size = WithThousands(FormatWhole(NumberOf(fileInfo_.Size)));
        } catch (const RuntimeError&) {
        }
        vb::MsgBox("Error: " + std::to_string(e.Number()) + "  " + e.Description() + "\r\n\r\nFile: " + entry +
                       "\r\nSize: " + size + "\r\nCreated:  " + fileInfo_.DateCreated + "\r\nModified: " +
                       fileInfo_.DateLastModified + "\r\nAccessed: " + fileInfo_.DateLastAccessed,
                   vb::vbInformation, "Errors detected");
        return "";
    }
    return FormatWhole(total);
}

std::string clsFSO::Get_FileList(const std::string& strPath, bool blnSearchSubfolders, const std::string& strPattern) {
    if (strPath.empty()) {
        DPrint("cFSO\\Get_FileList - Passed no string, aborting!");
        return "";
    }
    std::string list;
    // True when the member ends here with the list built so far.
    const auto trapped = [&](const RuntimeError& e) {
        LogStandardError("Get_FileList", e);
        DPrint("clsFSO\\Get_FileList -      DIR: " + strPath);
        if (e.Number() != 5 && e.Number() != 91 && e.Number() != 92) return false;
        DPrint("Aborting function...\t");
        return true;
    };
    vb::DoEvents();
    if (CancelProcessing) return "";
    const bool everyFile = strPattern == "*.*" || strPattern.find('*') == std::string::npos;
    const std::string extension = vb::LCase(fso::GetExtensionName(strPattern));
    std::optional<std::string> folder;
    try {
        folder = fso::GetFolder(strPath);
    } catch (const RuntimeError& e) {
        if (trapped(e)) return list;
    }
    try {
        if (!folder) throw ObjectVariableNotSet();
        for (const std::string& file : fso::FilesOf(*folder)) {
            vb::DoEvents();
            if (CancelProcessing) break;
            if (everyFile) {
                list += file + ";";
            } else if (vb::LCase(fso::GetExtensionName(file)) == extension) {
                list += file + ";";
                dblCount_ += 1;
                if (CountFiles) CountFiles(dblCount_, file);
            }
        }
    } catch (const RuntimeError& e) {
        if (trapped(e)) return list;
    }
    vb::DoEvents();
    if (CancelProcessing) return "";
    if (!blnSearchSubfolders) return list;
    try {
        if (!folder) throw ObjectVariableNotSet();
        for (const std::string& subfolder : fso::SubFoldersOf(*folder)) {
            vb::DoEvents();
            if (CancelProcessing) break;
            list += Get_FileList(subfolder, blnSearchSubfolders, strPattern);
        }
    } catch (const RuntimeError& e) {
        if (trapped(e)) return list;
    }
    return list;
}

std::string clsFSO::Get_DirList(const std::string& strPath, bool bRecurseSubs) {
    if (strPath.empty()) {
        DPrint("cFSO\\Get_DirList - Passed no string, aborting!");
        return "";
    }
    std::string list;
    try {
        for (const std::string& subfolder : fso::SubFoldersOf(strPath)) {
            vb::DoEvents();
            if (CancelProcessing) break;
            list += subfolder + ";";
            if (bRecurseSubs) list += Get_DirList(subfolder, true) + ";";
        }
    } catch (const RuntimeError& e) {
        LogStandardError("Get_DirList", e);
        DPrint("clsFSO\\Get_DirList -      DIR: " + strPath);
        if (e.Number() != 5) {
            DPrint("Aborting function...\t");
            return "";
        }
    }
    vb::DoEvents();
    if (CancelProcessing) return "";
    if (!list.empty() && list.back() == ';') list.pop_back();
    return list;
}

std::string clsFSO::Create_Tmp_Filename() {
    std::string folder;
    return Create_Tmp_Filename(folder);
}

namespace {

std::string TemporaryFolder(clsFSO& self) {
    char buffer[win::MAX_PATH + 1] = {};
    if (win::GetTempPathA(win::MAX_PATH, buffer) == 0) return "C:\\";
    return self.Add_Trailing_Slash(self.Remove_Nulls(std::string(buffer, win::MAX_PATH)));
}

}  // namespace

std::string clsFSO::Create_Tmp_Filename(std::string& strTmpFolder) {
    std::string result;
    LogAndSkip("Create_Tmp_Filename", [&] {
        if (IsBlank(strTmpFolder)) strTmpFolder = TemporaryFolder(*this);
        const std::string prefix = Create_Tmp_Name(4);
        char name[win::MAX_PATH + 1] = {};
        win::GetTempFileNameA(strTmpFolder, prefix, 0, name);
        result = Remove_Nulls(std::string(name, win::MAX_PATH));
    });
    DPrint("clsFSO\\Create_Tmp_Filename: " + result);
    return result;
}

std::string clsFSO::Create_Tmp_Folder() {
    std::string result;
    LogAndSkip("Create_Tmp_Folder", [&] {
        const std::string name = Create_Tmp_Name(8);
        const std::string path = Remove_Trailing_Slash(TemporaryFolder(*this) + name);
        if (!CommonModule::DoesDirExist(path)) vb::MkDir(path);
        result = path + "\\";
    });
    DPrint("clsFSO\\Create_Tmp_Folder: " + result);
    return result;
}

double clsFSO::GetDirSize(const std::string& sDir) {
    double size = 0;
    SkipErrors([&] { size = static_cast<double>(fso::FolderSize(sDir)); });
    return size;
}

std::string clsFSO::Remove_Nulls(const std::string& strInput) { return strInput.substr(0, strInput.find('\0')); }

std::string clsFSO::Create_Tmp_Name(std::int16_t intLength) {
    if (intLength < 1) return "";
    std::string name = "_";
    SkipErrors([&] {
        while (name.size() < static_cast<size_t>(intLength)) {
            int code = static_cast<int>(std::floor(Rnd2(48, 122)));
            if ((code >= 58 && code <= 64) || (code >= 91 && code <= 96)) code += 7;
            name += static_cast<char>(code);
        }
    });
    return vb::LCase(name);
}

float clsFSO::Rnd2(float sngLow, float sngHigh) {
    vb::DoEvents();
    // Seeded once per process: a seed from the clock on every call repeats
    // the same numbers within one clock tick.
    const float unit = static_cast<float>(Generator()() >> 8) / 16777216.0f;
    const float value = unit * (sngHigh - sngLow) + sngLow;
    if (sngHigh > sngLow && value >= sngHigh) return std::nextafter(sngHigh, sngLow);
    return value;
}

std::string clsFSO::BrowseForFolder(QWidget* frm, const std::string& strPrompt) {
    std::string result;
    LogAndSkip("BrowseForFolder", [&] {
        win::BROWSEINFOA info;
        info.owner = frm;
        info.lpszTitle = strPrompt;
        info.ulFlags = win::BIF_RETURNONLYFSDIRS;
        win::PIDLIST_ABSOLUTE picked = win::SHBrowseForFolderA(info);
        if (!picked) return;
        char path[win::MAX_PATH + 1] = {};
        win::SHGetPathFromIDListA(picked, path);
        win::CoTaskMemFree(picked);
        result = Remove_Nulls(std::string(path, win::MAX_PATH));
    });
    DPrint("clsFSO\\BrowseForFolder - Returned: " + result);
    return result;
}

std::string clsFSO::Shrink_2_Fit(const std::string& strPath_to_Resize, std::int16_t intMaxLen) {
    const std::string path = vb::Trim(strPath_to_Resize);
    if (static_cast<long>(path.size()) <= intMaxLen) return path;
    if (path.rfind("\\\\", 0) != 0 && !(path.size() >= 2 && path[1] == ':')) return path;
    const size_t first = path.find('\\', 2);
    const size_t p = first + 1;  // counted from 1
    // Nothing to cut at after the head: the text stays as it is.
    if (first == std::string::npos || path.find('\\', p) == std::string::npos) return path;
    const std::string head = path.substr(0, p) + "...";
    const long limit = static_cast<long>(intMaxLen) - static_cast<long>(p + 3);
    std::string rest = path;
    do {
        if (rest.size() <= p) break;
        const size_t slash = rest.find('\\', p);
        if (slash == std::string::npos) break;
        rest = rest.substr(slash);
    } while (static_cast<long>(rest.size()) > limit);
    return head + rest;
}

bool clsFSO::Get_Disk_Space(const std::string& strDrive, double& dblTotalSpace, double& dblFreeSpace,
                            double& dblUsedSpace) {
    const std::string trimmed = vb::Trim(strDrive);
    if (trimmed.empty()) return false;
    const std::string drive = trimmed.substr(0, 1) + ":";
    bool extended = false;
    try {
        std::uint64_t callerFree = 0, total = 0, free = 0;
        if (win::GetDiskFreeSpaceExA(drive, &callerFree, &total, &free)) {
            dblTotalSpace = static_cast<double>(total);
            dblFreeSpace = static_cast<double>(free);
            dblUsedSpace = dblTotalSpace - dblFreeSpace;
            extended = dblTotalSpace > 2200000000.0;
        }
    } catch (const RuntimeError&) {
    }
    bool fallback = false;
    if (!extended) {
        dblTotalSpace = 0;
        dblFreeSpace = 0;
        SkipErrors([&] {
            win::DWORD sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
            fallback = win::GetDiskFreeSpaceA(drive, &sectors, &bytes, &freeClusters, &totalClusters) != 0;
            const double cluster = static_cast<double>(sectors) * bytes;
            dblFreeSpace = freeClusters * cluster;
            dblTotalSpace = totalClusters * cluster;
            dblUsedSpace = dblTotalSpace - dblFreeSpace;
        });
    }
    return extended || fallback;
}

void clsFSO::FileToArray(const std::string& Filename, std::vector<std::string>& TheArray) {
    if (!CommonModule::DoesFileExist(Filename)) {
        DPrint("clsFSO\\FileToArray: failed");
        DPrint("- File Not Found:\t" + Filename);
        DPrint("- Creating dummy file to proceed with array creation.\t");
        // The dummy holds the one empty line the writer ends every text
        // with; it stands for no lines, so the array stays as passed.
        CommonModule::SaveTextToFile(Filename, "", false, false);
        return;
    }
    size_t lines = 0;
    try {
        vb::TextFile file(Filename, vb::TextFile::Mode::Input);
        while (!file.Eof()) {
            TheArray.resize(lines + 1);
            TheArray[lines] = file.LineInput();
            // The windows stay alive through a long list without paying a yield per line.
            if (++lines % 256 == 0) vb::DoEvents();
        }
        file.Close();
    } catch (const RuntimeError& e) {
        LogStandardError("FileToArray", e);
        DPrint("lCtr: " + std::to_string(lines));
    }
}

bool clsFSO::RenFile(const std::string& sOriginalPathAndFileName, std::string& sNewFileNameOnly,
                     bool bOverwriteIfExist) {
    bool result = false;
    LogAndSkip("RenFile", [&] {
        sNewFileNameOnly =
            CommonModule::StripNameFromPath(sOriginalPathAndFileName) + "\\" + CommonModule::StripPath(sNewFileNameOnly);
    });
    const std::string& newPath = sNewFileNameOnly;
    const bool sameFile = platform::IsSameFile(sOriginalPathAndFileName, newPath);
    bool stop = false;
    LogAndSkip("RenFile", [&] {
        if (sameFile || !File_Exist(newPath)) return;
        if (!bOverwriteIfExist) {
            DPrint("clsFSO\\RenFile: Failed, exiting function.");
            DPrint("- File Already Exists: \t" + newPath);
            DPrint("- Input: \t" + sOriginalPathAndFileName);
            stop = true;
            return;
        }
        KillFile(newPath);
    });
    if (stop) return false;
    LogAndSkip("RenFile", [&] {
        if (File_Exist(sOriginalPathAndFileName)) return;
        DPrint("clsFSO\\RenFile: Failed.");
        DPrint("- File Not Found: \t" + sOriginalPathAndFileName);
        stop = true;
    });
    if (stop) return false;
    LogAndSkip("RenFile", [&] { vb::Name(sOriginalPathAndFileName, newPath); });
    LogAndSkip("RenFile", [&] {
        // A rename to another letter case leaves the same file behind the old path.
        const bool renamed = sameFile ? fso::GetFile(newPath).Name == fso::GetFileName(newPath)
                                      : !File_Exist(sOriginalPathAndFileName);
        DPrint("clsFSO\\RenFile: Rename to \"" + newPath + "\"" + (renamed ? " succeeded." : " failed."));
        DPrint("- Input: \t" + sOriginalPathAndFileName);
        result = renamed;
    });
    return result;
}

std::time_t clsFSO::GetFileCreationDate(const std::string& sTargetFile) {
    if (!CommonModule::DoesFileExist(sTargetFile)) return ZeroDate();
    Get_FileInfo(sTargetFile);
    return DateOrMismatch(fileInfo_.DateCreated);
}

void clsFSO::ResetAttributes(const std::string& sTargetFile) {
    bool subfolders = false;
    std::int32_t windowStyle = 0;
    std::string owner, grantee;
    modTakeOwn::TakeOwnership(sTargetFile, subfolders, windowStyle, owner, grantee);
    SetOwnerFS::ChangeOwnerOfFile(sTargetFile, "");
    {
        const CommonModule::FSRedirectionOff redirectionOff;
        vb::SetAttr(sTargetFile, vb::vbNormal);
    }
    win::SetFileAttributesA(sTargetFile, win::FILE_ATTRIBUTE_ARCHIVE);
}

std::string clsFSO::ReturnNewerFile(const std::string& sFile1, const std::string& sFile2) {
    std::string result = sFile1;
    SkipErrors([&] {
        const std::time_t first = GetFileCreationDate(sFile1), second = GetFileCreationDate(sFile2);
        if (first > second)
            result = sFile1;
        else if (second > first)
            result = sFile2;
        else if (CommonModule::DoesFileExist(sFile1))
            result = sFile1;
        else if (CommonModule::DoesFileExist(sFile2))
            result = sFile2;
    });
    return result;
}

std::string clsFSO::ReturnNewestFileFromSpec(const std::string& sFilePath, const std::string& sFileSpec,
                                             bool bScanSubDirs) {
    std::string newest;
    SkipErrors([&] {
        std::vector<std::string> files;
        CommonModule::FindFiles(sFilePath, sFileSpec, files, bScanSubDirs);
        for (const std::string& file : files) {
            if (file.empty()) continue;
            if (newest.empty())
                newest = file;
            else if (ReturnNewerFile(newest, file) == file)
                newest = file;
        }
    });
    return newest;
}
