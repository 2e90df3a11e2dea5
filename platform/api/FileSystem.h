#pragma once
// Files and folders of the emulated machine through Windows paths: the file
// tests, attributes, copies, moves, temporary names, drives and free space,
// file versions, directory searches, the shell's move, the run time's file
// statements and text files, and the operations of Scripting.FileSystemObject.
//
// Attributes: read-only is the owner's write bit; hidden, system and archive
// are a number in the extended attribute user.dosattrib where the file system
// has extended attributes. A file without a stored number is archive, a folder
// plain. The layer enforces read-only itself, for every user including root.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/api/WinTypes.h"

namespace win {

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr UINT OF_EXIST = 0x4000;

// HFILE_ERROR when the path is not an openable file (a folder is not).
HFILE OpenFile(const std::string& fileName, UINT style);
// FILE_ATTRIBUTE_NORMAL when a file has none of the others.
DWORD GetFileAttributesA(const std::string& fileName);
// Read-only, hidden, system and archive; FILE_ATTRIBUTE_NORMAL alone clears them.
BOOL SetFileAttributesA(const std::string& fileName, DWORD attributes);
BOOL CreateDirectoryA(const std::string& path);
BOOL RemoveDirectoryA(const std::string& path);   // a drive root is refused
BOOL DeleteFileA(const std::string& path);        // a read-only file is refused
// Creates every folder of the path up to its last backslash.
BOOL MakeSureDirectoryPathExists(const std::string& path);
// 0, ERROR_ALREADY_EXISTS, or the failure's code.
int SHCreateDirectoryExA(HWND owner, const std::string& path);

constexpr UINT FO_MOVE = 1;
constexpr UINT FOF_RENAMEONCOLLISION = 0x8;
constexpr UINT FOF_NOCONFIRMATION = 0x10;
constexpr UINT FOF_NOCONFIRMMKDIR = 0x200;
constexpr UINT FOF_NOCOPYSECURITYATTRIBS = 0x800;
// Moves a file or folder (within or across drives); 0 on success. A file
// in the target folder whose name differs only in letter case is replaced
// (it keeps its name), as one name on Windows.
int SHFileOperationMove(const std::string& from, const std::string& to, UINT flags);

constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD MAX_PATH = 260;

// Copies and moves leave a file named *.exe runnable (platform::MakeExeRunnable).
// The copy takes the source's attributes and the archive bit. A read-only
// target is refused (ERROR_ACCESS_DENIED); failIfExists refuses any target (80).
BOOL CopyFileA(const std::string& existingFileName, const std::string& newFileName, BOOL failIfExists);

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
// A file or folder to a new name. An existing target is refused (183) unless
// MOVEFILE_REPLACE_EXISTING (files only; a read-only target stays refused).
// A target that is the source itself in other letter case renames it in place.
BOOL MoveFileA(const std::string& existingFileName, const std::string& newFileName);
BOOL MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags);

// TMP, TEMP, USERPROFILE, then the Windows folder, with a trailing backslash.
// The length copied without its NUL, or the size needed when the buffer is
// too small (nothing copied).
DWORD GetTempPathA(DWORD bufferLength, char* buffer);
// <path>\<up to 3 characters of prefix><hex number>.tmp. With unique 0 a new
// number is chosen and the file created empty; otherwise only the name is
// made. The number used, or 0 (ERROR_DIRECTORY for a missing folder).
// tempFileName holds MAX_PATH characters.
UINT GetTempFileNameA(const std::string& pathName, const std::string& prefixString, UINT unique, char* tempFileName);

// "C:\", NUL, "D:\", NUL ... and a final NUL for the mapped drives in
// letter order. The length without the final NUL, or the size needed.
DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer);

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;
// A mapped drive is fixed unless host.ini [DriveTypes] names its letter
// (a number 2 to 6, or removable, fixed, remote, cdrom, ramdisk); any other
// root is DRIVE_NO_ROOT_DIR. An empty root means drive C:.
UINT GetDriveTypeA(const std::string& rootPathName);
// Succeeds when the drive's folder is there (ERROR_NOT_READY otherwise).
// Output pointers may be null; name buffers hold the sizes given.
BOOL GetVolumeInformationA(const std::string& rootPathName, char* volumeNameBuffer, DWORD volumeNameSize,
                           DWORD* volumeSerialNumber, DWORD* maximumComponentLength, DWORD* fileSystemFlags,
                           char* fileSystemNameBuffer, DWORD fileSystemNameSize);
