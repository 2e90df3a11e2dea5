// FTP server text: control-connection replies, listings in MLSD, Unix and
// DOS form, PWD replies and passive-mode replies.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/api/FtpListing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& entry : platform::ParseMlsdListing(text)) (void)entry.name.size();
    for (const auto& entry : platform::ParseListListing(text, 1796900400)) (void)entry.name.size();
    (void)platform::ParseQuotedFolder(text);
    (void)platform::ParsePassivePort(text);
    (void)platform::ParseExtendedPassivePort(text);
    for (std::string_view rest = text; const auto reply = platform::CompleteFtpReply(rest);) {
        if (reply->length == 0 || reply->length > rest.size()) __builtin_trap();
        rest.remove_prefix(reply->length);
    }
    return 0;
}
