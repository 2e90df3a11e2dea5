#pragma once
// An archive being written: entries are collected in the order they are
// added and written as local entries, central directory and end record.
// Read, compression and write errors reach the caller.
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

    const std::vector<std::unique_ptr<ZipFile>>& Files() const { return files_; }

private:
    void WriteArchive(const std::string& FilePath);

    std::vector<std::unique_ptr<ZipFile>> files_;
    std::string comment_;
    zipformat::EndRecord end_;
};

// True when a plain directory search lists a normal file at the path (a
// hidden or system file, or a folder, counts as absent).
bool PlainFileFound(const std::string& path);
