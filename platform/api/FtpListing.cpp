#include "platform/api/FtpListing.h"

#include <array>
#include <limits>

#include "platform/host/Text.h"

namespace platform {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    return line;
}

// A whole number of decimal digits (commas between thousands allowed when asked).
std::optional<std::uint64_t> ParseCount(std::string_view text, bool commasAllowed = false) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    bool anyDigit = false;
    for (char c : text) {
        if (c == ',' && commasAllowed) continue;
        if (!IsDigit(c)) return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        anyDigit = true;
    }
    if (!anyDigit) return std::nullopt;
    return value;
}

std::optional<int> ParseFixedNumber(std::string_view text, size_t width) {
    if (text.size() != width) return std::nullopt;
    const auto value = ParseCount(text);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// UTC seconds of a calendar time; nothing for a date that does not exist.
std::optional<std::time_t> UtcTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1601 || year > 9999 || month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60) return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm);
}

int YearOf(std::time_t utc) {
    std::tm tm{};
    gmtime_r(&utc, &tm);
    return tm.tm_year + 1900;
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

// MLSD "modify" value: YYYYMMDDHHMMSS with optional fraction, UTC.
std::optional<std::time_t> ParseMlsdTime(std::string_view value) {
    if (value.size() < 14) return std::nullopt;
    if (value.size() > 14 && value[14] != '.') return std::nullopt;
    const auto year = ParseFixedNumber(value.substr(0, 4), 4);
    const auto month = ParseFixedNumber(value.substr(4, 2), 2);
    const auto day = ParseFixedNumber(value.substr(6, 2), 2);
    const auto hour = ParseFixedNumber(value.substr(8, 2), 2);
    const auto minute = ParseFixedNumber(value.substr(10, 2), 2);
    const auto second = ParseFixedNumber(value.substr(12, 2), 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    return UtcTime(*year, *month, *day, *hour, *minute, *second);
}

std::optional<int> MonthNumber(std::string_view name) {
    static constexpr std::array<const char*, 12> kMonths{"jan", "feb", "mar", "apr", "may", "jun",
                                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string lower = TextLower(std::string(name));
    for (size_t i = 0; i < kMonths.size(); ++i)
        if (lower == kMonths[i]) return static_cast<int>(i + 1);
    return std::nullopt;
}

// "HH:MM" of a Unix line.
bool ParseClock(std::string_view text, int& hour, int& minute) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() - colon - 1 != 2) return false;
    const auto h = ParseCount(text.substr(0, colon));
    const auto m = ParseCount(text.substr(colon + 1));
    if (!h || !m) return false;
    hour = static_cast<int>(*h);
    minute = static_cast<int>(*m);
    return true;
}

// The date of a Unix line from its month, day and "HH:MM" or year fields.
std::optional<std::time_t> ParseUnixDate(std::string_view monthField, std::string_view dayField,
                                         std::string_view lastField, std::time_t now) {
    const auto month = MonthNumber(monthField);
    const auto day = dayField.size() <= 2 ? ParseCount(dayField) : std::nullopt;
    if (!month || !day) return std::nullopt;
    int hour = 0;
    int minute = 0;
    if (ParseClock(lastField, hour, minute)) {
        const int thisYear = YearOf(now);
        auto when = UtcTime(thisYear, *month, static_cast<int>(*day), hour, minute, 0);
        if (!when || *when > now + 24 * 60 * 60)
            when = UtcTime(thisYear - 1, *month, static_cast<int>(*day), hour, minute, 0);
        return when;
    }
    const auto year = ParseFixedNumber(lastField, 4);
    if (!year) return std::nullopt;
    return UtcTime(*year, *month, static_cast<int>(*day), 0, 0, 0);
}

// Where the field of the given number starts in the line.
size_t FieldEnd(std::string_view line, size_t fieldIndex) {
    size_t i = 0;
    for (size_t field = 0; field <= fieldIndex; ++field) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
    }
    return i;
}

}  // namespace

std::optional<FtpListEntry> ParseMlsdLine(std::string_view line) {
    line = WithoutLineEnd(line);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string_view facts = line.substr(0, blank);
    FtpListEntry entry;
    entry.name = std::string(line.substr(blank + 1));
    if (entry.name.empty() || entry.name.find('\0') != std::string::npos) return std::nullopt;
    size_t start = 0;
    while (start < facts.size()) {
        size_t end = facts.find(';', start);
        if (end == std::string_view::npos) end = facts.size();
        const std::string_view fact = facts.substr(start, end - start);
        start = end + 1;
        const size_t equals = fact.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string key = TextLower(std::string(fact.substr(0, equals)));
        const std::string_view value = fact.substr(equals + 1);
        if (key == "type") {
            const std::string type = TextLower(std::string(value));
            if (type == "cdir" || type == "pdir") return std::nullopt;
            entry.isDirectory = type == "dir";
        } else if (key == "size" || key == "sizd") {
            if (const auto size = ParseCount(value)) entry.size = *size;
        } else if (key == "modify") {
            entry.modified = ParseMlsdTime(value);
        } else if (key == "perm") {
            const std::string perm = TextLower(std::string(value));
            entry.readOnly = perm.find_first_of("wacdfm") == std::string::npos;
        }
    }
    return entry;
}

