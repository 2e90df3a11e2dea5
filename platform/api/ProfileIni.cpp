#include "platform/api/ProfileIni.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/host/IniReadScope.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"
#include "platform/host/TextFile.h"
#include "platform/host/WholeFile.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n" or "" for a last line without one
};

// The file's lines as UTF-8 text, and the encoding it is kept in.
std::vector<Line> ReadLines(const fs::path& file, bool& exists, TextEncoding& encoding) {
    const std::optional<std::string> read = ReadTextFile(file, &encoding);
    exists = read.has_value();
    std::vector<Line> lines;
    if (!read) return lines;
    const std::string& text = *read;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        size_t stop = lf;
        std::string end = "\n";
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
            end = "\r\n";
        }
        lines.push_back({text.substr(start, stop - start), end});
        start = lf + 1;
    }
    return lines;
}

// The characters of kBlanks.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text with blanks, tabs, CR and LF taken from both ends, as TextTrim
// trims, without a copy: a slice of the given text, even when empty.
std::string_view TrimmedView(std::string_view text) {
    size_t first = 0, end = text.size();
    while (first < end && IsBlank(text[first])) ++first;
    while (end > first && IsBlank(text[end - 1])) --end;
    return text.substr(first, end - first);
}

// A line whose text starts with "[" is a section header, closed or not.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view trimmed = TrimmedView(line);
    if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
    const size_t close = trimmed.find(']');
    return TrimmedView(trimmed.substr(1, close == std::string_view::npos ? close : close - 1));
}

std::optional<std::string_view> KeyName(std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return TrimmedView(line.substr(0, eq));
}

// The value of a key line, blanks and enclosing quotes removed.
std::string_view ValueOf(std::string_view line) {
    std::string_view value = TrimmedView(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// Index of the first section header of that name, or lines.size().
size_t FindSection(const std::vector<Line>& lines, const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (auto name = SectionName(lines[i].text); name && TextCompareEqual(*name, TrimmedView(section))) return i;
    return lines.size();
}

size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && !SectionName(lines[i].text)) ++i;
    return i;
}

// Serialises writers of INI files in one folder, across processes.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// A new file is readable by all, as the profile functions make it; a file
// that is replaced keeps its mode. A file whose folder takes no new file is
// written in place.
bool ReplaceFile(const fs::path& given, const std::vector<Line>& lines, bool existed) {
    std::string text;
    for (const Line& line : lines) text += line.text + line.end;
    return ReplaceWholeFile(given, text, 0644, existed) == 0;
}

void SetKey(std::vector<Line>& lines, const std::string& section, const std::string& key,
            const std::optional<std::string>& value) {
    size_t header = FindSection(lines, section);
    if (header == lines.size()) {
        if (!value) return;
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
        lines.push_back({"[" + section + "]", "\r\n"});
        lines.push_back({key + "=" + *value, "\r\n"});
        return;
    }
    const size_t end = SectionEnd(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        auto name = KeyName(lines[i].text);
        if (!name || !TextCompareEqual(*name, TrimmedView(key))) continue;
        if (!value) {
            lines.erase(lines.begin() + static_cast<long>(i));
        } else {
            lines[i].text = std::string(*name) + "=" + *value;
            if (lines[i].end.empty()) lines[i].end = "\r\n";
        }
        return;
    }
    if (!value) return;
    size_t insertAt = end;
    while (insertAt > header + 1 && platform::TextTrim(lines[insertAt - 1].text).empty()) --insertAt;
    if (lines[insertAt - 1].end.empty()) lines[insertAt - 1].end = "\r\n";
    lines.insert(lines.begin() + static_cast<long>(insertAt), Line{key + "=" + *value, "\r\n"});
}

void DeleteSection(std::vector<Line>& lines, const std::string& section) {
    const size_t header = FindSection(lines, section);
    if (header == lines.size()) return;
    lines.erase(lines.begin() + static_cast<long>(header), lines.begin() + static_cast<long>(SectionEnd(lines, header)));
}

// The lines as the file keeps its text: the ANSI code page, UTF-16LE, or
// UTF-8, with the file's mark in front when it had one. A file in the code
// page that now holds a character the page lacks is written whole in UTF-8.
void KeepEncoding(std::vector<Line>& lines, TextEncoding encoding) {
    for (const Line& line : lines) encoding = EncodingToHold(line.text, encoding);
    for (Line& line : lines) {
        line.text = EncodeText(line.text, encoding);
        line.end = EncodeText(line.end, encoding);
    }
    if (const std::string_view mark = ByteOrderMark(encoding); !mark.empty()) {
        if (lines.empty()) lines.push_back({"", ""});
        lines.front().text.insert(0, mark);
    }
}

