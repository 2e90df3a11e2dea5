#include "platform/api/WinError.h"

#include <cerrno>

namespace platform {

win::DWORD ErrorOfErrno(int error) {
    switch (error) {
    case ENOENT: return win::ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return win::ERROR_PATH_NOT_FOUND;
    case EEXIST:
    case ENOTEMPTY: return win::ERROR_ALREADY_EXISTS;
    case EXDEV: return 17;           // ERROR_NOT_SAME_DEVICE
    case EROFS: return 19;           // ERROR_WRITE_PROTECT
    case EBUSY: return 32;           // ERROR_SHARING_VIOLATION
    case ENOSPC: return 112;         // ERROR_DISK_FULL
    case ENAMETOOLONG: return win::ERROR_FILENAME_EXCED_RANGE;
    default: return win::ERROR_ACCESS_DENIED;
    }
}

std::string SystemErrorText(win::DWORD code) {
    switch (code) {
    case win::ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case win::ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
    case win::ERROR_ACCESS_DENIED: return "Access is denied.";
    case win::ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case 1009: return "The configuration registry database is corrupt.";
    case 1010: return "The configuration registry key is invalid.";
    case 1015: return "The registry is corrupted.";
    case 1016:
        return "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, "
               "or write out, or flush, one of the files that contain the system's image of the registry.";
    case 1018: return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default: return "Error " + std::to_string(code) + ".";
    }
}

}  // namespace platform
