#include "platform/host/HostSearchPath.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace platform {

namespace fs = std::filesystem;

std::vector<fs::path> HostSearchPathFolders() {
    const char* path = std::getenv("PATH");
    std::istringstream entries(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::vector<fs::path> folders;
    std::string entry;
    while (std::getline(entries, entry, ':'))
        if (!entry.empty()) folders.emplace_back(entry);
    return folders;
}

std::optional<fs::path> FindOnHostSearchPath(const std::string& program) {
    std::error_code ec;
    for (const fs::path& folder : HostSearchPathFolders()) {
        const fs::path candidate = folder / program;
        if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

}  // namespace platform
