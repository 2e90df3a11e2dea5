#pragma once
// Whether anything in one folder may have changed since the last look, told
// by the host's change notifications instead of a look at each of its files.
// A folder whose notifications could miss a change is never called quiet:
// none are given, its file system may be written by other machines, or one
// of its entries is a link or has a second name elsewhere, through which it
// can change unseen.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class FolderWatch {
public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // The number of the quiet stretch the folder (its Windows path) is in:
    // two looks that give the same number had no entry made, removed,
    // renamed, written or given other attributes between them. 0 when the
    // folder cannot be watched now: anything may have changed.
    std::uint64_t Look(const std::string& windowsFolder);

private:
    struct Watched;
    std::unique_ptr<Watched> watched_;
    std::uint64_t lastStretch_ = 0;
};

}  // namespace platform
