#include "platform/host/HostFolder.h"

#include <pthread.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "platform/host/HostFileStamp.h"
#include "platform/host/HostTools.h"
#include "platform/host/IniText.h"
#include "platform/host/SqliteStatement.h"
#include "platform/host/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

// Asked for at every path lookup: kept per thread, and an absolute
// QUARNEL_HOST is normalised only when it changes.
const fs::path& ChosenHostFolder() {
    thread_local std::string given;
    thread_local fs::path chosen;
    if (const char* host = std::getenv("QUARNEL_HOST"); host && *host) {
        if (*host == '/' && given == host) return chosen;
        given = *host == '/' ? host : "";
        return chosen = (*host == '/' ? fs::path(host) : fs::absolute(host)).lexically_normal();
    }
    given.clear();
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return chosen = fs::path(data) / "quarnel-host";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(geteuid());
        home = pw ? pw->pw_dir : "/tmp";
    }
    return chosen = fs::path(home) / ".local" / "share" / "quarnel-host";
}

// host.ini is read again only when its modification time changes.
struct HostIniCache {
    fs::path file;
    HostFileStamp stamp;
    bool present = false;
    std::map<std::string, std::string> values;  // "SECTION\nKEY" -> value, upper-cased names
    DriveMapList drives;
    std::string folder;  // the host folder, as text
    std::shared_ptr<const IniLines> lines;  // the file's text, read at the first setting asked for
};

std::mutex cacheMutex;
HostIniCache cache;
thread_local bool readingHostIni = false;
bool shortProcess = false;  // see UseHostForShortProcess

std::string CacheKey(const std::string& section, const std::string& key) {
    return TextFoldCase(section + "\n" + key);
}

// Takes from a file or folder of ours (not a link) what its group and
// others may do with it; what the owner may do stays as it is.
void KeepFromOthers(const fs::path& path, bool folder) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || st.st_uid != ::geteuid()) return;
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) return;
    if ((st.st_mode & 0077) != 0) ::chmod(path.c_str(), st.st_mode & 0700);
}

// The user's application data, its temporary folder above all, is the user's alone.
void PrepareDriveC(const fs::path& driveC) {
    std::error_code ec;
    const std::string user = LoginName();
    const fs::path profile = driveC / "Users" / user;
    for (const fs::path& folder : {driveC / "Windows" / "System32", driveC / "Program Files" / "Common Files",
                                   driveC / "Users" / "Public" / "Desktop", driveC / "ProgramData",
                                   profile / "Desktop"})
        fs::create_directories(folder, ec);
    for (const fs::path& folder : {profile / "AppData", profile / "AppData" / "Local",
                                   profile / "AppData" / "Local" / "Temp", profile / "AppData" / "Roaming"})
        MakePrivateFolder(folder);
    if (HostIs64Bit()) {
        fs::create_directories(driveC / "Program Files (x86)" / "Common Files", ec);
        fs::create_directories(driveC / "Windows" / "SysWOW64", ec);
    }
    InstallHostTools(driveC / "Windows" / "System32");
}

}  // namespace

DriveMapList DriveMapOf(const fs::path& host);

fs::path HostFolder() {
    static std::mutex preparedMutex;
    static std::set<std::string> prepared;
    fs::path folder = ChosenHostFolder();
    {
        std::lock_guard lock(preparedMutex);
        if (!prepared.insert(folder.native()).second) return folder;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Held here: preparing drive C reads host.ini, which may renew the cache's map.
    const DriveMapList drives = DriveMapOf(folder);
    for (const DriveMapping& drive : *drives)
        if (drive.letter == 'C' && !(shortProcess && fs::is_directory(drive.folder / "Windows" / "System32", ec)))
            PrepareDriveC(drive.folder);
    return folder;
}

bool MakePrivateFolder(const fs::path& folder, bool create) {
    std::error_code ec;
    if (create && !fs::is_directory(folder, ec)) {
        fs::create_directories(folder.parent_path(), ec);
        ::mkdir(folder.c_str(), 0700);
    }
    KeepFromOthers(folder, true);
    return fs::is_directory(folder, ec);
}

void MakeStorePrivate(const fs::path& database) {
    const int fd = ::open(database.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
    for (const char* suffix : {"", "-wal", "-shm"}) KeepFromOthers(database.string() + suffix, false);
}

namespace {

// Tells whether host.ini may have changed since the last question without a
// look at the file: an inotify watch of the host folder, read without
// waiting. A process started by fork() sets up its own watch, since the one
// it inherits shares its events with the parent.
//
// A short-lived tool reads host.ini once per folder and sets up no watch:
// the kernel ends a watch's group only after a grace period, which a process
// of a millisecond or two would spend most of its life waiting for at exit.
class HostIniWatch {
public:
    HostIniWatch() {
        pthread_atfork(nullptr, nullptr, [] { Instance().Drop(); });
    }
    static HostIniWatch& Instance() {
        static HostIniWatch* watch = new HostIniWatch;  // used until the process ends
        return *watch;
    }

    // True on the first question for a folder, when no watch can be had, and
    // whenever an event may concern host.ini.
    bool MayHaveChanged(const fs::path& folder) {
        if (folder.native() != folder_.native()) return shortProcess ? Remember(folder) : Start(folder);
        if (shortProcess) return false;
        if (fd_ < 0) return true;  // no watch to be had for this folder: the caller looks at the file
        bool changed = false;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    Drop();
                    return true;
                }
                if (event->len > 0 && TextCompareEqual(event->name, "host.ini")) changed = true;
            }
        }
        if (errno != EAGAIN) {
            Drop();
            return true;
        }
        return changed;
    }

private:
    bool Start(const fs::path& folder) {
        Drop();
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        constexpr std::uint32_t kEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                          IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
        if (fd_ >= 0 && ::inotify_add_watch(fd_, folder.c_str(), kEvents) < 0) {
            const int error = errno;
            ::close(fd_);
            fd_ = -1;
            if (error == ENOENT) return true;  // tried again once the folder is there
        }
        folder_ = folder;
        return true;
    }
    bool Remember(const fs::path& folder) {
        folder_ = folder;
        return true;
    }
    // The next question sets up a new watch.
    void Drop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        folder_.clear();
    }

    int fd_ = -1;
    fs::path folder_;
};

