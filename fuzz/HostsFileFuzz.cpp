// The hosts file's text: every entry has an address and at least one name,
// and no word of an entry holds a blank, a line break or a comment's "#".
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/host/HostsFile.h"

namespace {

void RequireWord(const std::string& word) {
    if (word.empty()) std::abort();
    for (const char c : word)
        if (c == '#' || c == '\n' || std::isspace(static_cast<unsigned char>(c))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const platform::HostsEntry& entry : platform::ParseHostsFile(text)) {
        RequireWord(entry.address);
        if (entry.names.empty()) std::abort();
        for (const std::string& name : entry.names) RequireWord(name);
    }
    return 0;
}
