#include "net/cDirList.h"

#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

cDirItem& cDirList::Add(std::int32_t lAttrib, double dtCreationTime, double dtLastAccessTime, double dtLastWriteTime,
                        std::int32_t lFileSize, const std::string& sFilename) {
    for (const auto& item : items_)
        if (vb::StrComp(item->FileName, sFilename, vb::vbTextCompare) == 0)
            throw RuntimeError(457, "Quarnel", "This key is already associated with an element of this collection");
    auto item = std::make_unique<cDirItem>();
    item->Archive = (lAttrib & 0x20) != 0;
    item->Compressed = (lAttrib & 0x800) != 0;
    item->Directory = (lAttrib & 0x10) != 0;
    item->Hidden = (lAttrib & 0x2) != 0;
    item->Normal = (lAttrib & 0x80) != 0;
    item->Offline = (lAttrib & 0x1000) != 0;
    item->ReadOnly = (lAttrib & 0x1) != 0;
    item->System = (lAttrib & 0x4) != 0;
    item->Temporary = (lAttrib & 0x100) != 0;
    item->CreationTime = dtCreationTime;
    item->LastAccessTime = dtLastAccessTime;
    item->LastWriteTime = dtLastWriteTime;
    item->FileSize = lFileSize;
    item->FileName = sFilename;
    items_.push_back(std::move(item));
    return *items_.back();
}

const cDirItem& cDirList::Item(std::int32_t index) const {
    if (index < 1 || index > Count()) throw RuntimeError::SubscriptOutOfRange();
    return *items_[static_cast<size_t>(index - 1)];
}

const cDirItem& cDirList::Item(const std::string& key) const {
    for (const auto& item : items_)
        if (vb::StrComp(item->FileName, key, vb::vbTextCompare) == 0) return *item;
    throw RuntimeError::InvalidProcedureCall();
}
