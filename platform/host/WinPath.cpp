#include "platform/host/WinPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/host/HostFolder.h"
#include "platform/host/Text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

char UpperChar(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::vector<std::string> SplitComponents(const std::string& rest) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : rest) {
        if (c == '\\') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

// Windows drops trailing blanks and dots of a path component.
std::string TrimComponent(std::string part) {
    if (part == "." || part == "..") return part;
    while (!part.empty() && (part.back() == ' ' || part.back() == '.')) part.pop_back();
    return part;
}

const DriveMapping* FindDrive(const std::vector<DriveMapping>& drives, char letter) {
    for (const DriveMapping& drive : drives)
        if (drive.letter == letter) return &drive;
    return nullptr;
}

// Each name of a folder but "." and "..", read with readdir (no path object
// per entry: a folder of many files is listed for every new name) until
// visit returns false.
template <typename Visit>
void VisitFolderEntries(const fs::path& folder, Visit visit) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != ".." && !visit(dir, *entry)) break;
    }
    ::closedir(dir);
}

template <typename Visit>
void VisitFolderNames(const fs::path& folder, Visit visit) {
    VisitFolderEntries(folder, [&visit](DIR*, const dirent& entry) { return visit(std::string_view(entry.d_name)); });
}

// The kind the directory entry tells; a link, or a file system that does not
// tell, is looked at, relative to the folder already open.
std::optional<bool> IsFolderEntry(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry.d_name, &st, 0) != 0) return std::nullopt;
    return S_ISDIR(st.st_mode);
}

std::optional<std::string> FindNameNoCase(const fs::path& folder, const std::string& name) {
    std::optional<std::string> match;
    VisitFolderNames(folder, [&](std::string_view candidate) {
        if (TextCompareEqual(candidate, name)) match = std::string(candidate);
        return !match;
    });
    return match;
}

bool IsPrefix(const fs::path& folder, const fs::path& path, fs::path& rest) {
    auto f = folder.begin(), p = path.begin();
    for (; f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // trailing separator
        if (p == path.end() || *f != *p) return false;
    }
    rest.clear();
    for (; p != path.end(); ++p) rest /= *p;
    return true;
}

bool GlobMatch(const char* p, const char* n) {
    while (*p) {
        if (*p == '*') {
            while (*p == '*') ++p;
            if (!*p) return true;
            for (const char* s = n; *s; ++s)
                if (GlobMatch(p, s)) return true;
            return GlobMatch(p, n + std::char_traits<char>::length(n));
        }
        if (!*n) return false;
        if (*p == '?') {
            // One character, however many bytes its UTF-8 form takes.
            ++n;
            while ((static_cast<unsigned char>(*n) & 0xC0) == 0x80) ++n;
            ++p;
            continue;
        }
        if (*p != *n) return false;
        ++p;
        ++n;
    }
    return !*n;
}

// Already in the form NormalizeWindowsPath gives, as most paths the program
// builds are: nothing to change, so nothing to take apart.
bool IsNormalWindowsPath(const std::string& path) {
    if (path.size() < 3 || path[0] < 'A' || path[0] > 'Z' || path[1] != ':' || path[2] != '\\') return false;
    if (path.find('/') != std::string::npos) return false;
    for (std::size_t start = 3; start < path.size();) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string_view part(path.data() + start, end - start);
        if (part.empty() || part.back() == ' ' || part.back() == '.') return false;
        if (end == path.size()) break;
        start = end + 1;
        if (start == path.size()) return false;  // a trailing separator
    }
    return true;
}

}  // namespace

std::string NormalizeWindowsPath(const std::string& windowsPath) {
    if (IsNormalWindowsPath(windowsPath)) return windowsPath;
    std::string path = windowsPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.rfind("\\\\", 0) == 0) return "";
    char drive = 0;
    std::string rest;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        drive = UpperChar(path[0]);
        rest = path.substr(2);
    } else {
        std::error_code ec;
        const std::string current = ToWindowsPath(fs::current_path(ec));
        drive = current.empty() ? 'C' : current[0];
        rest = path.rfind('\\', 0) == 0 ? path : current.substr(2) + "\\" + path;
    }
    std::vector<std::string> parts;
    for (std::string part : SplitComponents(rest)) {
        part = TrimComponent(part);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string result(1, drive);
    result += ":";
    if (parts.empty()) return result + "\\";
    for (const std::string& part : parts) result += "\\" + part;
    return result;
}

