// Stands in for 7z.exe / 7za.exe in a program folder: splits its raw command
// line as 7-Zip does (a double quote toggles quoting and is dropped; a
// backslash is an ordinary character), turns the archive and -o paths into
// host paths and runs Debian's 7-Zip with them, passing its exit code on.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/api/Program.h"
#include "platform/host/WinPath.h"

namespace {

std::vector<std::string> SplitLikeSevenZip(const std::string& text) {
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false;
    bool any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) arguments.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) arguments.push_back(current);
    return arguments;
}

std::string HostPathOf(const std::string& windowsPath) {
    const bool folder = !windowsPath.empty() && windowsPath.back() == '\\';
    const auto host = platform::ToHostPath(windowsPath);
    if (!host) return windowsPath;
    return host->string() + (folder ? "/" : "");
}

std::string SevenZip() {
    for (const char* candidate : {"/usr/bin/7z", "/usr/bin/7zz", "/usr/bin/7za"})
        if (access(candidate, X_OK) == 0) return candidate;
    return "7z";
}

}  // namespace

int main() {
    const char* raw = std::getenv(platform::kRawCommandLineVariable);
    std::vector<std::string> arguments = {SevenZip()};
    for (const std::string& argument : SplitLikeSevenZip(raw ? raw : "")) {
        if (argument.rfind("-o", 0) == 0)
            arguments.push_back("-o" + HostPathOf(argument.substr(2)));
        else if (argument.size() > 2 && argument[1] == ':')
            arguments.push_back(HostPathOf(argument));
        else
            arguments.push_back(argument);
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    return 127;
}
