#include "platform/api/DateTime.h"

#include "platform/host/HostFolder.h"

namespace platform {

namespace {

std::string Padded(int value, size_t width) {
    std::string text = std::to_string(value);
    while (text.size() < width) text.insert(0, "0");
    return text;
}

std::string Field(const std::tm& tm, char letter, size_t count) {
    switch (letter) {
    case 'd': return Padded(tm.tm_mday, count >= 2 ? 2 : 1);
    case 'M': return Padded(tm.tm_mon + 1, count >= 2 ? 2 : 1);
    case 'y': return count >= 3 ? Padded(tm.tm_year + 1900, 4) : Padded((tm.tm_year + 1900) % 100, count >= 2 ? 2 : 1);
    case 'h': return Padded(tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12, count >= 2 ? 2 : 1);
    case 'H': return Padded(tm.tm_hour, count >= 2 ? 2 : 1);
    case 'm': return Padded(tm.tm_min, count >= 2 ? 2 : 1);
    case 's': return Padded(tm.tm_sec, count >= 2 ? 2 : 1);
    case 't': return count >= 2 ? (tm.tm_hour < 12 ? "AM" : "PM") : (tm.tm_hour < 12 ? "A" : "P");
    default: return std::string(count, letter);
    }
}

}  // namespace

std::string FormatDateTime(std::time_t when, const std::string& pattern) {
    std::tm tm{};
    localtime_r(&when, &tm);
    std::string text;
    for (size_t i = 0; i < pattern.size();) {
        const char letter = pattern[i];
        size_t count = 1;
        while (i + count < pattern.size() && pattern[i + count] == letter) ++count;
        if (std::string("dMyhHmst").find(letter) != std::string::npos)
            text += Field(tm, letter, count);
        else
            text.append(count, letter);
        i += count;
    }
    return text;
}

std::string ShortDatePattern() { return HostSetting("International", "ShortDate", "M/d/yyyy"); }
std::string TimePattern() { return HostSetting("International", "TimeFormat", "h:mm:ss tt"); }

}  // namespace platform

namespace vb {

std::time_t Now() { return std::time(nullptr); }

std::string FormatGeneralDate(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    const std::string date = platform::FormatDateTime(when, platform::ShortDatePattern());
    if (tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0) return date;
    return date + " " + platform::FormatDateTime(when, platform::TimePattern());
}

std::string FormatTime(std::time_t when) { return platform::FormatDateTime(when, platform::TimePattern()); }

}  // namespace vb
