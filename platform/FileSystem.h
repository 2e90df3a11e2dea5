#pragma once
// Files and folders of the emulated machine through Windows paths: the file
// tests, directory searches, folder creation, the shell's move, and the text
// files of the run time (Open ... For Output / Append / Input).
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "WinTypes.h"

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
DWORD GetFileAttributesA(const std::string& fileName);
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
// Moves a file or folder (within or across drives); 0 on success.
int SHFileOperationMove(const std::string& from, const std::string& to, UINT flags);

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
