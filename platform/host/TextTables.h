#pragma once
// The tables behind Text: the simple case mappings of Unicode and the
// Windows single-byte code pages. TextTables.cpp is written by
// scripts/generate-text-tables; change the tables there, never by hand.
#include <cstddef>
#include <cstdint>

namespace platform::text_tables {

// A case mapping in two levels: code point c takes the delta
// kCaseDeltas[k<Mapping>Blocks[c >> kCaseBlockBits] << kCaseBlockBits | low bits].
// No code point at or past kCaseTableEnd has another case.
inline constexpr int kCaseBlockBits = 6;
inline constexpr char32_t kCaseBlockMask = (1u << kCaseBlockBits) - 1;
inline constexpr char32_t kCaseTableEnd = 0x20000;
extern const std::uint8_t kFoldBlocks[kCaseTableEnd >> kCaseBlockBits];
extern const std::uint8_t kUpperBlocks[kCaseTableEnd >> kCaseBlockBits];
extern const std::uint8_t kLowerBlocks[kCaseTableEnd >> kCaseBlockBits];
extern const std::int32_t kCaseDeltas[];

inline char32_t MapCase(const std::uint8_t* blocks, char32_t c) {
    if (c >= kCaseTableEnd) return c;
    const std::size_t block = static_cast<std::size_t>(blocks[c >> kCaseBlockBits]) << kCaseBlockBits;
    return c + static_cast<char32_t>(kCaseDeltas[block | (c & kCaseBlockMask)]);
}

// A code page's bytes 0x80-0xFF (the rest are ASCII); U+FFFD for a byte it
// leaves undefined.
struct CodePage {
    int number;
    char16_t high[128];
};
extern const CodePage kCodePages[];
extern const std::size_t kCodePageCount;

}  // namespace platform::text_tables
