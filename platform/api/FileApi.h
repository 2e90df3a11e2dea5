#pragma once
// The Windows file calls on the files and folders of the emulated machine,
// through Windows paths: file tests, attributes, copies, moves, temporary
// names, drives and free space, file versions and the shell's move.
// Attributes are kept as HostFiles.h says; the layer enforces read-only
// itself, for every user including root.
#include <cstdint>
#include <ctime>
#include <filesystem>
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

// On Windows a file named *.exe runs whoever wrote it: here it gets the
// execute bits its read bits allow (before it is started, or when an update
// puts it in place). Other names, and files already runnable, stay as they are.
void MakeExeRunnable(const std::filesystem::path& hostPath);

}  // namespace platform
