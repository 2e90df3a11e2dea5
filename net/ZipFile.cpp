#include "net/ZipFile.h"

#include <zlib.h>

#include <ctime>
#include <limits>

#include "platform/api/BinaryFile.h"
#include "platform/api/FileSystem.h"
#include "platform/host/Text.h"
#include "platform/api/RuntimeError.h"

namespace zipformat {

namespace {

class Writer {
public:
    void U16(std::uint16_t v) {
        out_ += static_cast<char>(v & 0xFF);
        out_ += static_cast<char>(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v & 0xFFFF));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    std::uint16_t U16() {
        const auto lo = static_cast<unsigned char>(bytes_[at_]);
        const auto hi = static_cast<unsigned char>(bytes_[at_ + 1]);
        at_ += 2;
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// The fields from "version needed" to "extra length", which the local and
// the central header share in the same order.
template <typename Header>
void WriteSharedFields(Writer& w, const Header& h) {
    w.U16(h.VersionNeeded);
    w.U16(h.Flags);
    w.U16(h.Method);
    w.U16(h.ModTime);
    w.U16(h.ModDate);
    w.U32(h.Crc32);
    w.I32(h.CompressedSize);
    w.I32(h.UncompressedSize);
    w.U16(h.NameLength);
    w.U16(h.ExtraLength);
}

template <typename Header>
void ReadSharedFields(Reader& r, Header& h) {
    h.VersionNeeded = r.U16();
    h.Flags = r.U16();
    h.Method = r.U16();
    h.ModTime = r.U16();
    h.ModDate = r.U16();
    h.Crc32 = r.U32();
    h.CompressedSize = r.I32();
    h.UncompressedSize = r.I32();
    h.NameLength = r.U16();
    h.ExtraLength = r.U16();
}

}  // namespace

std::string Serialize(const LocalFileHeader& h) {
    Writer w;
    w.U32(h.Signature);
    WriteSharedFields(w, h);
    return w.Take();
}

std::string Serialize(const CentralFileHeader& h) {
    Writer w;
    w.U32(h.Signature);
    w.U16(h.VersionMadeBy);
    WriteSharedFields(w, h);
    w.U16(h.CommentLength);
    w.U16(h.DiskNumberStart);
    w.U16(h.InternalAttributes);
    w.U32(h.ExternalAttributes);
    w.I32(h.LocalHeaderOffset);
    return w.Take();
}

std::string Serialize(const EndRecord& r) {
    Writer w;
    w.U32(r.Signature);
    w.U16(r.DiskNumber);
    w.U16(r.CentralDirectoryDisk);
    w.U16(r.EntriesOnDisk);
    w.U16(r.EntriesTotal);
    w.I32(r.CentralDirectorySize);
    w.I32(r.CentralDirectoryOffset);
    w.U16(r.CommentLength);
    return w.Take();
}

LocalFileHeader ParseLocal(std::string_view bytes) {
    Reader r(bytes);
    LocalFileHeader h;
    h.Signature = r.U32();
    ReadSharedFields(r, h);
    return h;
}

CentralFileHeader ParseCentral(std::string_view bytes) {
    Reader r(bytes);
    CentralFileHeader h;
    h.Signature = r.U32();
    h.VersionMadeBy = r.U16();
    ReadSharedFields(r, h);
    h.CommentLength = r.U16();
    h.DiskNumberStart = r.U16();
    h.InternalAttributes = r.U16();
    h.ExternalAttributes = r.U32();
    h.LocalHeaderOffset = r.I32();
    return h;
}

EndRecord ParseEnd(std::string_view bytes) {
    Reader r(bytes);
    EndRecord e;
    e.Signature = r.U32();
    e.DiskNumber = r.U16();
    e.CentralDirectoryDisk = r.U16();
    e.EntriesOnDisk = r.U16();
    e.EntriesTotal = r.U16();
    e.CentralDirectorySize = r.I32();
    e.CentralDirectoryOffset = r.I32();
    e.CommentLength = r.U16();
    return e;
}

DosDateTime ToDosDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980) return {0, static_cast<std::uint16_t>((1 << 5) | 1)};
    if (year > 2107) return ToDosDateTime(2107, 12, 31, 23, 59, 59);
    DosDateTime dos;
    dos.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    dos.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    return dos;
}

}  // namespace zipformat

namespace {

constexpr std::int64_t kLargestSize = std::numeric_limits<std::int32_t>::max();

std::string ReadWholeFile(const std::string& path) {
    vb::BinaryFile file(path, vb::BinaryFile::Mode::Read);
    const std::int64_t length = file.Length();
    if (length > kLargestSize) throw RuntimeError::Overflow();
    std::string content(static_cast<std::size_t>(length), '\0');
    content.resize(file.ReadAt(0, content.data(), content.size()));
    return content;
}

// The raw deflate data that compress() would frame with a zlib header and an
// Adler-32 trailer, made without the frame.
std::string RawDeflate(const std::string& content) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw RuntimeError(7, "Quarnel", "Out of memory");
    std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw RuntimeError(51, "Quarnel", "Internal error");
    return out;
}

}  // namespace

void ZipFile::LoadFile(const std::string& FilePath) {
    const std::time_t modified = vb::FileDateTime(FilePath);
    std::tm local{};
    localtime_r(&modified, &local);
    const auto dos = zipformat::ToDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                              local.tm_min, local.tm_sec);
    Local.ModTime = Central.ModTime = dos.time;
    Local.ModDate = Central.ModDate = dos.date;
    SetFileName(FilePath.substr(FilePath.find_last_of('\\') + 1));
    CompressData(FilePath);
}

void ZipFile::CompressData(const std::string& FilePath) {
    const std::string content = ReadWholeFile(FilePath);
    Local.Crc32 = Central.Crc32 = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    data_ = RawDeflate(content);
    Local.UncompressedSize = Central.UncompressedSize = static_cast<std::int32_t>(content.size());
    Local.CompressedSize = Central.CompressedSize = static_cast<std::int32_t>(data_.size());
}

void ZipFile::SetFileName(const std::string& Name) {
    name_ = platform::Utf8ToAnsi(Name);
    if (name_.size() > 0xFFFF) throw RuntimeError::Overflow();
    Local.NameLength = Central.NameLength = static_cast<std::uint16_t>(name_.size());
}

void ZipFile::SetComment(const std::string& Comment) {
    comment_ = platform::Utf8ToAnsi(Comment);
    if (comment_.size() > 0xFFFF) throw RuntimeError::Overflow();
    Central.CommentLength = static_cast<std::uint16_t>(comment_.size());
}

void ZipFile::WriteLocalEntry(vb::BinaryFile& file) const {
    const std::string header = zipformat::Serialize(Local) + name_ + extra_;
    file.Write(header.data(), header.size());
    file.Write(data_.data(), data_.size());
}

void ZipFile::WriteCentralEntry(vb::BinaryFile& file) const {
    const std::string header = zipformat::Serialize(Central) + name_ + extra_ + comment_;
    file.Write(header.data(), header.size());
}