std::optional<FtpListEntry> ParseUnixLine(std::string_view line, std::time_t now) {
    line = WithoutLineEnd(line);
    const std::vector<std::string_view> fields = SplitBlanks(line);
    if (fields.size() < 6) return std::nullopt;
    const std::string_view mode = fields[0];
    if (mode.size() < 10 || std::string_view("-dlcbps").find(mode[0]) == std::string_view::npos) return std::nullopt;
    // Some servers leave out the group or the link count: find the date by its month.
    for (size_t m = 2; m + 2 < fields.size(); ++m) {
        if (!MonthNumber(fields[m])) continue;
        const auto size = ParseCount(fields[m - 1]);
        const auto modified = ParseUnixDate(fields[m], fields[m + 1], fields[m + 2], now);
        if (!size || !modified) continue;
        const size_t nameStart = FieldEnd(line, m + 2) + 1;
        if (nameStart >= line.size()) return std::nullopt;
        std::string name(line.substr(nameStart));
        if (mode[0] == 'l') {
            const size_t arrow = name.find(" -> ");
            if (arrow != std::string::npos) name.resize(arrow);
        }
        if (name.empty() || IsDotName(name) || name.find('\0') != std::string::npos) return std::nullopt;
        FtpListEntry entry;
        entry.name = std::move(name);
        entry.size = *size;
        entry.isDirectory = mode[0] == 'd';
        entry.readOnly = mode[2] != 'w';
        entry.modified = modified;
        return entry;
    }
    return std::nullopt;
}

std::optional<FtpListEntry> ParseDosLine(std::string_view line) {
    line = WithoutLineEnd(line);
    const std::vector<std::string_view> fields = SplitBlanks(line);
    if (fields.size() < 4) return std::nullopt;
    // Date "MM-DD-YY" or "MM-DD-YYYY".
    const std::string_view date = fields[0];
    if (date.size() != 8 && date.size() != 10) return std::nullopt;
    if (date[2] != '-' || date[5] != '-') return std::nullopt;
    const auto month = ParseFixedNumber(date.substr(0, 2), 2);
    const auto day = ParseFixedNumber(date.substr(3, 2), 2);
    auto year = ParseFixedNumber(date.substr(6), date.size() - 6);
    if (!month || !day || !year) return std::nullopt;
    if (date.size() == 8) *year += *year < 70 ? 2000 : 1900;
    // Time "HH:MM" with an optional AM or PM.
    std::string_view clock = fields[1];
    int halfDay = -1;
    if (clock.size() > 2) {
        const std::string suffix = TextUpper(std::string(clock.substr(clock.size() - 2)));
        if (suffix == "AM" || suffix == "PM") {
            halfDay = suffix == "PM" ? 1 : 0;
            clock.remove_suffix(2);
        }
    }
    int hour = 0;
    int minute = 0;
    if (!ParseClock(clock, hour, minute)) return std::nullopt;
    if (halfDay >= 0) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + halfDay * 12;
    }
    const auto modified = UtcTime(*year, *month, *day, hour, minute, 0);
    if (!modified) return std::nullopt;
    FtpListEntry entry;
    entry.modified = modified;
    if (TextUpper(std::string(fields[2])) == "<DIR>") {
        entry.isDirectory = true;
    } else {
        const auto size = ParseCount(fields[2], true);
        if (!size) return std::nullopt;
        entry.size = *size;
    }
    size_t nameStart = FieldEnd(line, 2);
    while (nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
    entry.name = std::string(line.substr(nameStart));
    if (entry.name.empty() || IsDotName(entry.name) || entry.name.find('\0') != std::string::npos)
        return std::nullopt;
    return entry;
}

std::optional<FtpListEntry> ParseListLine(std::string_view line, std::time_t now) {
    if (auto entry = ParseUnixLine(line, now)) return entry;
    return ParseDosLine(line);
}

namespace {

template <typename ParseLine>
std::vector<FtpListEntry> ParseLines(std::string_view listing, ParseLine parseLine) {
    std::vector<FtpListEntry> entries;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string_view::npos) end = listing.size();
        if (auto entry = parseLine(listing.substr(start, end - start))) entries.push_back(std::move(*entry));
        start = end + 1;
    }
    return entries;
}

}  // namespace

