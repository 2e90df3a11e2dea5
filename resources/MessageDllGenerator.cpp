// Build-time tool: writes BrindleEventLogMsgHelper.dll, a resource-only PE32
// library with one message table (resource ID 1, language 0x0409, one block
// 10177..10177 whose entry is the Unicode text "%1" CR LF), and a C++ source
// that embeds those bytes as the resource "eventlogmsghelper" of type "CUSTOM".
//   MessageDllGenerator <library.dll> <embedded.cpp>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr std::uint32_t kMessageId = 10177;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kResourceRva = 0x1000;

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PadTo(std::string& out, std::size_t size) { out.resize(size, '\0'); }

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// MESSAGE_RESOURCE_DATA: one block, one Unicode entry padded to four bytes.
std::string MessageTable() {
    std::string text;
    for (char c : std::string("%1\r\n")) Put16(text, static_cast<unsigned char>(c));
    Put16(text, 0);
    PadTo(text, AlignUp(static_cast<std::uint32_t>(text.size()), 4));
    std::string table;
    Put32(table, 1);
    Put32(table, kMessageId);
    Put32(table, kMessageId);
    Put32(table, 16);
    Put16(table, static_cast<std::uint32_t>(4 + text.size()));
    Put16(table, 1);  // MESSAGE_RESOURCE_UNICODE
    return table + text;
}

void PutDirectory(std::string& out, std::uint32_t id, std::uint32_t target) {
    Put32(out, 0);  // characteristics
    Put32(out, 0);  // time stamp
    Put32(out, 0);  // version
    Put16(out, 0);  // named entries
    Put16(out, 1);  // ID entries
    Put32(out, id);
    Put32(out, target);
}

// The .rsrc section: type 11 -> name 1 -> language 0x0409 -> data entry -> table.
std::string ResourceSection() {
    constexpr std::uint32_t kSubdirectory = 0x80000000u;
    const std::string table = MessageTable();
    std::string section;
    PutDirectory(section, 11, kSubdirectory | 0x18);
    PutDirectory(section, 1, kSubdirectory | 0x30);
    PutDirectory(section, 0x0409, 0x48);
    Put32(section, kResourceRva + 0x58);
    Put32(section, static_cast<std::uint32_t>(table.size()));
    Put32(section, 0);  // code page
    Put32(section, 0);
    return section + table;
}

void PutDosHeader(std::string& out) {
    out += "MZ";
    PadTo(out, 0x3C);
    Put32(out, 0x40);
}

void PutFileHeader(std::string& out) {
    out += std::string("PE\0\0", 4);
    Put16(out, 0x014C);  // i386
    Put16(out, 1);       // sections
    Put32(out, 0);       // time stamp: the build stays reproducible
    Put32(out, 0);
    Put32(out, 0);
    Put16(out, 0xE0);    // optional header size
    Put16(out, 0x2102);  // executable image, 32-bit machine, DLL
}

void PutOptionalHeader(std::string& out, std::uint32_t resourceSize) {
    const std::uint32_t rawSize = AlignUp(resourceSize, kFileAlignment);
    Put16(out, 0x010B);  // PE32
    Put16(out, 0x0E00);  // linker 14.0
    Put32(out, 0);       // code
    Put32(out, rawSize); // initialized data
    Put32(out, 0);
    Put32(out, 0);       // no entry point: resource only
    Put32(out, kResourceRva);
    Put32(out, kResourceRva);
    Put32(out, 0x10000000);  // image base
    Put32(out, kSectionAlignment);
    Put32(out, kFileAlignment);
    Put16(out, 5), Put16(out, 1);  // OS version
    Put16(out, 0), Put16(out, 0);  // image version
    Put16(out, 5), Put16(out, 1);  // subsystem version
    Put32(out, 0);
    Put32(out, kResourceRva + AlignUp(resourceSize, kSectionAlignment));  // image size
    Put32(out, kFileAlignment);  // headers size
    Put32(out, 0);               // checksum
    Put16(out, 2);               // GUI subsystem
    Put16(out, 0x0540);          // dynamic base, NX compatible, no SEH
    Put32(out, 0x100000), Put32(out, 0x1000), Put32(out, 0x100000), Put32(out, 0x1000);
    Put32(out, 0);   // loader flags
    Put32(out, 16);  // data directories
    for (int i = 0; i < 16; ++i) {
        Put32(out, i == 2 ? kResourceRva : 0);
        Put32(out, i == 2 ? resourceSize : 0);
    }
}

void PutSectionHeader(std::string& out, std::uint32_t resourceSize) {
    out += std::string(".rsrc\0\0\0", 8);
    Put32(out, resourceSize);
    Put32(out, kResourceRva);
    Put32(out, AlignUp(resourceSize, kFileAlignment));
    Put32(out, kFileAlignment);
    Put32(out, 0), Put32(out, 0), Put16(out, 0), Put16(out, 0);
    Put32(out, 0x40000040);  // initialized data, readable
}

std::string Library() {
    std::string section = ResourceSection();
    const auto resourceSize = static_cast<std::uint32_t>(section.size());
    std::string image;
    PutDosHeader(image);
    PutFileHeader(image);
    PutOptionalHeader(image, resourceSize);
    PutSectionHeader(image, resourceSize);
    PadTo(image, kFileAlignment);
    PadTo(section, AlignUp(resourceSize, kFileAlignment));
    return image + section;
}

std::string EmbeddingSource(const std::string& bytes) {
    std::string source =
        "// Generated by MessageDllGenerator: the bytes of BrindleEventLogMsgHelper.dll.\n"
        "#include \"platform/api/Resources.h\"\n\nnamespace {\nconst unsigned char kBytes[] = {";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) source += "\n   ";
        source += " " + std::to_string(static_cast<unsigned char>(bytes[i])) + ",";
    }
    source +=
        "\n};\nconst platform::ResourceRegistration kRegistration(\"CUSTOM\", \"eventlogmsghelper\", kBytes,\n"
        "                                                      sizeof kBytes);\n}  // namespace\n";
    return source;
}

bool WriteFile(const char* path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: MessageDllGenerator <library.dll> <embedded.cpp>\n";
        return 2;
    }
    const std::string library = Library();
    if (!WriteFile(argv[1], library) || !WriteFile(argv[2], EmbeddingSource(library))) {
        std::cerr << "MessageDllGenerator: cannot write the output\n";
        return 1;
    }
    return 0;
}
