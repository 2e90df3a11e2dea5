#pragma once
// Files' stamps (HostFileStamp: whether a file is still the one read
// before), taken for files named by their Windows paths.
#include <optional>
#include <string>

#include "platform/host/HostFileStamp.h"

namespace platform {

using FileStamp = HostFileStamp;

// The stamp of the file a Windows path names now; a missing file (or a path
// that names nothing here) has a stamp whose exists is false.
FileStamp StampOfFile(const std::string& windowsPath);

// The name of the entry that a Windows path names directly in the folder
// (the path starting with the folder as given); nothing for a path elsewhere.
std::optional<std::string> EntryNameIn(const std::string& windowsFolder, const std::string& windowsPath);

// The stamps of the files of one folder, the folder named by its Windows path
// and resolved once: for work that looks at many files of one folder in a row
// (one record's rule checks).
class FolderStamps {
public:
    explicit FolderStamps(const std::string& windowsFolder);
    ~FolderStamps();
    FolderStamps(const FolderStamps&) = delete;
    FolderStamps& operator=(const FolderStamps&) = delete;

    // The stamp of a file directly in the folder (its path starts with the
    // folder as given), by its name as the folder lists it; nothing when the
    // path is elsewhere or no file has that very name, for the caller to look
    // at the file by its path.
    std::optional<FileStamp> StampOf(const std::string& windowsPath) const;

private:
    std::string folderName_;
    int folder_ = -1;
};

}  // namespace platform
