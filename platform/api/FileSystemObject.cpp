#include "platform/api/FileSystemObject.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/HostFiles.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/HostFolder.h"
#include "platform/host/Text.h"
#include "platform/host/TextFile.h"
#include "platform/host/WinPath.h"

namespace fs = std::filesystem;
using namespace platform::files;

namespace fso {

namespace {

std::string WithoutTrailingSeparators(const std::string& path) {
    std::string text = path;
    while (text.size() > 1 && (text.back() == '\\' || text.back() == '/')) {
        if (text.size() == 3 && text[1] == ':') break;
        text.pop_back();
    }
    return text;
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

std::string Joined(const std::string& folder, const std::string& name) {
    return EndsWithSeparator(folder) ? folder + name : folder + "\\" + name;
}

std::string FileTypeOf(const std::string& extension) {
    const std::string lower = platform::TextLower(extension);
    if (lower.empty()) return "File";
    if (lower == "txt" || lower == "log") return "Text Document";
    if (lower == "ini") return "Configuration settings";
    if (lower == "exe") return "Application";
    if (lower == "dll") return "Application extension";
    return platform::TextUpper(extension) + " File";
}

struct stat StatOrThrow(const std::string& path, const RuntimeError& missing) {
    struct stat st {};
    if (!StatOf(Host(path), st)) throw missing;
    return st;
}

// The destination of a move or copy: into the folder when it ends in "\".
std::string DestinationOf(const std::string& source, const std::string& destination) {
    if (!EndsWithSeparator(destination)) return destination;
    if (!FolderExists(destination)) throw RuntimeError::PathNotFound();
    return destination + GetFileName(source);
}

void DeleteTree(const fs::path& folder, bool force) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && force) SetOwnerWritable(folder, st, true);
    for (const std::string& name : platform::ListFolderNames(folder)) {
        const fs::path item = folder / name;
        struct stat itemStat {};
        if (::lstat(item.c_str(), &itemStat) != 0) continue;
        if (S_ISDIR(itemStat.st_mode)) {
            DeleteTree(item, force);
            continue;
        }
        if (!S_ISLNK(itemStat.st_mode) && IsReadOnlyMode(itemStat.st_mode)) {
            if (!force || !SetOwnerWritable(item, itemStat, true)) throw RuntimeError::PermissionDenied();
        }
        if (::unlink(item.c_str()) != 0) throw RuntimeError::PermissionDenied();
    }
    if (::rmdir(folder.c_str()) != 0) throw RuntimeError::PermissionDenied();
}

std::uint64_t TreeSize(const fs::path& folder) {
    std::uint64_t total = 0;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) throw RuntimeError::PermissionDenied();
    for (const fs::directory_entry& entry : it) {
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            total += TreeSize(entry.path());
        else if (S_ISREG(st.st_mode))
            total += static_cast<std::uint64_t>(st.st_size);
    }
    return total;
}

std::vector<std::string> ItemsOf(const std::string& folder, bool folders) {
    const std::string path = GetFolder(folder);
    const auto host = Host(path);
    std::vector<std::string> items;
    for (const std::string& name : platform::ListFolderNames(*host)) {
        struct stat st {};
        if (::stat((*host / name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) == folders) items.push_back(Joined(path, name));
    }
    return items;
}

}  // namespace

std::string GetFileName(const std::string& path) {
    const std::string text = WithoutTrailingSeparators(path);
    if (text.size() == 3 && text[1] == ':') return "";
    const size_t cut = text.find_last_of("\\/:");
    return cut == std::string::npos ? text : text.substr(cut + 1);
}

