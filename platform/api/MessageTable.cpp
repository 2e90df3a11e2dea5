#include "platform/api/MessageTable.h"

#include "platform/host/Text.h"
#include "platform/host/TextFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/api/Environment.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/host/WholeFile.h"
#include "platform/host/WinPath.h"

namespace platform {

namespace {

constexpr std::uint32_t kResourceTypeMessageTable = 11;
constexpr std::uint32_t kLanguageEnglishUs = 0x0409;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::size_t kLargestMessageFile = 256u << 20;

// Little-endian reads that fail instead of leaving the bytes.
class Bytes {
public:
    explicit Bytes(std::string_view bytes) : bytes_(bytes) {}

    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        return Byte(offset) | Byte(offset + 1) << 8 | Byte(offset + 2) << 16 | std::uint32_t{Byte(offset + 3)} << 24;
    }
    std::string_view Slice(std::uint64_t offset, std::uint64_t count) const {
        return Has(offset, count) ? bytes_.substr(offset, count) : std::string_view();
    }
    std::size_t Size() const { return bytes_.size(); }

private:
    std::uint32_t Byte(std::uint64_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }
    std::string_view bytes_;
};

struct Section {
    std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

// The parts of a PE image the resource walk needs.
class PeImage {
public:
    explicit PeImage(std::string_view bytes) : file_(bytes) { valid_ = ReadHeaders(); }

    bool Valid() const { return valid_; }
    std::uint32_t ResourceRva() const { return resourceRva_; }

    // File offset of count bytes at an RVA, when one section holds them all.
    std::optional<std::uint64_t> OffsetOf(std::uint64_t rva, std::uint64_t count) const {
        for (const Section& s : sections_) {
            const std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
            if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
            const std::uint64_t into = rva - s.virtualAddress;
            if (into > s.rawSize || count > s.rawSize - into) return std::nullopt;
            const std::uint64_t offset = s.rawOffset + into;
            if (!file_.Has(offset, count)) return std::nullopt;
            return offset;
        }
        return std::nullopt;
    }
    const Bytes& File() const { return file_; }

private:
    bool ReadHeaders() {
        if (file_.Slice(0, 2) != "MZ") return false;
        const auto peOffset = file_.U32(0x3C);
        if (!peOffset || file_.Slice(*peOffset, 4) != std::string_view("PE\0\0", 4)) return false;
        const std::uint64_t coff = *peOffset + 4ull;
        const auto sectionCount = file_.U16(coff + 2);
        const auto optionalSize = file_.U16(coff + 16);
        if (!sectionCount || !optionalSize) return false;
        const std::uint64_t optional = coff + 20;
        if (!ReadResourceDirectory(optional, *optionalSize)) return false;
        return ReadSections(optional + *optionalSize, *sectionCount);
    }

    bool ReadResourceDirectory(std::uint64_t optional, std::uint16_t optionalSize) {
        const auto magic = file_.U16(optional);
        if (!magic || (*magic != 0x10B && *magic != 0x20B)) return false;
        const std::uint64_t countAt = *magic == 0x10B ? 92 : 108;
        const std::uint64_t directoriesAt = countAt + 4;
        const auto count = file_.U32(optional + countAt);
        const std::uint64_t resourceEntry = directoriesAt + 2 * 8;
        if (!count || *count < 3 || resourceEntry + 8 > optionalSize) return false;
        const auto rva = file_.U32(optional + resourceEntry);
        if (!rva || *rva == 0) return false;
        resourceRva_ = *rva;
        return true;
    }

    bool ReadSections(std::uint64_t table, std::uint16_t count) {
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint64_t at = table + i * 40ull;
            const auto virtualSize = file_.U32(at + 8), virtualAddress = file_.U32(at + 12);
            const auto rawSize = file_.U32(at + 16), rawOffset = file_.U32(at + 20);
            if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) return false;
            sections_.push_back({*virtualAddress, *virtualSize, *rawSize, *rawOffset});
        }
        return true;
    }

