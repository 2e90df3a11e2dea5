#include "platform/api/FileStamp.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/host/WinPath.h"

namespace platform {

FileStamp StampOfFile(const std::string& windowsPath) {
    const auto host = ToHostPath(windowsPath);
    return host ? StampOfHostFile(*host) : FileStamp{};
}

FolderStamps::FolderStamps(const std::string& windowsFolder)
    : prefix_(windowsFolder.empty() || windowsFolder.back() == '\\' ? windowsFolder : windowsFolder + "\\") {
    if (const auto host = ToHostPath(windowsFolder))
        folder_ = ::open(host->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

FolderStamps::~FolderStamps() {
    if (folder_ >= 0) ::close(folder_);
}

std::optional<FileStamp> FolderStamps::StampOf(const std::string& windowsPath) const {
    if (folder_ < 0 || windowsPath.size() <= prefix_.size()) return std::nullopt;
    const std::string name = windowsPath.substr(prefix_.size());
    if (windowsPath.compare(0, prefix_.size(), prefix_) != 0 || name.find_first_of("\\/") != std::string::npos ||
        name == "." || name == "..")
        return std::nullopt;
    FileStamp stamp = StampOfHostFileAt(folder_, name);
    // A name in other letters than on disk is looked up by its path.
    if (!stamp.exists) return std::nullopt;
    return stamp;
}

}  // namespace platform
