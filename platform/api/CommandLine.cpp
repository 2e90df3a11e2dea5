#include "platform/api/CommandLine.h"
#include "platform/host/Text.h"

namespace platform {

bool IsCommandLineBlank(char c) { return c == ' ' || c == '\t'; }

std::string DropLeadingCommandLineBlanks(const std::string& text) {
    return TextTrimLeft(text, " \t");
}

std::string TrimCommandLineBlanks(const std::string& text) {
    return TextTrim(text, " \t");
}

std::vector<std::string> SplitCommandLineArguments(const std::string& text) {
    std::vector<std::string> arguments;
    size_t i = 0;
    const size_t n = text.size();
    while (true) {
        while (i < n && IsCommandLineBlank(text[i])) ++i;
        if (i >= n) break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsCommandLineBlank(text[i]))) {
            if (text[i] == '\\') {
                size_t backslashes = 0;
                while (i < n && text[i] == '\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < n && text[i] == '"') {
                    argument.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(backslashes, '\\');
                }
            } else if (text[i] == '"') {
                if (quoted && i + 1 < n && text[i + 1] == '"') {
                    argument += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += text[i++];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::vector<ProgramPartReading> ProgramPartReadings(const std::string& commandLine) {
    const std::string line = DropLeadingCommandLineBlanks(commandLine);
    std::vector<ProgramPartReading> readings;
    if (line.empty()) return readings;
    if (line.front() == '"') {
        const size_t close = line.find('"', 1);
        if (close == std::string::npos) {
            readings.push_back({line.substr(1), ""});
        } else {
            readings.push_back({line.substr(1, close - 1), DropLeadingCommandLineBlanks(line.substr(close + 1))});
        }
        return readings;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        if (!IsCommandLineBlank(line[i])) continue;
        if (i > 0 && IsCommandLineBlank(line[i - 1])) continue;
        readings.push_back({line.substr(0, i), DropLeadingCommandLineBlanks(line.substr(i))});
    }
    std::string whole = line;
    while (!whole.empty() && IsCommandLineBlank(whole.back())) whole.pop_back();
    if (readings.empty() || readings.back().program != whole) readings.push_back({whole, ""});
    return readings;
}

std::string QuoteCommandLineArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') quoted.append(backslashes * 2 + 1, '\\');
        else quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string JoinCommandLineArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        line += QuoteCommandLineArgument(argument);
    }
    return line;
}

}  // namespace platform
