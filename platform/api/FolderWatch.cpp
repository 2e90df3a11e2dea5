#include "platform/api/FolderWatch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "platform/host/ChangeWait.h"
#include "platform/host/HostFileStamp.h"
#include "platform/host/WinPath.h"

namespace platform {

namespace {

constexpr std::uint32_t kEveryChange = kFileWritten | kFileModified | kAttributesChanged | kEntryCreated |
                                       kEntryMovedIn | kEntryDeleted | kEntryMovedOut;

// Every entry of the folder is its own: no link, and no file that also has a
// name in another folder (whose writes through that name this folder's
// notifications would not tell).
bool EntriesAreOwn(const std::filesystem::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool own = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            own = own && errno == 0;
            break;
        }
        if (entry->d_type == DT_DIR) continue;
        if (entry->d_type == DT_LNK) {
            own = false;
            break;
        }
        struct stat info {};
        // An entry gone since the listing: its removal is queued already.
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(info.st_mode) || (!S_ISDIR(info.st_mode) && info.st_nlink > 1)) {
            own = false;
            break;
        }
    }
    ::closedir(dir);
    return own;
}

}  // namespace

struct FolderWatch::Watched {
    std::string windowsFolder;
    std::filesystem::path hostFolder;
    dev_t device = 0;
    ino_t inode = 0;
    ChangeWait changes;
    bool trusted = false;
    std::uint64_t stretch = 0;

    bool Is(const std::string& windows, const std::filesystem::path& host, const struct stat& info) const {
        return windowsFolder == windows && hostFolder == host && device == info.st_dev && inode == info.st_ino;
    }
};

FolderWatch::FolderWatch() = default;
FolderWatch::~FolderWatch() = default;

std::uint64_t FolderWatch::Look(const std::string& windowsFolder) {
    const auto host = ToHostPath(windowsFolder);
    struct stat info {};
    if (!host || ::stat(host->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        watched_.reset();
        return 0;
    }
    bool changed = !watched_ || !watched_->Is(windowsFolder, *host, info);
    if (changed) {
        // The watch is set before the entries are looked at: a change made
        // during the look is queued for the next one.
        watched_ = std::make_unique<Watched>();
        watched_->windowsFolder = windowsFolder;
        watched_->hostFolder = *host;
        watched_->device = info.st_dev;
        watched_->inode = info.st_ino;
        watched_->trusted = watched_->changes.Watch(host->string(), kEveryChange) && OnLocalFileSystem(*host);
    } else {
        for (const FolderChange& change : watched_->changes.Drain()) {
            changed = true;
            // The folder's watch has ended: the next look watches it anew.
            if (change.kinds & kWatchedFolderGone) {
                watched_.reset();
                return 0;
            }
        }
    }
    if (changed) {
        watched_->stretch = ++lastStretch_;
        if (watched_->trusted && !EntriesAreOwn(*host)) watched_->stretch = 0;
    }
    return watched_->trusted ? watched_->stretch : 0;
}

}  // namespace platform
