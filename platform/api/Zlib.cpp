#include "platform/api/Zlib.h"

#include <zlib.h>

#include "platform/host/HostFolder.h"

namespace platform {

std::optional<std::string> ZlibVersion() {
    if (HostSettingNumber("Zlib", "Missing", 0) != 0) return std::nullopt;
    return std::string(zlibVersion());
}

}  // namespace platform
