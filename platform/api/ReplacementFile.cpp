#include "platform/api/ReplacementFile.h"

#include <unistd.h>

#include "platform/api/WinError.h"
#include "platform/api/WinTypes.h"
#include "platform/host/WholeFile.h"
#include "platform/host/WinPath.h"

namespace platform {

std::string NewReplacementFile(const std::string& windowsFile) {
    const auto host = ToHostPath(windowsFile);
    if (!host) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return "";
    }
    WholeFile replacement(*host);
    if (const int error = replacement.Create(); error != 0) {
        win::SetLastError(ErrorOfErrno(error));
        return "";
    }
    return ToWindowsPath(replacement.Keep());
}

bool PutReplacementInPlace(const std::string& windowsReplacement, const std::string& windowsFile) {
    const auto replacement = ToHostPath(windowsReplacement);
    const auto host = ToHostPath(windowsFile);
    if (!replacement || !host) {
        if (replacement) ::unlink(replacement->c_str());
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (const int error = PutTemporaryInPlace(*replacement, *host); error != 0) {
        win::SetLastError(ErrorOfErrno(error));
        return false;
    }
    return true;
}

}  // namespace platform