    Bytes file_;
    bool valid_ = false;
    std::uint32_t resourceRva_ = 0;
    std::vector<Section> sections_;
};

struct DirectoryEntry {
    std::uint32_t id;
    std::uint32_t offset;  // from the start of the resource section
    bool subdirectory;
};

// The ID entries of one resource directory (named entries are skipped).
std::optional<std::vector<DirectoryEntry>> ReadDirectory(const PeImage& pe, std::uint32_t offsetInSection) {
    const auto header = pe.OffsetOf(std::uint64_t{pe.ResourceRva()} + offsetInSection, 16);
    if (!header) return std::nullopt;
    const Bytes& file = pe.File();
    const std::uint32_t named = *file.U16(*header + 12), ids = *file.U16(*header + 14);
    const auto entries = pe.OffsetOf(std::uint64_t{pe.ResourceRva()} + offsetInSection + 16, (named + ids) * 8ull);
    if (!entries) return std::nullopt;
    std::vector<DirectoryEntry> result;
    for (std::uint32_t i = named; i < named + ids; ++i) {
        const std::uint32_t name = *file.U32(*entries + i * 8ull), target = *file.U32(*entries + i * 8ull + 4);
        if (name & kSubdirectoryFlag) continue;
        result.push_back({name, target & ~kSubdirectoryFlag, (target & kSubdirectoryFlag) != 0});
    }
    return result;
}

std::optional<DirectoryEntry> Pick(const std::vector<DirectoryEntry>& entries, std::optional<std::uint32_t> wanted,
                                   bool subdirectory) {
    for (const DirectoryEntry& e : entries)
        if (wanted && e.id == *wanted && e.subdirectory == subdirectory) return e;
    for (const DirectoryEntry& e : entries)
        if (e.subdirectory == subdirectory) return e;
    return std::nullopt;
}

// The bytes of the message table: type 11, the first name (ID 1 when there),
// language 0x0409 or the first.
std::optional<std::string_view> MessageTableResource(const PeImage& pe) {
    const auto types = ReadDirectory(pe, 0);
    if (!types) return std::nullopt;
    std::optional<DirectoryEntry> type;
    for (const DirectoryEntry& e : *types)
        if (e.id == kResourceTypeMessageTable && e.subdirectory) type = e;
    if (!type) return std::nullopt;
    const auto names = ReadDirectory(pe, type->offset);
    const auto name = names ? Pick(*names, 1u, true) : std::nullopt;
    if (!name) return std::nullopt;
    const auto languages = ReadDirectory(pe, name->offset);
    const auto language = languages ? Pick(*languages, kLanguageEnglishUs, false) : std::nullopt;
    if (!language) return std::nullopt;
    const auto entry = pe.OffsetOf(std::uint64_t{pe.ResourceRva()} + language->offset, 16);
    if (!entry) return std::nullopt;
    const std::uint32_t dataRva = *pe.File().U32(*entry), dataSize = *pe.File().U32(*entry + 4);
    const auto data = pe.OffsetOf(dataRva, dataSize);
    if (!data) return std::nullopt;
    return pe.File().Slice(*data, dataSize);
}

