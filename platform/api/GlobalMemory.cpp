#include "platform/api/GlobalMemory.h"

#include <map>
#include <memory>

namespace {

struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size;
};

std::map<win::HGLOBAL, Block>& Blocks() {
    static std::map<win::HGLOBAL, Block> blocks;
    return blocks;
}

}  // namespace

namespace win {

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
    Block block{std::make_unique<char[]>(bytes == 0 ? 1 : bytes), bytes};
    const auto handle = reinterpret_cast<HGLOBAL>(block.bytes.get());
    Blocks().emplace(handle, std::move(block));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

void* GlobalLock(HGLOBAL memory) {
    auto found = Blocks().find(memory);
    if (found == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second.bytes.get();
}

BOOL GlobalUnlock(HGLOBAL memory) { return Blocks().count(memory) ? TRUE_ : FALSE_; }

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (Blocks().erase(memory)) return 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return memory;
}

std::size_t GlobalSize(HGLOBAL memory) {
    auto found = Blocks().find(memory);
    return found == Blocks().end() ? 0 : found->second.size;
}

}  // namespace win

namespace platform {
std::size_t GlobalBlocksInUse() { return Blocks().size(); }
}  // namespace platform
