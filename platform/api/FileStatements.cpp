#include "platform/api/FileStatements.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/api/FileApi.h"
#include "platform/api/HostFiles.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/HostFolder.h"
#include "platform/host/Text.h"
#include "platform/host/TextFile.h"
#include "platform/host/WinPath.h"

namespace fs = std::filesystem;
using namespace platform::files;

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

void SetAttr(const std::string& path, int attributes) {
    if (win::GetFileAttributesA(path) == win::INVALID_FILE_ATTRIBUTES) throw RuntimeError::FileNotFound();
    const win::DWORD wanted = attributes == vbNormal ? win::FILE_ATTRIBUTE_NORMAL : static_cast<win::DWORD>(attributes);
    if (!win::SetFileAttributesA(path, wanted)) throw RuntimeError::PathFileAccessError();
}

std::int64_t FileLen(const std::string& path) {
    struct stat st {};
    if (!StatOf(Host(path), st) || S_ISDIR(st.st_mode)) throw RuntimeError::FileNotFound();
    return static_cast<std::int64_t>(st.st_size);
}

std::time_t FileDateTime(const std::string& path) {
    platform::FileTimes times;
    if (!platform::GetFileTimes(path, times)) throw RuntimeError::FileNotFound();
    return times.modified;
}

void FileCopy(const std::string& source, const std::string& destination) {
    struct stat st {};
    if (!StatOf(Host(source), st) || S_ISDIR(st.st_mode)) throw RuntimeError::FileNotFound();
    if (win::CopyFileA(source, destination, win::FALSE_)) return;
    if (win::GetLastError() == win::ERROR_PATH_NOT_FOUND) throw RuntimeError::PathNotFound();
    throw RuntimeError::PathFileAccessError();
}

void Name(const std::string& oldPath, const std::string& newPath) {
    const auto source = Host(oldPath);
    if (!source || !Exists(*source)) throw RuntimeError::FileNotFound();
    const std::string from = platform::NormalizeWindowsPath(oldPath), to = platform::NormalizeWindowsPath(newPath);
    if (to.empty()) throw RuntimeError::PathNotFound();
    if (IsFolder(*source) && platform::TextUpper(from.substr(0, 1)) != platform::TextUpper(to.substr(0, 1)))
        throw RuntimeError(74, "Quarnel", "Can't rename with different drive");
    const auto target = Host(newPath);
    if (!platform::IsSameFile(oldPath, newPath) && target && Exists(*target)) throw RuntimeError::FileAlreadyExists();
    if (!win::MoveFileExA(oldPath, newPath, win::MOVEFILE_COPY_ALLOWED)) {
        if (win::GetLastError() == win::ERROR_PATH_NOT_FOUND) throw RuntimeError::PathNotFound();
        throw RuntimeError::PathFileAccessError();
    }
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
    // The stored attributes are looked at only when they can leave an entry out.
    const bool everyKind = (attributes & vbHidden) && (attributes & vbSystem);
    const std::string foldedPattern = platform::TextFoldCase(pattern);
    for (const platform::FolderEntry& listed : platform::ListFolderEntries(*host)) {
        const std::string& name = listed.name;
        if (!platform::MatchesFoldedWildcard(foldedPattern, name)) continue;
        if (listed.isFolder && !wantFolders) continue;
        if (!everyKind) {
            const fs::path entryPath = *host / name;
            struct stat st {};
            if (::stat(entryPath.c_str(), &st) != 0) continue;
            const win::DWORD entry = AttributesOf(entryPath, st);
            if ((entry & win::FILE_ATTRIBUTE_HIDDEN) && !(attributes & vbHidden)) continue;
            if ((entry & win::FILE_ATTRIBUTE_SYSTEM) && !(attributes & vbSystem)) continue;
        }
        found.push_back(name);
    }
    return found;
}

