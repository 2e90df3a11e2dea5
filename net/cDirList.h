#pragma once
// A remote folder listing: cDirItem entries in the order they came, keyed by
// file name (a key compares ignoring letter case, as the collection's keys do).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/cDirItem.h"

class cDirList {
public:
    // The new entry; error 457 when the name is already a key of the list.
    cDirItem& Add(std::int32_t lAttrib, double dtCreationTime, double dtLastAccessTime, double dtLastWriteTime,
                  std::int32_t lFileSize, const std::string& sFilename);
    // By 1-based position (error 9 when out of range) or by file name (error 5
    // when no entry has it).
    const cDirItem& Item(std::int32_t index) const;
    const cDirItem& Item(const std::string& key) const;
    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    void Clear() { items_.clear(); }

    std::vector<std::unique_ptr<cDirItem>>::const_iterator begin() const { return items_.begin(); }
    std::vector<std::unique_ptr<cDirItem>>::const_iterator end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<cDirItem>> items_;
};
