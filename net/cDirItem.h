#pragma once
// One entry of a remote folder listing: its attributes, times (local time,
// as date serials: days since 30 December 1899; 0 when unknown), size and name.
#include <cstdint>
#include <string>

class cDirItem {
public:
    bool ReadOnly = false;
    bool Hidden = false;
    bool System = false;
    bool Directory = false;
    bool Archive = false;
    bool Normal = false;
    bool Temporary = false;
    bool Compressed = false;
    bool Offline = false;
    double CreationTime = 0;
    double LastAccessTime = 0;
    double LastWriteTime = 0;
    std::int32_t FileSize = 0;
    std::string FileName;
};
