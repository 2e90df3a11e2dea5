#pragma once
// The operations of Scripting.FileSystemObject on the files of the emulated
// machine. Failures raise the run time's errors as the object does: 53 file
// not found, 58 file already exists, 68 device unavailable, 70 permission
// denied, 76 path not found.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace fso {

// The text parts of a path, as the object takes them apart: a trailing
// backslash is ignored, the parent of a file in a root is the root.
std::string GetFileName(const std::string& path);
std::string GetBaseName(const std::string& path);
std::string GetExtensionName(const std::string& path);
std::string GetParentFolderName(const std::string& path);
std::string GetDriveName(const std::string& path);   // "C:" or the empty text

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
bool DriveExists(const std::string& driveSpec);

// File.Attributes values.
constexpr int Normal = 0;
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int System = 4;
constexpr int Volume = 8;
constexpr int Directory = 16;
constexpr int Archive = 32;

struct File {
    std::string Drive;          // "C:"
    std::string Path;
    std::string Name;
    std::string ParentFolder;
    std::uint64_t Size = 0;
    std::string Type;           // "Text Document", "TMP File", "File", ...
    std::time_t DateCreated = 0;
    std::time_t DateLastAccessed = 0;
    std::time_t DateLastModified = 0;
    int Attributes = 0;
};
File GetFile(const std::string& path);   // 53

// Drive.DriveType values.
constexpr int UnknownType = 0;
constexpr int Removable = 1;
constexpr int Fixed = 2;
constexpr int Remote = 3;
constexpr int CDRom = 4;
constexpr int RamDisk = 5;

struct Drive {
    std::string DriveLetter;
    std::string Path;           // "C:"
    std::string RootFolder;     // "C:\"
    int DriveType = UnknownType;
    bool IsReady = false;
};
Drive GetDrive(const std::string& driveSpec);   // 68 for a drive that is not there

// The folder's path without a trailing backslash (except a root); 76 when missing.
std::string GetFolder(const std::string& path);
// Full paths of the files or subfolders of a folder in its listing order
// (case-insensitive name order); 76 when the folder is missing.
std::vector<std::string> FilesOf(const std::string& folder);
std::vector<std::string> SubFoldersOf(const std::string& folder);
// Bytes of every file in the tree; 76 when missing, 70 when a part cannot be read.
std::uint64_t FolderSize(const std::string& folder);

void CreateFolder(const std::string& path);                       // 58, 76
// force also removes read-only content; without it a read-only item gives 70.
void DeleteFile(const std::string& path, bool force = false);     // 53, 70
void DeleteFolder(const std::string& path, bool force = false);   // 76, 70
// A destination ending in "\" is a folder that receives the source.
void MoveFile(const std::string& source, const std::string& destination);                        // 53, 58, 70
void CopyFile(const std::string& source, const std::string& destination, bool overwrite = true);   // 53, 58, 70
void MoveFolder(const std::string& source, const std::string& destination);                      // 76, 58, 70
void CopyFolder(const std::string& source, const std::string& destination, bool overwrite = true);  // 76, 58, 70

// The file's version text "a.b.c.d", empty without a version resource.
std::string GetFileVersion(const std::string& path);
// The whole file as text (an ASCII text stream read to its end: in the code
// page, or as the file's own UTF-8 or UTF-16LE); 53.
std::string ReadAllText(const std::string& path);

}  // namespace fso
