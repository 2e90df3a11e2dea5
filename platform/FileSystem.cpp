#include "FileSystem.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <filesystem>

#include "RuntimeError.h"
#include "WinPath.h"

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> Host(const std::string& windowsPath) { return platform::ToHostPath(windowsPath); }

// Hidden, system and archive live in an extended attribute where the file
// system has them; a file without one is reported as archive.
win::DWORD StoredDosAttributes(const fs::path& path, bool isFolder) {
    char value[32] = {};
    const ssize_t n = ::getxattr(path.c_str(), "user.dosattrib", value, sizeof value - 1);
    if (n > 0) return static_cast<win::DWORD>(std::strtoul(value, nullptr, 0)) & 0x26;
    return isFolder ? 0 : win::FILE_ATTRIBUTE_ARCHIVE;
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
    return AttributesOf(*path, st);
}

BOOL CreateDirectoryA(const std::string& path) {
    const auto host = Host(path);
    if (!host) return SetLastError(ERROR_PATH_NOT_FOUND), FALSE_;
    if (::mkdir(host->c_str(), 0777) == 0) return TRUE_;
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    return FALSE_;
}

BOOL RemoveDirectoryA(const std::string& path) {
    const auto host = Host(path);
    if (!host || platform::IsDriveRoot(path)) return SetLastError(ERROR_ACCESS_DENIED), FALSE_;
    if (::rmdir(host->c_str()) == 0) return TRUE_;
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
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
    fs::path destination = fs::is_directory(*target, ec) ? *target / source->filename() : *target;
    if (fs::equivalent(*source, destination, ec)) return 0;
    if (fs::exists(fs::symlink_status(destination, ec))) {
        if (flags & FOF_RENAMEONCOLLISION)
            destination = CollisionName(destination);
        else if (!fs::is_directory(destination, ec))
            fs::remove(destination, ec);
    }
    if (!MakeFolders(destination.parent_path())) return 0x7C;
    return MoveAcross(*source, destination) ? 0 : 0x7C;
}

}  // namespace win

namespace vb {

int GetAttr(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributesA(path);
    if (attributes == win::INVALID_FILE_ATTRIBUTES) throw RuntimeError::FileNotFound();
    return static_cast<int>(attributes & 0x37);
}

void MkDir(const std::string& path) {
    if (win::CreateDirectoryA(path)) return;
    if (win::GetLastError() == win::ERROR_PATH_NOT_FOUND) throw RuntimeError::PathNotFound();
    throw RuntimeError::PathFileAccessError();
}

void Kill(const std::string& pathOrPattern) {
    const std::string folder = FolderOf(pathOrPattern);
    const std::vector<std::string> names = DirList(pathOrPattern, vbNormal | vbReadOnly | vbArchive);
    if (names.empty()) throw RuntimeError::FileNotFound();
    for (const std::string& name : names)
        if (!win::DeleteFileA(folder + name)) throw RuntimeError::PathFileAccessError();
}

std::vector<std::string> DirList(const std::string& folderAndPattern, int attributes) {
    std::string folder = FolderOf(folderAndPattern);
    std::string pattern = folderAndPattern.substr(folder.size());
    if (pattern.empty()) pattern = "*.*";
    if (folder.empty()) folder = ".\\";
    std::vector<std::string> found;
    const auto host = Host(folder);
    struct stat folderStat {};
    if (!host || ::stat(host->c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) return found;
    const bool wantFolders = (attributes & vbDirectory) != 0;
    if (wantFolders && !platform::IsDriveRoot(folder))
        for (const char* dots : {".", ".."})
            if (platform::MatchesWildcard(pattern, dots) || pattern == dots) found.push_back(dots);
    for (const std::string& name : platform::ListFolderNames(*host)) {
        if (!platform::MatchesWildcard(pattern, name)) continue;
        struct stat st {};
        if (::stat((*host / name).c_str(), &st) != 0) continue;
        const win::DWORD entry = AttributesOf(*host / name, st);
        if ((entry & win::FILE_ATTRIBUTE_DIRECTORY) && !wantFolders) continue;
        if ((entry & win::FILE_ATTRIBUTE_HIDDEN) && !(attributes & vbHidden)) continue;
        if ((entry & win::FILE_ATTRIBUTE_SYSTEM) && !(attributes & vbSystem)) continue;
        found.push_back(name);
    }
    return found;
}

struct TextFile::Impl {
    std::FILE* file = nullptr;
};

TextFile::TextFile(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
    const auto host = Host(path);
    if (!host) throw RuntimeError::PathNotFound();
    struct stat st {};
    const bool exists = ::stat(host->c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw RuntimeError::PathFileAccessError();
    if (mode == Mode::Input) {
        if (!exists) throw RuntimeError::FileNotFound();
        impl_->file = std::fopen(host->c_str(), "rb");
        if (!impl_->file) throw RuntimeError::PathFileAccessError();
        return;
    }
    std::error_code ec;
    if (!fs::is_directory(host->parent_path(), ec)) throw RuntimeError::PathNotFound();
    if (exists && (st.st_mode & S_IWUSR) == 0) throw RuntimeError::PathFileAccessError();
    impl_->file = std::fopen(host->c_str(), mode == Mode::Output ? "wb" : "ab");
    if (!impl_->file) throw RuntimeError::PathFileAccessError();
}

TextFile::~TextFile() { Close(); }

void TextFile::PrintLine(const std::string& text) {
    if (!impl_->file) throw RuntimeError::BadFileNameOrNumber();
    const std::string line = text + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), impl_->file) != line.size()) throw RuntimeError::PathFileAccessError();
}

bool TextFile::Eof() {
    if (!impl_->file) throw RuntimeError::BadFileNameOrNumber();
    const int c = std::fgetc(impl_->file);
    if (c == EOF) return true;
    std::ungetc(c, impl_->file);
    return false;
}

std::string TextFile::LineInput() {
    if (!impl_->file) throw RuntimeError::BadFileNameOrNumber();
    if (Eof()) throw RuntimeError(62, "Quarnel", "Input past end of file");
    std::string line;
    for (int c; (c = std::fgetc(impl_->file)) != EOF;) {
        if (c == '\n') break;
        if (c == '\r') {
            const int next = std::fgetc(impl_->file);
            if (next != '\n' && next != EOF) std::ungetc(next, impl_->file);
            break;
        }
        line += static_cast<char>(c);
    }
    return line;
}

void TextFile::Close() {
    if (impl_ && impl_->file) {
        std::fclose(impl_->file);
        impl_->file = nullptr;
    }
}

}  // namespace vb
