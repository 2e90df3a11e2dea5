#include "platform/api/Environment.h"

#include "platform/api/WinTypes.h"

#include <unistd.h>

#include <map>

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

std::map<std::string, std::string> DerivedVariables() {
    const std::string profile = HostUserProfileWindowsPath();
    std::map<std::string, std::string> vars = {
        {"SYSTEMDRIVE", "C:"},
        {"SYSTEMROOT", "C:\\Windows"},
        {"WINDIR", "C:\\Windows"},
        {"COMSPEC", "C:\\Windows\\System32\\cmd.exe"},
        {"COMPUTERNAME", ComputerName()},
        {"USERNAME", LoginName()},
        {"USERDOMAIN", ComputerName()},
        {"USERPROFILE", profile},
        {"HOMEDRIVE", "C:"},
        {"HOMEPATH", profile.substr(2)},
        {"APPDATA", profile + "\\AppData\\Roaming"},
        {"LOCALAPPDATA", profile + "\\AppData\\Local"},
        {"ALLUSERSPROFILE", "C:\\ProgramData"},
        {"PROGRAMDATA", "C:\\ProgramData"},
        {"PUBLIC", "C:\\Users\\Public"},
        {"PROGRAMFILES", "C:\\Program Files"},
        {"COMMONPROGRAMFILES", "C:\\Program Files\\Common Files"},
        {"TEMP", profile + "\\AppData\\Local\\Temp"},
        {"TMP", profile + "\\AppData\\Local\\Temp"},
        {"OS", "Windows_NT"},
    };
    if (HostIs64Bit()) {
        vars["PROGRAMFILES(X86)"] = "C:\\Program Files (x86)";
        vars["PROGRAMW6432"] = "C:\\Program Files";
        vars["COMMONPROGRAMFILES(X86)"] = "C:\\Program Files (x86)\\Common Files";
        vars["PROCESSOR_ARCHITEW6432"] = "AMD64";
    }
    vars["PROCESSOR_ARCHITECTURE"] = "x86";
    return vars;
}

std::optional<std::string> RealVariable(const std::string& upperName) {
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text(*entry);
        const size_t eq = text.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        if (TextUpper(text.substr(0, eq)) == upperName) return text.substr(eq + 1);
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
    const auto derived = DerivedVariables();
    const auto found = derived.find(upper);
    return found == derived.end() ? std::string() : found->second;
}

}  // namespace vb

namespace win {

unsigned GetEnvironmentVariableA(const std::string& name, std::string& value) {
    value = vb::Environ(name);
    if (value.empty()) SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
    return static_cast<unsigned>(value.size());
}

}  // namespace win
