// Writes platform/host/TextTables.cpp, the tables behind platform/host/Text:
// the simple case mappings of all of Unicode (the key texts are compared
// under, upper, lower), taken from ICU's Unicode data, and the Windows ANSI
// code pages, single- and double-byte, taken from Qt's code page converters.
// Built and run by scripts/generate-text-tables. (Qt's own case mappings
// leave out the simple mapping of a character that SpecialCasing.txt maps to
// several, such as the dotted capital I's lower case.)
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <unicode/uchar.h>
#include <unicode/uversion.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kBlockBits = 6;  // as kCaseBlockBits in TextTables.h
constexpr char32_t kBlockSize = 1u << kBlockBits;
constexpr char32_t kTableEnd = 0x20000;  // as kCaseTableEnd
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr int kFirstTrail = 0x40;  // as kFirstTrail
constexpr int kTrailCount = 0x100 - kFirstTrail;
constexpr char16_t kUndefined = 0xFFFD;
constexpr char16_t kSubstitute = 0x1A;  // what the converters give for a byte they cannot read

struct Page {
    int number;
    bool doubleByte;
};
constexpr Page kPages[] = {{874, false},  {932, true},   {936, true},   {949, true},   {950, true},
                           {1250, false}, {1251, false}, {1252, false}, {1253, false}, {1254, false},
                           {1255, false}, {1256, false}, {1257, false}, {1258, false}};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

using Mapping = char32_t (*)(char32_t);
using Block = std::vector<std::int32_t>;

struct CaseTables {
    std::map<Block, int> blockNumbers;
    std::vector<const Block*> blocks;
    std::map<std::string, std::vector<int>> indices;
};

void AddMapping(CaseTables& tables, const std::string& name, Mapping map) {
    for (char32_t c = kTableEnd; c <= kLastCodePoint; ++c)
        if (map(c) != c) Fail("U+" + std::to_string(c) + " maps beyond the table's end");
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

// The key under which texts equal but for letter case are one: the lower case
// first, so that a letter whose upper case alone has a folding (the Turkish
// dotted capital I) meets its small form, then the simple case folding, so
// that the final sigma meets the other and the Kelvin sign the k.
char32_t Lower(char32_t c) { return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c))); }
char32_t Upper(char32_t c) { return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c))); }
char32_t FoldKey(char32_t c) { return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(Lower(c)), U_FOLD_CASE_DEFAULT)); }

void CheckFoldKeyIsStable() {
    for (char32_t c = 0; c <= kLastCodePoint; ++c)
        if (FoldKey(FoldKey(c)) != FoldKey(c)) Fail("the key of U+" + std::to_string(c) + " has another key");
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

std::string ConverterName(int page) { return "windows-" + std::to_string(page); }

std::optional<char16_t> Readable(QChar c) {
    if (c.isSurrogate() || c.unicode() == kSubstitute || c.unicode() == kUndefined) return std::nullopt;
    return c.unicode();
}

QString Decoded(int page, const std::string& bytes) {
    QStringDecoder decode(ConverterName(page).c_str());
    if (!decode.isValid()) Fail(ConverterName(page) + " is not known to Qt");
    return decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The one character a fresh converter reads from the bytes; nothing when it
// reads none, several, or only its substitute.
std::optional<char16_t> OneCharacter(int page, const std::string& bytes) {
    const QString text = Decoded(page, bytes);
    return text.size() == 1 ? Readable(text[0]) : std::nullopt;
}

// The character of a pair, when the converter reads the two bytes as one
// character: an ASCII letter after them must come out as itself, so that a
// trail byte it holds back as the start of another pair is no pair. No pair
// stands for an ASCII character: such a result is a lead byte dropped.
std::optional<char16_t> PairCharacter(int page, int lead, int trail) {
    const QString text = Decoded(page, {static_cast<char>(lead), static_cast<char>(trail), 'A'});
    if (text.size() != 2 || text[1] != QLatin1Char('A') || text[0].unicode() < 0x80) return std::nullopt;
    return Readable(text[0]);
}

std::string Written(int page, char16_t c) {
    QStringEncoder encode(ConverterName(page).c_str());
    const QByteArray bytes = encode(QString(QChar(c)));
    return bytes.toStdString();
}

// Bytes Windows reads where the converters have none: Windows-932 gives
// U+0080 for 0x80 and private-use characters for 0xA0 and 0xFD to 0xFF, and
// writes them back the same way.
std::optional<char16_t> WindowsOwnByte(int page, int byte) {
    if (page != 932) return std::nullopt;
    if (byte == 0x80) return 0x0080;
    if (byte == 0xA0) return 0xF8F0;
    if (byte >= 0xFD) return static_cast<char16_t>(0xF8F1 + (byte - 0xFD));
    return std::nullopt;
}

struct PageTables {
    std::vector<char16_t> high;                   // 0x80-0xFF alone; 0 for a lead byte
    std::vector<int> leads;                       // the lead bytes, ascending
    std::vector<std::vector<char16_t>> pairs;     // per lead, trails kFirstTrail-0xFF
    std::vector<unsigned> readOnly;               // lead << 8 | trail, ascending
};

std::string Pair(int lead, int trail) { return {static_cast<char>(lead), static_cast<char>(trail)}; }

void ReadPairs(int page, PageTables& tables) {
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        std::vector<char16_t> row(kTrailCount, kUndefined);
        bool any = false;
        for (int trail = kFirstTrail; trail <= 0xFF; ++trail) {
            if (const auto c = PairCharacter(page, lead, trail)) {
                row[static_cast<std::size_t>(trail - kFirstTrail)] = *c;
                any = true;
            }
        }
        if (!any) continue;
        if (tables.high[static_cast<std::size_t>(lead - 0x80)] != kUndefined)
            Fail(ConverterName(page) + " byte " + std::to_string(lead) + " is a character and a lead byte");
        tables.high[static_cast<std::size_t>(lead - 0x80)] = 0;
        tables.leads.push_back(lead);
        tables.pairs.push_back(row);
    }
}

// A character that has two forms is written in one of them only; the other
// is read and never written. A form the converter writes no other way is
// kept, whatever the converter would write in its place.
void FindReadOnlyPairs(int page, PageTables& tables) {
    for (std::size_t r = 0; r < tables.leads.size(); ++r)
        for (int trail = kFirstTrail; trail <= 0xFF; ++trail) {
            const char16_t c = tables.pairs[r][static_cast<std::size_t>(trail - kFirstTrail)];
            if (c == kUndefined) continue;
            const std::string form = Pair(tables.leads[r], trail), written = Written(page, c);
            if (written != form && !written.empty() && OneCharacter(page, written) == c)
                tables.readOnly.push_back(static_cast<unsigned>(tables.leads[r]) << 8 | static_cast<unsigned>(trail));
        }
}

PageTables Read(const Page& page) {
    PageTables tables;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        std::optional<char16_t> c = WindowsOwnByte(page.number, byte);
        if (!c) c = OneCharacter(page.number, std::string(1, static_cast<char>(byte)));
        tables.high.push_back(c ? *c : kUndefined);
    }
    if (page.doubleByte) {
        ReadPairs(page.number, tables);
        FindReadOnlyPairs(page.number, tables);
    }
    return tables;
}

