#include "platform/api/Environment.h"

#include "platform/api/WinTypes.h"

#include <unistd.h>

#include <optional>
#include <string_view>

#include "platform/host/HostFolder.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

extern char** environ;

namespace platform {
namespace {

// Variables whose value is a path: a host-form value from the real
// environment is given in its Windows form.
bool IsPathVariable(const std::string& upperName) {
    static const char* const names[] = {"SYSTEMROOT", "WINDIR", "USERPROFILE", "ALLUSERSPROFILE", "PUBLIC",
                                        "PROGRAMFILES", "PROGRAMFILES(X86)", "PROGRAMW6432", "COMMONPROGRAMFILES",
                                        "COMMONPROGRAMFILES(X86)", "TEMP", "TMP", "APPDATA", "LOCALAPPDATA",
                                        "PROGRAMDATA", "HOMEPATH", "COMSPEC"};
    for (const char* name : names)
        if (upperName == name) return true;
    return false;
}

struct Derived {
    const char* upperName;
    std::string (*make)();
};

// Each variable is made only when asked for: a short process that expands
// one of them does not look up the user or the machine for the others.
std::optional<std::string> DerivedVariable(const std::string& upperName) {
    static const Derived always[] = {
        {"SYSTEMDRIVE", [] { return std::string("C:"); }},
        {"SYSTEMROOT", [] { return std::string("C:\\Windows"); }},
        {"WINDIR", [] { return std::string("C:\\Windows"); }},
        {"COMSPEC", [] { return std::string("C:\\Windows\\System32\\cmd.exe"); }},
        {"COMPUTERNAME", [] { return ComputerName(); }},
        {"USERNAME", [] { return LoginName(); }},
        {"USERDOMAIN", [] { return ComputerName(); }},
        {"USERPROFILE", [] { return HostUserProfileWindowsPath(); }},
        {"HOMEDRIVE", [] { return std::string("C:"); }},
        {"HOMEPATH", [] { return HostUserProfileWindowsPath().substr(2); }},
        {"APPDATA", [] { return HostUserProfileWindowsPath() + "\\AppData\\Roaming"; }},
        {"LOCALAPPDATA", [] { return HostUserProfileWindowsPath() + "\\AppData\\Local"; }},
        {"ALLUSERSPROFILE", [] { return std::string("C:\\ProgramData"); }},
        {"PROGRAMDATA", [] { return std::string("C:\\ProgramData"); }},
        {"PUBLIC", [] { return std::string("C:\\Users\\Public"); }},
        {"PROGRAMFILES", [] { return std::string("C:\\Program Files"); }},
        {"COMMONPROGRAMFILES", [] { return std::string("C:\\Program Files\\Common Files"); }},
        {"TEMP", [] { return HostUserProfileWindowsPath() + "\\AppData\\Local\\Temp"; }},
        {"TMP", [] { return HostUserProfileWindowsPath() + "\\AppData\\Local\\Temp"; }},
        {"OS", [] { return std::string("Windows_NT"); }},
        {"PROCESSOR_ARCHITECTURE", [] { return std::string("x86"); }},
    };
    static const Derived on64Bit[] = {
        {"PROGRAMFILES(X86)", [] { return std::string("C:\\Program Files (x86)"); }},
        {"PROGRAMW6432", [] { return std::string("C:\\Program Files"); }},
        {"COMMONPROGRAMFILES(X86)", [] { return std::string("C:\\Program Files (x86)\\Common Files"); }},
        {"PROCESSOR_ARCHITEW6432", [] { return std::string("AMD64"); }},
    };
    for (const Derived& variable : always)
        if (upperName == variable.upperName) return variable.make();
    for (const Derived& variable : on64Bit)
        if (upperName == variable.upperName) return HostIs64Bit() ? std::optional(variable.make()) : std::nullopt;
    return std::nullopt;
}

std::optional<std::string> RealVariable(const std::string& upperName) {
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        if (TextCompareEqual(text.substr(0, eq), upperName)) return std::string(text.substr(eq + 1));
    }
    return std::nullopt;
}

}  // namespace
}  // namespace platform

namespace vb {

std::string Environ(const std::string& name) {
    using namespace platform;
    const std::string upper = TextUpper(name);
    if (auto real = RealVariable(upper)) {
        if (IsPathVariable(upper) && !real->empty() && real->front() == '/') return ToWindowsPath(*real);
        return *real;
    }
    return DerivedVariable(upper).value_or(std::string());
}

}  // namespace vb

namespace win {

unsigned GetEnvironmentVariableA(const std::string& name, std::string& value) {
    value = vb::Environ(name);
    if (value.empty()) SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
    return static_cast<unsigned>(value.size());
}

}  // namespace win