std::vector<FtpListEntry> ParseMlsdListing(std::string_view listing) {
    return ParseLines(listing, [](std::string_view line) { return ParseMlsdLine(line); });
}

std::vector<FtpListEntry> ParseListListing(std::string_view listing, std::time_t now) {
    return ParseLines(listing, [now](std::string_view line) { return ParseListLine(line, now); });
}

std::optional<std::string> ParseQuotedFolder(std::string_view reply) {
    const size_t open = reply.find('"');
    if (open == std::string_view::npos) return std::nullopt;
    std::string folder;
    for (size_t i = open + 1; i < reply.size(); ++i) {
        if (reply[i] != '"') {
            folder += reply[i];
            continue;
        }
        if (i + 1 < reply.size() && reply[i + 1] == '"') {
            folder += '"';
            ++i;
            continue;
        }
        return folder;
    }
    return std::nullopt;
}

namespace {

// The code of a reply line: three digits and then a blank, a hyphen or the line end.
std::optional<int> LineCode(std::string_view line) {
    line = WithoutLineEnd(line);
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return std::nullopt;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return std::nullopt;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

bool OpensSeveralLines(std::string_view line) { return line.size() > 3 && line[3] == '-'; }

bool ClosesReply(std::string_view line, int code) {
    const auto lineCode = LineCode(line);
    return lineCode && *lineCode == code && !OpensSeveralLines(WithoutLineEnd(line));
}

std::optional<std::uint16_t> PortOf(std::uint64_t high, std::uint64_t low) {
    if (high > 255 || low > 255 || (high == 0 && low == 0)) return std::nullopt;
    return static_cast<std::uint16_t>(high * 256 + low);
}

// The numbers of "a,b,c,d,e,f" at the start of text, each 0 to 255.
std::optional<std::array<std::uint64_t, 6>> SixNumbers(std::string_view text) {
    std::array<std::uint64_t, 6> numbers{};
    size_t at = 0;
    for (size_t n = 0; n < numbers.size(); ++n) {
        if (n > 0) {
            if (at >= text.size() || text[at] != ',') return std::nullopt;
            ++at;
        }
        const size_t start = at;
        while (at < text.size() && IsDigit(text[at]) && at - start < 3) ++at;
        const auto value = ParseCount(text.substr(start, at - start));
        if (!value || *value > 255) return std::nullopt;
        numbers[n] = *value;
    }
    return numbers;
}

}  // namespace

std::optional<FtpReplyExtent> CompleteFtpReply(std::string_view received) {
    const size_t firstEnd = received.find('\n');
    if (firstEnd == std::string_view::npos) return std::nullopt;
    const std::string_view first = received.substr(0, firstEnd + 1);
    const auto code = LineCode(first);
    if (!code) return FtpReplyExtent{0, firstEnd + 1};
    if (!OpensSeveralLines(WithoutLineEnd(first))) return FtpReplyExtent{*code, firstEnd + 1};
    for (size_t start = firstEnd + 1; start < received.size();) {
        const size_t end = received.find('\n', start);
        if (end == std::string_view::npos) return std::nullopt;
        if (ClosesReply(received.substr(start, end + 1 - start), *code)) return FtpReplyExtent{*code, end + 1};
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::uint16_t> ParsePassivePort(std::string_view reply) {
    reply = WithoutLineEnd(reply.substr(0, reply.find('\n')));
    for (size_t at = 4; at < reply.size(); ++at) {
        if (!IsDigit(reply[at]) || IsDigit(reply[at - 1])) continue;
        if (const auto numbers = SixNumbers(reply.substr(at))) return PortOf((*numbers)[4], (*numbers)[5]);
    }
    return std::nullopt;
}

std::optional<std::uint16_t> ParseExtendedPassivePort(std::string_view reply) {
    reply = WithoutLineEnd(reply.substr(0, reply.find('\n')));
    const size_t open = reply.find('(');
    if (open == std::string_view::npos || open + 4 >= reply.size()) return std::nullopt;
    const char delimiter = reply[open + 1];
    if (IsDigit(delimiter) || reply[open + 2] != delimiter || reply[open + 3] != delimiter) return std::nullopt;
    const size_t start = open + 4;
    const size_t end = reply.find(delimiter, start);
    if (end == std::string_view::npos || end + 1 >= reply.size() || reply[end + 1] != ')') return std::nullopt;
    const auto port = ParseCount(reply.substr(start, end - start));
    if (!port || *port == 0 || *port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

}  // namespace platform
