#include "ConfigFiles.h"

#include <cmath>

#include "common/CommonModule.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileStatements.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/ReplacementFile.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace ConfigFiles {

namespace {

bool SameEntry(const std::string& a, const std::string& b) { return vb::StrComp(a, b, vb::vbTextCompare) == 0; }

// A new empty file beside sFile, or "" when none can be made there.
std::string NewTemporaryFile(const std::string& sFile) { return platform::NewReplacementFile(sFile); }

void DiscardTemporaryFile(const std::string& temporary) {
    win::SetFileAttributesA(temporary, win::FILE_ATTRIBUTE_NORMAL);
    win::DeleteFileA(temporary);
}

// Puts the finished temporary file in the place of sFile in one step.
bool ReplaceWith(const std::string& temporary, const std::string& sFile) {
    return platform::PutReplacementInPlace(temporary, sFile);
}

std::vector<std::string> UniqueLines(const std::vector<std::string>& entries) {
    std::vector<std::string> lines;
    for (const std::string& entry : entries) {
        const std::string line = OneLine(entry);
        if (line.empty()) continue;
        bool seen = false;
        for (const std::string& kept : lines) seen = seen || SameEntry(kept, line);
        if (!seen) lines.push_back(line);
    }
    return lines;
}

bool IsReadOnly(const std::string& sFile) {
    const win::DWORD attributes = win::GetFileAttributesA(sFile);
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_READONLY);
}

}  // namespace

std::string ListFilePath(const std::string& fileName) { return CommonModule::AppPath() + "Rules\\" + fileName; }

std::optional<int> CheckBoxValue(const std::string& text) {
    const std::optional<double> number = vb::CDblOf(text);
    if (!number) return std::nullopt;
    const double value = std::nearbyint(*number);
    if (value != 0 && value != 1 && value != 2) return std::nullopt;
    return static_cast<int>(value);
}

std::string OneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        line += (text[i] == '\r' || text[i] == '\n') ? ' ' : text[i];
    }
    return line;
}

bool WriteListFile(const std::string& sFile, const std::vector<std::string>& entries) {
    const std::vector<std::string> lines = UniqueLines(entries);
    if (lines.empty()) return !CommonModule::DoesFileExist(sFile) || win::DeleteFileA(sFile);
    if (IsReadOnly(sFile)) return false;
    const std::string temporary = NewTemporaryFile(sFile);
    if (temporary.empty()) return false;
    // A copy of the old list first, so that the new one keeps its encoding.
    if (CommonModule::DoesFileExist(sFile) && !win::CopyFileA(sFile, temporary, false)) {
        DiscardTemporaryFile(temporary);
        return false;
    }
    try {
        vb::TextFile file(temporary, vb::TextFile::Mode::Output);
        for (const std::string& line : lines) file.PrintLine(line);
        file.Close();
    } catch (const RuntimeError&) {
        DiscardTemporaryFile(temporary);
        return false;
    }
    return ReplaceWith(temporary, sFile);
}

std::vector<std::string> ReadListFile(const std::string& sFile) {
    std::vector<std::string> entries;
    if (!CommonModule::DoesFileExist(sFile)) return entries;
    try {
        vb::TextFile file(sFile, vb::TextFile::Mode::Input);
        while (!file.Eof()) {
            std::string line = file.LineInput();
            if (!line.empty()) entries.push_back(std::move(line));
        }
    } catch (const RuntimeError&) {
    }
    return entries;
}

bool IsValidRuleName(const std::string& sName) {
    if (sName.find_first_not_of('.') == std::string::npos) return false;
    for (const char c : sName) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
    }
    return true;
}

bool WriteIniValues(const std::string& sFile, const std::vector<IniValue>& values) {
    if (IsReadOnly(sFile)) return false;
    bool written = true;
    const bool replaced = CommonModule::WriteIniStrings(sFile, [&] {
        for (const IniValue& value : values)
            written = win::WritePrivateProfileStringA(value.section, value.key, value.value, sFile) && written;
    });
    return written && replaced;
}

}  // namespace ConfigFiles
