#include "TempHost.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/api/Process.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Program.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "quarnel-test-";

// The process id in "quarnel-test-<pid>-XXXXXX".
pid_t OwnerOf(const std::string& name) {
    if (name.rfind(kPrefix, 0) != 0) return 0;
    const std::string rest = name.substr(std::string(kPrefix).size());
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string::npos || rest.find_first_not_of("0123456789") != dash) return 0;
    return static_cast<pid_t>(std::atol(rest.substr(0, dash).c_str()));
}

// A lock file beside the folder, held while the folder's test runs (and by
// the processes it forks); the folder itself is locked by the profile writer.
fs::path LockOf(const fs::path& folder) { return folder.string() + ".lock"; }

bool IsLockedByItsTest(const fs::path& folder) {
    const int fd = ::open(LockOf(folder).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno != ENOENT;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

// Lets the owner into every folder of the tree, so that all of it can go.
void OpenToOwner(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) OpenToOwner(it->path());
}

void RemoveTree(const fs::path& folder) {
    std::error_code ec;
    OpenToOwner(folder);
    fs::remove_all(folder, ec);
}

// Hosts of tests that ended without removing theirs (killed, or crashed):
// their test process is gone and nothing holds their lock.
void RemoveHostsOfEndedTests(const fs::path& temporary) {
    std::error_code ec;
    for (fs::directory_iterator it(temporary, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t owner = OwnerOf(it->path().filename().string());
        if (owner <= 0 || !it->is_directory(ec) || it->is_symlink(ec) || (::kill(owner, 0) == 0 || errno != ESRCH) ||
            IsLockedByItsTest(it->path()))
            continue;
        RemoveTree(it->path());
        ::unlink(LockOf(it->path()).c_str());
    }
}

// Programs that a test started without waiting for them, and what they
// started in turn, are ended: they would go on writing into the host while
// it is removed, or make it anew.
void EndProgramsOfThisHost() {
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.pid != ::getpid()) platform::TerminateProcessById(process.pid, 1);
}

}  // namespace

TempHost::TempHost() {
    const fs::path temporary = fs::temp_directory_path();
    RemoveHostsOfEndedTests(temporary);
    std::string pattern = (temporary / (kPrefix + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    lock_ = ::open(LockOf(folder_).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock_ >= 0) ::flock(lock_, LOCK_EX);
    if (const char* old = std::getenv("QUARNEL_HOST")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("QUARNEL_HOST", folder_.c_str(), 1);
    // A test's machine never installs tasks into the real user's crontab or autostart folder.
    WriteHostIni("Scheduler", "Crontab", "0");
    WriteHostIni("Scheduler", "Autostart", "0");
}

TempHost::~TempHost() {
    // While QUARNEL_HOST still names this host, whose programs are the ones to end.
    setenv("QUARNEL_HOST", folder_.c_str(), 1);
    for (int attempt = 0; attempt < 100 && fs::exists(fs::symlink_status(folder_)); ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EndProgramsOfThisHost();
        RemoveTree(folder_);
    }
    if (lock_ >= 0) {
        ::unlink(LockOf(folder_).c_str());
        ::close(lock_);
    }
    if (hadPrevious_)
        setenv("QUARNEL_HOST", previous_.c_str(), 1);
    else
        unsetenv("QUARNEL_HOST");
}

void TempHost::WriteHostIni(const std::string& section, const std::string& key, const std::string& value) {
    platform::WriteIniValue(folder_ / "host.ini", section, key, value);
}

fs::path TempHost::HostOf(const std::string& windowsPathOnC) const {
    std::string rest = windowsPathOnC.size() > 2 ? windowsPathOnC.substr(2) : "";
    for (char& c : rest)
        if (c == '\\') c = '/';
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    return DriveC() / rest;
}

ProgramHost::ProgramHost() {
    platform::SetProgramPathForTests(std::string(kProgramFolder) + "Quarnel.exe");
    fs::create_directories(HostOf(kProgramFolder));
}

ProgramHost::~ProgramHost() { platform::SetProgramPathForTests(""); }

void WriteHostFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void RewriteKeepingTheTime(const fs::path& file, const std::string& bytes) {
    struct stat before {};
    if (::stat(file.c_str(), &before) != 0) throw std::runtime_error("no file to rewrite: " + file.string());
    WriteHostFile(file, bytes);
    const timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
    if (::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot put the time back: " + file.string());
}

std::string ReadHostFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testsupport
