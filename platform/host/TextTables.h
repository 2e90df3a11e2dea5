#pragma once
// The tables behind Text: the case mappings of Unicode and the Windows ANSI
// code pages. TextTables.cpp is written by scripts/generate-text-tables;
// change the tables there, never by hand.
#include <cstddef>
#include <cstdint>

namespace platform::text_tables {

// A case mapping in two levels: code point c takes the delta
// kCaseDeltas[k<Mapping>Blocks[c >> kCaseBlockBits] << kCaseBlockBits | low bits].
// No code point at or past kCaseTableEnd has another case. Fold is the key
// texts equal but for letter case share: the simple case folding of the
// lower case.
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

// A code page's bytes 0x80-0xFF (the rest are ASCII): the character of a
// byte that stands alone, U+FFFD for one the page leaves undefined, 0 for
// the lead byte of a pair. The pairs of a double-byte page (932, 936, 949,
// 950) lie in rows, one per lead byte: leadRows[lead - 0x80] is the row's
// number plus one (0 for a byte that leads no pair), and a row gives the
// characters of the trail bytes kFirstTrail to 0xFF, U+FFFD where a pair is
// undefined. readOnly lists the pairs (lead << 8 | trail, ascending) that
// stand for a character the page writes in another form.
inline constexpr unsigned kFirstTrail = 0x40;
inline constexpr unsigned kTrailCount = 0x100 - kFirstTrail;
struct CodePage {
    int number;
    char16_t high[128];
    std::uint8_t leadRows[128] = {};
    const char16_t (*pairs)[kTrailCount] = nullptr;
    const std::uint16_t* readOnly = nullptr;
    std::size_t readOnlyCount = 0;
};
extern const CodePage kCodePages[];
extern const std::size_t kCodePageCount;

}  // namespace platform::text_tables
