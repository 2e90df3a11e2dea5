#pragma once
// The host's program search path (PATH), for the host programs the layer
// runs itself (crontab, xdg-open) and for the last step of Windows' search.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The folders of PATH in order; the usual ones when PATH is not set.
std::vector<std::filesystem::path> HostSearchPathFolders();

// The first executable file of that name in those folders.
std::optional<std::filesystem::path> FindOnHostSearchPath(const std::string& program);

}  // namespace platform
