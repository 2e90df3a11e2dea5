#pragma once
// The run time's file statements and functions (GetAttr, SetAttr, FileLen,
// FileDateTime, FileCopy, Name, MkDir, Kill, Dir) and its text files, on the
// files of the emulated machine through Windows paths. Failures raise the run
// time's errors.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

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
