#include "platform/host/ChangeWait.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

struct KindEvents {
    ChangeKind kind;
    std::uint32_t events;
};

constexpr KindEvents kKindEvents[] = {
    {kFileWritten, IN_CLOSE_WRITE},   {kAttributesChanged, IN_ATTRIB},  {kEntryCreated, IN_CREATE},
    {kEntryMovedIn, IN_MOVED_TO},     {kEntryDeleted, IN_DELETE},       {kEntryMovedOut, IN_MOVED_FROM},
    {kWatchedFolderGone, IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED},
    {kFileModified, IN_MODIFY},
};

std::uint32_t EventsOf(std::uint32_t kinds) {
    std::uint32_t events = 0;
    for (const KindEvents& k : kKindEvents)
        if (kinds & k.kind) events |= k.events;
    return events & ~static_cast<std::uint32_t>(IN_IGNORED);  // never asked for: always sent
}

std::uint32_t KindsOf(std::uint32_t events) {
    std::uint32_t kinds = 0;
    for (const KindEvents& k : kKindEvents)
        if (events & k.events) kinds |= k.kind;
    return kinds;
}

}  // namespace

ChangeWait::ChangeWait() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

ChangeWait::~ChangeWait() {
    if (fd_ >= 0) ::close(fd_);
}

bool ChangeWait::Watch(const std::string& folder, std::uint32_t kinds) {
    return fd_ >= 0 && ::inotify_add_watch(fd_, folder.c_str(), EventsOf(kinds | kWatchedFolderGone)) >= 0;
}

std::vector<FolderChange> ChangeWait::Drain() {
    std::vector<FolderChange> changes;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t size = fd_ >= 0 ? ::read(fd_, buffer, sizeof buffer) : -1;
        if (size <= 0) return changes;
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            changes.push_back({KindsOf(event->mask), event->len > 0 ? std::string(event->name) : std::string()});
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void ChangeWait::Sleep() const {
    pollfd wait{fd_, POLLIN, 0};
    while (::poll(&wait, 1, -1) < 0 && errno == EINTR) {
    }
}

}  // namespace platform
