// Writes platform/host/TextTables.cpp, the tables behind platform/host/Text:
// the simple case mappings of all of Unicode (folding, upper, lower) and the
// Windows single-byte code pages, taken from Qt's Unicode data and its code
// page converters. Built and run by scripts/generate-text-tables.
#include <QChar>
#include <QStringDecoder>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kBlockBits = 6;  // as kCaseBlockBits in TextTables.h
constexpr char32_t kBlockSize = 1u << kBlockBits;
constexpr char32_t kTableEnd = 0x20000;  // as kCaseTableEnd
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr int kCodePages[] = {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

using Mapping = char32_t (*)(char32_t);
using Block = std::vector<std::int32_t>;

struct CaseTables {
    std::map<Block, int> blockNumbers;
    std::vector<const Block*> blocks;
    std::map<std::string, std::vector<int>> indices;
};

void AddMapping(CaseTables& tables, const std::string& name, Mapping map) {
    for (char32_t c = kTableEnd; c <= kLastCodePoint; ++c)
        if (map(c) != c) {
            std::fprintf(stderr, "U+%04X maps beyond the table's end\n", static_cast<unsigned>(c));
            std::exit(1);
        }
    std::vector<int>& index = tables.indices[name];
    for (char32_t start = 0; start < kTableEnd; start += kBlockSize) {
        Block block;
        for (char32_t c = start; c < start + kBlockSize; ++c)
            block.push_back(static_cast<std::int32_t>(map(c)) - static_cast<std::int32_t>(c));
        const auto [it, added] = tables.blockNumbers.emplace(block, static_cast<int>(tables.blocks.size()));
        if (added) tables.blocks.push_back(&it->first);
        index.push_back(it->second);
    }
}

void PrintIndex(const std::string& name, const std::vector<int>& index) {
    std::printf("const std::uint8_t k%sBlocks[kCaseTableEnd >> kCaseBlockBits] = {", name.c_str());
    for (std::size_t i = 0; i < index.size(); ++i) std::printf("%s%d,", i % 24 ? " " : "\n    ", index[i]);
    std::printf("\n};\n\n");
}

void PrintDeltas(const CaseTables& tables) {
    std::printf("const std::int32_t kCaseDeltas[%zu << kCaseBlockBits] = {", tables.blocks.size());
    for (std::size_t b = 0; b < tables.blocks.size(); ++b) {
        std::printf("\n    // block %zu", b);
        const Block& block = *tables.blocks[b];
        for (std::size_t i = 0; i < block.size(); ++i) std::printf("%s%d,", i % 16 ? " " : "\n    ", block[i]);
    }
    std::printf("\n};\n\n");
}

// The bytes 0x80-0xFF of a code page. Bytes Windows-1252 leaves undefined
// have always been read as U+FFFD here; Qt would give the C1 controls.
std::vector<char16_t> HighHalf(int page) {
    const std::string name = "windows-" + std::to_string(page);
    std::vector<char16_t> high;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        QStringDecoder decode(name.c_str());
        const char c = static_cast<char>(byte);
        const QString text = decode(QByteArrayView(&c, 1));
        if (!decode.isValid() || text.size() != 1) {
            std::fprintf(stderr, "%s byte %02X is not one character\n", name.c_str(), static_cast<unsigned>(byte));
            std::exit(1);
        }
        char16_t unit = text[0].unicode();
        if (page == 1252 && unit >= 0x80 && unit < 0xA0) unit = 0xFFFD;
        high.push_back(unit);
    }
    return high;
}

void PrintCodePages() {
    std::printf("const CodePage kCodePages[] = {\n");
    for (int page : kCodePages) {
        std::printf("    {%d, {", page);
        const std::vector<char16_t> high = HighHalf(page);
        for (std::size_t i = 0; i < high.size(); ++i)
            std::printf("%s0x%04X,", i % 12 ? " " : "\n        ", static_cast<unsigned>(high[i]));
        std::printf("\n    }},\n");
    }
    std::printf("};\nconst std::size_t kCodePageCount = std::size(kCodePages);\n\n");
}

}  // namespace

int main() {
    CaseTables tables;
    AddMapping(tables, "Fold", [](char32_t c) { return QChar::toCaseFolded(c); });
    AddMapping(tables, "Upper", [](char32_t c) { return QChar::toUpper(c); });
    AddMapping(tables, "Lower", [](char32_t c) { return QChar::toLower(c); });
    if (tables.blocks.size() > 256) {
        std::fprintf(stderr, "%zu blocks do not fit an 8-bit index\n", tables.blocks.size());
        return 1;
    }
    std::printf("// Written by scripts/generate-text-tables from Qt %s's Unicode data and\n"
                "// code pages; do not edit.\n",
                qVersion());
    std::printf("#include \"platform/host/TextTables.h\"\n\n#include <iterator>\n\n");
    std::printf("namespace platform::text_tables {\n\n");
    for (const auto& [name, index] : tables.indices) PrintIndex(name, index);
    PrintDeltas(tables);
    PrintCodePages();
    std::printf("}  // namespace platform::text_tables\n");
    return 0;
}