// UTF-16LE up to the first NUL; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes) {
    const Bytes text(bytes);
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = *text.U16(i);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const std::uint32_t low = *text.U16(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                unit = 0xFFFD;
            }
        } else if (unit >= 0xD800 && unit < 0xE000) {
            unit = 0xFFFD;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::optional<std::string> EntryText(std::string_view table, std::uint64_t blockStart, std::uint32_t stepsIn) {
    const Bytes data(table);
    std::uint64_t at = blockStart;
    for (std::uint32_t step = 0;; ++step) {
        const auto length = data.U16(at), flags = data.U16(at + 2);
        if (!length || !flags || *length < 4 || !data.Has(at, *length)) return std::nullopt;
        if (step == stepsIn) {
            const std::string_view text = data.Slice(at + 4, *length - 4u);
            if (*flags & 1) return Utf16ToUtf8(text);
            return AnsiToUtf8(text.substr(0, std::min(text.find('\0'), text.size())));
        }
        at += *length;
    }
}

std::optional<std::string> FindInMessageTable(std::string_view table, std::uint32_t messageId) {
    const Bytes data(table);
    const auto blocks = data.U32(0);
    if (!blocks || !data.Has(4, *blocks * 12ull)) return std::nullopt;
    for (std::uint32_t i = 0; i < *blocks; ++i) {
        const std::uint32_t low = *data.U32(4 + i * 12ull), high = *data.U32(8 + i * 12ull);
        const std::uint32_t entries = *data.U32(12 + i * 12ull);
        if (messageId < low || messageId > high) continue;
        return EntryText(table, entries, messageId - low);
    }
    return std::nullopt;
}


std::string ReadWholeFile(const std::filesystem::path& file) {
    return ReadRegularFile(file, kLargestMessageFile).value_or(std::string());
}

std::optional<std::string> MessageFileValue(const EventRecord& record) {
    const std::string path = std::string(kEventLogKey) + "\\" + record.log + "\\" + record.source;
    win::HKEY key = 0;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, win::KEY_READ, &key) != 0) return std::nullopt;
    win::DWORD type = 0, size = 0;
    std::optional<std::string> value;
    if (win::RegQueryValueExA(key, "EventMessageFile", nullptr, &type, nullptr, &size) == 0 &&
        (type == win::REG_SZ || type == win::REG_EXPAND_SZ)) {
        std::string data(size, '\0');
        if (win::RegQueryValueExA(key, "EventMessageFile", nullptr, &type,
                                  reinterpret_cast<win::BYTE*>(data.data()), &size) == 0) {
            data.resize(std::min<std::size_t>(size, data.find('\0')));
            value = type == win::REG_EXPAND_SZ ? ExpandEnvironmentStrings(data) : data;
        }
    }
    win::RegCloseKey(key);
    return value;
}

}  // namespace

std::string FirstStringRangeTable() { return std::string(kRangeTableHeader) + "\r\n1-65535=%1\r\n"; }

win::DWORD KeepMessageFile(const std::filesystem::path& file, const std::string& bytes) {
    if (ReadRegularFile(file, bytes.size() + 1) == bytes) return 0;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    const int error = ReplaceWholeFile(file, bytes, 0644);
    return error == 0 ? 0 : ErrorOfErrno(error);
}

std::optional<std::string> FindMessageInPe(std::string_view bytes, std::uint32_t messageId) {
    const PeImage pe(bytes);
    if (!pe.Valid()) return std::nullopt;
    const auto table = MessageTableResource(pe);
    if (!table) return std::nullopt;
    return FindInMessageTable(*table, messageId);
}

std::optional<std::string> FindMessageInRangeTable(std::string_view bytes, std::uint32_t messageId) {
    std::istringstream lines{std::string(bytes)};
    std::string line;
    if (!std::getline(lines, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != kRangeTableHeader) return std::nullopt;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        unsigned long first = 0, last = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "%lu-%lu=%n", &first, &last, &consumed) < 2 || consumed == 0) continue;
        if (messageId >= first && messageId <= last) return line.substr(static_cast<std::size_t>(consumed));
    }
    return std::nullopt;
}

std::optional<std::string> FindMessageInFile(std::string_view bytes, std::uint32_t messageId) {
    if (bytes.substr(0, 2) == "MZ") return FindMessageInPe(bytes, messageId);
    return FindMessageInRangeTable(bytes, messageId);
}

