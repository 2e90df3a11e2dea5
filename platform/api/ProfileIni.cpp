#include "platform/api/ProfileIni.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/host/HostFileStamp.h"
#include "platform/host/IniText.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"
#include "platform/host/WholeFile.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

// Serialises writers of INI files in one folder, across processes.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Held() const { return fd_ >= 0; }

private:
    int fd_;
};

bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// What the last read of each INI file found, with the file's stamp taken
// before that read. A read while the file keeps that stamp, settled, takes
// these lines again; so does nothing else, and a write of this process
// forgets the file at once.
class ReadMemos {
public:
    using Lines = std::shared_ptr<const IniLines>;  // null: missing or unreadable

    static ReadMemos& Instance() {
        static ReadMemos* memos = new ReadMemos;  // used until the process ends
        return *memos;
    }

    Lines LinesOf(const fs::path& hostFile) {
        const HostFileStamp now = StampOfHostFile(hostFile);
        if (now.regular && now.settled) {
            const std::lock_guard lock(mutex_);
            if (const auto found = memos_.find(hostFile.native()); found != memos_.end() && found->second.stamp == now)
                return found->second.lines;
        }
        auto text = ReadTextFile(hostFile);
        Lines lines = text ? std::make_shared<const IniLines>(std::move(*text)) : nullptr;
        if (now.regular) Keep(hostFile, {now, lines});
        return lines;
    }

    void Forget(const fs::path& hostFile) {
        const std::lock_guard lock(mutex_);
        memos_.erase(hostFile.native());
    }

private:
    struct Memo {
        HostFileStamp stamp;
        Lines lines;
    };
    // A process that reads ever new files keeps only the latest few hundred.
    static constexpr std::size_t kMostFiles = 512;

    void Keep(const fs::path& hostFile, Memo memo) {
        const std::lock_guard lock(mutex_);
        if (memos_.size() >= kMostFiles && !memos_.count(hostFile.native())) memos_.clear();
        memos_[hostFile.native()] = std::move(memo);
    }

    std::mutex mutex_;
    std::map<std::string, Memo> memos_;
};

// The steps of a profile write, with every change applied under one lock
// and the file replaced once.
bool ReplaceWithChanges(const fs::path& hostFile, const std::vector<IniChange>& changes) {
    ReadMemos::Instance().Forget(hostFile);
    std::error_code ec;
    if (!fs::is_directory(hostFile.parent_path(), ec)) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return false;
    }
    FolderLock lock(hostFile.parent_path());
    struct stat st {};
    const bool existed = ::stat(hostFile.c_str(), &st) == 0;
    if (existed && (IsReadOnly(st) || !S_ISREG(st.st_mode))) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    IniTextLines lines = IniTextLines::OfFile(hostFile);
    if (existed && !lines.Exists()) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    lines.Apply(changes);
    // A new file is readable by all, as the profile functions make it; a file
    // that is replaced keeps its mode. A file whose folder takes no new file is
    // written in place.
    const bool replaced = ReplaceWholeFile(hostFile, lines.EncodedBytes(), 0644, existed) == 0;
    ReadMemos::Instance().Forget(hostFile);
    if (!replaced) {
        win::SetLastError(win::ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

std::optional<fs::path> IniHostPath(const std::string& fileName) {
    if (fileName.find('\\') == std::string::npos && fileName.find('/') == std::string::npos)
        return ToHostPath("C:\\Windows\\" + fileName);
    return ToHostPath(fileName);
}

}  // namespace

namespace {

const IniWriteBatch* BatchOf(const std::string& fileName);
std::optional<std::string> BatchValue(const IniWriteBatch& batch, const std::string& section, const std::string& key);

std::optional<std::string> ProfileValue(const std::string& fileName, const std::string& section, const std::string& key) {
    if (const IniWriteBatch* batch = BatchOf(fileName)) return BatchValue(*batch, section, key);
    const auto host = IniHostPath(fileName);
    if (!host) return std::nullopt;
    const ReadMemos::Lines lines = ReadMemos::Instance().LinesOf(*host);
    return lines ? lines->Value(section, key) : std::nullopt;
}

}  // namespace

std::optional<std::string> ReadIniValue(const fs::path& hostFile, const std::string& section, const std::string& key) {
    if (const IniWriteBatch* batch = IniWriteBatch::Of(hostFile)) return BatchValue(*batch, section, key);
    return ReadIniFileValue(hostFile, section, key);
}

bool WriteIniValue(const fs::path& hostFile, const std::string& section, const std::optional<std::string>& key,
                   const std::optional<std::string>& value) {
    if (IniWriteBatch* batch = IniWriteBatch::Of(hostFile)) {
        batch->Add(section, key, value);
        return true;
    }
    return ReplaceWithChanges(hostFile, {IniChange{section, key, value}});
}

}  // namespace platform

