#include "platform/api/FileStamp.h"

#include <sys/stat.h>

#include <ctime>

#include "platform/host/WinPath.h"

namespace platform {

namespace {

// Coarser than any file system's time stamps (FAT keeps two seconds).
constexpr std::int64_t kSettleNs = 3'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t NowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

}  // namespace

FileStamp StampOfFile(const std::string& windowsPath) {
    FileStamp stamp;
    const auto host = ToHostPath(windowsPath);
    struct stat info {};
    if (!host || ::stat(host->c_str(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.regular = S_ISREG(info.st_mode);
    stamp.device = info.st_dev;
    stamp.fileNumber = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = Nanoseconds(info.st_mtim);
    stamp.changedNs = Nanoseconds(info.st_ctim);
    const std::int64_t now = NowNs();
    stamp.settled = now - stamp.modifiedNs >= kSettleNs && now - stamp.changedNs >= kSettleNs;
    return stamp;
}

}  // namespace platform
