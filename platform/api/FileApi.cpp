#include "platform/api/FileApi.h"
#include "platform/api/WinError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "platform/api/Environment.h"
#include "platform/api/HostFiles.h"
#include "platform/host/HostFolder.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/SystemInfo.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"
#include "platform/host/TextFile.h"

namespace fs = std::filesystem;
using namespace platform::files;

namespace {

constexpr const char* kCreationTime = "user.dosctime";

bool MakeFolders(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}

bool MoveAcross(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    if (ec != std::errc::cross_device_link) return false;
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing | fs::copy_options::copy_symlinks, ec);
    if (ec) return false;
    fs::remove_all(from, ec);
    return !ec;
}

// The host path of a target name: its folder resolved as any path, its last
// component exactly as given (a new name keeps the case it is given).
std::optional<fs::path> HostOfNewName(const std::string& windowsPath) {
    const std::string normal = platform::NormalizeWindowsPath(windowsPath);
    if (normal.empty() || platform::IsDriveRoot(normal)) return Host(normal);
    const size_t slash = normal.rfind('\\');
    const auto folder = Host(normal.substr(0, slash + 1));
    if (!folder) return std::nullopt;
    return *folder / normal.substr(slash + 1);
}

constexpr win::DWORD kErrorInvalidName = 123;

bool EndsInSeparator(const std::string& name) { return !name.empty() && (name.back() == '\\' || name.back() == '/'); }

win::BOOL Fail(win::DWORD code) {
    win::SetLastError(code);
    return win::FALSE_;
}

void CopyToBuffer(const std::string& text, char* buffer) {
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
}

fs::path CollisionName(const fs::path& target) {
    const std::string stem = target.stem().string(), extension = target.extension().string();
    for (int n = 2;; ++n) {
        fs::path candidate = target.parent_path() / (stem + " (" + std::to_string(n) + ")" + extension);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
    }
}

}  // namespace

