// The host tool that carries out the Windows command-line tools (cmd, ping,
// tskill, taskkill, batch files). It picks the tool by the name it was run
// under (a link named "ping") or by its first argument ("wintool ping ...").
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "platform/api/CommandLine.h"
#include "platform/api/Process.h"
#include "platform/api/Program.h"
#include "platform/tools/WindowsTools.h"

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The exact argument text our starter handed over, when it is what these
// arguments were made from; otherwise the text the arguments were typed as.
std::string ArgumentText(const std::string& tool, const std::vector<std::string>& arguments, const char* raw) {
    if (raw && platform::SplitCommandLineArguments(raw) == arguments) return raw;
    return platform::ToolArgumentText(tool, arguments);
}

}  // namespace

int main(int argc, char** argv) {
    const char* rawVariable = std::getenv(platform::kRawCommandLineVariable);
    const std::string raw = rawVariable ? rawVariable : "";
    const bool hasRaw = rawVariable != nullptr;
    const int exitCodeChannel = platform::TakeExitCodeChannel();
    platform::InitProgram(argc, argv);

    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string tool = argc > 0 ? BaseName(argv[0]) : "";
    if (!platform::FindWindowsTool(tool)) {
        if (arguments.empty()) {
            std::cerr << "usage: wintool <cmd|ping|tskill|taskkill> [arguments]\n";
            return 1;
        }
        tool = arguments.front();
        arguments.erase(arguments.begin());
    }
    if (!platform::FindWindowsTool(tool)) {
        std::cerr << "'" << tool << "' is not a tool of this host.\n";
        return 1;
    }
    const int code = platform::RunWindowsTool(tool, ArgumentText(tool, arguments, hasRaw ? raw.c_str() : nullptr));
    return platform::HandOverExitCode(exitCodeChannel, static_cast<win::DWORD>(code));
}
