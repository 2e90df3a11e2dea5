#include "platform/host/HostTools.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <system_error>

#include "platform/host/WholeFile.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLinkSuffix = ".link";

std::atomic<unsigned> linkCount{0};

// One look at the link: reading a name that is no link fails.
bool PointsAt(const fs::path& link, const fs::path& target) {
    std::error_code ec;
    const fs::path pointed = fs::read_symlink(link, ec);
    return !ec && pointed == target;
}

bool IsExecutable(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0;
}

// Same folder, same naming as a replaced file's temporary, so that a link
// left by a killed process is removed as a stale temporary.
fs::path TemporaryLinkName(const fs::path& link) {
    return link.parent_path() / ("." + link.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                 std::to_string(linkCount++) + kLinkSuffix);
}

void ReplaceLink(const fs::path& link, const fs::path& target) {
    RemoveStaleTemporaries(link, kLinkSuffix);
    const fs::path temporary = TemporaryLinkName(link);
    if (::symlink(target.c_str(), temporary.c_str()) != 0) return;
    if (std::rename(temporary.c_str(), link.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace

fs::path OwnExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

const std::vector<HostTool>& HostTools() {
    static const std::vector<HostTool> tools = {
        {"cmd.exe", "wintool"},      {"ping.exe", "wintool"},         {"tskill.exe", "wintool"},
        {"taskkill.exe", "wintool"}, {"mmc.exe", "wintool"},          {"control.exe", "wintool"},
        {"schtasks.exe", "wintool"}, {"sc.exe", "sc.exe"},            {"reg.exe", "reg.exe"},
        {"eventcreate.exe", "eventcreate.exe"},
    };
    return tools;
}

bool IsHostToolName(const std::string& fileName) {
    for (const HostTool& tool : HostTools())
        if (fileName == tool.windowsName) return true;
    return false;
}

bool CarriesTools(const fs::path& toolFolder) {
    for (const HostTool& tool : HostTools())
        if (IsExecutable(toolFolder / tool.executable)) return true;
    return false;
}

void InstallHostTools(const fs::path& systemFolder, const fs::path& toolFolder) {
    // Every process comes here at its start, and the links are almost always
    // right already: the tool folder is looked at only when one is not.
    std::optional<bool> carriesTools;
    for (const HostTool& tool : HostTools()) {
        const fs::path target = toolFolder / tool.executable;
        const fs::path link = systemFolder / tool.windowsName;
        if (PointsAt(link, target)) continue;
        if (!carriesTools) carriesTools = CarriesTools(toolFolder);
        if (!*carriesTools) return;
        if (IsExecutable(target)) ReplaceLink(link, target);
        else ::unlink(link.c_str());
    }
}

void InstallHostTools(const fs::path& systemFolder) {
    const fs::path own = OwnExecutableFolder();
    if (!own.empty()) InstallHostTools(systemFolder, own);
}

}  // namespace platform