std::string InsertStrings(const std::string& message, const std::vector<std::string>& strings) {
    std::string out;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] != '%' || i + 1 >= message.size()) {
            out += message[i];
            continue;
        }
        const char next = message[++i];
        if (next >= '1' && next <= '9') {
            const std::size_t start = i - 1;
            int number = next - '0';
            if (i + 1 < message.size() && std::isdigit(static_cast<unsigned char>(message[i + 1])))
                number = number * 10 + (message[++i] - '0');
            if (i + 1 < message.size() && message[i + 1] == '!') {
                const std::size_t close = message.find('!', i + 2);
                if (close != std::string::npos) i = close;
            }
            if (static_cast<std::size_t>(number) <= strings.size())
                out += strings[static_cast<std::size_t>(number) - 1];
            else
                out += message.substr(start, i + 1 - start);
        } else if (next == '0') {
            return out;
        } else if (next == 'n') {
            out += "\r\n";
        } else if (next == 't') {
            out += '\t';
        } else if (next == 'r') {
            out += '\r';
        } else {
            out += next;
        }
    }
    return out;
}

std::string ExpandEnvironmentStrings(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;
        out += text.substr(i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        const std::string value = name.empty() ? "" : vb::Environ(name);
        if (!value.empty()) {
            out += value;
            i = close + 1;
        } else {
            out += text.substr(open, close - open);
            i = close;
        }
    }
    return out + text.substr(std::min(i, text.size()));
}

namespace {

// The message files of a source, looked up in the registry once and again
// only after the registry changed.
struct SourceMessageFiles {
    RegistryStamp stamp;
    std::optional<std::string> files;
};

// A message file's bytes, read again when the file changed.
struct MessageFileBytes {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    std::string bytes;
};

constexpr std::size_t kCachedSources = 64;
constexpr std::size_t kCachedFiles = 16;
constexpr std::size_t kLargestCachedFile = 4u << 20;

std::mutex messageCacheMutex;
std::map<std::string, SourceMessageFiles> sourceFiles;
std::map<std::filesystem::path, MessageFileBytes> fileBytes;

std::optional<std::string> CachedMessageFileValue(const EventRecord& record) {
    const RegistryStamp stamp = CurrentRegistryStamp();
    if (!stamp.Valid()) return MessageFileValue(record);
    const std::string key = record.log + '\\' + record.source;
    std::lock_guard lock(messageCacheMutex);
    if (auto found = sourceFiles.find(key); found != sourceFiles.end() && found->second.stamp == stamp)
        return found->second.files;
    if (sourceFiles.size() >= kCachedSources) sourceFiles.clear();
    SourceMessageFiles& entry = sourceFiles[key];
    // The stamp taken before the lookup: a change made during it is seen at the next record.
    entry.stamp = stamp;
    entry.files = MessageFileValue(record);
    return entry.files;
}

bool SameFile(const MessageFileBytes& cached, const struct stat& info) {
    return cached.device == info.st_dev && cached.inode == info.st_ino && cached.size == info.st_size &&
           cached.modified.tv_sec == info.st_mtim.tv_sec && cached.modified.tv_nsec == info.st_mtim.tv_nsec;
}

std::string CachedFileBytes(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kLargestCachedFile)
        return ReadWholeFile(file);
    std::lock_guard lock(messageCacheMutex);
    if (auto found = fileBytes.find(file); found != fileBytes.end() && SameFile(found->second, info))
        return found->second.bytes;
    if (fileBytes.size() >= kCachedFiles) fileBytes.clear();
    MessageFileBytes& entry = fileBytes[file];
    entry = {info.st_dev, info.st_ino, info.st_size, info.st_mtim, ReadWholeFile(file)};
    return entry.bytes;
}

}  // namespace

std::optional<std::string> EventRecordMessage(const EventRecord& record) {
    const auto files = CachedMessageFileValue(record);
    if (!files) return std::nullopt;
    std::size_t start = 0;
    while (start <= files->size()) {
        const std::size_t end = std::min(files->find(';', start), files->size());
        const std::string file = files->substr(start, end - start);
        start = end + 1;
        const auto host = file.empty() ? std::nullopt : ToHostPath(file);
        if (!host) continue;
        const auto entry = FindMessageInFile(CachedFileBytes(*host), record.eventId);
        if (entry) return InsertStrings(*entry, record.strings);
    }
    return std::nullopt;
}

}  // namespace platform
