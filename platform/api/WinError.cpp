#include "platform/api/WinError.h"

#include <cerrno>
#include <map>

namespace platform {

namespace {

const std::map<win::DWORD, const char*>& SystemTexts() {
    static const std::map<win::DWORD, const char*> texts{
        {0, "The operation completed successfully."},
        {1, "Incorrect function."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {4, "The system cannot open the file."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {8, "Not enough storage is available to process this command."},
        {14, "Not enough storage is available to complete this operation."},
        {17, "The system cannot move the file to a different disk drive."},
        {18, "There are no more files."},
        {19, "The media is write protected."},
        {24, "The program issued a command but the command length is incorrect."},
        {32, "The process cannot access the file because it is being used by another process."},
        {53, "The network path was not found."},
        {80, "The file exists."},
        {87, "The parameter is incorrect."},
        {112, "There is not enough space on the disk."},
        {122, "The data area passed to a system call is too small."},
        {123, "The filename, directory name, or volume label syntax is incorrect."},
        {126, "The specified module could not be found."},
        {161, "The specified path is invalid."},
        {183, "Cannot create a file when that file already exists."},
        {206, "The filename or extension is too long."},
        {234, "More data is available."},
        {259, "No more data is available."},
        {267, "The directory name is invalid."},
        {998, "Invalid access to memory location."},
        {1009, "The configuration registry database is corrupt."},
        {1010, "The configuration registry key is invalid."},
        {1011, "The configuration registry key could not be opened."},
        {1012, "The configuration registry key could not be read."},
        {1013, "The configuration registry key could not be written."},
        {1014, "One of the files in the registry database had to be recovered by use of a log or alternate copy. The "
               "recovery was successful."},
        {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
               "or the system's memory image of the file is corrupted, or the file could not be recovered because the "
               "alternate copy or log was absent or corrupted."},
        {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
               "write out, or flush, one of the files that contain the system's image of the registry."},
        {1017, "The system has attempted to load or restore a file into the registry, but the specified file is not "
               "in a registry file format."},
        {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
        {1053, "The service did not respond to the start or control request in a timely fashion."},
        {1056, "An instance of the service is already running."},
        {1058, "The service cannot be started, either because it is disabled or because it has no enabled devices "
               "associated with it."},
        {1060, "The specified service does not exist as an installed service."},
        {1062, "The service has not been started."},
        {1065, "The database specified does not exist."},
        {1072, "The specified service has been marked for deletion."},
        {1073, "The specified service already exists."},
        {1223, "The operation was canceled by the user."},
        {1307, "This security ID may not be assigned as the owner of this object."},
        {1332, "No mapping between account names and security IDs was done."},
        {1338, "The security descriptor structure is invalid."},
        {1722, "The RPC server is unavailable."},
        {6700, "The transaction handle associated with this operation is not valid."},
        {6701, "The requested operation was made in the context of a transaction that is no longer active."},
    };
    return texts;
}

}  // namespace

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

std::optional<std::string> SystemMessageText(win::DWORD code) {
    const auto found = SystemTexts().find(code);
    if (found == SystemTexts().end()) return std::nullopt;
    return found->second;
}

std::string SystemErrorText(win::DWORD code) {
    return SystemMessageText(code).value_or("Error " + std::to_string(code) + ".");
}

}  // namespace platform