namespace {

// The ANSI text of a file turned into UTF-8 in place: the UTF-8 form is
// never shorter, so the file is only overwritten and extended.
bool RewriteAnsiAsUtf8(const fs::path& file) {
    const std::optional<std::string> ansi = platform::ReadRegularFile(file);
    if (!ansi) return false;
    const std::string utf8 = platform::AnsiToUtf8(*ansi);
    std::FILE* whole = std::fopen(file.c_str(), "r+b");
    if (!whole) return false;
    const bool written = std::fwrite(utf8.data(), 1, utf8.size(), whole) == utf8.size();
    return std::fclose(whole) == 0 && written;
}

}  // namespace

struct TextFile::Impl {
    fs::path host;
    std::FILE* file = nullptr;                            // Output and Append
    platform::TextEncoding encoding = platform::kNewFileEncoding;
    std::optional<std::string> text;                      // Input: the whole file, decoded
    std::size_t at = 0;
};

TextFile::TextFile(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
    const auto host = Host(path);
    if (!host) throw RuntimeError::PathNotFound();
    struct stat st {};
    const bool exists = ::stat(host->c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw RuntimeError::PathFileAccessError();
    if (mode == Mode::Input) {
        if (!exists) throw RuntimeError::FileNotFound();
        impl_->text = platform::ReadTextFile(*host);
        if (!impl_->text) throw RuntimeError::PathFileAccessError();
        return;
    }
    std::error_code ec;
    if (!fs::is_directory(host->parent_path(), ec)) throw RuntimeError::PathNotFound();
    if (exists && ((st.st_mode & S_IWUSR) == 0 || !S_ISREG(st.st_mode))) throw RuntimeError::PathFileAccessError();
    // Lines written keep the file's encoding, also when it is written anew; a
    // new file is in the code page.
    impl_->host = *host;
    if (exists) impl_->encoding = platform::FileTextEncoding(*host);
    impl_->file = std::fopen(host->c_str(), mode == Mode::Output ? "wb" : "ab");
    if (!impl_->file) throw RuntimeError::PathFileAccessError();
    const std::string_view mark = platform::ByteOrderMark(impl_->encoding);
    if (mode == Mode::Output && !mark.empty() && std::fwrite(mark.data(), 1, mark.size(), impl_->file) != mark.size()) {
        Close();
        throw RuntimeError::PathFileAccessError();
    }
}

TextFile::~TextFile() { Close(); }

void TextFile::PrintLine(const std::string& text) {
    if (!impl_->file) throw RuntimeError::BadFileNameOrNumber();
    if (platform::EncodingToHold(text, impl_->encoding) != impl_->encoding) {
        if (std::fflush(impl_->file) != 0 || !RewriteAnsiAsUtf8(impl_->host)) throw RuntimeError::PathFileAccessError();
        impl_->encoding = platform::TextEncoding::Utf8;
    }
    const std::string line = platform::EncodeText(text + "\r\n", impl_->encoding);
    if (std::fwrite(line.data(), 1, line.size(), impl_->file) != line.size()) throw RuntimeError::PathFileAccessError();
}

bool TextFile::Eof() {
    if (!impl_->text) throw RuntimeError::BadFileNameOrNumber();
    return impl_->at >= impl_->text->size();
}

std::string TextFile::LineInput() {
    if (Eof()) throw RuntimeError(62, "Quarnel", "Input past end of file");
    const std::string& text = *impl_->text;
    // A plain scan: find_first_of looks each character up in the set with a call of its own.
    std::size_t end = impl_->at;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    if (end == text.size()) {
        std::string line = text.substr(impl_->at);
        impl_->at = text.size();
        return line;
    }
    std::string line = text.substr(impl_->at, end - impl_->at);
    impl_->at = end + 1;
    if (text[end] == '\r' && impl_->at < text.size() && text[impl_->at] == '\n') ++impl_->at;
    return line;
}

void TextFile::Close() {
    if (impl_ && impl_->file) {
        std::fclose(impl_->file);
        impl_->file = nullptr;
    }
    if (impl_) impl_->text.reset();
}

}  // namespace vb