namespace win {

HFILE OpenFile(const std::string& fileName, UINT style) {
    // A name that ends in a separator names no file, whatever is on the disk.
    if (EndsInSeparator(fileName)) {
        SetLastError(kErrorInvalidName);
        return HFILE_ERROR;
    }
    const auto path = Host(fileName);
    struct stat st {};
    if (!path || ::stat(path->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return HFILE_ERROR;
    }
    return (style & OF_EXIST) ? 1 : HFILE_ERROR;
}

DWORD GetFileAttributesA(const std::string& fileName) {
    const auto path = Host(fileName);
    struct stat st {};
    if (!path || ::stat(path->c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (EndsInSeparator(fileName) && !S_ISDIR(st.st_mode) && !platform::IsDriveRoot(fileName)) {
        SetLastError(kErrorInvalidName);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attributes = AttributesOf(*path, st);
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL SetFileAttributesA(const std::string& fileName, DWORD attributes) {
    const auto path = Host(fileName);
    struct stat st {};
    if (!StatOf(path, st)) return Fail(ERROR_FILE_NOT_FOUND);
    const DWORD wanted = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : (attributes & 0x27);
    const bool readOnly = (wanted & FILE_ATTRIBUTE_READONLY) != 0;
    // The extended attribute needs write access, so it goes first when the
    // item becomes read-only and last when it stops being read-only.
    if (readOnly) {
        if (!StoreDosAttributes(*path, wanted)) return Fail(ERROR_ACCESS_DENIED);
        return SetOwnerWritable(*path, st, false) ? TRUE_ : Fail(ERROR_ACCESS_DENIED);
    }
    if (!SetOwnerWritable(*path, st, true)) return Fail(ERROR_ACCESS_DENIED);
    return StoreDosAttributes(*path, wanted) ? TRUE_ : Fail(ERROR_ACCESS_DENIED);
}

BOOL CreateDirectoryA(const std::string& path) {
    const auto host = Host(path);
    if (!host) return SetLastError(ERROR_PATH_NOT_FOUND), FALSE_;
    if (::mkdir(host->c_str(), 0777) == 0) return TRUE_;
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : platform::ErrorOfErrno(errno));
    return FALSE_;
}

BOOL RemoveDirectoryA(const std::string& path) {
    const auto host = Host(path);
    if (!host || platform::IsDriveRoot(path)) return SetLastError(ERROR_ACCESS_DENIED), FALSE_;
    if (::rmdir(host->c_str()) == 0) return TRUE_;
    SetLastError(errno == ENOTEMPTY ? ERROR_ACCESS_DENIED : platform::ErrorOfErrno(errno));
    return FALSE_;
}

BOOL DeleteFileA(const std::string& path) {
    const auto host = Host(path);
    struct stat st {};
    if (!host || ::lstat(host->c_str(), &st) != 0) return SetLastError(ERROR_FILE_NOT_FOUND), FALSE_;
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0))
        return SetLastError(ERROR_ACCESS_DENIED), FALSE_;
    if (::unlink(host->c_str()) == 0) return TRUE_;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE_;
}

BOOL MakeSureDirectoryPathExists(const std::string& path) {
    const std::string folder = FolderOf(path);
    if (folder.empty()) return TRUE_;
    const auto host = Host(folder);
    if (!host) return SetLastError(ERROR_PATH_NOT_FOUND), FALSE_;
    return MakeFolders(*host) ? TRUE_ : (SetLastError(ERROR_ACCESS_DENIED), FALSE_);
}

int SHCreateDirectoryExA(HWND, const std::string& path) {
    if (path.size() < 3 || path[1] != ':') return static_cast<int>(ERROR_BAD_PATHNAME);
    const auto host = Host(path);
    if (!host) return static_cast<int>(ERROR_PATH_NOT_FOUND);
    std::error_code ec;
    if (fs::exists(*host, ec)) return static_cast<int>(ERROR_ALREADY_EXISTS);
    return MakeFolders(*host) ? 0 : static_cast<int>(ERROR_ACCESS_DENIED);
}

int SHFileOperationMove(const std::string& from, const std::string& to, UINT flags) {
    const auto source = Host(from), target = Host(to);
    std::error_code ec;
    if (!source || !target || !fs::exists(fs::symlink_status(*source, ec))) return 2;
    // Into a folder: the name is looked up there as Windows does, ignoring case.
    fs::path destination = *target;
    if (fs::is_directory(*target, ec)) {
        const auto named = Host(platform::ToWindowsPath(*target) + "\\" + source->filename().string());
        destination = named ? *named : *target / source->filename();
    }
    if (fs::equivalent(*source, destination, ec)) return 0;
    if (fs::exists(fs::symlink_status(destination, ec))) {
        if (flags & FOF_RENAMEONCOLLISION)
            destination = CollisionName(destination);
        else if (!fs::is_directory(destination, ec))
            fs::remove(destination, ec);
    }
    if (!MakeFolders(destination.parent_path())) return 0x7C;
    if (!MoveAcross(*source, destination)) return 0x7C;
    platform::MakeExeRunnable(destination);
    return 0;
}

BOOL CopyFileA(const std::string& existingFileName, const std::string& newFileName, BOOL failIfExists) {
    const auto source = Host(existingFileName);
    struct stat sourceStat {};
    if (!StatOf(source, sourceStat)) return Fail(ERROR_FILE_NOT_FOUND);
    if (S_ISDIR(sourceStat.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (platform::IsSameFile(existingFileName, newFileName)) return Fail(32);  // ERROR_SHARING_VIOLATION
    const auto target = HostOfNewName(newFileName);
    if (!target) return Fail(ERROR_PATH_NOT_FOUND);
    const auto existing = Host(newFileName);
    struct stat targetStat {};
    if (StatOf(existing, targetStat)) {
        if (failIfExists) return Fail(ERROR_FILE_EXISTS);
        if (S_ISDIR(targetStat.st_mode) || IsReadOnlyMode(targetStat.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    }
    const fs::path destination = StatOf(existing, targetStat) ? *existing : *target;
    if (!IsFolder(destination.parent_path())) return Fail(ERROR_PATH_NOT_FOUND);
    std::error_code ec;
    fs::copy_file(*source, destination, fs::copy_options::overwrite_existing, ec);
    if (ec) return Fail(platform::ErrorOfErrno(ec.value()));
    const timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    ::utimensat(AT_FDCWD, destination.c_str(), times, 0);
    platform::MakeExeRunnable(destination);
    const std::string destinationWindows = platform::ToWindowsPath(destination);
    const DWORD attributes = GetFileAttributesA(existingFileName);
    return SetFileAttributesA(destinationWindows, (attributes & 0x27) | FILE_ATTRIBUTE_ARCHIVE);
}

BOOL MoveFileA(const std::string& existingFileName, const std::string& newFileName) {
    return MoveFileExA(existingFileName, newFileName, 0);
}

BOOL MoveFileExA(const std::string& existingFileName, const std::string& newFileName, DWORD flags) {
    const auto source = Host(existingFileName);
    struct stat sourceStat {};
    if (!source || ::lstat(source->c_str(), &sourceStat) != 0) return Fail(ERROR_FILE_NOT_FOUND);
    const auto target = HostOfNewName(newFileName);
    if (!target) return Fail(ERROR_PATH_NOT_FOUND);
    // Looked up once: a new name costs a listing of its folder.
    const auto existing = Host(newFileName);
    std::error_code sameError;
    if (existing && fs::equivalent(*source, *existing, sameError)) {
        if (::rename(source->c_str(), target->c_str()) == 0) return TRUE_;
        return Fail(platform::ErrorOfErrno(errno));
    }
    struct stat targetStat {};
    fs::path destination = *target;
    if (existing && ::lstat(existing->c_str(), &targetStat) == 0) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
        if (S_ISDIR(targetStat.st_mode) || S_ISDIR(sourceStat.st_mode) || IsReadOnlyMode(targetStat.st_mode))
            return Fail(ERROR_ACCESS_DENIED);
        destination = *existing;
    }
    if (!IsFolder(destination.parent_path())) return Fail(ERROR_PATH_NOT_FOUND);
    if (::rename(source->c_str(), destination.c_str()) != 0) {
        if (errno != EXDEV) return Fail(platform::ErrorOfErrno(errno));
        if (!(flags & MOVEFILE_COPY_ALLOWED)) return Fail(17);  // ERROR_NOT_SAME_DEVICE
        if (!MoveAcross(*source, destination)) return Fail(ERROR_ACCESS_DENIED);
    }
    platform::MakeExeRunnable(destination);
    return TRUE_;
}

DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
    std::string folder;
    for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
        folder = vb::Environ(name);
        if (!folder.empty()) break;
    }
    if (folder.empty()) folder = vb::Environ("SystemRoot");
    if (folder.empty()) folder = "C:\\Windows";
    if (folder.back() != '\\') folder += '\\';
    if (!buffer || bufferLength < folder.size() + 1) return static_cast<DWORD>(folder.size() + 1);
    CopyToBuffer(folder, buffer);
    return static_cast<DWORD>(folder.size());
}

UINT GetTempFileNameA(const std::string& pathName, const std::string& prefixString, UINT unique, char* tempFileName) {
    std::string folder = pathName.empty() ? std::string(".") : pathName;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    const std::string prefix = prefixString.substr(0, 3);
    if (folder.size() + prefix.size() + 9 > MAX_PATH - 1) return SetLastError(ERROR_BUFFER_OVERFLOW), 0;
    const auto NameOf = [&](UINT number) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", number & 0xFFFF);
        return prefix + digits + ".tmp";
    };
    if (unique != 0) {
        if (tempFileName) CopyToBuffer(folder + NameOf(unique), tempFileName);
        return unique & 0xFFFF;
    }
    const auto hostFolder = Host(folder);
    if (!hostFolder || !IsFolder(*hostFolder)) return SetLastError(ERROR_DIRECTORY), 0;
    const UINT start = static_cast<UINT>(GetTickCount() ^ static_cast<DWORD>(::getpid()));
    for (UINT step = 0; step < 0x10000; ++step) {
        const UINT number = (start + step) & 0xFFFF;
        if (number == 0) continue;
        const std::string name = NameOf(number);
        const auto taken = Host(folder + name);
        if (!taken || Exists(*taken)) continue;  // also taken in another letter case
        const int fd = ::open((*hostFolder / name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return SetLastError(platform::ErrorOfErrno(errno)), 0;
        }
        ::close(fd);
        if (tempFileName) CopyToBuffer(folder + name, tempFileName);
        return number;
    }
    return SetLastError(ERROR_FILE_EXISTS), 0;
}

DWORD GetLogicalDriveStringsA(DWORD bufferLength, char* buffer) {
    std::string roots;
    for (const platform::DriveMapping& drive : *platform::DriveMap()) {
        roots += drive.letter;
        roots += std::string(":\\") + '\0';
    }
    roots += '\0';
    if (!buffer || bufferLength < roots.size()) return static_cast<DWORD>(roots.size());
    std::memcpy(buffer, roots.data(), roots.size());
    return static_cast<DWORD>(roots.size() - 1);
}

namespace {

std::string DriveRootText(const std::string& rootPathName) {
    return rootPathName.empty() ? std::string("C:\\") : rootPathName;
}

bool NamesOnlyARoot(const std::string& root) {
    return root.size() == 2 || (root.size() == 3 && (root[2] == '\\' || root[2] == '/'));
}

UINT DriveTypeSetting(char letter) {
    const std::string value = platform::TextLower(platform::HostSetting("DriveTypes", std::string(1, letter), ""));
    if (value.empty() || value == "fixed") return DRIVE_FIXED;
    if (value == "removable") return DRIVE_REMOVABLE;
    if (value == "remote") return DRIVE_REMOTE;
    if (value == "cdrom") return DRIVE_CDROM;
    if (value == "ramdisk") return DRIVE_RAMDISK;
    const long number = std::strtol(value.c_str(), nullptr, 10);
    return number >= 2 && number <= 6 ? static_cast<UINT>(number) : DRIVE_FIXED;
}

void CopyLimited(const std::string& text, char* buffer, DWORD size) {
    if (!buffer || size == 0) return;
    const size_t count = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

}  // namespace

UINT GetDriveTypeA(const std::string& rootPathName) {
    const std::string root = DriveRootText(rootPathName);
    const platform::DriveMapList drives = platform::DriveMap();
    const platform::DriveMapping* drive = DriveOf(*drives, root);
    if (!drive || !NamesOnlyARoot(root)) return DRIVE_NO_ROOT_DIR;
    return DriveTypeSetting(drive->letter);
}

BOOL GetVolumeInformationA(const std::string& rootPathName, char* volumeNameBuffer, DWORD volumeNameSize,
                           DWORD* volumeSerialNumber, DWORD* maximumComponentLength, DWORD* fileSystemFlags,
                           char* fileSystemNameBuffer, DWORD fileSystemNameSize) {
    const std::string root = DriveRootText(rootPathName);
    const platform::DriveMapList drives = platform::DriveMap();
    const platform::DriveMapping* drive = DriveOf(*drives, root);
    if (!drive || !NamesOnlyARoot(root)) return Fail(ERROR_PATH_NOT_FOUND);
    if (!IsFolder(drive->folder)) return Fail(ERROR_NOT_READY);
    CopyLimited(platform::HostSetting("Volumes", std::string(1, drive->letter), ""), volumeNameBuffer, volumeNameSize);
    if (volumeSerialNumber)
        *volumeSerialNumber = static_cast<DWORD>(std::hash<std::string>{}(drive->folder.string()));
    if (maximumComponentLength) *maximumComponentLength = 255;
    if (fileSystemFlags) *fileSystemFlags = 0x3;  // case-sensitive search, case-preserved names
    CopyLimited("NTFS", fileSystemNameBuffer, fileSystemNameSize);
    return TRUE_;
}

namespace {

struct DiskSizes {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
    std::uint64_t availableToCaller = 0;
    std::uint64_t unit = 4096;  // the file system's block size
};

// host.ini [DriveSpace] D=<total bytes>,<free bytes> fixes a drive's sizes;
// anything else there leaves the file system's own.
std::optional<DiskSizes> FixedDriveSizes(const std::string& path) {
    const platform::DriveMapList drives = platform::DriveMap();
    const platform::DriveMapping* drive = DriveOf(*drives, path);
    if (!drive) return std::nullopt;
    const std::string value = platform::HostSetting("DriveSpace", std::string(1, drive->letter), "");
    const size_t comma = value.find(',');
    if (comma == std::string::npos) return std::nullopt;
    const auto number = [](const std::string& text) -> std::optional<std::uint64_t> {
        const std::string digits = platform::TextTrimSpaces(text);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        errno = 0;
        const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, 10);
        if (errno == ERANGE) return std::nullopt;
        return parsed;
    };
    const auto total = number(value.substr(0, comma));
    const auto free = number(value.substr(comma + 1));
    if (!total || !free || *free > *total) return std::nullopt;
    return DiskSizes{*total, *free, *free, 4096};
}

// The sizes of the file system that holds the path (statvfs), or the fixed
// ones of its drive.
std::optional<DiskSizes> DiskSizesOf(const std::string& path) {
    const auto host = Host(path);
    struct statvfs info {};
    if (!host || ::statvfs(host->c_str(), &info) != 0) {
        SetLastError(platform::IsDriveRoot(path) ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    if (auto fixed = FixedDriveSizes(path)) return fixed;
    const std::uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    return DiskSizes{info.f_blocks * unit, info.f_bfree * unit, info.f_bavail * unit, unit};
}

DWORD Capped(std::uint64_t value) { return static_cast<DWORD>(std::min<std::uint64_t>(value, 0xFFFFFFFFu)); }

}  // namespace

BOOL GetDiskFreeSpaceExA(const std::string& directoryName, std::uint64_t* freeBytesAvailableToCaller,
                         std::uint64_t* totalNumberOfBytes, std::uint64_t* totalNumberOfFreeBytes) {
    const auto sizes = DiskSizesOf(directoryName.empty() ? std::string("C:\\") : directoryName);
    if (!sizes) return FALSE_;
    if (freeBytesAvailableToCaller) *freeBytesAvailableToCaller = sizes->availableToCaller;
    if (totalNumberOfBytes) *totalNumberOfBytes = sizes->total;
    if (totalNumberOfFreeBytes) *totalNumberOfFreeBytes = sizes->free;
    return TRUE_;
}

BOOL GetDiskFreeSpaceA(const std::string& rootPathName, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                       DWORD* numberOfFreeClusters, DWORD* totalNumberOfClusters) {
    const auto sizes = DiskSizesOf(DriveRootText(rootPathName));
    if (!sizes) return FALSE_;
    const std::uint64_t sectors = std::max<std::uint64_t>(1, sizes->unit / 512);
    const std::uint64_t cluster = sectors * 512;
    if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(sectors);
    if (bytesPerSector) *bytesPerSector = 512;
    if (numberOfFreeClusters) *numberOfFreeClusters = Capped(sizes->free / cluster);
    if (totalNumberOfClusters) *totalNumberOfClusters = Capped(sizes->total / cluster);
    return TRUE_;
}

namespace {

// A bounds-checked view of the file's bytes.
struct Bytes {
    const std::string& data;
    bool Has(size_t offset, size_t count) const { return offset <= data.size() && count <= data.size() - offset; }
    std::uint32_t U16(size_t offset) const {
        return static_cast<unsigned char>(data[offset]) | (static_cast<unsigned char>(data[offset + 1]) << 8);
    }
    std::uint32_t U32(size_t offset) const { return U16(offset) | (U16(offset + 2) << 16); }
};

std::optional<size_t> FileOffsetOfRva(const Bytes& pe, size_t sections, size_t count, std::uint32_t rva) {
    for (size_t i = 0; i < count; ++i) {
        const size_t at = sections + i * 40;
        if (!pe.Has(at, 40)) return std::nullopt;
        const std::uint32_t start = pe.U32(at + 12), size = std::max(pe.U32(at + 8), pe.U32(at + 16));
        if (rva >= start && rva - start < size) return static_cast<size_t>(pe.U32(at + 20)) + (rva - start);
    }
    return std::nullopt;
}

// The entry of a resource directory with the given id (or the first one when
// id is 0): its offset field, relative to the resource section.
std::optional<std::uint32_t> ResourceEntry(const Bytes& pe, size_t base, size_t directory, std::uint32_t id) {
    if (!pe.Has(base + directory, 16)) return std::nullopt;
    const size_t count = pe.U16(base + directory + 12) + pe.U16(base + directory + 14);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = base + directory + 16 + i * 8;
        if (!pe.Has(at, 8)) return std::nullopt;
        if (id == 0 || pe.U32(at) == id) return pe.U32(at + 4);
    }
    return std::nullopt;
}

// The VS_VERSION_INFO block of a PE file, if it has one.
std::optional<std::string> VersionResource(const std::string& fileName) {
    const auto host = Host(fileName);
    if (!host || !fs::is_regular_file(*host)) return std::nullopt;
    std::ifstream in(*host, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Bytes pe{data};
    if (!pe.Has(0, 64) || data.compare(0, 2, "MZ") != 0) return std::nullopt;
    const size_t header = pe.U32(0x3C);
    if (!pe.Has(header, 24) || data.compare(header, 4, std::string("PE\0\0", 4)) != 0) return std::nullopt;
    const size_t sectionCount = pe.U16(header + 6), optional = header + 24, optionalSize = pe.U16(header + 20);
    if (!pe.Has(optional, 2)) return std::nullopt;
    const std::uint32_t magic = pe.U16(optional);
    const size_t directories = optional + (magic == 0x20b ? 112 : 96);
    if (!pe.Has(directories + 2 * 8, 8)) return std::nullopt;
    const std::uint32_t resourceRva = pe.U32(directories + 16);
    const auto base = FileOffsetOfRva(pe, sectionCount ? optional + optionalSize : 0, sectionCount, resourceRva);
    if (!resourceRva || !base) return std::nullopt;
    std::optional<std::uint32_t> entry = ResourceEntry(pe, *base, 0, 16);  // RT_VERSION
    for (int level = 0; level < 2 && entry; ++level) {
        if (!(*entry & 0x80000000u)) return std::nullopt;
        entry = ResourceEntry(pe, *base, *entry & 0x7FFFFFFFu, 0);
    }
    if (!entry || (*entry & 0x80000000u) || !pe.Has(*base + *entry, 8)) return std::nullopt;
    const auto block = FileOffsetOfRva(pe, optional + optionalSize, sectionCount, pe.U32(*base + *entry));
    const size_t size = pe.U32(*base + *entry + 4);
    if (!block || !pe.Has(*block, size) || size < 40 + sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
    return data.substr(*block, size);
}

constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedFileInfoOffset = 40;  // after the header and the key "VS_VERSION_INFO"

}  // namespace

DWORD GetFileVersionInfoSizeA(const std::string& fileName, DWORD* handle) {
    if (handle) *handle = 0;
    const auto block = VersionResource(fileName);
    if (!block) return SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND), 0;
    return static_cast<DWORD>(block->size());
}

BOOL GetFileVersionInfoA(const std::string& fileName, DWORD, DWORD length, void* data) {
    const auto block = VersionResource(fileName);
    if (!block) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    std::memcpy(data, block->data(), std::min<size_t>(length, block->size()));
    return TRUE_;
}

BOOL VerQueryValueA(const void* block, const std::string& subBlock, const void** buffer, UINT* length) {
    if (!block || !buffer || subBlock != "\\") return FALSE_;
    const auto* bytes = static_cast<const unsigned char*>(block);
    const DWORD blockLength = bytes[0] | (bytes[1] << 8), valueLength = bytes[2] | (bytes[3] << 8);
    if (blockLength < kFixedFileInfoOffset + sizeof(VS_FIXEDFILEINFO) || valueLength < sizeof(VS_FIXEDFILEINFO))
        return FALSE_;
    VS_FIXEDFILEINFO info{};
    std::memcpy(&info, bytes + kFixedFileInfoOffset, sizeof info);
    if (info.dwSignature != kFixedFileInfoSignature) return FALSE_;
    *buffer = bytes + kFixedFileInfoOffset;
    if (length) *length = sizeof info;
    return TRUE_;
}

}  // namespace win

namespace platform {

bool IsSameFile(const std::string& a, const std::string& b) {
    const auto first = Host(a), second = Host(b);
    if (!first || !second) return false;
    std::error_code ec;
    return fs::equivalent(*first, *second, ec);
}

bool GetFileTimes(const std::string& path, FileTimes& times) {
    const auto host = Host(path);
    struct statx info {};
    if (!host || ::statx(AT_FDCWD, host->c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return false;
    times.accessed = info.stx_atime.tv_sec;
    times.modified = info.stx_mtime.tv_sec;
    times.created = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec;
    char value[32] = {};
    if (::getxattr(host->c_str(), kCreationTime, value, sizeof value - 1) > 0)
        times.created = static_cast<std::time_t>(std::strtoll(value, nullptr, 10));
    return true;
}

bool SetFileTimes(const std::string& path, const FileTimes& times) {
    const auto host = Host(path);
    if (!host || !Exists(*host)) return false;
    const auto Field = [](std::time_t when) {
        timespec t{};
        t.tv_sec = when;
        t.tv_nsec = when == 0 ? UTIME_OMIT : 0;
        return t;
    };
    const timespec stamps[2] = {Field(times.accessed), Field(times.modified)};
    if (::utimensat(AT_FDCWD, host->c_str(), stamps, 0) != 0) return false;
    if (times.created == 0) return true;
    const std::string value = std::to_string(static_cast<long long>(times.created));
    return ::setxattr(host->c_str(), kCreationTime, value.data(), value.size(), 0) == 0 || XattrUnsupported(errno);
}

}  // namespace platform

namespace platform {

void MakeExeRunnable(const fs::path& hostPath) {
    if (!TextLower(hostPath.filename().string()).ends_with(".exe") || ::access(hostPath.c_str(), X_OK) == 0) return;
    struct stat status {};
    if (::stat(hostPath.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    const mode_t readBits = status.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
    ::chmod(hostPath.c_str(), status.st_mode | (readBits >> 2));
}

}  // namespace platform
