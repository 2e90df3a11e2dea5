#include "platform/api/Shell.h"
#include "platform/host/HostProcess.h"
#include "platform/host/HostSearchPath.h"

#include <cctype>
#include <cstdlib>
#include <optional>

#include "platform/api/FileApi.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace win {

namespace {

constexpr std::intptr_t kShellSuccess = 42;

bool IsWindowsFilePath(const std::string& file) {
    return file.size() >= 3 && std::isalpha(static_cast<unsigned char>(file[0])) && file[1] == ':' &&
           (file[2] == '\\' || file[2] == '/');
}

// A Windows path is opened as the host file it names; an address as it is.
std::string HandlerArgument(const std::string& file) {
    if (!IsWindowsFilePath(file)) return file;
    auto hostPath = platform::ToHostPath(file);
    return hostPath ? hostPath->string() : file;
}

bool IsOpenVerb(const std::string& verb) {
    return verb.empty() || platform::TextLower(verb) == "open";
}

}  // namespace

std::intptr_t ShellExecuteA(HWND owner, const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory, int showCommand) {
    if (file.empty()) return SE_ERR_FNF;
    if (!IsOpenVerb(verb)) return SE_ERR_NOASSOC;
    auto handler = platform::FindOnHostSearchPath("xdg-open");
    if (!handler) return SE_ERR_NOASSOC;
    const bool started = platform::StartDetachedHostProgram({handler->string(), HandlerArgument(file)});
    return started ? kShellSuccess : SE_ERR_NOASSOC;
}

BOOL SHGetDiskFreeSpaceExA(const std::string& directoryName, std::uint64_t* freeBytesAvailableToCaller,
                           std::uint64_t* totalNumberOfBytes, std::uint64_t* totalNumberOfFreeBytes) {
    return GetDiskFreeSpaceExA(directoryName, freeBytesAvailableToCaller, totalNumberOfBytes, totalNumberOfFreeBytes);
}

}  // namespace win