void PrintUnits(const std::vector<char16_t>& units, const char* indent) {
    for (std::size_t i = 0; i < units.size(); ++i)
        std::printf("%s0x%04X,", i % 12 ? " " : indent, static_cast<unsigned>(units[i]));
}

void PrintPairs(int number, const PageTables& tables) {
    std::printf("const char16_t kPairs%d[][kTrailCount] = {\n", number);
    for (std::size_t r = 0; r < tables.leads.size(); ++r) {
        std::printf("    {  // lead byte 0x%02X", tables.leads[r]);
        PrintUnits(tables.pairs[r], "\n        ");
        std::printf("\n    },\n");
    }
    std::printf("};\n");
    if (!tables.readOnly.empty()) {
        std::printf("const std::uint16_t kReadOnly%d[] = {", number);
        for (std::size_t i = 0; i < tables.readOnly.size(); ++i)
            std::printf("%s0x%04X,", i % 12 ? " " : "\n    ", tables.readOnly[i]);
        std::printf("\n};\n");
    }
    std::printf("\n");
}

void PrintCodePages() {
    std::map<int, PageTables> read;
    for (const Page& page : kPages) {
        read[page.number] = Read(page);
        if (page.doubleByte) PrintPairs(page.number, read[page.number]);
    }
    std::printf("const CodePage kCodePages[] = {\n");
    for (const Page& page : kPages) {
        const PageTables& tables = read[page.number];
        std::printf("    {%d, {", page.number);
        PrintUnits(tables.high, "\n        ");
        std::printf("\n    }");
        if (page.doubleByte) {
            std::vector<int> rows(128, 0);
            for (std::size_t r = 0; r < tables.leads.size(); ++r) rows[static_cast<std::size_t>(tables.leads[r] - 0x80)] = static_cast<int>(r + 1);
            std::printf(", {");
            for (std::size_t i = 0; i < rows.size(); ++i) std::printf("%s%d,", i % 24 ? " " : "\n        ", rows[i]);
            std::printf("\n    }, kPairs%d", page.number);
            if (tables.readOnly.empty())
                std::printf(", nullptr, 0");
            else
                std::printf(", kReadOnly%d, std::size(kReadOnly%d)", page.number, page.number);
        }
        std::printf("},\n");
    }
    std::printf("};\nconst std::size_t kCodePageCount = std::size(kCodePages);\n\n");
}

}  // namespace

int main() {
    CheckFoldKeyIsStable();
    CaseTables tables;
    AddMapping(tables, "Fold", FoldKey);
    AddMapping(tables, "Upper", Upper);
    AddMapping(tables, "Lower", Lower);
    if (tables.blocks.size() > 256) Fail(std::to_string(tables.blocks.size()) + " blocks do not fit an 8-bit index");
    std::printf("// Written by scripts/generate-text-tables from ICU %s's Unicode %s data and\n"
                "// Qt %s's code pages; do not edit.\n",
                U_ICU_VERSION, U_UNICODE_VERSION, qVersion());
    std::printf("#include \"platform/host/TextTables.h\"\n\n#include <iterator>\n\n");
    std::printf("namespace platform::text_tables {\n\n");
    for (const auto& [name, index] : tables.indices) PrintIndex(name, index);
    PrintDeltas(tables);
    PrintCodePages();
    std::printf("}  // namespace platform::text_tables\n");
    return 0;
}
