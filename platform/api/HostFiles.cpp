#include "platform/api/HostFiles.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/api/FileApi.h"
#include "platform/host/Text.h"
#include "platform/host/WinPath.h"

namespace platform::files {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDosAttributes = "user.dosattrib";

// Hidden, system and archive live in an extended attribute where the file
// system has them; a file without one is reported as archive.
win::DWORD StoredDosAttributes(const fs::path& path, bool isFolder) {
    char value[32] = {};
    const ssize_t n = ::getxattr(path.c_str(), kDosAttributes, value, sizeof value - 1);
    if (n > 0) return static_cast<win::DWORD>(std::strtoul(value, nullptr, 0)) & 0x26;
    return isFolder ? 0 : win::FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace

std::optional<fs::path> Host(const std::string& windowsPath) { return ToHostPath(windowsPath); }

bool XattrUnsupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

bool StoreDosAttributes(const fs::path& path, win::DWORD attributes) {
    char value[16];
    std::snprintf(value, sizeof value, "0x%x", static_cast<unsigned>(attributes & 0x26));
    if (::setxattr(path.c_str(), kDosAttributes, value, std::strlen(value), 0) == 0) return true;
    return XattrUnsupported(errno);
}

bool IsReadOnlyMode(mode_t mode) { return (mode & S_IWUSR) == 0; }

bool SetOwnerWritable(const fs::path& path, const struct stat& st, bool writable) {
    const mode_t mode = writable ? (st.st_mode | S_IWUSR) : (st.st_mode & ~static_cast<mode_t>(S_IWUSR));
    if (mode == st.st_mode) return true;
    return ::chmod(path.c_str(), mode & 07777) == 0;
}

win::DWORD AttributesOf(const fs::path& path, const struct stat& st) {
    const bool isFolder = S_ISDIR(st.st_mode);
    win::DWORD attributes = StoredDosAttributes(path, isFolder);
    if (isFolder) attributes |= win::FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= win::FILE_ATTRIBUTE_READONLY;
    return attributes;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool StatOf(const std::optional<fs::path>& path, struct stat& st) { return path && ::stat(path->c_str(), &st) == 0; }

const DriveMapping* DriveOf(const std::vector<DriveMapping>& drives, const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return nullptr;
    const char letter = TextUpper(path.substr(0, 1))[0];
    for (const DriveMapping& drive : drives)
        if (drive.letter == letter) return &drive;
    return nullptr;
}

bool IsFolder(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform::files
