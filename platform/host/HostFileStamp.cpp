#include "platform/host/HostFileStamp.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <ctime>
#include <map>
#include <mutex>
#include <string>

namespace platform {

namespace {

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t NowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

// Whether a device's file system is one of the local ones named here: its
// times follow this host's clock to one tick of the kernel's coarse clock,
// and every change to it is made through this host's kernel.
template <typename StatFs>
bool LocalDevice(dev_t device, StatFs statFs) {
    static std::mutex mutex;
    static std::map<dev_t, bool> known;
    const std::lock_guard lock(mutex);
    if (const auto found = known.find(device); found != known.end()) return found->second;
    struct statfs info {};
    bool local = false;
    if (statFs(info) == 0) {
        switch (static_cast<unsigned long>(info.f_type)) {
            case EXT4_SUPER_MAGIC:
            case XFS_SUPER_MAGIC:
            case BTRFS_SUPER_MAGIC:
            case TMPFS_MAGIC:
            case OVERLAYFS_SUPER_MAGIC:
            case F2FS_SUPER_MAGIC:
                local = true;
                break;
            default:
                break;
        }
    }
    known.emplace(device, local);
    return local;
}

// How long after a change a file's times can still be the same after the
// next change: one tick of the coarse clock on a local file system; any
// other (FAT keeps two seconds, a network share its server's clock) is given
// three seconds.
template <typename StatFs>
std::int64_t SettleNs(dev_t device, StatFs statFs) {
    return LocalDevice(device, statFs) ? 100'000'000 : 3'000'000'000;
}

template <typename StatFs>
HostFileStamp StampOfInfo(const struct stat& info, StatFs statFs) {
    HostFileStamp stamp;
    stamp.exists = true;
    stamp.regular = S_ISREG(info.st_mode);
    stamp.device = info.st_dev;
    stamp.fileNumber = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs = Nanoseconds(info.st_mtim);
    stamp.changedNs = Nanoseconds(info.st_ctim);
    const std::int64_t settle = SettleNs(info.st_dev, statFs);
    const std::int64_t now = NowNs();
    stamp.settled = now - stamp.modifiedNs >= settle && now - stamp.changedNs >= settle;
    return stamp;
}

}  // namespace

HostFileStamp StampOfHostFile(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return HostFileStamp{};
    return StampOfInfo(info, [&](struct statfs& fs) { return ::statfs(file.c_str(), &fs); });
}

bool OnLocalFileSystem(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    return LocalDevice(info.st_dev, [&](struct statfs& fs) { return ::statfs(path.c_str(), &fs); });
}

HostFileStamp StampOfHostFileAt(int folder, const std::string& name) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, 0) != 0) return HostFileStamp{};
    return StampOfInfo(info, [&](struct statfs& fs) { return ::fstatfs(folder, &fs); });
}

}  // namespace platform
