#pragma once
// Sleeps until something changes in the folders it watches, without polling
// (inotify on this host). Notifications queue up between looks; Drain reads
// them without waiting, Sleep waits for the next, and Handle is what an
// event loop watches for readability instead of Sleep.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum ChangeKind : std::uint32_t {
    kFileWritten = 1u << 0,         // a file opened for writing was closed
    kAttributesChanged = 1u << 1,
    kEntryCreated = 1u << 2,
    kEntryMovedIn = 1u << 3,
    kEntryDeleted = 1u << 4,
    kEntryMovedOut = 1u << 5,
    kWatchedFolderGone = 1u << 6,   // removed or moved away: its watch has ended
    kFileModified = 1u << 7,        // a file's content was written, before it is closed
};

struct FolderChange {
    std::uint32_t kinds = 0;  // ChangeKind bits
    std::string name;         // the entry's name in the folder; empty for the folder itself
};

class ChangeWait {
public:
    ChangeWait();
    ~ChangeWait();
    ChangeWait(const ChangeWait&) = delete;
    ChangeWait& operator=(const ChangeWait&) = delete;

    // False when the host gives no change notifications to this process.
    bool IsOpen() const { return fd_ >= 0; }
    // Notes the kinds of change (ChangeKind bits) in the folder; a folder's
    // own end is always noted. False when the folder cannot be watched.
    bool Watch(const std::string& folder, std::uint32_t kinds);
    // Every change queued so far, without waiting.
    std::vector<FolderChange> Drain();
    // Until a change is queued.
    void Sleep() const;
    int Handle() const { return fd_; }

private:
    int fd_ = -1;
};

}  // namespace platform
