// Message files and FormatMessage's inserts: any bytes read as a PE image or
// a range table without a fault or a read outside them, and any message text
// takes its inserts. The input is a 4-byte event ID (little-endian), a byte
// giving the number of insertion strings, then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/MessageTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    const std::uint32_t id = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    const std::size_t stringCount = data[4] % 12;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 5), size - 5);
    std::vector<std::string> strings;
    for (std::size_t i = 0; i < stringCount; ++i) strings.push_back("s" + std::to_string(i) + "%" + std::to_string(i + 1));

    if (const auto message = platform::FindMessageInFile(bytes, id)) platform::InsertStrings(*message, strings);
    platform::FindMessageInRangeTable(bytes, id);
    platform::InsertStrings(std::string(bytes.substr(0, 4096)), strings);
    return 0;
}
