#include "platform/host/WholeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <string>

namespace platform {

namespace fs = std::filesystem;

namespace {

// The DOS attributes of a file (read-only, hidden, system, archive).
constexpr const char* kDosAttributes = "user.dosattrib";
constexpr std::size_t kMaxPidDigits = 10;

std::string TemporaryPrefix(const fs::path& file) { return "." + file.filename().string() + "."; }

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The process id in a temporary's name: "<pid>" or "<pid>-<number>"
// between the file's prefix and the suffix.
std::optional<pid_t> WriterOf(std::string_view name, std::string_view prefix, std::string_view suffix) {
    if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return std::nullopt;
    std::string_view rest = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dash = rest.find('-');
    if (dash != std::string_view::npos) {
        if (!IsDigits(rest.substr(dash + 1))) return std::nullopt;
        rest = rest.substr(0, dash);
    }
    if (!IsDigits(rest) || rest.size() > kMaxPidDigits) return std::nullopt;
    const long long pid = std::stoll(std::string(rest));
    if (pid <= 0 || pid > 0x7FFFFFFF) return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool IsRunning(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// A writer holds the lock of its temporary while it has it open, so a
// temporary whose lock is free belongs to no one (this also covers a writer
// whose process id means another process here, as in another pid namespace).
bool NobodyHolds(const fs::path& temporary) {
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ELOOP;  // a link in a temporary's name is no one's file
    struct stat st {};
    const bool free = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put == 0) errno = EIO;
        if (put <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

// A link is written through to the file it names, so the link stays.
fs::path WriteTarget(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(file, ec))) return file;
    const fs::path target = fs::canonical(file, ec);
    return ec ? file : target;
}

// For a file in a folder that takes no new file: the bytes go into the file itself.
int WriteInPlace(const fs::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (!WriteAll(fd, bytes) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) error = errno;
    if (::fsync(fd) != 0 && error == 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

std::atomic<unsigned> temporaryCount{0};

}  // namespace

void RemoveStaleTemporaries(const fs::path& file, std::string_view suffix) {
    const std::string prefix = TemporaryPrefix(file);
    std::error_code ec;
    for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path temporary = it->path();
        const auto writer = WriterOf(temporary.filename().string(), prefix, suffix);
        if (!writer || (*writer != ::getpid() && IsRunning(*writer)) || !NobodyHolds(temporary)) continue;
        // A writer that wrote into its temporary through a replacement of its own left that one too.
        RemoveStaleTemporaries(temporary, ".tmp");
        ::unlink(temporary.c_str());
    }
}

WholeFile::WholeFile(const fs::path& file, std::string suffix) : target_(WriteTarget(file)), suffix_(std::move(suffix)) {}

WholeFile::~WholeFile() { Discard(); }

int WholeFile::Create(mode_t newFileMode) {
    Discard();
    RemoveStaleTemporaries(target_, suffix_);
    struct stat old {};
    oldFd_ = ::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (oldFd_ >= 0 && (::fstat(oldFd_, &old) != 0 || !S_ISREG(old.st_mode))) {
        ::close(oldFd_);
        oldFd_ = -1;
    }
    const mode_t mode = oldFd_ >= 0 ? (old.st_mode & 0777) : newFileMode;
    const std::string prefix = TemporaryPrefix(target_) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = target_.parent_path() / (prefix + std::to_string(temporaryCount++) + suffix_);
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd_ >= 0) {
            temporary_ = candidate;
            ::flock(fd_, LOCK_EX);
            KeepAttributesOfTarget();
            return 0;
        }
        if (errno != EEXIST) break;
    }
    const int error = errno;
    if (oldFd_ >= 0) ::close(oldFd_);
    oldFd_ = -1;
    return error;
}

void WholeFile::KeepAttributesOfTarget() {
    if (oldFd_ < 0) return;
    struct stat old {};
    if (::fstat(oldFd_, &old) == 0) {
        ::fchmod(fd_, old.st_mode & 07777);
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0) {
            // Only the owner's own files can be given back their group here; keep going.
        }
    }
    char value[64];
    const ssize_t n = ::fgetxattr(oldFd_, kDosAttributes, value, sizeof value);
    if (n > 0) ::fsetxattr(fd_, kDosAttributes, value, static_cast<size_t>(n), 0);
    ::close(oldFd_);
    oldFd_ = -1;
}

bool WholeFile::Write(std::string_view bytes) {
    if (fd_ < 0) errno = EBADF;
    return fd_ >= 0 && WriteAll(fd_, bytes);
}

bool WholeFile::Restart() { return fd_ >= 0 && ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0; }

int WholeFile::PutInPlace() {
    if (fd_ < 0) return EBADF;
    // Closed before the rename: a watcher of the folder sees the file put in
    // place once, not also a write closed under its name.
    int error = ::fsync(fd_) == 0 ? 0 : errno;
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    if (error == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) error = errno;
    if (error != 0) {
        Discard();
        return error;
    }
    temporary_.clear();
    Close();
    return 0;
}

fs::path WholeFile::Keep() {
    const fs::path kept = temporary_;
    temporary_.clear();
    Close();
    return kept;
}

void WholeFile::Discard() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    Close();
}

void WholeFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (oldFd_ >= 0) ::close(oldFd_);
    oldFd_ = -1;
}

int PutTemporaryInPlace(const fs::path& temporary, const fs::path& file) {
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), WriteTarget(file).c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temporary.c_str());
    if (fd >= 0) ::close(fd);
    return error;
}

int ReplaceWholeFile(const fs::path& file, std::string_view bytes, mode_t newFileMode, bool inPlaceIfFolderIsClosed) {
    WholeFile whole(file);
    const int error = whole.Create(newFileMode);
    if (error != 0) {
        const bool closedFolder = error == EACCES || error == EPERM || error == EROFS;
        std::error_code ec;
        if (inPlaceIfFolderIsClosed && closedFolder && fs::is_regular_file(whole.Target(), ec))
            return WriteInPlace(whole.Target(), bytes);
        return error;
    }
    if (!whole.Write(bytes)) return errno;
    return whole.PutInPlace();
}

}  // namespace platform