// The cache of host.ini, read again when the file's stamp changes or has
// not yet settled.
HostIniCache& FreshCache() {
    const fs::path& folder = ChosenHostFolder();
    const bool sameFolder = cache.folder == folder.native();
    if (sameFolder && !HostIniWatch::Instance().MayHaveChanged(folder)) return cache;
    const fs::path file = folder / "host.ini";
    const HostFileStamp now = StampOfHostFile(file);
    const bool fresh = cache.file == file && cache.stamp == now && (now.settled || !now.exists);
    if (!fresh) cache = HostIniCache{file, now, now.exists, {}, nullptr, folder.native(), nullptr};
    return cache;
}

std::string CachedSetting(HostIniCache& fresh, const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
    if (!fresh.present) return defaultValue;
    const std::string k = CacheKey(section, key);
    auto found = fresh.values.find(k);
    if (found == fresh.values.end()) {
        struct Reading {
            Reading() { readingHostIni = true; }
            ~Reading() { readingHostIni = false; }
        } reading;
        if (!fresh.lines) {
            std::optional<std::string> text = ReadTextFile(fresh.file);
            fresh.lines = std::make_shared<const IniLines>(text ? std::move(*text) : std::string());
        }
        std::optional<std::string> value = fresh.lines->Value(section, key);
        found = fresh.values.emplace(k, value ? *value : std::string("\x01")).first;
    }
    return found->second == "\x01" ? defaultValue : found->second;
}

}  // namespace

void UseHostForShortProcess() {
    std::lock_guard lock(cacheMutex);
    shortProcess = true;
    UseSqliteForShortProcess();
}

std::string HostSetting(const std::string& section, const std::string& key, const std::string& defaultValue) {
    // host.ini's own text is read in the default code page: the settings it
    // names cannot yet be known while it is read.
    if (readingHostIni) return defaultValue;
    std::lock_guard lock(cacheMutex);
    return CachedSetting(FreshCache(), section, key, defaultValue);
}

long HostSettingNumber(const std::string& section, const std::string& key, long defaultValue) {
    const std::string text = HostSetting(section, key, "");
    if (text.empty()) return defaultValue;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    return end == text.c_str() ? defaultValue : value;
}

DriveMapList DriveMap() {
    {
        // Known drives belong to a host folder that is prepared already.
        std::lock_guard lock(cacheMutex);
        if (const HostIniCache& fresh = FreshCache(); fresh.drives) return fresh.drives;
    }
    return DriveMapOf(HostFolder());
}

DriveMapList DriveMapOf(const fs::path& host) {
    std::lock_guard lock(cacheMutex);
    HostIniCache& fresh = FreshCache();
    if (fresh.drives) return fresh.drives;
    std::vector<DriveMapping> drives;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string fallback;
        if (letter == 'C') fallback = (host / "drive_c").string();
        if (letter == 'Z') fallback = "/";
        const std::string folder = CachedSetting(fresh, "Drives", std::string(1, letter), fallback);
        if (folder.empty()) continue;
        fs::path path(folder);
        if (path.is_relative()) path = host / path;
        drives.push_back({letter, path.lexically_normal()});
    }
    fresh.drives = std::make_shared<const std::vector<DriveMapping>>(std::move(drives));
    return fresh.drives;
}

bool HostIs64Bit() { return HostSettingNumber("Machine", "Is64Bit", 1) != 0; }

// The local accounts' file is read first: most accounts are there, and the
// name service's set-up costs a short-lived tool several times that read.
std::string LoginName() {
    const uid_t uid = geteuid();
    if (std::FILE* accounts = std::fopen("/etc/passwd", "re")) {
        passwd entry{};
        passwd* found = nullptr;
        char text[4096];
        while (fgetpwent_r(accounts, &entry, text, sizeof text, &found) == 0 && found->pw_uid != uid) found = nullptr;
        std::fclose(accounts);
        if (found && found->pw_name && *found->pw_name) return found->pw_name;
    }
    const passwd* pw = getpwuid(uid);
    if (pw && pw->pw_name) return pw->pw_name;
    return "user";
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "LOCALHOST";
    std::string text(name);
    if (auto dot = text.find('.'); dot != std::string::npos) text.resize(dot);
    return TextUpper(text);
}

std::string HostUserProfileWindowsPath() { return "C:\\Users\\" + LoginName(); }

}  // namespace platform
