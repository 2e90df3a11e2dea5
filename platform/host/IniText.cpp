#include "platform/host/IniText.h"

#include "platform/host/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

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

std::optional<std::string> ReadIniFileValue(const fs::path& hostFile, const std::string& section,
                                            const std::string& key) {
    std::optional<std::string> read = ReadTextFile(hostFile);
    if (!read) return std::nullopt;
    return IniLines(std::move(*read)).Value(section, key);
}

IniTextLines IniTextLines::OfFile(const fs::path& file) {
    IniTextLines result;
    const std::optional<std::string> read = ReadTextFile(file, &result.encoding_);
    result.exists_ = read.has_value();
    if (!read) return result;
    const std::string& text = *read;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        if (lf == std::string::npos) {
            result.lines_.push_back({text.substr(start), ""});
            break;
        }
        size_t stop = lf;
        std::string end = "\n";
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
            end = "\r\n";
        }
        result.lines_.push_back({text.substr(start, stop - start), end});
        start = lf + 1;
    }
    return result;
}

void IniTextLines::Apply(const std::vector<IniChange>& changes) {
    for (const IniChange& change : changes) {
        if (change.key)
            SetKey(change.section, *change.key, change.value);
        else
            DeleteSection(change.section);
    }
}

std::string IniTextLines::Text() const {
    std::string text;
    for (const Line& line : lines_) text += line.text + line.end;
    return text;
}

std::string IniTextLines::EncodedBytes() const {
    TextEncoding encoding = encoding_;
    for (const Line& line : lines_) encoding = EncodingToHold(line.text, encoding);
    std::string bytes(ByteOrderMark(encoding));
    for (const Line& line : lines_) bytes += EncodeText(line.text, encoding) + EncodeText(line.end, encoding);
    return bytes;
}

// Index of the first section header of that name, or the number of lines.
size_t IniTextLines::FindSection(const std::string& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (auto name = SectionName(lines_[i].text); name && TextCompareEqual(*name, TrimmedView(section))) return i;
    return lines_.size();
}

size_t IniTextLines::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && !SectionName(lines_[i].text)) ++i;
    return i;
}

void IniTextLines::SetKey(const std::string& section, const std::string& key, const std::optional<std::string>& value) {
    std::vector<Line>& lines = lines_;
    size_t header = FindSection(section);
    if (header == lines.size()) {
        if (!value) return;
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
        lines.push_back({"[" + section + "]", "\r\n"});
        lines.push_back({key + "=" + *value, "\r\n"});
        return;
    }
    const size_t end = SectionEnd(header);
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
    while (insertAt > header + 1 && TextTrim(lines[insertAt - 1].text).empty()) --insertAt;
    if (lines[insertAt - 1].end.empty()) lines[insertAt - 1].end = "\r\n";
    lines.insert(lines.begin() + static_cast<long>(insertAt), Line{key + "=" + *value, "\r\n"});
}

void IniTextLines::DeleteSection(const std::string& section) {
    const size_t header = FindSection(section);
    if (header == lines_.size()) return;
    lines_.erase(lines_.begin() + static_cast<long>(header), lines_.begin() + static_cast<long>(SectionEnd(header)));
}

}  // namespace platform
