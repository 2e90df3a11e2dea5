#pragma once
// The stamp of a file named by its Windows path (see HostFileStamp.h).
#include <string>

#include "platform/host/HostFileStamp.h"

namespace platform {

// The stamp of the file a Windows path names now; a missing file (or a path
// that names nothing here) has a stamp whose exists is false.
FileStamp StampOfFile(const std::string& windowsPath);

}  // namespace platform
