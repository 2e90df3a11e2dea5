#include "platform/api/FileStamp.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/host/WinPath.h"

namespace platform {

FileStamp StampOfFile(const std::string& windowsPath) {
    const auto host = ToHostPath(windowsPath);
    return host ? StampOfHostFile(*host) : FileStamp{};
}

std::optional<std::string> EntryNameIn(const std::string& windowsFolder, const std::string& windowsPath) {
    std::size_t prefix = windowsFolder.size();
    if (windowsPath.compare(0, prefix, windowsFolder) != 0) return std::nullopt;
    if (windowsFolder.empty() || windowsFolder.back() != '\\') {
        if (windowsPath.size() <= prefix || windowsPath[prefix] != '\\') return std::nullopt;
        ++prefix;
    }
    std::string name = windowsPath.substr(prefix);
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != std::string::npos)
        return std::nullopt;
    return name;
}

FolderStamps::FolderStamps(const std::string& windowsFolder) : folderName_(windowsFolder) {
    if (const auto host = ToHostPath(windowsFolder))
        folder_ = ::open(host->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

FolderStamps::~FolderStamps() {
    if (folder_ >= 0) ::close(folder_);
}

std::optional<FileStamp> FolderStamps::StampOf(const std::string& windowsPath) const {
    if (folder_ < 0) return std::nullopt;
    const auto name = EntryNameIn(folderName_, windowsPath);
    if (!name) return std::nullopt;
    FileStamp stamp = StampOfHostFileAt(folder_, *name);
    // A name in other letters than on disk is looked up by its path.
    if (!stamp.exists) return std::nullopt;
    return stamp;
}

}  // namespace platform
