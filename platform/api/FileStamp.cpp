#include "platform/api/FileStamp.h"

#include "platform/host/WinPath.h"

namespace platform {

FileStamp StampOfFile(const std::string& windowsPath) {
    const auto host = ToHostPath(windowsPath);
    return host ? StampOfHostFile(*host) : FileStamp{};
}

}  // namespace platform