// Changes as WriteIniValue makes them, in order: a key set or deleted, or a section deleted.
template <typename Changes>
void ApplyChanges(std::vector<Line>& lines, const Changes& changes) {
    for (const auto& change : changes) {
        if (change.key)
            SetKey(lines, change.section, *change.key, change.value);
        else
            DeleteSection(lines, change.section);
    }
}

// The steps of a profile write, with every change applied under one lock
// and the file replaced once.
template <typename Changes>
bool ReplaceWithChanges(const fs::path& hostFile, const Changes& changes) {
    IniReadScope::Forget();
    std::error_code ec;
    if (!fs::is_directory(hostFile.parent_path(), ec)) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return false;
    }
    FolderLock lock(hostFile.parent_path());
    struct stat st {};
    const bool existed = ::stat(hostFile.c_str(), &st) == 0;
    if (existed && (IsReadOnly(st) || !S_ISREG(st.st_mode))) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    bool readable = false;
    TextEncoding encoding = kNewFileEncoding;
    std::vector<Line> lines = ReadLines(hostFile, readable, encoding);
    if (existed && !readable) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    ApplyChanges(lines, changes);
    KeepEncoding(lines, encoding);
    if (!ReplaceFile(hostFile, lines, existed)) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

std::optional<fs::path> IniHostPath(const std::string& fileName) {
    if (fileName.find('\\') == std::string::npos && fileName.find('/') == std::string::npos)
        return ToHostPath("C:\\Windows\\" + fileName);
    return ToHostPath(fileName);
}

}  // namespace

IniLines::IniLines(std::string text) : text_(std::move(text)) {
    // Offsets into the text, which stay right however the text moves.
    const std::string_view all(text_);
    size_t lines = 1;
    for (size_t at = all.find('\n'); at != std::string_view::npos; at = all.find('\n', at + 1)) ++lines;
    entries_.reserve(lines);
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos) end = all.size();
        AddLine(all.substr(start, end - start));
        start = end + 1;
    }
}

// Only headers and keys count for a lookup; every other line is skipped.
void IniLines::AddLine(std::string_view line) {
    if (const auto section = SectionName(line))
        entries_.push_back({true, SpanOf(*section), {}});
    else if (const auto key = KeyName(line))
        entries_.push_back({false, SpanOf(*key), SpanOf(ValueOf(line))});
}

IniLines::Span IniLines::SpanOf(std::string_view slice) const {
    return {static_cast<size_t>(slice.data() - text_.data()), slice.size()};
}

std::optional<std::string> IniLines::Value(std::string_view section, std::string_view key) const {
    const std::string_view wantedSection = TrimmedView(section), wantedKey = TrimmedView(key);
    bool inSection = false;
    for (const Entry& entry : entries_) {
        if (entry.header) {
            if (inSection) break;  // only the first section of that name counts
            inSection = TextCompareEqual(Text(entry.name), wantedSection);
        } else if (inSection && TextCompareEqual(Text(entry.name), wantedKey)) {
            return std::string(Text(entry.value));
        }
    }
    return std::nullopt;
}

namespace {

const IniWriteBatch* BatchOf(const std::string& fileName);
std::optional<std::string> BatchValue(const IniWriteBatch& batch, const std::string& section, const std::string& key);

std::optional<std::string> ProfileValue(const std::string& fileName, const std::string& section, const std::string& key) {
    if (const IniWriteBatch* batch = BatchOf(fileName)) return BatchValue(*batch, section, key);
    const auto read = [&]() -> IniReadScope::Lines {
        const auto host = IniHostPath(fileName);
        auto text = host ? ReadTextFile(*host) : std::nullopt;
        return text ? std::make_shared<const IniLines>(std::move(*text)) : nullptr;
    };
    if (const IniReadScope::Lines* lines = IniReadScope::LinesOf(fileName, read))
        return *lines ? (*lines)->Value(section, key) : std::nullopt;
    const IniReadScope::Lines lines = read();
    return lines ? lines->Value(section, key) : std::nullopt;
}

}  // namespace

