#include "platform/api/Shell.h"
#include "platform/host/HostSearchPath.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "platform/api/FileSystem.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace win {

namespace {

namespace fs = std::filesystem;

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

// Starts the handler as a grandchild so that nobody has to wait for it: the
// intermediate child ends at once and is reaped here. A close-on-exec pipe
// tells whether the handler's exec succeeded.
bool StartDetached(const fs::path& program, const std::string& argument) {
    std::string programText = program.string();
    std::string name = program.filename().string();
    std::string argumentText = argument;
    char* argv[] = {name.data(), argumentText.data(), nullptr};

    int execFailed[2];
    if (pipe2(execFailed, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(execFailed[0]);
        close(execFailed[1]);
        return false;
    }
    if (child == 0) {
        close(execFailed[0]);
        setsid();
        pid_t handler = fork();
        if (handler == 0) {
            execv(programText.c_str(), argv);
            int error = errno;
            (void)!write(execFailed[1], &error, sizeof error);
            _exit(127);
        }
        _exit(handler < 0 ? 1 : 0);
    }
    close(execFailed[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = read(execFailed[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(execFailed[0]);
    const bool forked = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return forked && got == 0;
}

}  // namespace

std::intptr_t ShellExecuteA(HWND owner, const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory, int showCommand) {
    if (file.empty()) return SE_ERR_FNF;
    if (!IsOpenVerb(verb)) return SE_ERR_NOASSOC;
    auto handler = platform::FindOnHostSearchPath("xdg-open");
    if (!handler) return SE_ERR_NOASSOC;
    return StartDetached(*handler, HandlerArgument(file)) ? kShellSuccess : SE_ERR_NOASSOC;
}

BOOL SHGetDiskFreeSpaceExA(const std::string& directoryName, std::uint64_t* freeBytesAvailableToCaller,
                           std::uint64_t* totalNumberOfBytes, std::uint64_t* totalNumberOfFreeBytes) {
    return GetDiskFreeSpaceExA(directoryName, freeBytesAvailableToCaller, totalNumberOfBytes, totalNumberOfFreeBytes);
}

}  // namespace win
