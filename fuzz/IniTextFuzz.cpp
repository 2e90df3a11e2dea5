// The INI text reader and writer, directly and through the profile
// functions: any file reads without a fault, and a value written into it
// reads back as written. The input is
// "<section>\0<key>\0<file bytes>".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/api/ProfileIni.h"
#include "platform/host/IniText.h"
#include "platform/host/Text.h"

namespace {

std::filesystem::path ScratchFile() {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("quarnel-ini-fuzz-" + std::to_string(::getpid()) + ".ini");
    return file;
}

// Names the profile functions can write and find again: no line breaks or
// brackets, no '=' in a key, no blanks at either end, not empty; UTF-8 text
// that the ANSI code page holds, since a file read as ANSI is written back so.
bool Writable(const std::string& name, bool isKey) {
    if (!platform::IsValidUtf8(name) || platform::AnsiToUtf8(platform::Utf8ToAnsi(name)) != name) return false;
    if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.front() == '\t' || name.back() == '\t' ||
        name.front() == ';' || name.front() == '[')
        return false;
    for (char c : name)
        if (c == '\r' || c == '\n' || c == ']' || (isKey && c == '=') || c == '\0') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\0');
    const std::size_t second = first == std::string::npos ? std::string::npos : input.find('\0', first + 1);
    if (second == std::string::npos) return 0;
    const std::string section = input.substr(0, first), key = input.substr(first + 1, second - first - 1);
    const std::filesystem::path file = ScratchFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << input.substr(second + 1);
    }
    platform::IniLines(input.substr(second + 1)).Value(section, key);
    platform::ReadIniValue(file, section, key);
    std::string returned;
    win::GetPrivateProfileStringA(section, key, "", returned, 255, "Z:" + file.string());
    win::GetPrivateProfileIntA(section, key, 0, "Z:" + file.string());

    if (Writable(section, false) && Writable(key, true)) {
        const std::string value = "written " + std::to_string(size);
        if (!platform::WriteIniValue(file, section, key, value)) std::abort();
        if (platform::ReadIniValue(file, section, key) != value) std::abort();
        platform::IniTextLines lines = platform::IniTextLines::OfFile(file);
        lines.Apply({platform::IniChange{section, key, "changed"}});
        if (platform::IniLines(lines.Text()).Value(section, key) != "changed") std::abort();
        // A key or section of that name may come again further on: deleting takes the first.
        lines.Apply({platform::IniChange{section, key, std::nullopt}, platform::IniChange{section, std::nullopt, {}}});
        lines.EncodedBytes();
    }
    std::filesystem::remove(file);
    return 0;
}