namespace win {

DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key, const std::string& defaultValue,
                               std::string& returned, DWORD size, const std::string& fileName) {
    returned.clear();
    if (size == 0) return 0;
    const std::optional<std::string> value = platform::ProfileValue(fileName, section, key);
    std::string text = value ? *value : defaultValue;
    if (!value)
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    returned = text.substr(0, platform::Utf8PrefixBytes(text, size - 1));
    return static_cast<DWORD>(returned.size());
}

UINT GetPrivateProfileIntA(const std::string& section, const std::string& key, int defaultValue,
                           const std::string& fileName) {
    const std::optional<std::string> value = platform::ProfileValue(fileName, section, key);
    if (!value || value->empty()) return static_cast<UINT>(defaultValue);
    const char* text = value->c_str();
    const bool negative = *text == '-';
    if (negative) ++text;
    unsigned long number = 0;
    const int base = (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? 16 : 10;
    if (base == 16) text += 2;
    const char* start = text;
    for (; *text; ++text) {
        const int digit = std::isdigit(static_cast<unsigned char>(*text)) ? *text - '0'
                          : (base == 16 && std::isxdigit(static_cast<unsigned char>(*text))) ? std::tolower(*text) - 'a' + 10
                                                                                              : -1;
        if (digit < 0) break;
        number = number * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    if (text == start) return 0;
    return static_cast<UINT>(negative ? 0 - number : number);
}

BOOL WritePrivateProfileStringA(const std::string& section, const std::optional<std::string>& key,
                                const std::optional<std::string>& value, const std::string& fileName) {
    const auto host = platform::IniHostPath(fileName);
    if (!host) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE_;
    }
    return platform::WriteIniValue(*host, section, key, value) ? TRUE_ : FALSE_;
}

}  // namespace win

namespace platform {

namespace {

thread_local IniWriteBatch* innermostBatch = nullptr;

const IniWriteBatch* BatchOf(const std::string& fileName) {
    const auto host = IniHostPath(fileName);
    return host ? IniWriteBatch::Of(*host) : nullptr;
}

std::optional<std::string> BatchValue(const IniWriteBatch& batch, const std::string& section, const std::string& key) {
    std::optional<std::string> text = batch.Text();
    return text ? IniLines(std::move(*text)).Value(section, key) : std::nullopt;
}

}  // namespace

IniWriteBatch::IniWriteBatch(const std::string& fileName) : file_(IniHostPath(fileName)), outer_(innermostBatch) {
    innermostBatch = this;
}

// Batches end in the reverse order of their start, as scopes do.
IniWriteBatch::~IniWriteBatch() { innermostBatch = outer_; }

IniWriteBatch* IniWriteBatch::Of(const fs::path& hostFile) {
    for (IniWriteBatch* batch = innermostBatch; batch; batch = batch->outer_)
        if (batch->file_ == hostFile) return batch;
    return nullptr;
}

void IniWriteBatch::Add(const std::string& section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value) {
    if (file_) ReadMemos::Instance().Forget(*file_);
    changes_.push_back({section, key, value});
}

std::optional<std::string> IniWriteBatch::Text() const {
    if (!file_) return std::nullopt;
    IniTextLines lines = IniTextLines::OfFile(*file_);
    if (!lines.Exists() && changes_.empty()) return std::nullopt;
    lines.Apply(changes_);
    return lines.Text();
}

bool IniWriteBatch::Commit() {
    const std::vector<IniChange> changes = std::move(changes_);
    changes_.clear();
    if (changes.empty()) return true;
    if (!file_) {
        win::SetLastError(win::ERROR_PATH_NOT_FOUND);
        return false;
    }
    return ReplaceWithChanges(*file_, changes);
}

}  // namespace platform
