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
// The section headers and keys of an INI file's text, found in one pass, for
// any number of lookups.
class IniLines {
public:
    explicit IniLines(std::string text);
    // The value as the profile functions see it, uncut; nothing when missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

private:
    struct Span {
        std::size_t start = 0, size = 0;
    };
    struct Entry {
        bool header;
        Span name;   // trimmed
        Span value;  // trimmed, enclosing quotes removed; empty for a header
    };
    void AddLine(std::string_view line);
    Span SpanOf(std::string_view slice) const;
    std::string_view Text(Span span) const { return std::string_view(text_).substr(span.start, span.size); }

    std::string text_;
    std::vector<Entry> entries_;
};

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
