#pragma once
// Global memory blocks: GlobalAlloc gives a handle, GlobalLock its address
// (a fixed block keeps its address while it lives), GlobalFree releases it.
// Blocks start zero-filled.
#include <cstddef>
#include <cstdint>

#include "platform/api/WinTypes.h"

namespace win {

using HGLOBAL = std::intptr_t;

constexpr UINT GMEM_FIXED = 0;

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
// 0 when freed; the handle itself when it names no block.
HGLOBAL GlobalFree(HGLOBAL memory);
std::size_t GlobalSize(HGLOBAL memory);

}  // namespace win

namespace platform {
// Blocks not yet freed (for tests of leaks).
std::size_t GlobalBlocksInUse();
}  // namespace platform