std::optional<std::string> ReadIniValue(const fs::path& hostFile, const std::string& section, const std::string& key) {
    if (const IniWriteBatch* batch = IniWriteBatch::Of(hostFile)) return BatchValue(*batch, section, key);
    std::optional<std::string> read = ReadTextFile(hostFile);
    if (!read) return std::nullopt;
    return IniLines(std::move(*read)).Value(section, key);
}

bool WriteIniValue(const fs::path& hostFile, const std::string& section, const std::optional<std::string>& key,
                   const std::optional<std::string>& value) {
    if (IniWriteBatch* batch = IniWriteBatch::Of(hostFile)) {
        batch->Add(section, key, value);
        return true;
    }
    const struct {
        const std::string& section;
        const std::optional<std::string>& key;
        const std::optional<std::string>& value;
    } change[] = {{section, key, value}};
    return ReplaceWithChanges(hostFile, change);
}

}  // namespace platform

namespace win {

DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key, const std::string& defaultValue,
                               std::string& returned, DWORD size, const std::string& fileName) {
    returned.clear();
    if (size == 0) return 0;
    const std::optional<std::string> value = platform::ProfileValue(fileName, section, key);
    std::string text = value ? *value : defaultValue;
    if (!value)
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    returned = text.substr(0, platform::Utf8PrefixBytes(text, size - 1));
    return static_cast<DWORD>(returned.size());
}

UINT GetPrivateProfileIntA(const std::string& section, const std::string& key, int defaultValue,
                           const std::string& fileName) {
    const std::optional<std::string> value = platform::ProfileValue(fileName, section, key);
    if (!value || value->empty()) return static_cast<UINT>(defaultValue);
    const char* text = value->c_str();
    const bool negative = *text == '-';
    if (negative) ++text;
    unsigned long number = 0;
    const int base = (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? 16 : 10;
    if (base == 16) text += 2;
    const char* start = text;
    for (; *text; ++text) {
        const int digit = std::isdigit(static_cast<unsigned char>(*text)) ? *text - '0'
                          : (base == 16 && std::isxdigit(static_cast<unsigned char>(*text))) ? std::tolower(*text) - 'a' + 10
                                                                                              : -1;
        if (digit < 0) break;
        number = number * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    if (text == start) return 0;
    return static_cast<UINT>(negative ? 0 - number : number);
}

BOOL WritePrivateProfileStringA(const std::string& section, const std::optional<std::string>& key,
                                const std::optional<std::string>& value, const std::string& fileName) {
    const auto host = platform::IniHostPath(fileName);
    if (!host) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE_;
    }
    return platform::WriteIniValue(*host, section, key, value) ? TRUE_ : FALSE_;
}

}  // namespace win

namespace platform {

namespace {

thread_local IniWriteBatch* innermostBatch = nullptr;

const IniWriteBatch* BatchOf(const std::string& fileName) {
    const auto host = IniHostPath(fileName);
    return host ? IniWriteBatch::Of(*host) : nullptr;
}

std::optional<std::string> BatchValue(const IniWriteBatch& batch, const std::string& section, const std::string& key) {
    std::optional<std::string> text = batch.Text();
    return text ? IniLines(std::move(*text)).Value(section, key) : std::nullopt;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) text += line.text + line.end;
    return text;
}

}  // namespace

IniWriteBatch::IniWriteBatch(const std::string& fileName) : file_(IniHostPath(fileName)), outer_(innermostBatch) {
    innermostBatch = this;
}

// Batches end in the reverse order of their start, as scopes do.
IniWriteBatch::~IniWriteBatch() { innermostBatch = outer_; }

IniWriteBatch* IniWriteBatch::Of(const fs::path& hostFile) {
    for (IniWriteBatch* batch = innermostBatch; batch; batch = batch->outer_)
        if (batch->file_ == hostFile) return batch;
    return nullptr;
}

void IniWriteBatch::Add(const std::string& section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value) {
    IniReadScope::Forget();
    changes_.push_back({section, key, value});
}

std::optional<std::string> IniWriteBatch::Text() const {
    if (!file_) return std::nullopt;
    bool exists = false;
    TextEncoding encoding = TextEncoding::Utf8;
    std::vector<Line> lines = ReadLines(*file_, exists, encoding);
    if (!exists && changes_.empty()) return std::nullopt;
    ApplyChanges(lines, changes_);
    return JoinLines(lines);
}

bool IniWriteBatch::Commit() {
    const std::vector<Change> changes = std::move(changes_);
    changes_.clear();
    if (changes.empty()) return true;
    if (!file_) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return false;
    }
    return ReplaceWithChanges(*file_, changes);
}

}  // namespace platform
