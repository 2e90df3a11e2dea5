#include "platform/api/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/api/FileApi.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/WholeFile.h"
#include "platform/host/WinPath.h"

namespace vb {

namespace {

bool IsRegularFile(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// O_NONBLOCK keeps the open of a FIFO from waiting for its other end.
int OpenRegular(const std::filesystem::path& host, int flags) {
    const int fd = ::open(host.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    if (!IsRegularFile(fd)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// What O_EXCL makes is a new regular file, so there is no FIFO or folder to
// guard against and nothing to empty.
int CreateNewRegular(const std::filesystem::path& host) {
    const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno == EEXIST) throw RuntimeError::FileAlreadyExists();
    if (errno == ENOENT || errno == ENOTDIR) throw RuntimeError::PathNotFound();
    throw RuntimeError::PathFileAccessError();
}

}  // namespace

BinaryFile::BinaryFile(const std::string& windowsPath, Mode mode) {
    const auto host = platform::ToHostPath(windowsPath);
    if (mode == Mode::Read) {
        if (!host) throw RuntimeError::FileNotFound();
        fd_ = OpenRegular(*host, O_RDONLY);
        if (fd_ < 0) throw errno == ENOENT ? RuntimeError::FileNotFound() : RuntimeError::PathFileAccessError();
        return;
    }
    if (mode == Mode::Replace) {
        if (!host || !std::filesystem::is_directory(host->parent_path())) throw RuntimeError::PathNotFound();
        if (std::filesystem::is_directory(*host)) throw RuntimeError::PathFileAccessError();
        replacement_ = std::make_unique<platform::WholeFile>(*host);
        if (replacement_->Create(0644) != 0) throw RuntimeError::PathFileAccessError();
        fd_ = replacement_->Descriptor();
        return;
    }
    if (mode == Mode::CreateNew) {
        if (!host) throw RuntimeError::PathNotFound();
        fd_ = CreateNewRegular(*host);
    } else {
        if (!host || !std::filesystem::is_directory(host->parent_path())) throw RuntimeError::PathNotFound();
        fd_ = OpenRegular(*host, O_WRONLY | O_CREAT);
        if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) {
            Close();
            throw RuntimeError::PathFileAccessError();
        }
    }
    platform::MakeExeRunnable(*host);
}

BinaryFile::~BinaryFile() {
    // A replacement never closed goes with its descriptor, and the file stays.
    if (replacement_) {
        replacement_.reset();
        fd_ = -1;
    }
    if (fd_ >= 0) ::close(fd_);
}

std::int64_t BinaryFile::Length() const {
    struct stat status {};
    return ::fstat(fd_, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : 0;
}

std::size_t BinaryFile::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0) return 0;
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void BinaryFile::Write(const void* data, std::size_t count) {
    const auto* in = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, in + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (errno == ENOSPC) throw RuntimeError(61, "Quarnel", "Disk full");
            throw RuntimeError::PathFileAccessError();
        }
        done += static_cast<std::size_t>(n);
        written_ += n;
    }
}

void BinaryFile::Close() {
    if (replacement_) {
        fd_ = -1;
        const int error = replacement_->PutInPlace();
        const std::filesystem::path target = replacement_->Target();
        replacement_.reset();
        if (error != 0) throw RuntimeError::PathFileAccessError();
        platform::MakeExeRunnable(target);
        return;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace vb
