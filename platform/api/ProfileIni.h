#pragma once
// INI files with the results of the Windows profile functions: case-insensitive
// sections and keys, first match wins, blanks and enclosing quotes removed from
// values, the caller's buffer size cut (at a UTF-8 sequence start), a missing
// file read as empty. A write creates file, section and key as needed, keeps
// every other line as it was, uses CR LF for what it writes, takes a lock so
// that writers in several processes keep each other's keys, refuses a
// read-only file, and replaces the file atomically.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/WinTypes.h"

namespace platform {
// The value as the profile functions see it, uncut; nothing when missing.
std::optional<std::string> ReadIniValue(const std::filesystem::path& hostFile,
                                        const std::string& section, const std::string& key);
// nullopt key deletes the section, nullopt value deletes the key.
bool WriteIniValue(const std::filesystem::path& hostFile, const std::string& section,
                   const std::optional<std::string>& key, const std::optional<std::string>& value);
}  // namespace platform

namespace win {
// Copies at most size-1 bytes of the value (or of the default) into returned
// and gives the count copied.
DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key,
                               const std::string& defaultValue, std::string& returned, DWORD size,
                               const std::string& fileName);
// The whole number at the start of the value (decimal, or hexadecimal after 0x), else the default.
UINT GetPrivateProfileIntA(const std::string& section, const std::string& key, int defaultValue,
                           const std::string& fileName);
BOOL WritePrivateProfileStringA(const std::string& section, const std::optional<std::string>& key,
                                const std::optional<std::string>& value, const std::string& fileName);
}  // namespace win

namespace platform {
struct IniChange;

// While an IniWriteBatch lives on a thread, that thread's profile writes to
// its file are gathered instead of written, and reads of the file see them at
// once. Commit writes them all, in order, as one replacement of the file (in
// the encoding the file has then), so that the file holds every change or
// none of them; a batch ended without
// Commit drops what it gathered. For a caller that saves many keys as one.
class IniWriteBatch {
public:
    explicit IniWriteBatch(const std::string& fileName);
    ~IniWriteBatch();
    IniWriteBatch(const IniWriteBatch&) = delete;
    IniWriteBatch& operator=(const IniWriteBatch&) = delete;

    // True when nothing was gathered or the file now holds it all; the last
    // error says why not. Later writes are gathered anew.
    bool Commit();

    // The innermost open batch of this thread for that file, or nullptr.
    static IniWriteBatch* Of(const std::filesystem::path& hostFile);
    void Add(const std::string& section, const std::optional<std::string>& key,
             const std::optional<std::string>& value);
    // The file's text as the gathered writes leave it; nothing for a missing
    // file that nothing was gathered for.
    std::optional<std::string> Text() const;

private:
    std::optional<std::filesystem::path> file_;
    std::vector<IniChange> changes_;
    IniWriteBatch* outer_;
};
}  // namespace platform
