#pragma once
// The text of INI files as the Windows profile functions see it:
// case-insensitive sections and keys, first match wins, blanks and enclosing
// quotes removed from values. Changes keep every other line as it was and
// use CR LF for what they write.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/TextFile.h"

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

// The value in a host file, read as text in the encoding it is kept in; nothing
// when the file, section or key is missing.
std::optional<std::string> ReadIniFileValue(const std::filesystem::path& hostFile, const std::string& section,
                                            const std::string& key);

// One change to INI text: a key set (value) or deleted (no value), or with no
// key the whole section deleted.
struct IniChange {
    std::string section;
    std::optional<std::string> key, value;
};

// The lines of an INI file, each with its own line end, for changing them.
class IniTextLines {
public:
    // The file's lines as UTF-8 text; Exists and Encoding tell what was found.
    static IniTextLines OfFile(const std::filesystem::path& file);

    bool Exists() const { return exists_; }
    TextEncoding Encoding() const { return encoding_; }
    void Apply(const std::vector<IniChange>& changes);
    // The UTF-8 text of the lines.
    std::string Text() const;
    // The bytes as the file keeps its text: the encoding it had (with its mark
    // when it had one); text the ANSI code page lacks turns the whole into UTF-8.
    std::string EncodedBytes() const;

private:
    struct Line {
        std::string text;  // without its line end
        std::string end;   // "\r\n", "\n" or "" for a last line without one
    };
    void SetKey(const std::string& section, const std::string& key, const std::optional<std::string>& value);
    void DeleteSection(const std::string& section);
    std::size_t FindSection(const std::string& section) const;
    std::size_t SectionEnd(std::size_t header) const;

    std::vector<Line> lines_;
    bool exists_ = false;
    TextEncoding encoding_ = kNewFileEncoding;
};

}  // namespace platform
