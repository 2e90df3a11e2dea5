#include "net/ZipFile.h"

#include <ctime>
#include <limits>
#include <memory>
#include <type_traits>

#include "platform/api/BinaryFile.h"
#include "platform/api/FileStatements.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace zipformat {

namespace {

// Little-endian numbers of the records, written or read by the same field
// lists below.
class Writer {
public:
    template <typename Number>
    void operator()(Number value) {
        const auto bits = static_cast<std::make_unsigned_t<Number>>(value);
        for (std::size_t i = 0; i < sizeof(Number); ++i) out_ += static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    template <typename Number>
    void operator()(Number& value) {
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < sizeof(Number); ++i)
            bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
        at_ += sizeof(Number);
        value = static_cast<Number>(static_cast<std::make_unsigned_t<Number>>(bits));
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Each record's fields in their order on disk; `field` is a Writer or a Reader.
template <typename Field>
void EntryFieldsInOrder(EntryFields& h, Field& field) {
    field(h.VersionNeeded);
    field(h.Flags);
    field(h.Method);
    field(h.ModTime);
    field(h.ModDate);
    field(h.Crc32);
    field(h.CompressedSize);
    field(h.UncompressedSize);
    field(h.NameLength);
    field(h.ExtraLength);
}

template <typename Field>
void FieldsInOrder(LocalFileHeader& h, Field& field) {
    field(h.Signature);
    EntryFieldsInOrder(h, field);
}

template <typename Field>
void FieldsInOrder(CentralFileHeader& h, Field& field) {
    field(h.Signature);
    field(h.VersionMadeBy);
    EntryFieldsInOrder(h, field);
    field(h.CommentLength);
    field(h.DiskNumberStart);
    field(h.InternalAttributes);
    field(h.ExternalAttributes);
    field(h.LocalHeaderOffset);
}

template <typename Field>
void FieldsInOrder(EndRecord& r, Field& field) {
    field(r.Signature);
    field(r.DiskNumber);
    field(r.CentralDirectoryDisk);
    field(r.EntriesOnDisk);
    field(r.EntriesTotal);
    field(r.CentralDirectorySize);
    field(r.CentralDirectoryOffset);
    field(r.CommentLength);
}

template <typename Record>
std::string Written(Record record) {
    Writer writer;
    FieldsInOrder(record, writer);
    return writer.Take();
}

template <typename Record>
Record Read(std::string_view bytes) {
    Reader reader(bytes);
    Record record;
    FieldsInOrder(record, reader);
    return record;
}

}  // namespace

std::string Serialize(const LocalFileHeader& header) { return Written(header); }
std::string Serialize(const CentralFileHeader& header) { return Written(header); }
std::string Serialize(const EndRecord& record) { return Written(record); }
LocalFileHeader ParseLocal(std::string_view bytes) { return Read<LocalFileHeader>(bytes); }
CentralFileHeader ParseCentral(std::string_view bytes) { return Read<CentralFileHeader>(bytes); }
EndRecord ParseEnd(std::string_view bytes) { return Read<EndRecord>(bytes); }

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

}  // namespace

void ZipFile::LoadFile(const std::string& FilePath, zipdeflate::DeflatePool& pool) {
    const std::time_t modified = vb::FileDateTime(FilePath);
    std::tm local{};
    localtime_r(&modified, &local);
    const auto dos = zipformat::ToDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                              local.tm_min, local.tm_sec);
    Local.ModTime = Central.ModTime = dos.time;
    Local.ModDate = Central.ModDate = dos.date;
    SetFileName(FilePath.substr(FilePath.find_last_of('\\') + 1));
    auto content = std::make_shared<const std::string>(ReadWholeFile(FilePath));
    Local.UncompressedSize = Central.UncompressedSize = static_cast<std::int32_t>(content->size());
    compressing_ = pool.Start(std::move(content));
}

void ZipFile::FinishCompression() {
    if (!compressing_) return;
    zipdeflate::PendingDeflate pending = std::move(*compressing_);
    compressing_.reset();
    zipdeflate::Deflated deflated = pending.Take();
    if (deflated.data.size() > static_cast<std::size_t>(kLargestSize)) throw RuntimeError::Overflow();
    data_ = std::move(deflated.data);
    Local.Crc32 = Central.Crc32 = deflated.crc;
    Local.CompressedSize = Central.CompressedSize = static_cast<std::int32_t>(data_.size());
}

void ZipFile::SetFileName(const std::string& Name) {
    name_ = vb::StrConv(Name, vb::vbFromUnicode);
    if (name_.size() > 0xFFFF) throw RuntimeError::Overflow();
    Local.NameLength = Central.NameLength = static_cast<std::uint16_t>(name_.size());
}

void ZipFile::SetComment(const std::string& Comment) {
    comment_ = vb::StrConv(Comment, vb::vbFromUnicode);
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
