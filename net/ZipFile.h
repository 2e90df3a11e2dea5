#pragma once
// One entry of an archive being written, and the header records that the
// writer and the reader share. All numbers are little-endian on disk; sizes
// and offsets are signed 32-bit quantities, so archives stay below 2 GB.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/ZipDeflate.h"

namespace vb {
class BinaryFile;
}

namespace zipformat {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8Names = 0x0800;

// The fields from "version needed" to "extra length", which the local and
// the central header share in the same order.
struct EntryFields {
    std::uint16_t VersionNeeded = 20;
    std::uint16_t Flags = 2;
    std::uint16_t Method = 8;
    std::uint16_t ModTime = 0;
    std::uint16_t ModDate = 0;
    std::uint32_t Crc32 = 0;
    std::int32_t CompressedSize = 0;
    std::int32_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
};

// On disk: the signature, then the shared fields.
struct LocalFileHeader : EntryFields {
    std::uint32_t Signature = kLocalSignature;
};

// On disk: the signature, "version made by", the shared fields, then the rest.
struct CentralFileHeader : EntryFields {
    std::uint32_t Signature = kCentralSignature;
    std::uint16_t VersionMadeBy = 20;
    std::uint16_t CommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 32;
    std::uint32_t ExternalAttributes = 0;
    std::int32_t LocalHeaderOffset = 0;
};

struct EndRecord {
    std::uint32_t Signature = kEndSignature;
    std::uint16_t DiskNumber = 0;
    std::uint16_t CentralDirectoryDisk = 0;
    std::uint16_t EntriesOnDisk = 0;
    std::uint16_t EntriesTotal = 0;
    std::int32_t CentralDirectorySize = 0;
    std::int32_t CentralDirectoryOffset = 0;
    std::uint16_t CommentLength = 0;
};

std::string Serialize(const LocalFileHeader& header);
std::string Serialize(const CentralFileHeader& header);
std::string Serialize(const EndRecord& record);
// Each reads its record from exactly its size in bytes.
LocalFileHeader ParseLocal(std::string_view bytes);
CentralFileHeader ParseCentral(std::string_view bytes);
EndRecord ParseEnd(std::string_view bytes);

// DOS time and date of a local time; times before 1980 are stored as
// 1 January 1980 0:00, times after 2107 as its last second.
struct DosDateTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};
DosDateTime ToDosDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace zipformat

class ZipFile {
public:
    // The last-modified time, the name after the last "\" and the content of
    // the file, whose compression is started on the pool. Read errors reach
    // the caller; compression errors reach FinishCompression.
    void LoadFile(const std::string& FilePath, zipdeflate::DeflatePool& pool);
    // Waits for the compression started by LoadFile and sets the CRC-32, the
    // compressed size and the data; nothing to do when none is running.
    void FinishCompression();
    void SetFileName(const std::string& Name);
    void SetComment(const std::string& Comment);
    void WriteLocalEntry(vb::BinaryFile& file) const;
    void WriteCentralEntry(vb::BinaryFile& file) const;

    zipformat::LocalFileHeader Local;
    zipformat::CentralFileHeader Central;
    // Name and comment as stored: bytes of the ANSI code page.
    const std::string& StoredName() const { return name_; }
    const std::string& CompressedData() const { return data_; }

private:
    std::string name_;
    std::string extra_;
    std::string comment_;
    std::string data_;
    std::optional<zipdeflate::PendingDeflate> compressing_;
};