// Free and total bytes of the file system that holds the folder (statvfs);
// host.ini [DriveSpace] D=<total bytes>,<free bytes> fixes a mapped drive's sizes.
BOOL GetDiskFreeSpaceExA(const std::string& directoryName, std::uint64_t* freeBytesAvailableToCaller,
                         std::uint64_t* totalNumberOfBytes, std::uint64_t* totalNumberOfFreeBytes);
// The same in clusters of the drive; counts above 32 bits are capped.
BOOL GetDiskFreeSpaceA(const std::string& rootPathName, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* numberOfFreeClusters, DWORD* totalNumberOfClusters);

// File versions: the VS_VERSION_INFO resource of a PE file. 0 / FALSE
// (ERROR_RESOURCE_TYPE_NOT_FOUND) for a file without one.
DWORD GetFileVersionInfoSizeA(const std::string& fileName, DWORD* handle);
BOOL GetFileVersionInfoA(const std::string& fileName, DWORD handle, DWORD length, void* data);
// "\" gives the VS_FIXEDFILEINFO of a block that GetFileVersionInfoA filled.
BOOL VerQueryValueA(const void* block, const std::string& subBlock, const void** buffer, UINT* length);

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

}  // namespace win

namespace vb {

constexpr int vbNormal = 0;
constexpr int vbReadOnly = 1;
constexpr int vbHidden = 2;
constexpr int vbSystem = 4;
constexpr int vbDirectory = 16;
constexpr int vbArchive = 32;

// Attributes of a file or folder; error 53 when it does not exist.
int GetAttr(const std::string& path);
// Error 53 when it does not exist, 75 when it cannot be changed.
void SetAttr(const std::string& path, int attributes);
// Bytes of a file; error 53 when it is missing.
std::int64_t FileLen(const std::string& path);
// Last-modified time; error 53 when it is missing.
std::time_t FileDateTime(const std::string& path);
// Error 53 (missing source), 75 (read-only target, or a folder), 76 (missing folder).
void FileCopy(const std::string& source, const std::string& destination);
// Renames or moves a file or folder: 53 (missing), 58 (target exists),
// 74 (another drive), 75 (refused). Another letter case of the same name
// renames in place.
void Name(const std::string& oldPath, const std::string& newPath);
// Error 75 when it exists or cannot be made, 76 when the parent is missing.
void MkDir(const std::string& path);
// Deletes files matching a name or pattern; error 53 when none matches.
void Kill(const std::string& pathOrPattern);

// All names a directory search of folder\pattern returns, in the platform's
// order (case-insensitive name order). As the run time's Dir: files of normal
// attributes always, hidden, system and folders only when asked for; "." and
// ".." come first for a folder that is not a drive root when folders are asked for.
std::vector<std::string> DirList(const std::string& folderAndPattern, int attributes);

// A text file opened the way the run time opens one.
class TextFile {
public:
    enum class Mode { Input, Output, Append };
    // Error 53 (Input of a missing file), 76 (missing folder), 75 (read-only or a folder).
    TextFile(const std::string& path, Mode mode);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    void PrintLine(const std::string& text);   // the text and CR LF
    bool Eof();
    std::string LineInput();                   // one line without its CR LF / LF
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vb

namespace platform {

// True when both paths name one existing file or folder (the same path, or
// another letter case of it).
bool IsSameFile(const std::string& a, const std::string& b);

struct FileTimes {
    std::time_t created = 0;
    std::time_t accessed = 0;
    std::time_t modified = 0;
};
// The creation time is the one stored by SetFileTimes, else the file
// system's birth time, else the last change. False when the path is missing.
bool GetFileTimes(const std::string& path, FileTimes& times);
bool SetFileTimes(const std::string& path, const FileTimes& times);

}  // namespace platform

// The operations of Scripting.FileSystemObject. Failures raise the run time's
// errors as the object does: 53 file not found, 58 file already exists,
// 68 device unavailable, 70 permission denied, 76 path not found.
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

namespace platform {

// On Windows a file named *.exe runs whoever wrote it: here it gets the
// execute bits its read bits allow (before it is started, or when an update
// puts it in place). Other names, and files already runnable, stay as they are.
void MakeExeRunnable(const std::filesystem::path& hostPath);

}  // namespace platform
