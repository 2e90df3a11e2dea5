#pragma once
// Unpacks an archive into a folder: finds the end record, walks the central
// directory and inflates each entry. An entry that would replace a file is
// inflated into a temporary file beside it and put in place only when its
// size and CRC-32 check out; a new file that fails the check is removed.
// Progress, status texts and errors are raised through the three event members.
//
// Entry names that could leave the destination (empty, rooted, with ":", a
// control character or a "." or ".." part) or that Windows cannot hold (a
// character of *?"<>|, a part that is empty or ends in "." or " ", a device
// name such as CON or LPT1) are refused with error 14; a zip64 archive or
// entry, which the reader does not take, raises error 15.
// Structural damage (a truncated or inconsistent central directory) is an
// error that reaches the caller.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/ZipFile.h"

namespace vb {
class BinaryFile;
}

class ZipExtractionClass {
public:
    std::function<void(std::int32_t percent, bool& cancel)> Progress;
    std::function<void(const std::string& text)> Status;
    std::function<void(std::int32_t number, const std::string& text)> ZipError;

    ZipExtractionClass();
    ~ZipExtractionClass();
    ZipExtractionClass(const ZipExtractionClass&) = delete;
    ZipExtractionClass& operator=(const ZipExtractionClass&) = delete;

    bool OpenZip(const std::string& ZipPath);
    bool Extract(const std::string& Dest, bool KeepFolders, bool Overwrite);
    void CloseZip();
    // After another program unpacked the open archive into Dest with its
    // folders: true when every file entry lies there whole, with its size and
    // CRC-32. Each entry that does not raises its error (5 for a missing,
    // short or different file).
    bool CheckUnpacked(const std::string& Dest);
    std::string ZLibVersion();

    const std::string& ArchiveComment() const { return comment_; }

private:
    struct Entry {
        zipformat::CentralFileHeader header;
        std::string name;   // UTF-8, "\" between folder levels
        std::string extra;
    };
    std::int64_t FindEndRecord();
    void ReadEndRecord();
    bool EndRecordUsesZip64();
    static bool CentralHeaderUsesZip64(const Entry& entry);
    bool CentralDirectoryReadable();
    bool Refused(const Entry& entry, const std::string& outputName, const std::string& target);
    bool HoldsContent(const std::string& path, std::int64_t size, std::uint32_t crc);
    Entry ReadCentralEntry(std::int64_t& position);
    // Where an entry's data lies, or the error (4 or 5) that stops it.
    struct EntryData {
        std::int32_t error = 0;
        std::string errorText;
        std::int64_t offset = 0;
        std::int32_t compressedSize = 0;
        std::uint32_t crc = 0;
    };
    EntryData LocateData(const Entry& entry, const std::string& target);
    void ExtractEntry(const Entry& entry, const std::string& target, bool Overwrite);
    std::unique_ptr<vb::BinaryFile> CreateNewFile(const std::string& target);
    bool WriteChecked(const Entry& entry, const EntryData& data, vb::BinaryFile& out, const std::string& path);
    bool InflateData(const Entry& entry, std::int64_t dataOffset, std::int32_t compressedSize, std::uint32_t crc,
                     vb::BinaryFile& out);
    bool CopyStored(std::int64_t dataOffset, std::int32_t size, std::uint32_t crc, vb::BinaryFile& out);
    bool CreateFolders(const std::string& dest, const std::string& folderPart);
    void PlaceFile(const std::string& temporary, const std::string& target, bool targetPresent);

    void RaiseStatus(const std::string& text);
    void RaiseError(std::int32_t number, const std::string& text);
    std::string ReadBytes(std::int64_t offset, std::size_t count);
    static std::vector<char>& Buffer(std::vector<char>& buffer);

    std::unique_ptr<vb::BinaryFile> file_;
    std::string path_;
    std::int64_t endPosition_ = 0;   // 1-based, 0 when unknown
    zipformat::EndRecord end_;
    std::string comment_;
    std::vector<char> window_;
    std::int64_t windowStart_ = 0;
    std::string lastFolderPart_;   // of dest, as made by CreateFolders in this Extract
    std::vector<char> input_;
    std::vector<char> output_;
};

// True when an archive entry name (with "\" separators) stays inside the
// folder it is unpacked into and names a file Windows can hold.
bool IsSafeEntryName(const std::string& name);
