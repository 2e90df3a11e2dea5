#include "platform/host/HostsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <sstream>

#include "platform/host/HostFileStamp.h"
#include "platform/host/Text.h"
#include "platform/host/WinPath.h"

namespace platform {
namespace {

constexpr const char* kHostsFile = "C:\\Windows\\System32\\drivers\\etc\\hosts";
constexpr off_t kLargestHostsFile = 4 * 1024 * 1024;

// The file's bytes when it is a regular file of sensible size; a FIFO or a
// device in its place reads as no file rather than blocking.
std::string ReadHostsFile(const std::filesystem::path& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::string bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLargestHostsFile) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return bytes;
}

}  // namespace

std::vector<HostsEntry> ParseHostsFile(std::string_view text) {
    std::vector<HostsEntry> entries;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        HostsEntry entry;
        if (!(words >> entry.address)) continue;
        for (std::string name; words >> name;) entry.names.push_back(name);
        if (!entry.names.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

using Entries = std::shared_ptr<const std::vector<HostsEntry>>;

// The entries as the file is saved now; what was read is used again while
// the file's stamp is the same and settled, as a reply's sender is looked up
// for every datagram.
Entries ReadEntries() {
    static std::mutex mutex;
    static HostFileStamp stampOfKept;
    static Entries kept = std::make_shared<const std::vector<HostsEntry>>();
    const auto hostPath = ToHostPath(kHostsFile);
    if (!hostPath) return std::make_shared<const std::vector<HostsEntry>>();
    const HostFileStamp now = StampOfHostFile(*hostPath);
    {
        const std::lock_guard lock(mutex);
        if (now.regular && now.settled && now == stampOfKept) return kept;
    }
    Entries entries = std::make_shared<const std::vector<HostsEntry>>(ParseHostsFile(ReadHostsFile(*hostPath)));
    const std::lock_guard lock(mutex);
    stampOfKept = now;
    kept = entries;
    return entries;
}

}  // namespace

std::vector<std::string> HostsFileAddresses(const std::string& name) {
    std::vector<std::string> addresses;
    for (const auto& entry : *ReadEntries()) {
        for (const auto& listed : entry.names) {
            if (TextCompareEqual(listed, name)) {
                addresses.push_back(entry.address);
                break;
            }
        }
    }
    return addresses;
}

std::vector<std::string> HostsFileNames(const std::string& address) {
    std::vector<std::string> names;
    for (const auto& entry : *ReadEntries()) {
        if (entry.address == address) names.insert(names.end(), entry.names.begin(), entry.names.end());
    }
    return names;
}

}  // namespace platform
