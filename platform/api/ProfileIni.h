#pragma once
// INI files with the results of the Windows profile functions: case-insensitive
// sections and keys, first match wins, blanks and enclosing quotes removed from
// values, the caller's buffer size cut (at a UTF-8 sequence start), a missing
// file read as empty. A write creates file, section and key as needed, keeps
// every other line as it was, uses CR LF for what it writes, takes a lock so
// that writers in several processes keep each other's keys, refuses a
// read-only file, and replaces the file atomically.
#include <filesystem>
#include <optional>
#include <string>

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
