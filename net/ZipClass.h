#pragma once
// An archive being written: entries are collected in the order they are
// added and written as local entries, central directory and end record.
// Read and write errors reach the caller; the contents are compressed on a
// few threads, and a compression error reaches the caller of WriteZip.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/ZipFile.h"

class ZipClass {
public:
    std::int32_t FileCount() const { return static_cast<std::int32_t>(files_.size()); }
    void Comment(const std::string& text);
    // False (nothing added) when a plain directory search finds no file there.
    bool AddFile(const std::string& FilePath, const std::string& Filename = "", const std::string& Comment = "");
    // False (nothing written) when a file is there and Overwrite is clear.
    bool WriteZip(const std::string& FilePath, bool Overwrite = false);

    // The entries, their compression finished.
    const std::vector<std::unique_ptr<ZipFile>>& Files();

private:
    void WriteArchive(const std::string& FilePath);
    void FinishCompressions(std::size_t keepPending);

    // Contents are compressed on the pool while more files are read; the
    // entries from firstPending_ on are still compressing, and no more than
    // a bounded amount of content waits in memory.
    std::unique_ptr<zipdeflate::DeflatePool> pool_;
    std::vector<std::unique_ptr<ZipFile>> files_;
    std::size_t firstPending_ = 0;
    std::int64_t pendingBytes_ = 0;
    std::string comment_;
    zipformat::EndRecord end_;
};

// True when a plain directory search lists a normal file at the path (a
// hidden or system file, or a folder, counts as absent).
bool PlainFileFound(const std::string& path);