std::string GetBaseName(const std::string& path) {
    const std::string name = GetFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string GetExtensionName(const std::string& path) {
    const std::string name = GetFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string GetParentFolderName(const std::string& path) {
    const std::string text = WithoutTrailingSeparators(path);
    if (text.size() == 3 && text[1] == ':') return "";
    const size_t slash = text.find_last_of("\\/");
    if (slash == std::string::npos) return text.size() > 2 && text[1] == ':' ? text.substr(0, 2) : std::string();
    std::string parent = text.substr(0, slash);
    while (parent.size() > 1 && (parent.back() == '\\' || parent.back() == '/')) parent.pop_back();
    if (parent.empty()) return text.substr(0, 1);
    if (parent.size() == 2 && parent[1] == ':') return parent + "\\";
    return parent;
}

std::string GetDriveName(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return StatOf(Host(path), st) && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return StatOf(Host(path), st) && S_ISDIR(st.st_mode);
}

bool DriveExists(const std::string& driveSpec) {
    const std::string letter = driveSpec.substr(0, 1);
    if (letter.empty() || !std::isalpha(static_cast<unsigned char>(letter[0]))) return false;
    if (driveSpec.size() > 1 && driveSpec[1] != ':') return false;
    const platform::DriveMapList drives = platform::DriveMap();
    return DriveOf(*drives, letter + ":") != nullptr;
}

File GetFile(const std::string& path) {
    const auto host = Host(path);
    struct stat st {};
    if (!StatOf(host, st) || S_ISDIR(st.st_mode)) throw RuntimeError::FileNotFound();
    File file;
    const std::string normal = platform::NormalizeWindowsPath(path);
    file.Name = host->filename().string();
    file.ParentFolder = GetParentFolderName(normal);
    file.Path = Joined(file.ParentFolder, file.Name);
    file.Drive = normal.substr(0, 2);
    file.Size = static_cast<std::uint64_t>(st.st_size);
    file.Type = FileTypeOf(GetExtensionName(file.Name));
    platform::FileTimes times;
    platform::GetFileTimes(path, times);
    file.DateCreated = times.created;
    file.DateLastAccessed = times.accessed;
    file.DateLastModified = times.modified;
    file.Attributes = static_cast<int>(AttributesOf(*host, st) & 0x37);
    return file;
}

Drive GetDrive(const std::string& driveSpec) {
    if (!DriveExists(driveSpec)) throw RuntimeError(68, "Quarnel", "Device unavailable");
    Drive drive;
    drive.DriveLetter = platform::TextUpper(driveSpec.substr(0, 1));
    drive.Path = drive.DriveLetter + ":";
    drive.RootFolder = drive.Path + "\\";
    const win::UINT type = win::GetDriveTypeA(drive.RootFolder);
    drive.DriveType = type >= win::DRIVE_REMOVABLE && type <= win::DRIVE_RAMDISK ? static_cast<int>(type) - 1 : UnknownType;
    drive.IsReady = win::GetVolumeInformationA(drive.RootFolder, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
    return drive;
}

std::string GetFolder(const std::string& path) {
    if (!FolderExists(path)) throw RuntimeError::PathNotFound();
    return platform::NormalizeWindowsPath(path);
}

std::vector<std::string> FilesOf(const std::string& folder) { return ItemsOf(folder, false); }

std::vector<std::string> SubFoldersOf(const std::string& folder) { return ItemsOf(folder, true); }

std::uint64_t FolderSize(const std::string& folder) { return TreeSize(*Host(GetFolder(folder))); }

void CreateFolder(const std::string& path) {
    const auto host = Host(path);
    if (host && Exists(*host)) throw RuntimeError::FileAlreadyExists();
    if (!host || !IsFolder(host->parent_path())) throw RuntimeError::PathNotFound();
    if (::mkdir(host->c_str(), 0777) != 0) throw RuntimeError::PermissionDenied();
}

void DeleteFile(const std::string& path, bool force) {
    const auto host = Host(path);
    const struct stat st = StatOrThrow(path, RuntimeError::FileNotFound());
    if (S_ISDIR(st.st_mode)) throw RuntimeError::FileNotFound();
    if (IsReadOnlyMode(st.st_mode) && (!force || !SetOwnerWritable(*host, st, true)))
        throw RuntimeError::PermissionDenied();
    if (::unlink(host->c_str()) != 0) throw RuntimeError::PermissionDenied();
}

void DeleteFolder(const std::string& path, bool force) {
    const auto host = Host(path);
    if (!FolderExists(path)) throw RuntimeError::PathNotFound();
    if (platform::IsDriveRoot(path)) throw RuntimeError::PermissionDenied();
    DeleteTree(*host, force);
}

// A file or folder moved to a destination that must not hold another one.
static void MoveEntry(const std::string& source, const std::string& destination) {
    const std::string target = DestinationOf(source, destination);
    const auto existing = Host(target);
    if (existing && Exists(*existing) && !platform::IsSameFile(source, target)) throw RuntimeError::FileAlreadyExists();
    if (!win::MoveFileExA(source, target, win::MOVEFILE_COPY_ALLOWED)) {
        if (win::GetLastError() == win::ERROR_PATH_NOT_FOUND) throw RuntimeError::PathNotFound();
        throw RuntimeError::PermissionDenied();
    }
}

void MoveFile(const std::string& source, const std::string& destination) {
    if (!FileExists(source)) throw RuntimeError::FileNotFound();
    MoveEntry(source, destination);
}

void CopyFile(const std::string& source, const std::string& destination, bool overwrite) {
    if (!FileExists(source)) throw RuntimeError::FileNotFound();
    const std::string target = DestinationOf(source, destination);
    if (platform::IsSameFile(source, target)) throw RuntimeError::PermissionDenied();
    if (FileExists(target) && !overwrite) throw RuntimeError::FileAlreadyExists();
    if (FolderExists(target)) throw RuntimeError::PermissionDenied();
    if (!win::CopyFileA(source, target, win::FALSE_)) {
        if (win::GetLastError() == win::ERROR_PATH_NOT_FOUND) throw RuntimeError::PathNotFound();
        throw RuntimeError::PermissionDenied();
    }
}

void MoveFolder(const std::string& source, const std::string& destination) {
    if (!FolderExists(source)) throw RuntimeError::PathNotFound();
    MoveEntry(source, destination);
}

void CopyFolder(const std::string& source, const std::string& destination, bool overwrite) {
    const std::string from = GetFolder(source);
    const std::string target = DestinationOf(source, destination);
    if (FileExists(target)) throw RuntimeError::FileAlreadyExists();
    if (!FolderExists(target)) CreateFolder(target);
    for (const std::string& file : FilesOf(from)) CopyFile(file, Joined(target, GetFileName(file)), overwrite);
    for (const std::string& folder : SubFoldersOf(from)) CopyFolder(folder, Joined(target, GetFileName(folder)), overwrite);
}

std::string GetFileVersion(const std::string& path) {
    win::DWORD handle = 0;
    const win::DWORD size = win::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return "";
    std::vector<unsigned char> block(size);
    if (!win::GetFileVersionInfoA(path, handle, size, block.data())) return "";
    const void* value = nullptr;
    win::UINT length = 0;
    if (!win::VerQueryValueA(block.data(), "\\", &value, &length)) return "";
    win::VS_FIXEDFILEINFO info{};
    std::memcpy(&info, value, sizeof info);
    return std::to_string(info.dwFileVersionMS >> 16) + "." + std::to_string(info.dwFileVersionMS & 0xFFFF) + "." +
           std::to_string(info.dwFileVersionLS >> 16) + "." + std::to_string(info.dwFileVersionLS & 0xFFFF);
}

std::string ReadAllText(const std::string& path) {
    const auto host = Host(path);
    if (!FileExists(path)) throw RuntimeError::FileNotFound();
    std::optional<std::string> text = platform::ReadTextFile(*host);
    if (!text) throw RuntimeError::PermissionDenied();
    return std::move(*text);
}

}  // namespace fso
