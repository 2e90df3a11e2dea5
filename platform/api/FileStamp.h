#pragma once
// A file's stamp, named by its Windows path: what tells, without reading it,
// whether a file is still the one read before. A rewrite in place changes its
// size or its times (to the nanosecond), a replace its file number, a touch
// or a change of attributes its change time. A caller that keeps what it read
// of a file may trust it again only while the stamp is equal and settled.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct FileStamp {
    bool exists = false;
    bool regular = false;  // a plain file (a link is followed), not a folder, FIFO or device
    std::uint64_t device = 0;
    std::uint64_t fileNumber = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // since 1970, UTC
    std::int64_t changedNs = 0;
    // Both times lie far enough in the past that a later write cannot leave
    // them as they are, however coarse the file system's clock.
    bool settled = false;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file a Windows path names now; a missing file (or a path
// that names nothing here) has a stamp whose exists is false.
FileStamp StampOfFile(const std::string& windowsPath);

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
    std::string prefix_;  // the folder as given, with its backslash
    int folder_ = -1;
};

}  // namespace platform
