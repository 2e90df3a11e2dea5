#pragma once
// A file's stamp: what tells, without reading it, whether a file is still
// the one read before. A rewrite in place changes its size or its times (to
// the nanosecond), a replace its file number, a touch or a change of
// attributes its change time. A caller that keeps what it read of a file may
// trust it again only while the stamp is equal and settled.
#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {

struct HostFileStamp {
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

    bool operator==(const HostFileStamp&) const = default;
};

// The stamp of a host file now; a missing file has a stamp whose exists is false.
HostFileStamp StampOfHostFile(const std::filesystem::path& file);
// Whether the path lies on a local file system, one whose every change is
// made through this host's kernel (and so seen by its change notifications).
bool OnLocalFileSystem(const std::filesystem::path& path);
// The stamp of the file of that name in an open folder (a descriptor).
HostFileStamp StampOfHostFileAt(int folder, const std::string& name);

}  // namespace platform