std::optional<fs::path> ToHostPath(const std::string& windowsPath) {
    const std::string normal = NormalizeWindowsPath(windowsPath);
    if (normal.empty()) return std::nullopt;
    const DriveMapList drives = DriveMap();
    const DriveMapping* drive = FindDrive(*drives, normal[0]);
    if (!drive) return std::nullopt;
    // Joined as text: appending component by component parses the path again each time.
    std::string joined = drive->folder.native();
    if (normal.size() > 3) {
        if (joined.empty() || joined.back() != '/') joined += '/';
        const std::size_t start = joined.size();
        joined.append(normal, 3);
        std::replace(joined.begin() + static_cast<std::ptrdiff_t>(start), joined.end(), '\\', '/');
    }
    const fs::path exact(std::move(joined));
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return exact;  // the name as given: the common case
    const std::vector<std::string> parts = SplitComponents(normal.substr(2));
    if (!parts.empty()) {
        // A new name in a folder named as it is on disk needs one look, not one per level.
        const fs::path parent = exact.parent_path();
        if (::lstat(parent.c_str(), &st) == 0) {
            if (auto match = FindNameNoCase(parent, parts.back())) return parent / *match;
            return exact;
        }
    }
    fs::path current = drive->folder;
    bool resolving = true;
    for (const std::string& part : parts) {
        if (resolving) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(current / part, ec))) {
                current /= part;
                continue;
            }
            if (auto match = FindNameNoCase(current, part)) {
                current /= *match;
                continue;
            }
            resolving = false;
        }
        current /= part;
    }
    return current;
}

std::string ToWindowsPath(const fs::path& hostPath) {
    std::error_code ec;
    const fs::path path = fs::absolute(hostPath, ec).lexically_normal();
    const DriveMapping* best = nullptr;
    fs::path bestRest;
    size_t bestDepth = 0;
    const DriveMapList drives = DriveMap();
    for (const DriveMapping& drive : *drives) {
        fs::path rest;
        if (!IsPrefix(drive.folder, path, rest)) continue;
        const size_t depth = std::distance(drive.folder.begin(), drive.folder.end());
        if (!best || depth > bestDepth) {
            best = &drive;
            bestRest = rest;
            bestDepth = depth;
        }
    }
    std::string letter = best ? std::string(1, best->letter) : "Z";
    std::string rest = best ? bestRest.string() : path.relative_path().string();
    std::replace(rest.begin(), rest.end(), '/', '\\');
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    return letter + ":\\" + rest;
}

bool IsDriveRoot(const std::string& windowsPath) {
    const std::string normal = NormalizeWindowsPath(windowsPath);
    return normal.size() == 3 && normal[1] == ':' && normal[2] == '\\';
}

// Both texts case-folded first, so the match itself compares bytes.
bool MatchesWildcard(const std::string& givenPattern, const std::string& givenName) {
    return MatchesFoldedWildcard(TextFoldCase(givenPattern), givenName);
}

bool MatchesFoldedWildcard(const std::string& pattern, const std::string& givenName) {
    if (givenName.empty()) return false;
    if (pattern == "*" || pattern == "*.*") return true;
    const std::string name = TextFoldCase(givenName);
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        GlobMatch(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str()))
        return true;
    if (!pattern.empty() && pattern.back() == '.')
        return name.find('.') == std::string::npos && GlobMatch(pattern.substr(0, pattern.size() - 1).c_str(), name.c_str());
    return GlobMatch(pattern.c_str(), name.c_str());
}

std::vector<FolderEntry> ListFolderEntries(const fs::path& hostFolder) {
    std::vector<FolderEntry> entries;
    VisitFolderEntries(hostFolder, [&entries](DIR* dir, const dirent& entry) {
        if (const auto isFolder = IsFolderEntry(dir, entry)) entries.push_back({entry.d_name, *isFolder});
        return true;
    });
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return TextCompareLess(a.name, b.name); });
    return entries;
}

std::vector<std::string> ListFolderNames(const fs::path& hostFolder) {
    std::vector<std::string> names;
    VisitFolderNames(hostFolder, [&names](std::string_view name) {
        names.emplace_back(name);
        return true;
    });
    std::sort(names.begin(), names.end(), TextCompareLess);
    return names;
}

}  // namespace platform
