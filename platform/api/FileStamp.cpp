#include "platform/api/FileStamp.h"

#include "platform/host/HostFileStamp.h"
#include "platform/host/WinPath.h"

namespace platform {

namespace {

FileStamp FromHost(const HostFileStamp& host) {
    return FileStamp{host.exists,     host.regular,   host.device,    host.fileNumber,
                     host.size,       host.modifiedNs, host.changedNs, host.settled};
}

}  // namespace

FileStamp StampOfFile(const std::string& windowsPath) {
    const auto host = ToHostPath(windowsPath);
    return host ? FromHost(StampOfHostFile(*host)) : FileStamp{};
}

}  // namespace platform
