#include "net/ZipExtractionClass.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "net/ZipClass.h"
#include "platform/api/BinaryFile.h"
#include "platform/api/EventLoop.h"
#include "platform/api/FileApi.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"
#include "platform/api/Zlib.h"

namespace {

constexpr std::size_t kChunk = 256 * 1024;

RuntimeError PastEndOfFile() { return RuntimeError(62, "Quarnel", "Input past end of file"); }
RuntimeError BadFileFormat() { return RuntimeError(321, "Quarnel", "Invalid file format"); }

std::string DecodeName(const std::string& raw, std::uint16_t flags) {
    std::string name = (flags & zipformat::kFlagUtf8Names) ? raw : vb::StrConv(raw, vb::vbUnicode);
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

constexpr std::int32_t kZip64Marker = -1;   // 0xFFFFFFFF in a 32-bit field
constexpr std::uint16_t kZip64Count = 0xFFFF;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::size_t kZip64LocatorSize = 20;

std::string Zip64Text(const std::string& name) {
    return "The archive uses zip64 for " + name + ", which is unsupported";
}

bool IsExistingFolder(const std::string& path) {
    const win::DWORD attributes = win::GetFileAttributesA(path);
    return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string TemporaryFileIn(const std::string& folder) {
    char name[win::MAX_PATH + 1] = {};
    if (win::GetTempFileNameA(folder, "zip", 0, name) == 0) throw RuntimeError::PathFileAccessError();
    return name;
}

std::int32_t RoundedPercent(std::int32_t done, std::int32_t total) {
    return static_cast<std::int32_t>(std::nearbyint(done * 100.0 / total));
}

// Windows drops a trailing "." or " " of a name ("." and ".." among them),
// and opens a device instead of a file named after one.
bool IsNameWindowsHolds(std::string_view part) {
    if (part.empty() || part.back() == '.' || part.back() == ' ') return false;
    std::string base(part.substr(0, part.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    std::transform(base.begin(), base.end(), base.begin(), [](unsigned char c) { return std::toupper(c); });
    static const std::set<std::string, std::less<>> kDevices = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    return kDevices.find(base) == kDevices.end();
}

// A zip64 extended-information field (header ID 1) among an entry's extra
// fields: what stands in a 32-bit size or offset of 0xFFFFFFFF then lies there.
bool HasZip64Field(std::string_view extra) {
    while (extra.size() >= 4) {
        const auto id = static_cast<std::uint16_t>(static_cast<unsigned char>(extra[0]) |
                                                   static_cast<unsigned char>(extra[1]) << 8);
        const std::size_t length = static_cast<unsigned char>(extra[2]) | static_cast<unsigned char>(extra[3]) << 8;
        if (id == 0x0001) return true;
        extra.remove_prefix(std::min(extra.size(), 4 + length));
    }
    return false;
}

}  // namespace

bool IsSafeEntryName(const std::string& name) {
    if (name.empty() || name.front() == '\\') return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || std::string_view(":*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('\\', start), name.size());
        if (!IsNameWindowsHolds(std::string_view(name).substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

ZipExtractionClass::ZipExtractionClass() = default;

ZipExtractionClass::~ZipExtractionClass() { CloseZip(); }

void ZipExtractionClass::RaiseStatus(const std::string& text) {
    if (Status) Status(text);
}

void ZipExtractionClass::RaiseError(std::int32_t number, const std::string& text) {
    if (ZipError) ZipError(number, text);
}

// The buffers of one chunk live as long as the reader: an archive of many
// small entries must not pay for fresh zeroed pages at every entry.
std::vector<char>& ZipExtractionClass::Buffer(std::vector<char>& buffer) {
    if (buffer.size() < kChunk) buffer.resize(kChunk);
    return buffer;
}

// Central headers are read one after another, so they come from one
// read-ahead window instead of a read per field.
std::string ZipExtractionClass::ReadBytes(std::int64_t offset, std::size_t count) {
    const auto end = [this] { return windowStart_ + static_cast<std::int64_t>(window_.size()); };
    if (offset < windowStart_ || offset + static_cast<std::int64_t>(count) > end()) {
        window_.resize(std::max(count, kChunk));
        windowStart_ = offset;
        window_.resize(file_->ReadAt(offset, window_.data(), window_.size()));
    }
    if (offset + static_cast<std::int64_t>(count) > end()) throw PastEndOfFile();
    return std::string(window_.data() + (offset - windowStart_), count);
}

std::string ZipExtractionClass::ZLibVersion() {
    const auto version = platform::ZlibVersion();
    if (!version) {
        RaiseError(1, "Zlib is not installed");
        return "";
    }
    return *version;
}

bool ZipExtractionClass::OpenZip(const std::string& ZipPath) {
    CloseZip();
    path_ = ZipPath;
    RaiseStatus("Opening Zip");
    if (!PlainFileFound(ZipPath)) {
        RaiseError(10, "The file " + ZipPath + " doesn't exist");
        return false;
    }
    file_ = std::make_unique<vb::BinaryFile>(ZipPath, vb::BinaryFile::Mode::Read);
    endPosition_ = FindEndRecord();
    if (endPosition_ > 0) {
        RaiseStatus("Zip Opened");
        return true;
    }
    RaiseError(2, "The file " + ZipPath + " is not a Zip file");
    return false;
}

void ZipExtractionClass::CloseZip() {
    if (file_) {
        file_.reset();
        RaiseStatus("Zip Closed");
    }
    endPosition_ = 0;
    window_.clear();
    windowStart_ = 0;
}

// Scans backwards in chunks, so a large archive is not held in memory.
std::int64_t ZipExtractionClass::FindEndRecord() {
    const std::int64_t length = file_->Length();
    if (length < 4) return 0;
    const char signature[4] = {0x50, 0x4B, 0x05, 0x06};
    std::vector<char> chunk(kChunk + 3);
    std::int64_t chunkEnd = length;   // exclusive end of the bytes still to scan
    while (chunkEnd >= 4) {
        const std::int64_t chunkStart = std::max<std::int64_t>(0, chunkEnd - static_cast<std::int64_t>(kChunk) - 3);
        const std::size_t count = static_cast<std::size_t>(chunkEnd - chunkStart);
        if (file_->ReadAt(chunkStart, chunk.data(), count) != count) return 0;
        for (std::size_t at = count - 4 + 1; at-- > 0;)
            if (std::equal(signature, signature + 4, chunk.data() + at)) return chunkStart + at + 1;
        if (chunkStart == 0) break;
        chunkEnd = chunkStart + 3;
    }
    return 0;
}

void ZipExtractionClass::ReadEndRecord() {
    end_ = zipformat::ParseEnd(ReadBytes(endPosition_ - 1, zipformat::kEndRecordSize));
    comment_.assign(end_.CommentLength, '\0');
    comment_.resize(file_->ReadAt(endPosition_ - 1 + zipformat::kEndRecordSize, comment_.data(), comment_.size()));
}

// The end record's counts and offsets at their largest, with a zip64 locator
// right before it: the real ones are in the zip64 end record.
bool ZipExtractionClass::EndRecordUsesZip64() {
    const bool atLargest = end_.EntriesTotal == kZip64Count || end_.EntriesOnDisk == kZip64Count ||
                           end_.CentralDirectoryOffset == kZip64Marker || end_.CentralDirectorySize == kZip64Marker;
    const std::int64_t locator = endPosition_ - 1 - static_cast<std::int64_t>(kZip64LocatorSize);
    if (!atLargest || locator < 0) return false;
    const std::string bytes = ReadBytes(locator, 4);
    const std::uint32_t signature = static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8 |
                                    static_cast<unsigned char>(bytes[2]) << 16 |
                                    static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    return signature == kZip64LocatorSignature;
}

bool ZipExtractionClass::CentralHeaderUsesZip64(const Entry& entry) {
    const zipformat::CentralFileHeader& header = entry.header;
    return (header.CompressedSize == kZip64Marker || header.UncompressedSize == kZip64Marker ||
            header.LocalHeaderOffset == kZip64Marker) &&
           HasZip64Field(entry.extra);
}

ZipExtractionClass::Entry ZipExtractionClass::ReadCentralEntry(std::int64_t& position) {
    Entry entry;
    entry.header = zipformat::ParseCentral(ReadBytes(position, zipformat::kCentralHeaderSize));
    if (entry.header.Signature != zipformat::kCentralSignature) throw BadFileFormat();
    position += zipformat::kCentralHeaderSize;
    entry.name = DecodeName(ReadBytes(position, entry.header.NameLength), entry.header.Flags);
    position += entry.header.NameLength;
    entry.extra = ReadBytes(position, entry.header.ExtraLength);
    position += entry.header.ExtraLength + entry.header.CommentLength;
    return entry;
}

// Entries of one folder follow each other: the folder made or found for the
// previous entry is not looked for again.
bool ZipExtractionClass::CreateFolders(const std::string& dest, const std::string& folderPart) {
    if (folderPart == lastFolderPart_) return true;
    lastFolderPart_.clear();
    std::string folder = dest;
    std::size_t start = 0;
    while (start < folderPart.size()) {
        const std::size_t end = std::min(folderPart.find('\\', start), folderPart.size());
        folder += "\\" + folderPart.substr(start, end - start);
        if (!IsExistingFolder(folder) && !win::CreateDirectoryA(folder)) {
            RaiseError(13, "Can't create the folder " + folder);
            return false;
        }
        start = end + 1;
    }
    lastFolderPart_ = folderPart;
    return true;
}

bool ZipExtractionClass::Extract(const std::string& Dest, bool KeepFolders, bool Overwrite) {
    if (ZLibVersion().empty()) return false;
    RaiseStatus("Extracting Files");
    if (endPosition_ == 0) {
        RaiseError(3, "There is no Zip File Open");
        return false;
    }
    const std::string dest = WithoutTrailingBackslash(Dest);
    if (!IsExistingFolder(dest) && !win::CreateDirectoryA(dest)) {
        RaiseError(13, "Can't create the folder " + Dest);
        return false;
    }
    lastFolderPart_.clear();
    ReadEndRecord();
    if (end_.DiskNumber != end_.CentralDirectoryDisk) {
        RaiseStatus("Extraction Complete");
        return false;
    }
    if (!CentralDirectoryReadable()) return false;
    std::int64_t position = end_.CentralDirectoryOffset;
    const std::int32_t total = end_.EntriesTotal;
    for (std::int32_t i = 1; i <= total; ++i) {
        const Entry entry = ReadCentralEntry(position);
        if (entry.header.UncompressedSize >= 1 || entry.header.UncompressedSize < 0) {
            const std::size_t slash = entry.name.find_last_of('\\');
            const std::string outputName =
                KeepFolders || slash == std::string::npos ? entry.name : entry.name.substr(slash + 1);
            const std::string target = dest + "\\" + outputName;
            if (!Refused(entry, outputName, target)) {
                if (KeepFolders && slash != std::string::npos && !CreateFolders(dest, entry.name.substr(0, slash)))
                    return false;
                RaiseStatus("Extracting ...\\" + outputName);
                ExtractEntry(entry, target, Overwrite);
            }
        }
        vb::DoEvents();
        bool cancel = false;
        if (Progress) Progress(RoundedPercent(i, total), cancel);
        if (cancel) return false;
    }
    RaiseStatus("Extraction Complete");
    return true;
}

// Raises the error of an entry that is not unpacked at all.
bool ZipExtractionClass::Refused(const Entry& entry, const std::string& outputName, const std::string& target) {
    if (!IsSafeEntryName(entry.name) || !IsSafeEntryName(outputName)) {
        RaiseError(14, "The file name " + entry.name + " is not allowed");
    } else if (CentralHeaderUsesZip64(entry)) {
        RaiseError(15, Zip64Text(entry.name));
    } else if (entry.header.UncompressedSize < 0) {
        RaiseError(5, "Data checksum error in " + target);
    } else {
        return false;
    }
    return true;
}

// False, with its error raised, for a zip64 archive.
bool ZipExtractionClass::CentralDirectoryReadable() {
    if (EndRecordUsesZip64()) {
        RaiseError(15, "The archive " + path_ + " uses zip64, which is unsupported");
        return false;
    }
    if (end_.CentralDirectoryOffset < 0) throw BadFileFormat();
    return true;
}

bool ZipExtractionClass::CheckUnpacked(const std::string& Dest) {
    if (endPosition_ == 0) {
        RaiseError(3, "There is no Zip File Open");
        return false;
    }
    const std::string dest = WithoutTrailingBackslash(Dest);
    ReadEndRecord();
    if (end_.DiskNumber != end_.CentralDirectoryDisk || !CentralDirectoryReadable()) return false;
    std::int64_t position = end_.CentralDirectoryOffset;
    bool whole = true;
    for (std::int32_t i = 1; i <= end_.EntriesTotal; ++i) {
        const Entry entry = ReadCentralEntry(position);
        if (entry.header.UncompressedSize == 0) continue;
        const std::string target = dest + "\\" + entry.name;
        if (Refused(entry, entry.name, target)) {
            whole = false;
        } else if (!HoldsContent(target, entry.header.UncompressedSize, entry.header.Crc32)) {
            RaiseError(5, "Data checksum error in " + target);
            whole = false;
        }
    }
    return whole;
}

bool ZipExtractionClass::HoldsContent(const std::string& path, std::int64_t size, std::uint32_t crc) {
    if (!PlainFileFound(path)) return false;
    vb::BinaryFile file(path, vb::BinaryFile::Mode::Read);
    if (file.Length() != size) return false;
    std::vector<char>& buffer = Buffer(input_);
    uLong check = crc32(0, nullptr, 0);
    for (std::int64_t done = 0; done < size;) {
        const std::size_t want = std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(size - done));
        if (file.ReadAt(done, buffer.data(), want) != want) return false;
        check = crc32(check, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(want));
        done += static_cast<std::int64_t>(want);
    }
    return check == crc;
}

ZipExtractionClass::EntryData ZipExtractionClass::LocateData(const Entry& entry, const std::string& target) {
    EntryData data;
    const std::string corrupt = "Data checksum error in " + target;
    const std::int64_t localOffset = entry.header.LocalHeaderOffset;
    std::string localBytes(zipformat::kLocalHeaderSize, '\0');
    const auto local = localOffset >= 0 && file_->ReadAt(localOffset, localBytes.data(), localBytes.size()) ==
                                                  localBytes.size()
                           ? std::optional(zipformat::ParseLocal(localBytes))
                           : std::nullopt;
    if (!local || local->Signature != zipformat::kLocalSignature) return {5, corrupt};
    const bool sizesInCentral = ((local->Flags | entry.header.Flags) & zipformat::kFlagDataDescriptor) != 0;
    if (!sizesInCentral && (local->CompressedSize == kZip64Marker || local->UncompressedSize == kZip64Marker)) {
        std::string extra(local->ExtraLength, '\0');
        extra.resize(file_->ReadAt(localOffset + zipformat::kLocalHeaderSize + local->NameLength, extra.data(),
                                   extra.size()));
        if (HasZip64Field(extra)) return {15, Zip64Text(entry.name)};
    }
    data.compressedSize = sizesInCentral ? entry.header.CompressedSize : local->CompressedSize;
    data.crc = sizesInCentral ? entry.header.Crc32 : local->Crc32;
    data.offset = localOffset + zipformat::kLocalHeaderSize + local->NameLength + local->ExtraLength;
    if (entry.header.Method != 0 && entry.header.Method != 8) {
        std::string localName(local->NameLength, '\0');
        localName.resize(file_->ReadAt(localOffset + zipformat::kLocalHeaderSize, localName.data(), localName.size()));
        return {4, "The compression Method for " + DecodeName(localName, local->Flags) + " is unsupported"};
    }
    if (data.compressedSize < 0) return {5, corrupt};
    return data;
}

// The target is created only when nothing is there under any letter case,
// which answers the existence check with the same look at the folder.
std::unique_ptr<vb::BinaryFile> ZipExtractionClass::CreateNewFile(const std::string& target) {
    try {
        return std::make_unique<vb::BinaryFile>(target, vb::BinaryFile::Mode::CreateNew);
    } catch (const RuntimeError& e) {
        if (e.Number() == RuntimeError::FileAlreadyExists().Number()) return nullptr;
        throw;
    }
}

void ZipExtractionClass::ExtractEntry(const Entry& entry, const std::string& target, bool Overwrite) {
    const std::string corrupt = "Data checksum error in " + target;
    const EntryData data = LocateData(entry, target);
    if (data.error == 0) {
        // Nothing there to protect: the entry is written in place, and removed when it fails its check.
        if (auto out = CreateNewFile(target)) {
            if (!WriteChecked(entry, data, *out, target)) RaiseError(5, corrupt);
            return;
        }
    }
    const win::DWORD attributes = win::GetFileAttributesA(target);
    const bool isFile = attributes != win::INVALID_FILE_ATTRIBUTES && !(attributes & win::FILE_ATTRIBUTE_DIRECTORY);
    if (isFile && !Overwrite) {
        RaiseError(11, "The file " + target + " already exists");
        return;
    }
    if (data.error != 0) {
        RaiseError(data.error, data.errorText);
        return;
    }
    // A file that is replaced only once the entry checks out (or a folder in the way).
    const std::string temporary = TemporaryFileIn(FolderOf(target));
    std::unique_ptr<vb::BinaryFile> out;
    try {
        out = std::make_unique<vb::BinaryFile>(temporary, vb::BinaryFile::Mode::Write);
    } catch (...) {
        win::DeleteFileA(temporary);
        throw;
    }
    if (!WriteChecked(entry, data, *out, temporary)) {
        RaiseError(5, corrupt);
        return;
    }
    PlaceFile(temporary, target, attributes != win::INVALID_FILE_ATTRIBUTES);
}

// The entry's bytes into the open file at path, which is deleted again when they do not check out.
bool ZipExtractionClass::WriteChecked(const Entry& entry, const EntryData& data, vb::BinaryFile& out,
                                      const std::string& path) {
    bool good = false;
    try {
        good = entry.header.Method == 0
                   ? CopyStored(data.offset, data.compressedSize, data.crc, out) &&
                         data.compressedSize == entry.header.UncompressedSize
                   : InflateData(entry, data.offset, data.compressedSize, data.crc, out);
        out.Close();
    } catch (...) {
        out.Close();
        win::DeleteFileA(path);
        throw;
    }
    if (!good) win::DeleteFileA(path);
    return good;
}

void ZipExtractionClass::PlaceFile(const std::string& temporary, const std::string& target, bool targetPresent) {
    const bool replaced = (!targetPresent || win::DeleteFileA(target)) && win::MoveFileA(temporary, target);
    if (!replaced) {
        win::DeleteFileA(temporary);
        RaiseError(12, "Can't remove the file " + target);
    }
}

bool ZipExtractionClass::CopyStored(std::int64_t dataOffset, std::int32_t size, std::uint32_t crc,
                                    vb::BinaryFile& out) {
    std::vector<char>& buffer = Buffer(input_);
    uLong check = crc32(0, nullptr, 0);
    std::int64_t done = 0;
    while (done < size) {
        const std::size_t want = std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(size - done));
        if (file_->ReadAt(dataOffset + done, buffer.data(), want) != want) return false;
        check = crc32(check, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(want));
        out.Write(buffer.data(), want);
        done += static_cast<std::int64_t>(want);
    }
    return check == crc;
}

// Streams from the archive and stops at the declared size, so an entry that
// claims more than it holds costs no more memory than one chunk.
bool ZipExtractionClass::InflateData(const Entry& entry, std::int64_t dataOffset, std::int32_t compressedSize,
                                     std::uint32_t crc, vb::BinaryFile& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw RuntimeError(7, "Quarnel", "Out of memory");
    std::vector<char>& input = Buffer(input_);
    std::vector<char>& output = Buffer(output_);
    const std::int64_t expected = entry.header.UncompressedSize;
    std::int64_t consumed = 0;
    std::int64_t produced = 0;
    uLong check = crc32(0, nullptr, 0);
    int result = Z_OK;
    while (produced < expected && result != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            const std::size_t want =
                std::min<std::size_t>(input.size(), static_cast<std::size_t>(compressedSize - consumed));
            if (want == 0 || file_->ReadAt(dataOffset + consumed, input.data(), want) != want) break;
            consumed += static_cast<std::int64_t>(want);
            stream.next_in = reinterpret_cast<Bytef*>(input.data());
            stream.avail_in = static_cast<uInt>(want);
        }
        const std::size_t room = std::min<std::size_t>(output.size(), static_cast<std::size_t>(expected - produced));
        stream.next_out = reinterpret_cast<Bytef*>(output.data());
        stream.avail_out = static_cast<uInt>(room);
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) break;
        const std::size_t made = room - stream.avail_out;
        check = crc32(check, reinterpret_cast<const Bytef*>(output.data()), static_cast<uInt>(made));
        out.Write(output.data(), made);
        produced += static_cast<std::int64_t>(made);
    }
    inflateEnd(&stream);
    return produced == expected && check == crc;
}
